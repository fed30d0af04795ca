// The spans of the five-voice oscillator, rendered a block at a time: the
// scalar helpers the oscillator and the vector renderers share (wrap, table
// reads, phase lock), and the SSE2 and AVX2 renderers that run all five voices
// through one pass with the scalar loop's operations in its order, so their
// output is the same to the bit. Internal to spkit; MultiOscillator picks a renderer once.
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

// One step of the phase lock for voice j (1 … 4) at an update: a voice whose
// distance from voice 0 is off its target by more than a table sample runs
// slightly faster or slower for the next span; one within a sample that waits
// for a resync jumps to the target. Returns whether it changed anything.
inline bool lockVoice(float& phase, float& increment, bool& resync, float phase0, float offset, float n,
                      float frequency, float sampleRate) {
    const float halfN = 0.5f * n;
    float diff = phase - phase0;
    if (diff < 0.0f) diff += n;
    float gap = offset - diff;
    if (gap > halfN) gap -= n;
    else if (gap < -halfN) gap += n;
    if (gap < -1.0f || gap > 1.0f) {
        increment = n * (1.0f + 0.5f * gap / n) * frequency / sampleRate;
        return true;
    }
    if (resync) {
        phase = phase0 + offset;
        if (phase >= n) phase -= n;
        increment = n * frequency / sampleRate;
        resync = false;
        return true;
    }
    return false;
}

// The tables one frequency reads and the crossfade between them: what the
// oscillator selects, each span records and the renderers read. No default
// member values, so a batch of spans costs nothing to declare; kNoTables is
// the choice before any is made.
struct TableChoice {
    const float* even;
    const float* odd;
    const float* nextEven;
    const float* nextOdd;
    // The same two tables side by side with sample 0 repeated at the end
    // (Wavetable::getPairedTables), or null: the renderer reads the four above.
    const float* pairs;
    const float* nextPairs;
    float crossfade;
    bool silent;  // the last (empty) table: voices only advance
};

inline constexpr TableChoice kNoTables{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0.0f, true};

// One span of a block: the samples [begin, end) over which every setting holds,
// the tables they read and the voices' increments once its update is applied.
// Every field is set by whoever records the span: no defaults, so a batch of
// them costs nothing to declare.
struct Span {
    int begin;
    int end;
    float increment[kVoices];
    TableChoice tables;
    float frequency;  // for the phase lock
    // The span opens with an update that locks the phases (lockVoice, at the
    // phases reached here); `relocked`: the increments were set again after
    // the lock, which keeps only its phase jumps.
    bool lock;
    bool relocked;
};

// Everything the spans of one block share, and the voice state they move on.
struct BlockJob {
    const float* sine = nullptr;  // length + 1 samples: sample 0 again at the end
    int length = 0;  // samples per table, at least 2
    float evenLevel = 1.0f;
    float oddLevel = 1.0f;
    float fundamental = 0.5f;  // fundamentalLevel × 0.5
    float sampleRate = 44100.0f;
    float phase[kVoices] = {};
    float increment[kVoices] = {};  // left as the last span ran them
    float offset[kVoices] = {};     // the phase lock's targets
    bool resync[kVoices] = {};
    bool lockChanged = false;  // the last span's lock changed increments that still hold
    float gainA[kVoices] = {};
    float gainB[kVoices] = {};
    const float* drift[kVoices] = {};  // block-indexed drift samples; null: the voice reads at its phase
    float depth[kVoices] = {};
    // Instead of reading `drift`, step the drift LFOs of voices 1–4 here
    // (state x, y and coefficient k per voice, moved on to the block's end),
    // and offset the voices by their samples only when `drifting`.
    bool stepDrift = false;
    bool drifting = false;
    float driftX[kVoices - 1] = {};
    float driftY[kVoices - 1] = {};
    float driftK[kVoices - 1] = {};
    float* out = nullptr;
    float* second = nullptr;
    const Span* spans = nullptr;
    int spanCount = 0;
};

// Renders the spans in order into both outputs and leaves the phases, the
// increments, the resync flags and the drift state where the last span ends.
// Audio thread. The drift signals are read up to the last span's end only.
void renderSse2(BlockJob& job);
// As renderSse2, eight samples at a time; only where simdLevel() reports AVX2.
void renderAvx2(BlockJob& job);

}  // namespace SPKit::OscillatorSpan
