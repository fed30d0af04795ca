// Editor rectangle: left 0, top 0, right 865, bottom 555.
#include "editor/MorvelithEditor.h"

namespace Vst {

MorvelithEditor::MorvelithEditor(AudioEffect* owner) : Editor(owner) {
    rect.left = 0;
    rect.top = 0;
    rect.right = kWidth;
    rect.bottom = kHeight;
}

}  // namespace Vst
