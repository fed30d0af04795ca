// The filter family's coefficient design (double precision, at parameter and
// control rate only) and its per-sample kernels (single precision). A block is
// cut into runs that share one coefficient set (Controlled::controlRun), so the
// control decisions land on exactly the samples a per-sample needsUpdate() would pick.
#include "spkit/Filters.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <typeinfo>

#include "spkit/Cpu.h"
#include "spkit/simd/Stereo.h"

namespace SPKit {

// A left / right pair of one filter class that runs as one two-lane kernel:
// lane 0 the left channel, lane 1 the right, each with its own coefficients
// and its own control timing, every operation as the one-channel loop has it.
struct FilterPair {
    void* units[2];  // the two members, as their own class
    simd::PairedBlock block;
    float* stash;

    FilterPair(void* left, void* right) : units{left, right}, stash(allocateAligned(kMaxBlock)) { block.stash = stash; }
    ~FilterPair() { freeAligned(stash); }
    FilterPair(const FilterPair&) = delete;
    FilterPair& operator=(const FilterPair&) = delete;

    int indexOf(const void* unit) const { return units[0] == unit ? 0 : 1; }

    // Setup: pairs two units of one class where the processor has SSE2.
    template <class Filter>
    static bool join(Filter* left, Filter* right) {
        if (simdLevel() == SimdLevel::Scalar || left == right) return false;
        auto made = std::make_shared<FilterPair>(left, right);
        left->pair = made;
        right->pair = made;
        return true;
    }

    // Audio thread: pulls both members' inputs and control blocks (left
    // first, as when they run one by one) into out and the stash; then
    // `run(blocks)` computes both in place.
    template <class Filter, class Run>
    void process(int index, float* out, int count, Run&& run) {
        if (block.collect(index, out, count)) return;
        float* blocks[2];
        blocks[index] = out;
        blocks[1 - index] = stash;
        for (int c = 0; c < 2; ++c) {
            Filter* unit = static_cast<Filter*>(units[c]);
            unit->input->process(blocks[c], count);
            unit->updateControl(count);
        }
        run(blocks);
        block.leave(1 - index, count);
    }
};

namespace {

inline __m128 lanes(float left, float right) { return _mm_unpacklo_ps(_mm_set_ss(left), _mm_set_ss(right)); }

inline void storeLanes(float* left, float* right, int i, __m128 v) {
    _mm_store_ss(left + i, v);
    _mm_store_ss(right + i, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Cuts a paired block into stretches on which neither channel's control
// decision falls: for each channel whose run has ended at i, `next(c, i)`
// asks its controlRun for the next run's length; then `kernel(i, end)`.
template <class Next, class Kernel>
void pairedRuns(int count, Next&& next, Kernel&& kernel) {
    int end[2] = {0, 0};
    for (int i = 0; i < count;) {
        for (int c = 0; c < 2; ++c)
            if (end[c] == i) end[c] = i + next(c, i);
        const int stop = std::min(end[0], end[1]);
        kernel(i, stop);
        i = stop;
    }
}

}  // namespace

namespace {

constexpr double kTwoPi = 6.2831855;       // the single-precision 2 pi the designs use
constexpr float kTwoPiF = 6.2831855f;
constexpr float kPiF = 3.1415927f;
constexpr float kLn2Half = 0.3465736f;     // ln 2 / 2: octaves to the cookbook's sinh argument
// A zero bandwidth (width 1, which the width control reaches) puts the poles
// on the unit circle: an undamped resonator for the low, high and band types.
// 1/1000 octave (a Q of about 1440) still keeps them inside in single
// precision down to the 10 Hz floor, and touches only widths above 0.999.
constexpr double kMinBandwidthOctaves = 0.001;
// At 0 Hz the cookbook's w0 / sin(w0) is 0 / 0, and a few hertz from it the
// single-precision recursion of a narrow response can no longer hold its poles
// inside the unit circle. 10 Hz is the lowest corner the instrument asks for.
constexpr float kMinBiQuadFrequency = 10.0f;

// How the direct-form-I sum is grouped. The biquad pairs each feed-forward
// term with its feedback term, so that equal numerator and denominator (a 0 dB
// peak) cancel exactly and the filter is a true identity; the Butterworth
// band-pass sums left to right.
enum class Grouping { Paired, LeftToRight };

// The direct-form-I difference equation over out[begin, end), all on one
// coefficient set; the history lives in locals for the length of a block.
struct DirectFormI {
    float x1, x2, y1, y2;

    template <Grouping grouping>
    void run(float* out, int begin, int end, float b0, float b1, float b2, float a1, float a2) {
        for (int i = begin; i < end; ++i) {
            const float x = out[i];
            const float y = grouping == Grouping::Paired ? b0 * x + (b1 * x1 - a1 * y1) + (b2 * x2 - a2 * y2)
                                                         : b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            out[i] = y;
        }
    }
};

}  // namespace

// ---------------------------------------------------------------- BiQuad

BiQuad::BiQuad(int type) : type(std::clamp(type, static_cast<int>(kLowPass), static_cast<int>(kHighShelf))) {
    updateCoefficients();
}

void BiQuad::setSampleRate(float rate) {
    Controlled::setSampleRate(rate);
    updateCoefficients();
}

void BiQuad::setType(int t) {
    type = std::clamp(t, static_cast<int>(kLowPass), static_cast<int>(kHighShelf));
    updateCoefficients();
}

void BiQuad::setFrequency(float f) {
    frequency = std::min(std::max(f, kMinBiQuadFrequency), 0.4f * sampleRate);
    updateCoefficients();
}

void BiQuad::setControl(Processor* source) { Controlled::setControl(source); }

void BiQuad::setGain(float db) {
    // The control calls this every update interval, mostly with the value it
    // gave last time (a shelf held at 0 dB); the same bits design the same
    // coefficients, so only a changed value is worth the transcendental work.
    if (std::bit_cast<std::uint32_t>(db) == std::bit_cast<std::uint32_t>(gainDb)) return;
    gainDb = db;
    updateCoefficients();
}

void BiQuad::setWidth(float w) {
    width = w;
    updateCoefficients();
}

void BiQuad::reset() {
    if (pair != nullptr) pair->block.forget();
    width = 0.0f;
    b0 = b1 = b2 = a1 = a2 = 0.0f;
    x1 = x2 = y1 = y2 = 0.0f;
    updateCoefficients();
}

void BiQuad::updateCoefficients() {
    const double A = std::pow(10.0, gainDb * 0.025);
    const double w0 = kTwoPi * frequency / sampleRate;
    const double sn = std::sin(w0);
    const double cs = std::cos(w0);
    const double bandwidth = std::max(1.0 - width, kMinBandwidthOctaves);
    const double alpha = sn * std::sinh(static_cast<double>(kLn2Half) * bandwidth * w0 / sn);
    const double beta = std::sqrt(2.0 * A) * sn;

    double nb0, nb1, nb2, na0, na1, na2;
    switch (type) {
        case kLowPass:
            nb0 = (1.0 - cs) * 0.5; nb1 = 1.0 - cs; nb2 = (1.0 - cs) * 0.5;
            na0 = 1.0 + alpha; na1 = -2.0 * cs; na2 = 1.0 - alpha;
            break;
        case kHighPass:
            nb0 = (1.0 + cs) * 0.5; nb1 = -(1.0 + cs); nb2 = (1.0 + cs) * 0.5;
            na0 = 1.0 + alpha; na1 = -2.0 * cs; na2 = 1.0 - alpha;
            break;
        case kBandPass:
            nb0 = alpha; nb1 = 0.0; nb2 = -alpha;
            na0 = 1.0 + alpha; na1 = -2.0 * cs; na2 = 1.0 - alpha;
            break;
        case kNotch:
            nb0 = 1.0; nb1 = -2.0 * cs; nb2 = 1.0;
            na0 = 1.0 + alpha; na1 = -2.0 * cs; na2 = 1.0 - alpha;
            break;
        case kPeakEq:
            nb0 = 1.0 + alpha * A; nb1 = -2.0 * cs; nb2 = 1.0 - alpha * A;
            na0 = 1.0 + alpha / A; na1 = -2.0 * cs; na2 = 1.0 - alpha / A;
            break;
        case kLowShelf:
            nb0 = A * ((A + 1.0) - (A - 1.0) * cs + beta);
            nb1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * cs);
            nb2 = A * ((A + 1.0) - (A - 1.0) * cs - beta);
            na0 = (A + 1.0) + (A - 1.0) * cs + beta;
            na1 = -2.0 * ((A - 1.0) + (A + 1.0) * cs);
            na2 = (A + 1.0) + (A - 1.0) * cs - beta;
            break;
        default:  // kHighShelf
            nb0 = A * ((A + 1.0) + (A - 1.0) * cs + beta);
            nb1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cs);
            nb2 = A * ((A + 1.0) + (A - 1.0) * cs - beta);
            na0 = (A + 1.0) - (A - 1.0) * cs + beta;
            na1 = 2.0 * ((A - 1.0) - (A + 1.0) * cs);
            na2 = (A + 1.0) - (A - 1.0) * cs - beta;
            break;
    }
    b0 = static_cast<float>(nb0 / na0);
    b1 = static_cast<float>(nb1 / na0);
    b2 = static_cast<float>(nb2 / na0);
    a1 = static_cast<float>(na1 / na0);
    a2 = static_cast<float>(na2 / na0);
}

namespace {

// A 0 dB peak or shelf designs equal numerator and denominator (b0 = 1, b1 = a1,
// b2 = a2); with equal input and output history the paired sum is then
// x + (p - p) + (q - q), and p - p is exactly +0 for a finite product p, so the
// output is the input itself. These helpers say when that holds to the bit.
constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr std::uint32_t kSmallestNormal = 0x00800000u;
constexpr float kLargestPassed = 1.0e30f;  // times a coefficient below 1e8 stays finite
constexpr float kLargestCoefficient = 1.0e8f;

// +0, or a normal number of moderate size: x + 0 is x itself (not so for -0,
// which becomes +0, nor for a subnormal, which a flushing FPU turns into 0).
inline bool passesUnchanged(float x) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t magnitude = bits & ~kSignBit;
    return bits == 0u || (magnitude >= kSmallestNormal && magnitude <= std::bit_cast<std::uint32_t>(kLargestPassed));
}

inline bool sameBits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

inline bool allPassUnchanged(const float* x, int begin, int end) {
    bool ok = true;
    for (int i = begin; i < end; ++i) ok &= passesUnchanged(x[i]);
    return ok;
}

}  // namespace

bool BiQuad::isIdentity(float hx1, float hx2, float hy1, float hy2) const {
    return b0 == 1.0f && sameBits(b1, a1) && sameBits(b2, a2) && std::fabs(b1) <= kLargestCoefficient &&
           std::fabs(b2) <= kLargestCoefficient && sameBits(hx1, hy1) && sameBits(hx2, hy2) && passesUnchanged(hx1) &&
           passesUnchanged(hx2);
}

bool BiQuad::pairWith(BiQuad& right) { return FilterPair::join(this, &right); }

// Where the one-channel path takes its identity shortcut the computed sum is
// the input itself to the bit (see isIdentity), and the history moves the same
// way; the pair takes the shortcut only when both channels can.
void BiQuad::processPair(float* out, int count) {
    pair->process<BiQuad>(pair->indexOf(this), out, count, [this, count](float* const blocks[2]) {
        BiQuad* unit[2] = {static_cast<BiQuad*>(pair->units[0]), static_cast<BiQuad*>(pair->units[1])};
        __m128 x1 = lanes(unit[0]->x1, unit[1]->x1), x2 = lanes(unit[0]->x2, unit[1]->x2);
        __m128 y1 = lanes(unit[0]->y1, unit[1]->y1), y2 = lanes(unit[0]->y2, unit[1]->y2);
        const auto next = [&](int c, int i) {
            return unit[c]->controlRun(i, count - i, [&](float db) { unit[c]->setGain(db); });
        };
        const auto kernel = [&](int begin, int end) {
            // Both channels at their identity shortcut (a flat equaliser band):
            // only the history moves, as on the one-channel path.
            {
                alignas(16) float h[4][4];
                _mm_store_ps(h[0], x1);
                _mm_store_ps(h[1], x2);
                _mm_store_ps(h[2], y1);
                _mm_store_ps(h[3], y2);
                if (unit[0]->isIdentity(h[0][0], h[1][0], h[2][0], h[3][0]) &&
                    unit[1]->isIdentity(h[0][1], h[1][1], h[2][1], h[3][1]) &&
                    allPassUnchanged(blocks[0], begin, end) && allPassUnchanged(blocks[1], begin, end)) {
                    x2 = end - begin >= 2 ? lanes(blocks[0][end - 2], blocks[1][end - 2]) : x1;
                    x1 = lanes(blocks[0][end - 1], blocks[1][end - 1]);
                    y2 = x2;
                    y1 = x1;
                    return;
                }
            }
            const __m128 b0 = lanes(unit[0]->b0, unit[1]->b0), b1 = lanes(unit[0]->b1, unit[1]->b1),
                         b2 = lanes(unit[0]->b2, unit[1]->b2), a1 = lanes(unit[0]->a1, unit[1]->a1),
                         a2 = lanes(unit[0]->a2, unit[1]->a2);
            for (int i = begin; i < end; ++i) {
                const __m128 x = lanes(blocks[0][i], blocks[1][i]);
                const __m128 y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(b0, x), _mm_sub_ps(_mm_mul_ps(b1, x1), _mm_mul_ps(a1, y1))),
                                            _mm_sub_ps(_mm_mul_ps(b2, x2), _mm_mul_ps(a2, y2)));
                x2 = x1;
                x1 = x;
                y2 = y1;
                y1 = y;
                storeLanes(blocks[0], blocks[1], i, y);
            }
        };
        pairedRuns(count, next, kernel);
        alignas(16) float h[4][4];
        _mm_store_ps(h[0], x1);
        _mm_store_ps(h[1], x2);
        _mm_store_ps(h[2], y1);
        _mm_store_ps(h[3], y2);
        for (int c = 0; c < 2; ++c) {
            unit[c]->x1 = h[0][c];
            unit[c]->x2 = h[1][c];
            unit[c]->y1 = h[2][c];
            unit[c]->y2 = h[3][c];
        }
    });
}

void BiQuad::process(float* out, int count) {
    if (pair != nullptr) {
        processPair(out, count);
        return;
    }
    input->process(out, count);
    updateControl(count);
    DirectFormI history{x1, x2, y1, y2};
    for (int i = 0; i < count;) {
        const int span = controlRun(i, count - i, [this](float db) { setGain(db); });
        const int end = i + span;
        if (isIdentity(history.x1, history.x2, history.y1, history.y2) && allPassUnchanged(out, i, end)) {
            // Every output equals its input, so out stays as it is; only the history moves.
            history.x2 = history.y2 = span >= 2 ? out[end - 2] : history.x1;
            history.x1 = history.y1 = out[end - 1];
        } else {
            history.run<Grouping::Paired>(out, i, end, b0, b1, b2, a1, a2);
        }
        i = end;
    }
    x1 = history.x1;
    x2 = history.x2;
    y1 = history.y1;
    y2 = history.y2;
}

// ---------------------------------------------------------------- ResonantLowPass

void ResonantLowPass::setSampleRate(float rate) {
    Controlled::setSampleRate(rate);
    setFrequency(frequency);
}

void ResonantLowPass::setControl(Processor* source) { Controlled::setControl(source); }

void ResonantLowPass::setFrequency(float f) {
    frequency = f;
    // Above 0.97499 (about 6843 Hz at 44100 Hz) the two stages stop tracking;
    // a negative g would make each stage grow instead of settle.
    g = std::clamp(kTwoPiF * f / sampleRate, 0.0f, 0.97499f);
}

void ResonantLowPass::setResonance(float r) {
    // Above 1 the feedback outgrows the damping at low cutoffs; below 0 the
    // power has no real value.
    resonance = std::clamp(r, 0.0f, 1.0f);
    feedback = std::pow(resonance, 0.3f) * 0.99f;
}

float ResonantLowPass::followCutoff(float hz, float first, float second) {
    const float previous = g;
    setFrequency(hz);
    // Near the top of the range (g close to 1, k up to about 4) the first
    // stage takes k times the stages' difference at once. A cutoff that leaps
    // up several octaves in one control step (a filter envelope with no
    // attack) meets a difference built up at the low cutoff and turns it into
    // a one-sample spike many times the signal. On such a leap the difference
    // is scaled by the ratio of the coefficients, which keeps the second
    // stage's level and slope as they were; rises of up to an octave per step
    // (every ordinary sweep), every fall and the first value after a reset
    // leave the state as it is.
    if (previous > 0.0f && g > previous * kLeapRatio) return second + (first - second) * (previous / g);
    return first;
}

void ResonantLowPass::reset() {
    if (pair != nullptr) pair->block.forget();
    g = feedback = s1 = s2 = 0.0f;
    setFrequency(frequency);
    setResonance(resonance);
}

bool ResonantLowPass::pairWith(ResonantLowPass& right) { return FilterPair::join(this, &right); }

void ResonantLowPass::processPair(float* out, int count) {
    pair->process<ResonantLowPass>(pair->indexOf(this), out, count, [this, count](float* const blocks[2]) {
        ResonantLowPass* unit[2] = {static_cast<ResonantLowPass*>(pair->units[0]),
                                    static_cast<ResonantLowPass*>(pair->units[1])};
        float a[2] = {unit[0]->s1, unit[1]->s1}, b[2] = {unit[0]->s2, unit[1]->s2};
        float gain[2] = {0.0f, 0.0f}, k[2] = {0.0f, 0.0f};
        const auto next = [&](int c, int i) {
            const int run = unit[c]->controlRun(i, count - i, [&](float hz) { a[c] = unit[c]->followCutoff(hz, a[c], b[c]); });
            gain[c] = unit[c]->g;
            k[c] = ((gain[c] * 1.1f + 1.0f) * gain[c] + 2.0f) * unit[c]->feedback;
            return run;
        };
        const auto kernel = [&](int begin, int end) {
            const __m128 g = lanes(gain[0], gain[1]), kk = lanes(k[0], k[1]);
            const __m128 half = _mm_set1_ps(0.5f), two = _mm_set1_ps(2.0f);
            __m128 va = lanes(a[0], a[1]), vb = lanes(b[0], b[1]);
            for (int i = begin; i < end; ++i) {
                const __m128 x = lanes(blocks[0][i], blocks[1][i]);
                va = _mm_add_ps(va, _mm_mul_ps(g, _mm_sub_ps(_mm_add_ps(_mm_mul_ps(kk, _mm_sub_ps(va, vb)), _mm_mul_ps(half, x)), va)));
                vb = _mm_add_ps(vb, _mm_mul_ps(g, _mm_sub_ps(va, vb)));
                storeLanes(blocks[0], blocks[1], i, _mm_mul_ps(two, vb));
            }
            alignas(16) float sa[4], sb[4];
            _mm_store_ps(sa, va);
            _mm_store_ps(sb, vb);
            a[0] = sa[0], a[1] = sa[1], b[0] = sb[0], b[1] = sb[1];
        };
        pairedRuns(count, next, kernel);
        for (int c = 0; c < 2; ++c) {
            unit[c]->s1 = a[c];
            unit[c]->s2 = b[c];
        }
    });
}

void ResonantLowPass::process(float* out, int count) {
    if (pair != nullptr) {
        processPair(out, count);
        return;
    }
    input->process(out, count);
    updateControl(count);
    float a = s1, b = s2;
    for (int i = 0; i < count;) {
        const int run = controlRun(i, count - i, [this, &a, b](float hz) { a = followCutoff(hz, a, b); });
        const float gain = g;
        const float k = ((gain * 1.1f + 1.0f) * gain + 2.0f) * feedback;
        for (int end = i + run; i < end; ++i) {
            a = a + gain * (k * (a - b) + 0.5f * out[i] - a);
            b = b + gain * (a - b);
            out[i] = 2.0f * b;
        }
    }
    s1 = a;
    s2 = b;
}

// ---------------------------------------------------------------- Chamberlin

ChamberlinFilter::ChamberlinFilter() { updateCoefficients(); }

void ChamberlinFilter::setSampleRate(float rate) {
    Controlled::setSampleRate(rate);
    // Re-clamp: a cutoff that was legal at a higher rate may lie above rate / 6.
    setFrequency(frequency);
}

void ChamberlinFilter::setControl(Processor* source) { Controlled::setControl(source); }

void ChamberlinFilter::setFrequency(float freq) {
    const float highest = sampleRate * 0.16666667f;
    if (freq > highest) freq = highest;
    if (!(freq >= 1.0f)) freq = 1.0f;
    frequency = freq;
    updateCoefficients();
}

void ChamberlinFilter::setResonance(float r) {
    // Outside 0 .. 1 the damping would be undefined or negative (growing).
    resonance = std::clamp(r, 0.0f, 1.0f);
    updateCoefficients();
}

void ChamberlinFilter::reset() {
    if (pair != nullptr) pair->block.forget();
    low = band = 0.0f;
    updateCoefficients();
}

void ChamberlinFilter::updateCoefficients() {
    f = 2.0f * std::sin(kPiF * frequency / sampleRate);
    damping = 1.0f - std::sqrt(resonance);
    inputGain = 1.0f;
}

template <ChamberlinFilter::Tap tap>
void ChamberlinFilter::run(float* out, int count) {
    float lo = low, bp = band;
    for (int i = 0; i < count;) {
        const int span = controlRun(i, count - i, [this](float hz) { setFrequency(hz); });
        const float fc = f, q = damping, gin = inputGain;
        for (int end = i + span; i < end; ++i) {
            lo = lo + fc * bp;
            const float hp = gin * out[i] - lo - q * bp;
            bp = bp + fc * hp;
            out[i] = tap == Tap::High ? hp : bp;
        }
    }
    low = lo;
    band = bp;
}

bool ChamberlinFilter::pairWith(ChamberlinFilter& right) {
    return typeid(*this) == typeid(right) && FilterPair::join(this, &right);
}

template <ChamberlinFilter::Tap tap>
void ChamberlinFilter::processPair(float* out, int count) {
    pair->process<ChamberlinFilter>(pair->indexOf(this), out, count, [this, count](float* const blocks[2]) {
        ChamberlinFilter* unit[2] = {static_cast<ChamberlinFilter*>(pair->units[0]),
                                     static_cast<ChamberlinFilter*>(pair->units[1])};
        float lo[2] = {unit[0]->low, unit[1]->low}, bp[2] = {unit[0]->band, unit[1]->band};
        const auto next = [&](int c, int i) {
            return unit[c]->controlRun(i, count - i, [&](float hz) { unit[c]->setFrequency(hz); });
        };
        const auto kernel = [&](int begin, int end) {
            const __m128 fc = lanes(unit[0]->f, unit[1]->f), q = lanes(unit[0]->damping, unit[1]->damping),
                         gin = lanes(unit[0]->inputGain, unit[1]->inputGain);
            __m128 vlo = lanes(lo[0], lo[1]), vbp = lanes(bp[0], bp[1]);
            for (int i = begin; i < end; ++i) {
                vlo = _mm_add_ps(vlo, _mm_mul_ps(fc, vbp));
                const __m128 hp = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(gin, lanes(blocks[0][i], blocks[1][i])), vlo), _mm_mul_ps(q, vbp));
                vbp = _mm_add_ps(vbp, _mm_mul_ps(fc, hp));
                storeLanes(blocks[0], blocks[1], i, tap == Tap::High ? hp : vbp);
            }
            alignas(16) float sl[4], sb[4];
            _mm_store_ps(sl, vlo);
            _mm_store_ps(sb, vbp);
            lo[0] = sl[0], lo[1] = sl[1], bp[0] = sb[0], bp[1] = sb[1];
        };
        pairedRuns(count, next, kernel);
        for (int c = 0; c < 2; ++c) {
            unit[c]->low = lo[c];
            unit[c]->band = bp[c];
        }
    });
}

void ChamberlinHighPass::process(float* out, int count) {
    if (pair != nullptr) {
        processPair<Tap::High>(out, count);
        return;
    }
    input->process(out, count);
    updateControl(count);
    run<Tap::High>(out, count);
}

void ChamberlinBandPass::process(float* out, int count) {
    if (pair != nullptr) {
        processPair<Tap::Band>(out, count);
        return;
    }
    input->process(out, count);
    updateControl(count);
    run<Tap::Band>(out, count);
}

// ---------------------------------------------------------------- Butterworth

void ButterworthFilter::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    if (modulation != nullptr) modulation->setSampleRate(rate);
}

void ButterworthFilter::setModulation(Processor* source) {
    modulation = source;
    if (source != nullptr) {
        source->attachOutput(this);
        source->setSampleRate(sampleRate);
    }
}

void ButterworthFilter::setFrequency(float freq) { frequency = std::max(freq, 20.0f); }

void ButterworthFilter::reset() { x1 = x2 = y1 = y2 = 0.0f; }

ButterworthBandPass::ButterworthBandPass() { setBand(frequency, bandwidth); }

void ButterworthBandPass::setSampleRate(float rate) {
    ButterworthFilter::setSampleRate(rate);
    setBand(frequency, bandwidth);
}

void ButterworthBandPass::setFrequency(float freq) { setBand(freq, bandwidth); }

void ButterworthBandPass::reset() {
    ButterworthFilter::reset();
    setBand(frequency, bandwidth);
}

void ButterworthBandPass::setBand(float freq, float bw) {
    frequency = std::max(freq, 20.0f);
    bandwidth = std::max(bw, 9.9999997e-05f);
    const double c = 1.0 / std::tan(3.1415927 * bandwidth / sampleRate);
    const double e = std::cos(kTwoPi * frequency / sampleRate);
    const double gain = 1.0 / (c + 1.0);
    b0 = static_cast<float>(gain);
    b1 = 0.0f;
    b2 = static_cast<float>(-gain);
    a1 = static_cast<float>(-(gain * 2.0 * e * c));
    a2 = static_cast<float>((c - 1.0) * gain);
}

void ButterworthBandPass::process(float* out, int count) {
    input->process(out, count);
    const bool modulated = modulation != nullptr;
    if (modulated) modulation->process(buffer, count);
    constexpr int kModulationStep = 16;
    DirectFormI history{x1, x2, y1, y2};
    for (int i = 0; i < count;) {
        if (modulated) setFrequency(buffer[i]);
        const int end = modulated ? std::min(count, i + kModulationStep) : count;
        history.run<Grouping::LeftToRight>(out, i, end, b0, b1, b2, a1, a2);
        i = end;
    }
    x1 = history.x1;
    x2 = history.x2;
    y1 = history.y1;
    y2 = history.y2;
}

// ---------------------------------------------------------------- DCRemover

DCRemover::DCRemover() : r(1.0f - 126.0f / sampleRate) {}

void DCRemover::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    r = 1.0f - 126.0f / rate;
}

void DCRemover::process(float* out, int count) {
    input->process(out, count);
    const float pole = r;
    float px = x1, py = y1;
    for (int i = 0; i < count; ++i) {
        const float x = out[i];
        py = x - px + pole * py;
        px = x;
        out[i] = py;
    }
    x1 = px;
    y1 = py;
}

}  // namespace SPKit
