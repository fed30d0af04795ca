// The filter family's coefficient design (double precision, at parameter and
// control rate only) and its per-sample kernels (single precision). A block is
// cut into runs that share one coefficient set (Controlled::controlRun), so the
// control decisions land on exactly the samples a per-sample needsUpdate() would pick.
#include "spkit/Filters.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>

namespace SPKit {

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

void BiQuad::process(float* out, int count) {
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
    g = feedback = s1 = s2 = 0.0f;
    setFrequency(frequency);
    setResonance(resonance);
}

void ResonantLowPass::process(float* out, int count) {
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

void ChamberlinHighPass::process(float* out, int count) {
    input->process(out, count);
    updateControl(count);
    run<Tap::High>(out, count);
}

void ChamberlinBandPass::process(float* out, int count) {
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
