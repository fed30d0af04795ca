// Magic-circle sine oscillator: x ← x − k·y, y ← y + k·x keeps x² + y² − k·x·y
// constant, so the amplitude holds in single precision and k = 2·sin(π·f/rate)
// gives exactly the frequency f.
#include "spkit/LFO.h"

#include <cmath>

namespace SPKit {

namespace {
constexpr float kPi = 3.1415927f;
}

LFO::LFO() { restart(); }

void LFO::updateCoefficient() { k = 2.0f * std::sin(kPi * frequency / sampleRate); }

void LFO::restart() {
    x = 1.0f;
    y = 0.0f;
    updateCoefficient();
}

void LFO::setFrequency(float f) {
    Oscillator::setFrequency(f);
    updateCoefficient();
}

void LFO::setSampleRate(float rate) {
    Controlled::setSampleRate(rate);
    updateCoefficient();
}

void LFO::process(float* out, int count) {
    updateControl(count);
    float cx = x, cy = y;
    if (control == nullptr) {
        const float kk = k;
        for (int i = 0; i < count; ++i) {
            cx -= kk * cy;
            cy += kk * cx;
            out[i] = cx;
        }
    } else {
        // The frequency follows the control every 8 samples of the block.
        for (int start = 0; start < count; start += kControlRateDivisor) {
            setFrequency(controlBuffer[start]);
            const float kk = k;
            const int end = start + kControlRateDivisor < count ? start + kControlRateDivisor : count;
            for (int i = start; i < end; ++i) {
                cx -= kk * cy;
                cy += kk * cx;
                out[i] = cx;
            }
        }
    }
    x = cx;
    y = cy;
}

}  // namespace SPKit
