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

template <bool kWrite>
void LFO::run(float* out, int count) {
    updateControl(count);
    float cx = x, cy = y;
    for (int start = 0; start < count;) {
        int end = count;
        if (control != nullptr) {
            // The frequency follows the control every 8 samples of the block.
            setFrequency(controlAt(start));
            end = std::min(count, start + kControlRateDivisor);
        }
        const float kk = k;
        for (int i = start; i < end; ++i) {
            cx -= kk * cy;
            cy += kk * cx;
            if constexpr (kWrite) out[i] = cx;
        }
        start = end;
    }
    x = cx;
    y = cy;
}

void LFO::process(float* out, int count) { run<true>(out, count); }

void LFO::advance(int count) { run<false>(nullptr, count); }

bool LFO::isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(k); }

// Four free-running recurrences in one loop; each lane performs the same
// single-precision operations in the same order as run(), so the results are
// identical to four separate runs.
template <bool kWrite>
void LFO::runFour(LFO* const* lfos, float* const* outs, int count) {
    float cx[4], cy[4], kk[4];
    for (int j = 0; j < 4; ++j) {
        cx[j] = lfos[j]->x;
        cy[j] = lfos[j]->y;
        kk[j] = lfos[j]->k;
    }
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < 4; ++j) {
            cx[j] -= kk[j] * cy[j];
            cy[j] += kk[j] * cx[j];
            if constexpr (kWrite) outs[j][i] = cx[j];
        }
    }
    for (int j = 0; j < 4; ++j) {
        lfos[j]->x = cx[j];
        lfos[j]->y = cy[j];
    }
}

void LFO::processTogether(LFO* const* lfos, float* const* outs, int n, int count) {
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        bool freeRunning = true;
        for (int m = j; m < j + 4; ++m) freeRunning = freeRunning && lfos[m]->control == nullptr;
        if (!freeRunning) break;
        if (outs == nullptr) {
            runFour<false>(lfos + j, nullptr, count);
        } else {
            runFour<true>(lfos + j, outs + j, count);
        }
    }
    for (; j < n; ++j) {
        if (outs == nullptr) {
            lfos[j]->advance(count);
        } else {
            lfos[j]->process(outs[j], count);
        }
    }
}

}  // namespace SPKit
