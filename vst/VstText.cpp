// Bounded string copies and the eight-character number format hosts show as a
// parameter's plain value.
#include "vst/VstText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace Vst {

void copyString(char* dst, const char* src, size_t limit) {
    if (dst == nullptr || limit == 0) return;
    if (src == nullptr) {
        dst[0] = 0;
        return;
    }
    const size_t length = strnlen(src, limit - 1);
    std::memcpy(dst, src, length);
    dst[length] = 0;
}

void appendString(char* dst, const char* src, size_t limit) {
    if (dst == nullptr || limit == 0) return;
    const size_t used = strnlen(dst, limit - 1);
    copyString(dst + used, src, limit - used);
}

void float2string(float value, char* text, int maxChars) {
    if (text == nullptr || maxChars <= 0) return;
    const size_t limit = static_cast<size_t>(maxChars) + 1;
    if (std::isnan(value)) {
        copyString(text, "NaN", limit);
        return;
    }
    double v = value;
    if (v == 0.0) v = 0.0;  // no "-0.000000"
    char buffer[64];
    // Integer digits plus the sign leave the rest of the width to decimals;
    // rounding may add a digit (9.9999999 -> 10.00000), hence the retry.
    const double magnitude = std::fabs(v);
    int integerDigits = 1;
    for (double t = 10.0; magnitude >= t && integerDigits < 40; t *= 10.0) ++integerDigits;
    const int signWidth = v < 0.0 ? 1 : 0;
    if (std::isinf(v) || integerDigits + signWidth + 1 > maxChars) {
        copyString(text, "Huge!", limit);
        return;
    }
    for (int decimals = maxChars - integerDigits - signWidth - 1; decimals >= 0; --decimals) {
        std::snprintf(buffer, sizeof buffer, "%.*f%s", decimals, v, decimals == 0 ? "." : "");
        if (static_cast<int>(std::strlen(buffer)) <= maxChars) {
            copyString(text, buffer, limit);
            return;
        }
    }
    copyString(text, "Huge!", limit);
}

}  // namespace Vst
