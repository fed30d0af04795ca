// Sleeping while silent: after a note's last tail has died, at a steady pitch,
// the instance stops computing until the next event, its output exactly 0. The free-running
// phases (oscillator voices and drift, LFOs, trill, phaser sweep) move on step
// for step while it sleeps; on waking the last stretch of the sleep is
// rendered and discarded, the voice filters restarted under a fade-in, so
// they are warm again.
#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "instrument/MorvelithPlugin.h"
#include "instrument/ParameterIndex.h"

namespace Vst {

void LevelTap::process(float* out, int count) {
    input->process(out, count);
    peak = peakOf(out, count, peak);
}

float LevelTap::peakOf(const float* x, int count, float from) {
    // The largest |x[i]| and `from`; a NaN sample leaves it as it is (as
    // std::max(p, NaN) does). The maximum of numbers is the same in any
    // order, so four lanes of four can each keep their own.
    int i = 0;
    float p = from;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 lanes[4] = {_mm_set1_ps(p), _mm_set1_ps(p), _mm_set1_ps(p), _mm_set1_ps(p)};
    for (; i + 16 <= count; i += 16)
        for (int k = 0; k < 4; ++k)  // maxps answers its second operand when the first is a NaN
            lanes[k] = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(x + i + 4 * k), magnitude), lanes[k]);
    alignas(16) float held[16];
    for (int k = 0; k < 4; ++k) _mm_store_ps(held + 4 * k, lanes[k]);
    for (float h : held) p = std::max(p, h);
#endif
    for (; i < count; ++i) p = std::max(p, std::fabs(x[i]));
    return p;
}

float LevelTap::takePeak() {
    const float p = peak;
    peak = 0.0f;
    return p;
}

namespace {
// Whether a multi-stage modulator will hold its level from here on: every
// stage still to run aims at the level it has (a stage from a level to the
// same target stays flat whatever its shape). Read through a derived class
// naming the fields.
struct CubicEnvStages : SPKit::CubicEnv {
    static bool holding(SPKit::CubicEnv& e) {
        const int count = e.*(&CubicEnvStages::stageCount);
        const Stage* stages = e.*(&CubicEnvStages::stages);
        for (int i = std::max(e.getStage(), 0); i < count; ++i)
            if (stages[i].target != e.getLevel()) return false;
        return true;
    }
};

// A trim's glide, lengthened for a fade-in from 0 and put back afterwards
// (the fade is over by then, so the trim multiplies by its gain as before).
struct TrimFade : SPKit::RampedGain {
    int samples = 1;
    float glideSpan = 0.0f;

    // Starts `trim` gliding from 0 to its gain over `length` samples; returns what to restore.
    static TrimFade fadeIn(SPKit::RampedGain& trim, int length) {
        TrimFade held;
        held.samples = trim.*(&TrimFade::rampSamples);
        held.glideSpan = trim.*(&TrimFade::span);
        const float level = trim.getGain();
        trim.setGain(0.0f);
        trim.*(&TrimFade::rampSamples) = std::max(length, 1);
        trim.glideTo(level);
        return held;
    }
    void restore(SPKit::RampedGain& trim) const {
        trim.settle();
        trim.*(&TrimFade::rampSamples) = samples;
        trim.*(&TrimFade::span) = glideSpan;
    }
};

// The largest multiple of the control-rate divisor not above n (0 for n <= 0).
int64_t controlGridFloor(int64_t n) {
    return n <= 0 ? 0 : n - n % SPKit::kControlRateDivisor;
}
}  // namespace

int64_t MorvelithPlugin::sleepHoldFrames() {
    int longest = 0;
    for (SPKit::StereoDelay* delay : {&hpfDelay, &bpfDelay})
        for (int channel = 0; channel < 2; ++channel) longest = std::max(longest, delay->getChannel(channel)->getDelay());
    const float spread = std::max(spreadDelayLeft.getDelay(), spreadDelayRight.getDelay());
    const float margin = kSleepMarginMs * 0.001f * getSampleRate();
    return longest + static_cast<int64_t>(std::ceil(spread + margin));
}

int64_t MorvelithPlugin::preRollFrames() {
    return static_cast<int64_t>(std::ceil(kPreRollMs * 0.001f * getSampleRate()));
}

void MorvelithPlugin::observeSilence(VstInt32 frames) {
    float peak = 0.0f;
    for (LevelTap* tap : {&envelopeTapLeft, &envelopeTapRight, &outputTapLeft, &outputTapRight})
        peak = std::max(peak, tap->takePeak());
    // The oscillator's phases can be moved on exactly only at a frequency that
    // holds: no glide, bend, pitch envelope, modulator fade or modulation of
    // the pitch still under way (an instance whose pitch keeps moving stays awake).
    const float frequency = oscillator.getFrequency();
    bool steady = frequency == quietFrequency;
    quietFrequency = frequency;
    for (SPKit::CubicEnv* modulator : {&pitchEnvelope, &lfoEnvelope, &vibratoEnvelope, &trillEnvelope})
        steady = steady && CubicEnvStages::holding(*modulator);
    // A NaN peak is not quiet: the comparison fails and the count restarts.
    if (heldCount == 0 && steady && peak < kSilenceLevel) {
        quietFrames += frames;
    } else {
        quietFrames = 0;
    }
    if (!sleepAllowed || quietFrames < sleepHoldFrames()) return;
    asleep = true;
    asleepFrames = 0;
    advancedFrames = 0;
}

void MorvelithPlugin::sleepBlock(float** outputs, VstInt32 frames) {
    for (int channel = 0; channel < kNumOutputs; ++channel)
        if (outputs[channel] != nullptr) std::memset(outputs[channel], 0, sizeof(float) * static_cast<size_t>(frames));
    asleepFrames += frames;
    // Everything but the pre-roll's stretch is moved on now, a block at a
    // time, so waking costs only the pre-roll.
    const int64_t due = controlGridFloor(asleepFrames - preRollFrames());
    if (due > advancedFrames) {
        advanceFreeRunning(due - advancedFrames);
        advancedFrames = due;
    }
}

void MorvelithPlugin::wake() {
    quietFrames = 0;
    if (!asleep) return;
    asleep = false;
    // The skipped stretch ends on the control grid; the pre-roll renders the
    // rest (at least kPreRollMs unless the sleep was shorter).
    const int64_t skipped = controlGridFloor(asleepFrames - preRollFrames());
    if (skipped > advancedFrames) advanceFreeRunning(skipped - advancedFrames);
    const int64_t preRoll = asleepFrames - skipped;
    // A sleep re-rendered whole leaves everything exactly as running would.
    // Otherwise the filters ahead of the envelope restart from rest with the
    // oscillator faded in over a smooth ramp: a hard start (or the state the
    // sleep began with, at another point of the waveform) sets their slowest
    // mode ringing at the size of their ripple, where a smooth start hardly
    // reaches it, so they come much closer to where running would have them.
    const bool restart = skipped > 0;
    TrimFade held[2];
    if (restart) {
        lowPassLeft.reset();
        lowPassRight.reset();
        highPassLeft.reset();
        highPassRight.reset();
        const int fade = static_cast<int>(std::ceil(kPreRollFadeMs * 0.001f * getSampleRate()));
        held[0] = TrimFade::fadeIn(trimLeft, fade);
        held[1] = TrimFade::fadeIn(trimRight, fade);
    }
    // Everything after the envelope runs as set: a drive's tube answers
    // silence with a small constant, and the units after it (the DC block
    // above all) settle on that, not on 0; the delays, phaser and equaliser
    // ring on as they would. A Mux hands each block to all its consumers in
    // turn, so the graph is always pulled whole, from its outputs.
    for (int64_t left = preRoll; left > 0;) {
        const int n = static_cast<int>(std::min<int64_t>(left, kPreRollChunk));
        outputLeft.process(preRollLeft, n);
        outputRight.process(preRollRight, n);
        left -= n;
    }
    if (restart) {
        held[0].restore(trimLeft);
        held[1].restore(trimRight);
    }
    for (LevelTap* tap : {&envelopeTapLeft, &envelopeTapRight, &outputTapLeft, &outputTapRight}) tap->takePeak();
    asleepFrames = 0;
    advancedFrames = 0;
}

void MorvelithPlugin::advanceFreeRunning(int64_t frames) {
    for (int64_t left = frames; left > 0;) {
        const int n = static_cast<int>(std::min<int64_t>(left, SPKit::kMaxBlock));
        oscillator.advance(n);
        // The phaser runs only while enabled; bypassed, its sweep stands still.
        if (isOn(kPhaserEnable)) {
            phaserLeft.advance(n);
            phaserRight.advance(n);
        }
        // The modulators run at the control rate: one step per eight frames.
        const int steps = n / SPKit::kControlRateDivisor;
        SPKit::LFO* const modulators[] = {&lfo, &vibratoLfo, &spreadLfo, &bpfDelayLfo};
        SPKit::LFO::processTogether(modulators, nullptr, 4, steps);
        trillOscillator.advance(steps);
        left -= n;
    }
}

}  // namespace Vst
