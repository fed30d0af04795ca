// Default editor behaviour: report the rectangle, remember the parent window.
#include "vst/AEffEditor.h"

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {}

bool AEffEditor::getRect(ERect** outRect) {
    if (outRect == nullptr) return false;
    *outRect = &rect;
    return true;
}

bool AEffEditor::open(void* parentWindow) {
    systemWindow = parentWindow;
    opened = true;
    return true;
}

void AEffEditor::close() {
    systemWindow = nullptr;
    opened = false;
}

bool AEffEditor::isOpen() { return opened; }
