// Text helpers of the interface layer: the bounded copy used for every string
// handed to a host buffer, and the float-to-text routine behind the host's
// parameter display (eight characters: 0.5 reads "0.500000").
#pragma once

#include <cstddef>

namespace Vst {

// Copies src into dst writing at most limit bytes including the terminating
// NUL; a null src yields the empty string, a zero limit writes nothing.
void copyString(char* dst, const char* src, size_t limit);

// Appends src to the string in dst without letting dst exceed limit bytes
// including its NUL.
void appendString(char* dst, const char* src, size_t limit);

// Formats value with maxChars characters (sign, digits and the decimal point
// all count): 0.5 -> "0.500000", 12.25 -> "12.25000", -0.5 -> "-0.50000".
// Values too large for maxChars read "Huge!", non-numbers "NaN". Writes at
// most maxChars + 1 bytes.
void float2string(float value, char* text, int maxChars);

}  // namespace Vst
