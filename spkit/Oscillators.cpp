// Wavetable sharing, the load-time table build, and the oscillators.
// The table set is a band-limited sawtooth without its fundamental, split by
// harmonic parity so a saw/square blend is two weights; table t holds every
// harmonic that stays at or below the design Nyquist frequency up to t's upper edge.
#include "spkit/Oscillators.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include <emmintrin.h>

#include "spkit/Cpu.h"
#include "spkit/LFO.h"
#include "spkit/OscillatorSpan.h"

namespace SPKit {

using OscillatorSpan::readTables;
using OscillatorSpan::wrapPhase;

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kPi = 3.1415927f;

// Harmonics are summed for this many sample positions at a time, so the
// running state stays in the first-level cache while h climbs to the top.
constexpr int kBuildBlock = 256;

// Adds harmonics 2 … top[0] to every table, for sample positions
// [first, first + n). x holds at least first + kBuildBlock positions, so the
// loops run a fixed count and vectorise without a remainder. The positions are
// the running single-precision sum of 2π/N the tables are defined on; sin(h·x)
// comes from a double-precision rotation instead of a library call per sample,
// corrected (to second order) for the rounding of the single-precision product
// x·h the definition uses. Each table receives the running single-precision
// partial sums reached when h passes its top harmonic, in the order a
// table-by-table build adds them, so it matches that build to about one float step.
// Written once and compiled twice: for the SSE2 baseline and for AVX2, which
// halves the build time where the processor has it (chosen at run time; no
// ifunc, which Windows loaders lack).
__attribute__((always_inline)) inline void sumHarmonicsBody(const float* x, int first, int n, const int* top,
                                                             int tableCount, float* const* odd, float* const* even) {
    alignas(16) double cosH[kBuildBlock], sinH[kBuildBlock], cos1[kBuildBlock], sin1[kBuildBlock];
    alignas(16) float oddSum[kBuildBlock], evenSum[kBuildBlock], pos[kBuildBlock];
    for (int i = 0; i < kBuildBlock; ++i) {
        pos[i] = x[first + i];
        cos1[i] = std::cos(static_cast<double>(pos[i]));
        sin1[i] = std::sin(static_cast<double>(pos[i]));
        cosH[i] = cos1[i];
        sinH[i] = sin1[i];
        oddSum[i] = 0.0f;
        evenSum[i] = 0.0f;
    }
    int h = 1;
    for (int t = tableCount - 2; t >= 0; --t) {
        while (h < top[t]) {
            ++h;
            float* sum = (h & 1) ? oddSum : evenSum;
            const float hf = static_cast<float>(h);
            const double hd = h;
            const float weight = 1.0f / hf;
            for (int i = 0; i < kBuildBlock; ++i) {
                const double c = cosH[i] * cos1[i] - sinH[i] * sin1[i];
                const double s = sinH[i] * cos1[i] + cosH[i] * sin1[i];
                cosH[i] = c;
                sinH[i] = s;
                const double rounding = static_cast<double>(pos[i] * hf) - static_cast<double>(pos[i]) * hd;
                const float sine = static_cast<float>(s * (1.0 - 0.5 * rounding * rounding) + rounding * c);
                sum[i] += sine * weight * 0.5f;
            }
        }
        std::memcpy(odd[t] + first, oddSum, static_cast<std::size_t>(n) * sizeof(float));
        std::memcpy(even[t] + first, evenSum, static_cast<std::size_t>(n) * sizeof(float));
    }
}

void sumHarmonicsBaseline(const float* x, int first, int n, const int* top, int tableCount, float* const* odd,
                          float* const* even) {
    sumHarmonicsBody(x, first, n, top, tableCount, odd, even);
}

__attribute__((target("avx2"))) void sumHarmonicsAvx2(const float* x, int first, int n, const int* top,
                                                      int tableCount, float* const* odd, float* const* even) {
    sumHarmonicsBody(x, first, n, top, tableCount, odd, even);
}

// The library's one table set, built while the library loads. It lives in this
// file with the oscillators so any program that uses them links it in, and its
// priority puts it ahead of ordinary static objects that might ask for a share.
__attribute__((init_priority(200))) WavetableManager theManager(WavetableManager::kTableCount,
                                                                 WavetableManager::kTableLength,
                                                                 WavetableManager::kDesignRate);

}  // namespace

// ---- Wavetable ------------------------------------------------------------

Wavetable::__rep::__rep(int count, int length, int rate)
    : tableCount(count), tableLength(length), designRate(rate) {
    oddTables = new float*[static_cast<std::size_t>(count)];
    evenTables = new float*[static_cast<std::size_t>(count)];
    lookup = new int[static_cast<std::size_t>(rate / 2 + 1)]();
    boundaries = new int[static_cast<std::size_t>(count)]();
    samples = allocateAligned(2 * count * length);
    for (int t = 0; t < count; ++t) {
        oddTables[t] = samples + static_cast<std::size_t>(t) * length;
        evenTables[t] = samples + static_cast<std::size_t>(count + t) * length;
    }
}

void Wavetable::__rep::pairTables() {
    if (pairedTables != nullptr || tableCount == 0 || tableLength == 0) return;
    const std::size_t stride = 2 * (static_cast<std::size_t>(tableLength) + 1);
    paired = allocateAligned(static_cast<int>(stride) * tableCount);
    pairedTables = new float*[static_cast<std::size_t>(tableCount)];
    for (int t = 0; t < tableCount; ++t) {
        float* p = paired + static_cast<std::size_t>(t) * stride;
        pairedTables[t] = p;
        const float* even = evenTables[t];
        const float* odd = oddTables[t];
        int q = 0;
        for (; q + 4 <= tableLength; q += 4) {
            const __m128 e = _mm_loadu_ps(even + q), o = _mm_loadu_ps(odd + q);
            _mm_storeu_ps(p + 2 * q, _mm_unpacklo_ps(e, o));
            _mm_storeu_ps(p + 2 * q + 4, _mm_unpackhi_ps(e, o));
        }
        for (; q < tableLength; ++q) {
            p[2 * q] = even[q];
            p[2 * q + 1] = odd[q];
        }
        p[2 * tableLength] = even[0];
        p[2 * tableLength + 1] = odd[0];
    }
}

Wavetable::__rep::~__rep() {
    freeAligned(samples);
    freeAligned(paired);
    delete[] pairedTables;
    delete[] oddTables;
    delete[] evenTables;
    delete[] lookup;
    delete[] boundaries;
}

Wavetable::Wavetable() : rep(new __rep()) {}

Wavetable::Wavetable(int tableCount, int tableLength, int designRate)
    : rep(new __rep(tableCount, tableLength, designRate)) {}

Wavetable::Wavetable(const Wavetable& other) : rep(other.rep) { rep->refCount.fetch_add(1); }

Wavetable& Wavetable::operator=(const Wavetable& other) {
    assign(other);
    return *this;
}

Wavetable::~Wavetable() { release(); }

void Wavetable::release() {
    if (rep->refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete rep;
}

void Wavetable::assign(const Wavetable& other) {
    if (other.rep == rep) return;  // releasing first would free a set we are about to share
    release();
    rep = other.rep;
    rep->refCount.fetch_add(1);
}

// ---- WavetableManager ----------------------------------------------------

WavetableManager::WavetableManager(int tableCount, int tableLength, int designRate)
    : table(tableCount, tableLength, designRate) {
    Wavetable::__rep& r = *table.rep;
    const int T = tableCount, N = tableLength;
    const int half = designRate / 2, quarter = half / 2;

    // The last table is silent and serves everything above the quarter rate.
    for (int f = quarter + 1; f <= half; ++f) r.lookup[f] = T - 1;
    r.boundaries[T - 1] = quarter;

    // Table edges are spaced evenly in note number from 0 to the quarter rate's note.
    const float noteMax = (std::log(static_cast<float>(quarter)) - std::log(440.0f)) * 12.0f / std::log(2.0f) + 69.0f;
    std::vector<int> top(static_cast<std::size_t>(T), 0);  // highest harmonic each table holds
    int edge = quarter;
    int highest = 1;
    for (int t = T - 2; t >= 0; --t) {
        const int above = half / edge - 1;  // harmonics above the fundamental that fit at the upper edge
        const int v = static_cast<int>(
            440.0f * std::pow(2.0f, (static_cast<float>(t) * noteMax / static_cast<float>(T) - 69.0f) / 12.0f));
        while (v < edge) r.lookup[edge--] = t;
        r.boundaries[t] = v;
        highest = std::max(highest, above + 1);
        top[static_cast<std::size_t>(t)] = highest;
    }
    for (int f = 0; f <= edge; ++f) r.lookup[f] = 0;
    r.boundaries[0] = 0;

    // The running sum the tables are defined on, padded to whole build blocks.
    const int padded = (N + kBuildBlock - 1) / kBuildBlock * kBuildBlock;
    std::vector<float> positions(static_cast<std::size_t>(padded));
    float x = 0.0f;
    for (int k = 0; k < padded; ++k) {
        positions[static_cast<std::size_t>(k)] = x;
        x += kTwoPi / static_cast<float>(N);
    }
    const auto sumHarmonics = simdLevel() == SimdLevel::Avx2 ? sumHarmonicsAvx2 : sumHarmonicsBaseline;
    for (int first = 0; first < N; first += kBuildBlock)
        sumHarmonics(positions.data(), first, std::min(kBuildBlock, N - first), top.data(), T, r.oddTables,
                     r.evenTables);
    r.pairTables();
}

void WavetableManager::getWavetable(Wavetable& handle) { handle.assign(table); }

WavetableManager& WavetableManager::global() { return theManager; }

// ---- Oscillator ------------------------------------------------------------

void Oscillator::process(float*, int count) { updateControl(count); }

void Oscillator::setControl(Processor* source) { Controlled::setControl(source); }

// ---- MultiOscillator -------------------------------------------------------

MultiOscillator::MultiOscillator()
    : Buffered(kMaxBlock),
      detuneBuffer(allocateAligned(kMaxBlock)),
      driftBuffers(allocateAligned(kVoices * kMaxBlock)) {
    switch (simdLevel()) {
        case SimdLevel::Avx2: renderer = OscillatorSpan::renderAvx2; break;
        case SimdLevel::Sse2: renderer = OscillatorSpan::renderSse2; break;
        case SimdLevel::Scalar: renderer = nullptr; break;
    }
    for (auto& lfo : drift) lfo = std::make_unique<LFO>();
    setDriftRate(driftRate);
}

MultiOscillator::~MultiOscillator() {
    freeAligned(sineTable);
    freeAligned(detuneBuffer);
    freeAligned(driftBuffers);
}

void MultiOscillator::setWavetable(const Wavetable& table) {
    wavetable.assign(table);
    selectedFrequency = -1.0f;  // select again from the new set
    const int n = wavetable.getTableLength();
    if (n != sineLength) {
        freeAligned(sineTable);
        // One sample more: sample 0 repeated, so the vector renderers interpolate past the last without a wrap.
        sineTable = n > 0 ? allocateAligned(n + 1) : nullptr;
        sineLength = n;
    }
    for (int i = 0; i < n; ++i)
        sineTable[i] = std::sin(static_cast<float>(i) * kTwoPi / static_cast<float>(n));
    if (n > 0) sineTable[n] = sineTable[0];
}

void MultiOscillator::updateIncrements() {
    const int n = wavetable.getTableLength();
    const float base = static_cast<float>(n) * frequency;
    for (auto& v : voices) v.increment = base * v.ratio / sampleRate;
    incrementsKey = {std::bit_cast<std::uint32_t>(frequency), std::bit_cast<std::uint32_t>(sampleRate), n};
}

void MultiOscillator::setFrequency(float f) {
    const float nyquist = sampleRate * 0.5f;
    if (f > nyquist) f = nyquist;
    if (!(f >= 0.0f)) f = 0.0f;  // negative, and NaN, would index outside the lookup
    frequency = f;
    // A held pitch (the usual case at every update) would give the same bits again.
    const IncrementsKey key{std::bit_cast<std::uint32_t>(f), std::bit_cast<std::uint32_t>(sampleRate),
                            wavetable.getTableLength()};
    if (key != incrementsKey) updateIncrements();
}

void MultiOscillator::setSampleRate(float rate) {
    Controlled::setSampleRate(rate);
    setFrequency(frequency);  // re-clamps to the new Nyquist frequency
    if (detuneSource != nullptr) detuneSource->setSampleRate(rate);
    for (auto& lfo : drift) lfo->setSampleRate(rate);
}

void MultiOscillator::setDetune(float d) {
    detune = d;
    voices[0].ratio = 1.0f;
    voices[1].ratio = 1.0f + d;
    voices[2].ratio = 1.0f - d;
    voices[3].ratio = 1.0f + 2.0f * d;
    voices[4].ratio = 1.0f - 2.0f * d;
    updateIncrements();
}


void MultiOscillator::setPhase(float a) {
    const float n = static_cast<float>(wavetable.getTableLength());
    if (n <= 0.0f) return;
    for (auto& v : voices) v.phase = wrapPhase(n * a * v.ratio / kTwoPi, n);
}

float MultiOscillator::getPhase() {
    const int n = wavetable.getTableLength();
    return n > 0 ? voices[0].phase * kTwoPi / static_cast<float>(n) : 0.0f;
}

void MultiOscillator::setPhaseSpread(float x) {
    phaseSpread = x;
    const float n = static_cast<float>(wavetable.getTableLength());
    const float b = 4.0f * x;
    static constexpr float kFactors[kVoices] = {0.0f, 1.125f, 0.875f, 1.25f, 0.75f};
    voices[0].offset = 0.0f;
    const float c = n > 0.0f ? std::fmod(n * b, n) : 0.0f;
    for (int j = 1; j < kVoices; ++j) {
        float offset = n > 0.0f ? std::fmod(b * kFactors[j] * n, n) - c : 0.0f;
        if (offset < 0.0f) offset += n;
        voices[j].offset = offset;
        voices[j].resync = true;
    }
}

void MultiOscillator::setDetuneSource(Processor* source) {
    detuneSource = source;
    if (source != nullptr) {
        source->attachOutput(this);
        source->setSampleRate(sampleRate);
    }
}

void MultiOscillator::setDriftRate(float r) {
    driftRate = r;
    for (int k = 1; k < kVoices; ++k)
        drift[k]->setFrequency(4.0f * r * (1.0f + static_cast<float>(k - 1) * 0.33333334f * driftSpread * 2.77f));
}

void MultiOscillator::setDriftSpread(float e) {
    driftSpread = e;
    if (e == 0.0f)
        for (int k = 1; k < kVoices; ++k) drift[k]->restart();
    setDriftRate(driftRate);
}

void MultiOscillator::setVoiceLevel(float s) {
    voiceLevel = s;
    setStereoSpread(stereoSpread);
}

void MultiOscillator::setStereoSpread(float p) {
    stereoSpread = p;
    const float s = voiceLevel;
    const float w = (1.0f - 0.5f * p) * s * 0.2f;
    voices[0].gainA = voices[0].gainB = 1.0f - 0.8f * s;
    voices[1].gainA = (1.0f + p) * w;
    voices[1].gainB = (1.0f - p) * w;
    voices[2].gainA = (1.0f - p) * w;
    voices[2].gainB = (1.0f + p) * w;
    voices[3].gainA = (1.0f - p) * w;
    voices[3].gainB = (1.0f + p) * w;
    voices[4].gainA = (1.0f + p) * w;
    voices[4].gainB = (1.0f - p) * w;
}

void MultiOscillator::selectTables() {
    // The selection depends only on these two and the table set: a held pitch keeps it.
    if (frequency == selectedFrequency && sampleRate == selectedRate) return;
    selectedFrequency = frequency;
    selectedRate = sampleRate;
    OscillatorSpan::TableChoice sel = OscillatorSpan::kNoTables;
    const int T = wavetable.getTableCount();
    const int rate = wavetable.getDesignRate();
    const int half = rate / 2;
    const float scaled = frequency * static_cast<float>(rate) / sampleRate;
    const int index = std::clamp(static_cast<int>(std::ceil(scaled)), 0, half);
    const int t = wavetable.getLookup()[index];
    const int next = t + 1 < T ? t + 1 : t;
    if (next != t) {
        const int* edges = wavetable.getBoundaries();
        const float lower = static_cast<float>(edges[t]) * sampleRate / static_cast<float>(rate);
        const float upper = static_cast<float>(edges[next]) * sampleRate / static_cast<float>(rate);
        sel.odd = wavetable.getOddTables()[t];
        sel.even = wavetable.getEvenTables()[t];
        sel.nextOdd = wavetable.getOddTables()[next];
        sel.nextEven = wavetable.getEvenTables()[next];
        if (const float* const* paired = wavetable.getPairedTables(); paired != nullptr) {
            sel.pairs = paired[t];
            sel.nextPairs = paired[next];
        }
        sel.crossfade = (frequency - lower) / (upper - lower);
        sel.silent = false;
    }
    selection = sel;
}

void MultiOscillator::lockPhases() {
    const float n = static_cast<float>(wavetable.getTableLength());
    for (int j = 1; j < kVoices; ++j) {
        Voice& v = voices[j];
        if (OscillatorSpan::lockVoice(v.phase, v.increment, v.resync, voices[0].phase, v.offset, n, frequency,
                                      sampleRate))
            incrementsKey = {};  // no longer what updateIncrements made
    }
}

// The beat sets the detune from the pitch: a whole number of cycles per beat.
float MultiOscillator::beatDetune() const {
    const float cyclesPerBeat = std::floor(frequency * (1.0f / beatRate));
    return cyclesPerBeat > 2.0f ? 1.0f / cyclesPerBeat : 0.5f;
}

bool MultiOscillator::applyBeat() {
    if (!(beatRate > 0.0f && frequency > 0.0f)) return false;
    setDetune(beatDetune());
    return true;
}

// A span ends where needsUpdate next answers true or the detune is next read.
// The counter moves as if needsUpdate had been asked once for every sample up
// to the end, and is asked for the end itself; `update` says what it answered.
int MultiOscillator::endSpan(int begin, int count, bool& update) {
    int end = count;
    if (control != nullptr) {
        const int quiet = updateInterval - updateCounter;
        if (quiet >= 0) end = std::min(count, begin + 1 + quiet);
    }
    if (detuneSource != nullptr) end = std::min(end, (begin | 7) + 1);
    update = false;
    if (control != nullptr) {
        updateCounter += end - begin - 1;
        update = end < count && needsUpdate();
    }
    return end;
}

namespace {

// Whether `next` sets nothing that `span`, just before it, had not: then the
// renderer runs the two as one. A span that locks applies the lock at its
// start, so neither may lock; the rest must hold the same bits.
bool continues(const OscillatorSpan::Span& span, const OscillatorSpan::Span& next) {
    const OscillatorSpan::TableChoice& a = span.tables;
    const OscillatorSpan::TableChoice& b = next.tables;
    return !span.lock && !next.lock && span.end == next.begin &&
           std::memcmp(span.increment, next.increment, sizeof(span.increment)) == 0 && a.even == b.even &&
           a.odd == b.odd && a.nextEven == b.nextEven && a.nextOdd == b.nextOdd && a.pairs == b.pairs &&
           a.nextPairs == b.nextPairs && std::bit_cast<std::uint32_t>(a.crossfade) == std::bit_cast<std::uint32_t>(b.crossfade) &&
           a.silent == b.silent;
}

}  // namespace

// The vector path's spans end where the scalar loop's do (see process). The
// updates are applied here as the scalar loop applies them, except the phase
// lock, which needs the phases the span starts at: the renderer applies it
// (lockVoice) as its phase chain reaches the span. The lock's increments hold
// only until the next update, which makes new ones (see IncrementsKey) and so
// never reads them; the spans record the increments these updates make.
void MultiOscillator::renderSpans(OscillatorSpan::BlockJob& job, int count, bool update) {
    constexpr int kBatch = 64;
    OscillatorSpan::Span spans[kBatch];
    job.spans = spans;
    // A held control (every value of the block's ramp the same bits), once
    // applied, applies the same frequency, tables and beat again at every
    // later update: those change nothing, unless a lock is due (detune 0) or
    // the detune source has moved the detune in between.
    float held = 0.0f;
    const bool flat = control != nullptr && rampIsFlat(held);
    bool heldApplied = false;
    for (int begin = 0; begin < count;) {
        int used = 0;
        while (used < kBatch && begin < count) {
            const bool still = update && heldApplied && detune != 0.0f && detuneSource == nullptr;
            if (still && used > 0 && !spans[used - 1].lock && spans[used - 1].end == begin && updateCounter >= 1 &&
                updateCounter <= updateInterval) {
                // No update left in the block changes anything: the span before
                // runs to its end, and the counter moves as if asked once for
                // every sample after this one (it was asked for this one).
                updateCounter = (updateCounter - 1 + (count - begin - 1)) % updateInterval + 1;
                spans[used - 1].end = count;
                begin = count;
                break;
            }
            OscillatorSpan::Span& span = spans[used];
            span.lock = false;
            span.relocked = false;
            if (update && !still) {
                setFrequency(controlAt(begin));
                selectTables();
                span.lock = detune == 0.0f;
                if (applyBeat()) span.relocked = span.lock;
                heldApplied = flat;
            }
            if (detuneSource != nullptr && (begin & 7) == 0) {
                setDetune(detuneBuffer[begin]);
                span.relocked = span.lock;
            }
            const int end = endSpan(begin, count, update);
            span.begin = begin;
            span.end = end;
            for (int j = 0; j < kVoices; ++j) span.increment[j] = voices[j].increment;
            span.tables = selection;
            span.frequency = frequency;
            begin = end;
            // An update that left every setting as it was (a held pitch) and
            // locks nothing continues the span before: fewer, longer pieces.
            if (used > 0 && continues(spans[used - 1], span))
                spans[used - 1].end = end;
            else
                ++used;
        }
        job.spanCount = used;
        for (int j = 0; j < kVoices; ++j) {
            job.phase[j] = voices[j].phase;
            job.increment[j] = voices[j].increment;
            job.offset[j] = voices[j].offset;
            job.resync[j] = voices[j].resync;
        }
        renderer(job);
        for (int j = 0; j < kVoices; ++j) {
            voices[j].phase = job.phase[j];
            voices[j].increment = job.increment[j];
            voices[j].resync = job.resync[j];
        }
        if (job.lockChanged) incrementsKey = {};
    }
    job.spans = nullptr;  // the batch lives on this frame only
}

void MultiOscillator::renderSpan(float* out, float* second, int begin, int end, const float* const* driftSignal,
                                 const float* driftDepths) {
    // The scalar reference: voice by voice over the span.
    const int N = sineLength;
    const float n = static_cast<float>(N);
    const OscillatorSpan::TableChoice sel = selection;
    const float even = evenLevel, odd = oddLevel, fundamental = fundamentalLevel * 0.5f;

    // The sine fundamental, read at voice 0's phase before it advances, plus voice 0 (never drifted).
    {
        Voice& v = voices[0];
        float phase = v.phase;
        const float increment = v.increment, gainA = v.gainA, gainB = v.gainB;
        for (int i = begin; i < end; ++i) {
            const int k0 = static_cast<int>(phase);
            const int k1 = k0 == N - 1 ? 0 : k0 + 1;
            const float fr = phase - static_cast<float>(k0);
            const float f0 = ((1.0f - fr) * sineTable[k0] + fr * sineTable[k1]) * fundamental;
            phase = wrapPhase(phase + increment, n);
            if (sel.silent) {
                out[i] = f0;
                second[i] = f0;
            } else {
                const float s =
                    readTables(sel.even, sel.odd, sel.nextEven, sel.nextOdd, even, odd, sel.crossfade, phase, N);
                out[i] = f0 + gainA * s;
                second[i] = f0 + gainB * s;
            }
        }
        v.phase = phase;
    }
    // Voices 1–4, each added in turn as the per-sample order of the sum requires.
    for (int j = 1; j < kVoices; ++j) {
        Voice& v = voices[j];
        if (sel.silent) {
            float phase = v.phase;
            const float increment = v.increment;
            for (int i = begin; i < end; ++i) phase = wrapPhase(phase + increment, n);
            v.phase = phase;
        } else if (driftSignal[j] == nullptr) {
            addVoice<false>(v, out, second, begin, end, nullptr, 0.0f);
        } else {
            addVoice<true>(v, out, second, begin, end, driftSignal[j], driftDepths[j]);
        }
    }
}

template <bool kDrifted>
void MultiOscillator::addVoice(Voice& v, float* out, float* second, int begin, int end, const float* lfo,
                               float depth) {
    const int N = sineLength;
    const float n = static_cast<float>(N);
    const OscillatorSpan::TableChoice sel = selection;
    const float even = evenLevel, odd = oddLevel;
    float phase = v.phase;
    const float increment = v.increment, gainA = v.gainA, gainB = v.gainB;
    for (int i = begin; i < end; ++i) {
        phase = wrapPhase(phase + increment, n);
        // Undrifted, the offset depth × lfo is ±0 and the wrapped sum is the phase itself.
        const float pos = kDrifted ? wrapPhase(phase + depth * lfo[i] * n * 0.3f, n) : phase;
        const float s = readTables(sel.even, sel.odd, sel.nextEven, sel.nextOdd, even, odd, sel.crossfade, pos, N);
        out[i] += gainA * s;
        second[i] += gainB * s;
    }
    v.phase = phase;
}

void MultiOscillator::process(float* out, int count) {
    float* const second = buffer;
    if (replayNext) {
        std::memcpy(out, second, static_cast<std::size_t>(count) * sizeof(float));
        replayNext = false;
        return;
    }
    replayNext = true;
    updateControl(count);

    const int N = wavetable.getTableLength();
    if (N == 0 || sineTable == nullptr) {  // no table set yet: stay silent rather than read nothing
        std::memset(out, 0, static_cast<std::size_t>(count) * sizeof(float));
        std::memset(second, 0, static_cast<std::size_t>(count) * sizeof(float));
        return;
    }
    if (detuneSource != nullptr) detuneSource->process(detuneBuffer, count);
    selectTables();
    // Each voice's drift depth; the phase offset is depth × lfo × N × 0.3, multiplied in that order.
    float driftDepths[kVoices];
    const float* driftSignal[kVoices];
    bool drifting = false;
    for (int j = 0; j < kVoices; ++j) {
        driftDepths[j] = j == 0 ? 0.0f
                                : driftDepth - driftSpread / (driftSpread + 0.2f) * static_cast<float>(j - 1) *
                                                   0.33333334f * driftDepth;
        drifting = drifting || (j > 0 && driftDepths[j] != 0.0f);
    }
    // Voice 0 is never drifted, so its LFO's samples are never read and it need
    // not run. The other four always run, so their phases are where they would
    // be had they been heard all along; at depth 0 (the usual case) only their
    // state moves. A depth of 0 times a finite LFO sample is ±0 and moves no
    // phase, so those voices skip the offset; should an LFO have gone non-finite
    // (0 × NaN is NaN), the block is rerun with its samples.
    LFO* const lfos[kVoices - 1] = {drift[1].get(), drift[2].get(), drift[3].get(), drift[4].get()};
    float* const signals[kVoices - 1] = {driftBuffers + 1 * kMaxBlock, driftBuffers + 2 * kMaxBlock,
                                         driftBuffers + 3 * kMaxBlock, driftBuffers + 4 * kMaxBlock};
    // The vector renderers step the four LFOs beside the voices' phases, where
    // their recurrences cost little. That needs to know beforehand whether a
    // sample can go non-finite: with |k| below 1.99 the form x² + y² − k·x·y the
    // recurrence keeps is far from degenerate, so x and y stay within about
    // twenty times their size, and from below 1e30 nothing can overflow.
    bool stepDrift = renderer != nullptr && N >= 2;
    for (int j = 0; j < kVoices - 1 && stepDrift; ++j) {
        const LFO::State s = lfos[j]->state();
        stepDrift = lfos[j]->getControl() == nullptr && lfos[j]->isFinite() &&
                    std::fabs(lfos[j]->coefficient()) < 1.99f && std::fabs(s.x) < 1e30f && std::fabs(s.y) < 1e30f;
    }
    if (!stepDrift && !drifting) {
        LFO::State before[kVoices - 1];
        for (int j = 0; j < kVoices - 1; ++j) before[j] = lfos[j]->state();
        LFO::processTogether(lfos, nullptr, kVoices - 1, count);
        for (int j = 0; j < kVoices - 1; ++j) drifting = drifting || !lfos[j]->isFinite();
        if (drifting)
            for (int j = 0; j < kVoices - 1; ++j) lfos[j]->setState(before[j]);
    }
    if (drifting && !stepDrift) LFO::processTogether(lfos, signals, kVoices - 1, count);
    driftSignal[0] = nullptr;
    for (int j = 1; j < kVoices; ++j) driftSignal[j] = drifting && !stepDrift ? signals[j - 1] : nullptr;

    // What the vector renderer reads that holds for the whole block; each span adds its own.
    OscillatorSpan::BlockJob block;
    OscillatorSpan::BlockJob* const job = renderer != nullptr && N >= 2 ? &block : nullptr;
    if (job != nullptr) {
        block.sine = sineTable;
        block.length = N;
        block.evenLevel = evenLevel;
        block.oddLevel = oddLevel;
        block.fundamental = fundamentalLevel * 0.5f;
        block.sampleRate = sampleRate;
        for (int j = 0; j < kVoices; ++j) {
            block.gainA[j] = voices[j].gainA;
            block.gainB[j] = voices[j].gainB;
            block.drift[j] = driftSignal[j];
            block.depth[j] = driftDepths[j];
        }
        block.out = out;
        block.second = second;
        block.stepDrift = stepDrift;
        block.drifting = drifting;
        for (int j = 0; stepDrift && j < kVoices - 1; ++j) {
            block.driftX[j] = lfos[j]->state().x;
            block.driftY[j] = lfos[j]->state().y;
            block.driftK[j] = lfos[j]->coefficient();
        }
    }

    // The block runs in spans between the samples where the frequency control
    // is applied (needsUpdate, asked once per sample in order) or the detune
    // source is read (every 8th sample); within a span all settings hold, so
    // each voice renders the span in one tight loop.
    bool update = count > 0 && control != nullptr && needsUpdate();
    if (job != nullptr) {
        renderSpans(block, count, update);
        if (stepDrift)
            for (int j = 0; j < kVoices - 1; ++j) lfos[j]->setState({block.driftX[j], block.driftY[j]});
        return;
    }
    for (int begin = 0; begin < count;) {
        if (update) {
            setFrequency(controlAt(begin));
            selectTables();
            if (detune == 0.0f) lockPhases();
            applyBeat();
        }
        if (detuneSource != nullptr && (begin & 7) == 0) setDetune(detuneBuffer[begin]);
        const int end = endSpan(begin, count, update);
        renderSpan(out, second, begin, end, driftSignal, driftDepths);
        begin = end;
    }
}

// ---- Squarewave ------------------------------------------------------------

void Squarewave::setFrequency(float f) {
    frequency = f;
    increment = f * kTwoPi / sampleRate;
}

void Squarewave::setSampleRate(float rate) {
    Controlled::setSampleRate(rate);
    increment = frequency * kTwoPi / sampleRate;
}

void Squarewave::setPhase(float a) {
    phase = a;
    sign = a < kPi ? 1.0f : -1.0f;
}

void Squarewave::process(float* out, int count) {
    updateControl(count);
    // The update points come from controlRun, which paces them as asking at
    // every sample would, so the loop between them needs no call per sample.
    for (int i = 0; i < count;) {
        const int run = controlRun(i, count - i, [this](float value) { setFrequency(value); });
        for (const int end = i + run; i < end; ++i) {
            step();
            out[i] = sign;
        }
    }
}

// ---- Noise, DummyOscillator ------------------------------------------------

void Noise::process(float* out, int count) {
    std::uint32_t ca = a, cb = b;
    for (int i = 0; i < count; ++i) {
        ca ^= cb;
        out[i] = static_cast<float>(static_cast<std::int32_t>(cb)) * 4.656613e-10f;
        cb += ca;
    }
    a = ca;
    b = cb;
}

void DummyOscillator::process(float* out, int count) {
    std::memset(out, 0, static_cast<std::size_t>(count) * sizeof(float));
}

}  // namespace SPKit
