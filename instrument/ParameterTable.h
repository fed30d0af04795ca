// The instrument's parameter vocabulary: per index its host name, type,
// default, editor control kind, value-text rule and snap rule. Reserved
// indices answer "", type 0, default 0, no control and no rules of their own.
// Plain data and free functions, so the engine and the editor read the same
// table without depending on each other.
#pragma once

#include "frame/ValueRules.h"
#include "instrument/ParameterIndex.h"

namespace Vst {

enum ParameterType : int {
    kParameterReserved = 0,
    kParameterContinuous = 1,
    kParameterSwitch = 2,
};

// The editor control that edits a parameter ("knob", "micro", "switch",
// "option"); kNone for reserved indices.
enum class ControlKind { kNone, kKnob, kMicro, kSwitch, kOption };

struct ParameterInfo {
    const char* name;
    ParameterType type;
    float defaultValue;
    ControlKind control;
};

// index 0..180; any other index answers the reserved entry.
const ParameterInfo& parameterInfo(int index);

// The value-text rule of an index, or nullptr where the store's Plain rule stays.
DisplayFormatter parameterDisplayRule(int index);

// The snap rule of an index, or nullptr where the dragged value is kept.
ValueQuantizer parameterSnapRule(int index);

}  // namespace Vst
