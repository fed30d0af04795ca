// One span of the five-voice oscillator, rendered with every setting held: the
// scalar reading helpers the oscillator and the vector renderers share, and the
// SSE2 and AVX2 renderers that run all five voices through one pass per span
// with the scalar loop's operations in its order, so their output is the same
// to the bit. Internal to spkit; MultiOscillator picks a renderer once, when built.
#pragma once

#include <cmath>

namespace SPKit::OscillatorSpan {

inline constexpr int kVoices = 5;

// Brings a phase into [0, n), where it can index the tables. One step covers
// every setting the instrument uses; the slow path serves extreme increments
// or drift depths, and a NaN (from a NaN setting) restarts at 0.
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

// One voice's sample: both parities of both tables of the selection, linearly
// interpolated at pos, blended saw/square and crossfaded toward the next table.
inline float readTables(const float* even, const float* odd, const float* nextEven, const float* nextOdd,
                        float evenLevel, float oddLevel, float crossfade, float pos, int n) {
    const int q0 = static_cast<int>(pos);
    const int q1 = q0 + 1 == n ? 0 : q0 + 1;
    const float w = pos - static_cast<float>(q0);
    const float lower = evenLevel * ((1.0f - w) * even[q0] + w * even[q1]) + oddLevel * ((1.0f - w) * odd[q0] + w * odd[q1]);
    const float upper = evenLevel * ((1.0f - w) * nextEven[q0] + w * nextEven[q1]) +
                        oddLevel * ((1.0f - w) * nextOdd[q0] + w * nextOdd[q1]);
    return (1.0f - crossfade) * lower + crossfade * upper;
}

// Everything one span reads, and the voice phases it moves on.
struct SpanJob {
    const float* sine = nullptr;
    const float* even = nullptr;
    const float* odd = nullptr;
    const float* nextEven = nullptr;
    const float* nextOdd = nullptr;
    int length = 0;  // samples per table, at least 2
    float crossfade = 0.0f;
    bool silent = true;  // the last (empty) table: voices only advance
    float evenLevel = 1.0f;
    float oddLevel = 1.0f;
    float fundamental = 0.5f;  // fundamentalLevel × 0.5
    float phase[kVoices] = {};
    float increment[kVoices] = {};
    float gainA[kVoices] = {};
    float gainB[kVoices] = {};
    const float* drift[kVoices] = {};  // block-indexed drift samples; null: the voice reads at its phase
    float depth[kVoices] = {};
    // Instead of reading `drift`, step the drift LFOs of voices 1–4 here
    // (state x, y and coefficient k per voice, moved on to the span's end),
    // and offset the voices by their samples only when `drifting`.
    bool stepDrift = false;
    bool drifting = false;
    float driftX[kVoices - 1] = {};
    float driftY[kVoices - 1] = {};
    float driftK[kVoices - 1] = {};
    float* out = nullptr;
    float* second = nullptr;
    int begin = 0;
    int end = 0;
};

// Renders samples [begin, end) of both outputs and leaves the phases where the
// span ends. Audio thread. The drift signals are read up to `end` only.
void renderSse2(SpanJob& job);
// As renderSse2, eight samples at a time; only where simdLevel() reports AVX2.
void renderAvx2(SpanJob& job);

}  // namespace SPKit::OscillatorSpan
