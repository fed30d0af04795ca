// Gain, ramped gain, modulated gain, peak limiter and tube waveshaper: each
// pulls its input into the output block and transforms it in place.
#include "spkit/Gain.h"

#include "spkit/BlockMath.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace SPKit {

void Gain::process(float* out, int count) {
    input->process(out, count);
    BlockMath::scale(out, count, gain);
}

int glideLength(float rate, float ms) {
    // Rate x time is small and finite here.
    return std::max(1, static_cast<int>(std::lround(static_cast<double>(rate) * ms * 0.001)));
}

void RampedGain::setRampLength() { rampSamples = glideLength(sampleRate, rampMs); }

void RampedGain::setSampleRate(float rate) {
    Gain::setSampleRate(rate);
    setRampLength();
    remaining = 0;
}

void RampedGain::setGain(float g) {
    gain = g;
    remaining = 0;
}

float RampedGain::getCurrentGain() const {
    return remaining > 0 ? gain - span * glideRemainder(remaining, 1.0f / static_cast<float>(rampSamples)) : gain;
}

void RampedGain::glideTo(float g) {
    if (g == gain) return;
    const float from = getCurrentGain();
    gain = g;
    span = g - from;
    remaining = rampSamples;
}

void RampedGain::process(float* out, int count) {
    input->process(out, count);
    int i = 0;
    if (remaining > 0) {
        // Each sample's gain is the target less what is still to go, so the
        // glide's last sample gets the target exactly, and the gains depend
        // only on the samples left, not on the split into blocks.
        const int ramped = std::min(count, remaining);
        const float to = gain, by = span, perSample = 1.0f / static_cast<float>(rampSamples);
        int left = remaining;
        for (; i < ramped; ++i) {
            --left;
            out[i] *= to - by * glideRemainder(left, perSample);
        }
        remaining = left;
    }
    BlockMath::scale(out + i, count - i, gain);
}

void ModGain::process(float* out, int count) {
    input->process(out, count);
    updateControl(count);
    if (control == nullptr) {
        BlockMath::scale(out, count, gain);
        return;
    }
    if (count <= 0) return;
    float held;
    if (rampIsFlat(held)) {  // a held control: one gain for the block
        BlockMath::scale(out, count, held);
        gain = held;
        return;
    }
    fillRamp();
    const float* g = controlBuffer;
    BlockMath::multiply(out, g, count);
    gain = g[count - 1];
}

namespace {

// Coefficient that makes a one-pole follower cover 99 % of a step in `ms`.
// A non-positive time means "follow at once": a negative one would give a
// coefficient above 1 and an envelope that runs away.
float settlingCoefficient(float sampleRate, float ms) {
    const double samples = static_cast<double>(sampleRate) * ms * 0.001;
    if (!(samples > 0.0)) return 0.0f;
    return static_cast<float>(std::pow(0.01, 1.0 / samples));
}

}  // namespace

void Limiter::setAttack(float ms) {
    attackMs = ms;
    attackCoef = settlingCoefficient(sampleRate, ms);
}

void Limiter::setRelease(float ms) {
    releaseMs = ms;
    releaseCoef = settlingCoefficient(sampleRate, ms);
}

void Limiter::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    setAttack(attackMs);
    setRelease(releaseMs);
}

void Limiter::process(float* out, int count) {
    input->process(out, count);
    // Per sample: a = |x|; env = a + (env - a) * (env < a ? attack : release);
    // and, above the threshold, x / env * limit (env > 0 keeps a negative
    // threshold from dividing silence by zero). Written with selects rather
    // than branches: the envelope crosses the threshold unpredictably, and
    // the division is off the envelope's dependency chain.
    __m128 env = _mm_set_ss(envelope);
    const __m128 limit = _mm_set_ss(threshold), attack = _mm_set_ss(attackCoef), release = _mm_set_ss(releaseCoef);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)), zero = _mm_setzero_ps();
    for (int i = 0; i < count; ++i) {
        const __m128 x = _mm_load_ss(out + i);
        const __m128 a = _mm_and_ps(x, magnitude);
        const __m128 rising = _mm_cmplt_ss(env, a);
        const __m128 coef = _mm_or_ps(_mm_and_ps(rising, attack), _mm_andnot_ps(rising, release));
        env = _mm_add_ss(a, _mm_mul_ss(_mm_sub_ss(env, a), coef));
        const __m128 over = _mm_and_ps(_mm_cmpgt_ss(env, limit), _mm_cmpgt_ss(env, zero));
        const __m128 limited = _mm_mul_ss(_mm_div_ss(x, env), limit);
        _mm_store_ss(out + i, _mm_or_ps(_mm_and_ps(over, limited), _mm_andnot_ps(over, x)));
    }
    envelope = _mm_cvtss_f32(env);
}

namespace {

constexpr float kSqrt2 = 1.4142135f;
constexpr float kKnee = 0.8f;
constexpr float kKneeScale = 5.0000005f;
constexpr float kKneeHeight = 0.19999999f;
// Above this v the knee's ratio is 1 to float precision; capping it keeps
// v * (v^2 + 2) finite for inputs whose square overflows.
constexpr float kKneeInputCap = 1.0e6f;

inline __m128 tubeCurve(__m128 x) {
    const __m128 shifted = _mm_add_ps(x, _mm_set1_ps(kSqrt2));
    const __m128 u = _mm_sub_ps(_mm_mul_ps(_mm_mul_ps(shifted, shifted), _mm_set1_ps(0.5f)), _mm_set1_ps(1.0f));
    __m128 v = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(u, _mm_set1_ps(kKnee)), _mm_set1_ps(kKneeScale)), _mm_set1_ps(2.0f));
    // Only lanes above the knee keep their v, so |v| = v there.
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(kKneeInputCap));
    const __m128 p = _mm_mul_ps(v, _mm_add_ps(_mm_mul_ps(v, v), _mm_set1_ps(2.0f)));
    const __m128 ratio = _mm_div_ps(p, _mm_add_ps(p, _mm_set1_ps(3.0f)));
    const __m128 knee = _mm_add_ps(_mm_set1_ps(kKnee), _mm_mul_ps(_mm_set1_ps(kKneeHeight), ratio));
    const __m128 above = _mm_cmpgt_ps(u, _mm_set1_ps(kKnee));
    return _mm_or_ps(_mm_and_ps(above, knee), _mm_andnot_ps(above, u));
}

}  // namespace

void Tube::process(float* out, int count) {
    input->process(out, count);
    int i = 0;
    for (; i + 4 <= count; i += 4) _mm_storeu_ps(out + i, tubeCurve(_mm_loadu_ps(out + i)));
    if (i < count) {
        alignas(16) float tail[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        const int rest = count - i;
        for (int j = 0; j < rest; ++j) tail[j] = out[i + j];
        _mm_store_ps(tail, tubeCurve(_mm_load_ps(tail)));
        for (int j = 0; j < rest; ++j) out[i + j] = tail[j];
    }
}

}  // namespace SPKit
