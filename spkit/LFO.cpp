// Magic-circle sine oscillator: x ← x − k·y, y ← y + k·x keeps x² + y² − k·x·y
// constant, so the amplitude holds in single precision and k = 2·sin(π·f/rate)
// gives exactly the frequency f.
#include "spkit/LFO.h"

#include <algorithm>
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
    for (int start = 0; start < count;) {
        int end = count;
        if (control != nullptr) {
            // The frequency follows the control every 8 samples of the block.
            setFrequency(controlBuffer[start]);
            end = std::min(count, start + kControlRateDivisor);
        }
        const float kk = k;
        for (int i = start; i < end; ++i) {
            cx -= kk * cy;
            cy += kk * cx;
            out[i] = cx;
        }
        start = end;
    }
    x = cx;
    y = cy;
}

}  // namespace SPKit
