// The editor base of the interface layer: the window rectangle a host sizes
// its parent window from, and open, close and idle, which the dispatcher
// routes here from the edit opcodes. Runs on the host's GUI thread.
#pragma once

#include "vst/AEffect.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect = nullptr);
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // GUI thread. Hands the host a pointer to this editor's own rectangle.
    virtual bool getRect(ERect** outRect);
    // GUI thread. parentWindow is the host's window (an X11 Window on Linux).
    virtual bool open(void* parentWindow);
    virtual void close();
    virtual bool isOpen();
    virtual void idle() {}

    AudioEffect* getEffect() { return effect; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    ERect rect{0, 0, 0, 0};
    bool opened = false;
};
