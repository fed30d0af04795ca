// Advance-by-N for the free-running units: an instance that stops computing
// while silent moves their phases on exactly as their process() would have,
// step for step in the same single-precision operations, so a note after the
// pause finds them where an instance that never paused has them.
#include <algorithm>
#include <cmath>

#include "spkit/Delays.h"
#include "spkit/LFO.h"
#include "spkit/Oscillators.h"

namespace SPKit {

namespace {
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// The oscillator's phase wrap, operation for operation.
inline float wrapPhase(float p, float n) {
    if (p < 0.0f) p += n;
    if (p >= n) p -= n;
    if (!(p >= 0.0f && p < n)) {
        p = std::fmod(p, n);
        if (p < 0.0f) p += n;
        if (!(p >= 0.0f && p < n)) p = 0.0f;
    }
    return p;
}
}  // namespace

void MultiOscillator::advance(int count) {
    if (count <= 0) return;
    // Voice 0's drift LFO never runs (it is never drifted); the other four always do.
    LFO* const lfos[kVoices - 1] = {drift[1].get(), drift[2].get(), drift[3].get(), drift[4].get()};
    for (int done = 0; done < count;) {
        const int n = std::min(count - done, kMaxBlock);
        LFO::processTogether(lfos, nullptr, kVoices - 1, n);
        done += n;
    }
    const float n = static_cast<float>(wavetable.getTableLength());
    if (n <= 0.0f) return;
    // Spans between the control updates, where process() re-applies the
    // frequency (held: the control is not pulled), re-locks and re-beats.
    for (int begin = 0; begin < count;) {
        int span = count - begin;
        if (control != nullptr) {
            if (needsUpdate()) {
                setFrequency(frequency);
                if (detune == 0.0f) lockPhases();
                if (beatRate > 0.0f && frequency > 0.0f) {
                    const float cyclesPerBeat = std::floor(frequency * (1.0f / beatRate));
                    setDetune(cyclesPerBeat > 2.0f ? 1.0f / cyclesPerBeat : 0.5f);
                }
            }
            const int quiet = updateInterval - updateCounter;
            if (quiet >= 0) span = std::min(span, 1 + quiet);
            updateCounter += span - 1;
        }
        for (Voice& v : voices) {
            float phase = v.phase;
            const float increment = v.increment;
            for (int i = 0; i < span; ++i) phase = wrapPhase(phase + increment, n);
            v.phase = phase;
        }
        begin += span;
    }
}

void Squarewave::advance(int count) {
    for (int i = 0; i < count; ++i) {
        if (needsUpdate()) setFrequency(frequency);
        phase += increment;
        if (phase > kPi && sign == 1.0f) {
            sign = -1.0f;
        } else if (phase > kTwoPi) {
            phase -= kTwoPi;
            sign = 1.0f;
        }
    }
}

void Phaser::advance(int count) {
    float phase = sweepPhase;
    const float increment = sweepIncrement;
    for (int i = 0; i < count; ++i) {
        phase += increment;
        if (phase >= kTwoPi) phase -= kTwoPi;
    }
    // The coefficients are left as they are: run() derives them afresh from
    // the phase before its first sample.
    sweepPhase = phase;
}

}  // namespace SPKit
