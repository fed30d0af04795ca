// Advance-by-N for the free-running units: an instance that stops computing
// while silent moves their phases on exactly as their process() would have,
// step for step in the same single-precision operations, so a note after the
// pause finds them where an instance that never paused has them.
#include <algorithm>
#include <cmath>

#include "spkit/Delays.h"
#include "spkit/LFO.h"
#include "spkit/OscillatorSpan.h"
#include "spkit/Oscillators.h"

namespace SPKit {

// The oscillator's own phase wrap, operation for operation.
using OscillatorSpan::wrapPhase;

namespace {
constexpr float kTwoPi = 6.2831855f;

// The magic circle is the linear map x' = x - k y, y' = k x + (1 - k^2) y;
// `steps` of it at once, by squaring, in double precision. Close to, but not
// bit for bit, what as many single-precision steps give.
void jumpLfo(LFO& lfo, int steps) {
    const double k = lfo.coefficient();
    double m[4] = {1.0, -k, k, 1.0 - k * k};  // row-major
    double r[4] = {1.0, 0.0, 0.0, 1.0};
    const auto multiply = [](double* into, const double* a, const double* b) {
        const double c[4] = {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
                             a[2] * b[1] + a[3] * b[3]};
        for (int i = 0; i < 4; ++i) into[i] = c[i];
    };
    for (int n = steps; n > 0; n >>= 1) {
        if (n & 1) multiply(r, r, m);
        multiply(m, m, m);
    }
    const LFO::State s = lfo.state();
    lfo.setState({static_cast<float>(r[0] * s.x + r[1] * s.y), static_cast<float>(r[2] * s.x + r[3] * s.y)});
}
}  // namespace

void MultiOscillator::advance(int count) {
    if (count <= 0) return;
    // Voice 0's drift LFO never runs (it is never drifted); the other four
    // always do. Drifting, their samples move the voices, so they are stepped
    // exactly; undrifted, nothing reads them and a jump is close enough.
    LFO* const lfos[kVoices - 1] = {drift[1].get(), drift[2].get(), drift[3].get(), drift[4].get()};
    if (driftDepth != 0.0f) {
        for (int done = 0; done < count;) {
            const int n = std::min(count - done, kMaxBlock);
            LFO::processTogether(lfos, nullptr, kVoices - 1, n);
            done += n;
        }
    } else {
        for (LFO* lfo : lfos) jumpLfo(*lfo, count);
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
        // The five phases side by side: independent chains, one step each per sample.
        float phase[kVoices], increment[kVoices];
        for (int j = 0; j < kVoices; ++j) {
            phase[j] = voices[j].phase;
            increment[j] = voices[j].increment;
        }
        for (int i = 0; i < span; ++i)
            for (int j = 0; j < kVoices; ++j) phase[j] = wrapPhase(phase[j] + increment[j], n);
        for (int j = 0; j < kVoices; ++j) voices[j].phase = phase[j];
        begin += span;
    }
}

void Squarewave::advance(int count) {
    for (int i = 0; i < count; ++i) {
        if (needsUpdate()) setFrequency(frequency);
        step();
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
