// How many bytes the plug-in writes into each kind of host buffer, NUL
// included. Parameter labels and displays follow the interface's
// eight-character convention (0.5 shows as "0.500000"). Parameter names go
// out whole (the longest is 19 characters): hosts size their name buffers
// for the long names plug-ins have always given, and eight characters would
// show three parameters as "Osc: MAS". Every other buffer gets at most its
// documented length including the NUL.
#pragma once

#include <cstddef>

#include "vst/AEffect.h"

namespace Vst {

inline constexpr size_t kProgramNameBytes = kVstMaxProgNameLen;            // 23 characters
inline constexpr size_t kParamStrBytes = kVstMaxParamStrLen + 1;           // 8 characters
inline constexpr size_t kParamNameBytes = 32;                              // 31 characters
inline constexpr size_t kEffectNameBytes = kVstMaxEffectNameLen;           // 31 characters
inline constexpr size_t kVendorStringBytes = kVstMaxVendorStrLen;          // 63 characters
inline constexpr size_t kProductStringBytes = kVstMaxProductStrLen;        // 63 characters
inline constexpr size_t kLabelBytes = kVstMaxLabelLen;                     // pin and property labels
inline constexpr size_t kShortLabelBytes = kVstMaxShortLabelLen;
inline constexpr size_t kCategoryLabelBytes = kVstMaxCategLabelLen;
// Overrides write into a staging buffer of this size before the bounded copy.
inline constexpr size_t kStagingBytes = 1024;

}  // namespace Vst
