// The instrument's editor: a fixed 865 x 555 window. For now it only reports
// its rectangle, so hosts see an editor and size their window; the controls
// arrive with the window toolkit.
#pragma once

#include "vst/Editor.h"

namespace Vst {

class MorvelithEditor : public Editor {
public:
    static constexpr VstInt16 kWidth = 865;
    static constexpr VstInt16 kHeight = 555;

    explicit MorvelithEditor(AudioEffect* effect);
};

}  // namespace Vst
