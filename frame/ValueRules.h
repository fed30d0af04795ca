// The shape of a parameter's value-text and snap rules, shared by the frame's
// store, the instrument's vocabulary and the editor: plain functions plus the
// few facts a rule may read besides the value. Header only, so an editor that
// runs apart from the plug-in can format and snap values without a Plugin.
#pragma once

namespace Vst {

// Room for any value text (terminator included).
constexpr int kDisplayTextBytes = 64;

// What a rule may read besides the value. The plug-in answers from its store;
// an editor in another process answers from the values it was sent. Called on
// the thread that formats or snaps (the editor's, or the host's for texts).
class RuleContext {
public:
    // The stored value of another parameter (a section's sync switch).
    virtual float ruleParameter(int index) = 0;
    virtual float ruleSampleRate() = 0;
    // The host's tempo in beats per minute.
    virtual double ruleTempo() = 0;

protected:
    ~RuleContext() = default;
};

// A parameter's value text (text holds kDisplayTextBytes); context may be null.
using DisplayFormatter = void (*)(float value, char* text, RuleContext* context);
// Snaps a dragged value for the editor; fine is set while the fine modifier is
// held; context may be null.
using ValueQuantizer = float (*)(float value, int index, bool fine, RuleContext* context);

}  // namespace Vst
