// The frame's editor base: the interface's editor plus the two notifications
// the program store sends (a program was selected, program data changed).
// Both have empty bodies here; the instrument's editor redraws on them.
#pragma once

#include "vst/AEffEditor.h"

namespace Vst {

class Editor : public AEffEditor {
public:
    explicit Editor(AudioEffect* effect = nullptr) : AEffEditor(effect) {}

    // Called on the thread that selected the program (host GUI thread).
    virtual void programSelected(VstInt32 program) {}
    // Called after a rename, paste, initialise or chunk load (host GUI thread).
    virtual void programDataChanged() {}
};

}  // namespace Vst
