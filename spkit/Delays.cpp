// Delay lines, the looped feedback delay, the cross-fed stereo pair and the
// phaser. Lines are read and written in runs up to their wrap point so the
// plain delays cost two copies per block.
#include "spkit/Delays.h"

#include "spkit/Cpu.h"
#include "spkit/Gain.h"
#include "spkit/simd/Stereo.h"
#include "spkit/simd/Tanh.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace SPKit {

namespace {

constexpr float kTwoPiF = 6.2831855f;
// Loop output samples at or below this are not fed back: a decaying tail
// would otherwise sink into denormal arithmetic.
constexpr float kFeedbackFloor = 1e-15f;

// out = line[pos ...], line[pos ...] = in, for count samples around a ring of
// `length`; returns the new position.
int swapThroughRing(float* line, int length, int pos, const float* in, float* out, int count) {
    while (count > 0) {
        const int run = std::min(count, length - pos);
        std::memcpy(out, line + pos, static_cast<std::size_t>(run) * sizeof(float));
        std::memcpy(line + pos, in, static_cast<std::size_t>(run) * sizeof(float));
        out += run;
        in += run;
        count -= run;
        pos += run;
        if (pos == length) pos = 0;
    }
    return pos;
}

void zero(float* p, int count) { std::memset(p, 0, static_cast<std::size_t>(count) * sizeof(float)); }

}  // namespace

// ---------------------------------------------------------------- BasicDelay

BasicDelay::BasicDelay() : Buffered(kMaxBlock), line(allocateAligned(kMaxDelaySamples)) {}

BasicDelay::~BasicDelay() { freeAligned(line); }

void BasicDelay::setDelay(int n) { delay = std::clamp(n, 0, kMaxDelaySamples); }

void BasicDelay::clear() { zero(line, kMaxDelaySamples); }

void BasicDelay::process(float* out, int count) {
    if (delay == 0) {
        input->process(out, count);
        return;
    }
    input->process(buffer, count);
    position = swapThroughRing(line, delay, position % delay, buffer, out, count);
}

// ---------------------------------------------------------------- ModDelay

ModDelay::ModDelay() : line(allocateAligned(kMaxDelaySamples)) {}

ModDelay::~ModDelay() { freeAligned(line); }

namespace {
// The interpolated read needs the sample after the oldest one, so the longest
// usable delay is one short of the line.
double clampModDelay(double samples) {
    if (!(samples > 0.0)) return 0.0;
    return std::min(samples, static_cast<double>(kMaxDelaySamples - 1));
}
}  // namespace

// Moves only the current delay: a control ramp under way carries on from here.
void ModDelay::setDelay(float samples) { delayCurrent = clampModDelay(samples); }

void ModDelay::setControl(Processor* source) { Controlled::setControl(source); }

void ModDelay::clear() { zero(line, kMaxDelaySamples); }

void ModDelay::process(float* out, int count) {
    input->process(out, count);
    updateControl(count);
    double cur = delayCurrent, stp = delayStep, tgt = delayTarget;
    int w = writePos;
    for (int i = 0; i < count;) {
        // Between control updates the ramp step holds, so a run at delay 0
        // with no step under way stays at 0 to its end.
        const int run = controlRun(i, count - i, [&](float samples) {
            tgt = clampModDelay(samples);
            stp = (tgt - cur) * 0.125;
        });
        const int end = i + run;
        if (cur == 0.0 && stp == 0.0) {
            // Adding a zero step any number of times gives what adding it once does.
            cur += stp;
            // The run passes through unchanged (out already holds it) and is recorded.
            while (i < end) {
                const int n = std::min(end - i, kMaxDelaySamples - w);
                std::memcpy(line + w, out + i, static_cast<std::size_t>(n) * sizeof(float));
                i += n;
                w += n;
                if (w == kMaxDelaySamples) w = 0;
            }
            continue;
        }
        for (; i < end; ++i) {
            const float x = out[i];
            cur += stp;
            if (cur == 0.0) {
                line[w] = x;
                if (++w == kMaxDelaySamples) w = 0;
                continue;  // out[i] already holds x
            }
            if ((stp > 0.0 && cur >= tgt) || (stp < 0.0 && cur <= tgt)) {
                cur = tgt;
                stp = 0.0;
            }
            double g = w - cur;
            if (g < 0.0) g += kMaxDelaySamples;
            int k0 = static_cast<int>(g);
            const double frac = g - k0;
            if (k0 >= kMaxDelaySamples) k0 -= kMaxDelaySamples;  // w - tiny rounds up to the line length
            const int k1 = k0 + 1 == kMaxDelaySamples ? 0 : k0 + 1;
            line[w] = x;
            if (++w == kMaxDelaySamples) w = 0;
            out[i] = static_cast<float>(line[k1] * frac + line[k0] * (1.0 - frac));
        }
    }
    delayCurrent = cur;
    delayStep = stp;
    delayTarget = tgt;
    writePos = w;
}

// ---------------------------------------------------------------- FeedbackDelay

FeedbackDelay::FeedbackDelay() : Buffered(kMaxBlock), line(allocateAligned(kMaxDelaySamples)) {}

FeedbackDelay::~FeedbackDelay() { freeAligned(line); }

void FeedbackDelay::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    if (loopTail != nullptr) loopTail->setSampleRate(rate);
}

void FeedbackDelay::setDelay(int n) {
    delay = std::clamp(n, kMaxBlock, kMaxDelaySamples);
    extent = std::max(extent, delay);
    position %= delay;
}

void FeedbackDelay::setLoop(Processor* head, Processor* tail) {
    loopTail = tail;
    if (head != nullptr) head->setInput(&loopInput);
    if (tail != nullptr) {
        tail->attachOutput(this);
        tail->setSampleRate(sampleRate);
    }
}

void FeedbackDelay::setFeedback(float amount) { feedback = amount; }

// Only the part of the line that can hold data: a whole line is 1.7 MB, too
// much to zero on the audio thread when a program or the delay switch needs it.
void FeedbackDelay::clear() {
    zero(line, extent);
    extent = delay;
}

void FeedbackDelay::process(float* out, int count) {
    // Only before the first setDelay: nothing to delay by, pass the input on.
    if (delay == 0) {
        input->process(out, count);
        return;
    }
    input->process(buffer, count);
    const int start = position % delay;
    position = swapThroughRing(line, delay, start, buffer, out, count);
    if (loopTail == nullptr) return;

    loopInput.setSource(out, count);
    loopTail->process(buffer, count);
    const float amount = feedback;
    int p = start;
    for (int k = 0; k < count; ++k) {
        const float wet = buffer[k];
        if (std::fabs(wet) > kFeedbackFloor) line[p] += wet * amount;
        if (++p == delay) p = 0;
    }
}

// ---------------------------------------------------------------- StereoDelay

StereoDelay::Channel::Channel(StereoDelay* owner, int index) : owner(owner), index(index) {}

void StereoDelay::Channel::process(float* out, int count) { owner->processChannel(out, count, index); }

StereoDelay::StereoDelay()
    : channels{{this, 0}, {this, 1}},
      scratch{allocateAligned(kMaxDelaySamples), allocateAligned(kMaxDelaySamples)} {
    for (Channel& channel : channels) channel.setDelay(1000);
    clear();
}

StereoDelay::~StereoDelay() {
    freeAligned(scratch[0]);
    freeAligned(scratch[1]);
}

StereoDelay::Channel* StereoDelay::getChannel(int index) { return &channels[index]; }

void StereoDelay::setCrossFeed(float c) { crossFeed = c; }

// The scratch arrays carry nothing from one block to the next (each block
// writes them before it reads them), so only the lines need emptying.
void StereoDelay::clear() {
    channels[0].clear();
    channels[1].clear();
}

bool StereoDelay::isValid() { return channels[0].isValid() && channels[1].isValid(); }

void StereoDelay::processChannel(float* out, int count, int index) {
    Channel& c = channels[index];
    if (pending != 0 && index == other && count == pending) {
        pending = 0;
        std::memcpy(out, c.buffer, static_cast<std::size_t>(count) * sizeof(float));
        return;
    }
    Channel& o = channels[1 - index];
    float* sc = scratch[index];
    float* so = scratch[1 - index];
    const int dc = c.delay, dOther = o.delay;
    const int pc = c.position % dc, po = o.position % dOther;

    // 1. The delayed blocks, each with the cross-fed share of the other, in
    // stretches that reach neither line's wrap, so the loops are plain.
    const float share = crossFeed;
    for (int j = 0, i = pc, k = po; j < count;) {
        const int run = std::min({count - j, dc - i, dOther - k});
        const float* lc = c.line + i;
        const float* lo = o.line + k;
        for (int n = 0; n < run; ++n) {
            const float a = lc[n], b = lo[n];
            sc[j + n] = a + share * b;
            so[j + n] = b + share * a;
        }
        j += run;
        i += run;
        k += run;
        if (i == dc) i = 0;
        if (k == dOther) k = 0;
    }
    // 2. Through the loops: what is heard and what is fed back. Without a loop
    // the delayed block itself is the wet signal. Both loops are handed their
    // blocks before either is pulled, so a left / right pair of loop units
    // (which computes both when the first is pulled) finds its second input.
    for (Channel* ch : {&c, &o})
        if (ch->loopTail != nullptr) ch->loopInput.setSource(ch == &c ? sc : so, count);
    const auto runLoop = [count](Channel& ch, const float* source) {
        if (ch.loopTail == nullptr) {
            std::memcpy(ch.buffer, source, static_cast<std::size_t>(count) * sizeof(float));
            return;
        }
        ch.loopTail->process(ch.buffer, count);
    };
    runLoop(c, sc);
    runLoop(o, so);
    // 3. The dry inputs, into the scratch arrays the loops have finished with.
    if (c.input != nullptr) c.input->process(sc, count); else zero(sc, count);
    if (o.input != nullptr) o.input->process(so, count); else zero(so, count);
    // 4. Write back and 5. advance, again in stretches between wraps.
    const float fc = c.feedback, fo = o.feedback;
    for (int j = 0, i = pc, k = po; j < count;) {
        const int run = std::min({count - j, dc - i, dOther - k});
        float* lc = c.line + i;
        float* lo = o.line + k;
        for (int n = 0; n < run; ++n) {
            lc[n] = c.buffer[j + n] * fc + sc[j + n];
            lo[n] = o.buffer[j + n] * fo + so[j + n];
        }
        j += run;
        i += run;
        k += run;
        if (i == dc) i = 0;
        if (k == dOther) k = 0;
    }
    c.position = (pc + count) % dc;
    o.position = (po + count) % dOther;

    std::memcpy(out, c.buffer, static_cast<std::size_t>(count) * sizeof(float));
    pending = count;
    other = 1 - index;
}

// ---------------------------------------------------------------- Phaser

Phaser::Phaser() {
    setRange(440.0f, 1600.0f);
    setRate(0.5f);
    setMixGlide(mixGlideMs);
}

void Phaser::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    setRate(0.5f);
    setMixGlide(mixGlideMs);
}

void Phaser::setRange(float lowHz, float highHz) {
    // The sweep works in logarithms: keep both ends positive.
    const float nyquist = sampleRate * 0.5f;
    low = std::clamp(lowHz, 1.0f, nyquist);
    high = std::clamp(highHz, 1.0f, nyquist);
    logTwiceLow = std::log(2.0f * low);
    logRatio = std::log(high / low);
}

void Phaser::setRate(float hz) { sweepIncrement = hz / sampleRate * kTwoPiF; }

void Phaser::setFeedback(float amount) { feedback = amount; }

void Phaser::setMix(float amount) {
    mix = amount;
    mixRemaining = 0;
}

void Phaser::setMixGlide(float ms) {
    mixGlideMs = ms;
    mixGlideSamples = glideLength(sampleRate, ms);
    mixRemaining = 0;
}

float Phaser::getCurrentMix() const {
    return mixRemaining > 0
               ? mix - mixSpan * glideRemainder(mixRemaining, 1.0f / static_cast<float>(mixGlideSamples))
               : mix;
}

void Phaser::glideMixTo(float amount) {
    if (amount == mix) return;
    const float from = getCurrentMix();
    mix = amount;
    mixSpan = amount - from;
    mixRemaining = mixGlideSamples;
}

void Phaser::setPhaseOffset(float radians) { phaseOffset = radians; }

void Phaser::updateSweep() {
    const float s = std::sin(phaseOffset + sweepPhase);
    const float a = (s + 1.0f) * 0.5f * 3.0f + 1.0f;  // 1 .. 4
    const float f = std::exp(logTwiceLow + logRatio * (a * a - 1.0f) * 0.06666667f * 1.25f);
    const float w = f / (sampleRate * 0.5f);
    const float c = (1.0f - w) / (1.0f + w);
    for (int s4 = 0; s4 < kSweptStages; ++s4) stages[s4].coefficient = c;
}

// A left / right phaser pair in one two-lane kernel (lane 0 left, lane 1
// right), each channel with its own sweep, feedback and wet-level glide.
struct PhaserPair {
    Phaser* units[2];
    simd::PairedBlock block;
    float* stash;

    PhaserPair(Phaser* left, Phaser* right) : units{left, right}, stash(allocateAligned(kMaxBlock)) { block.stash = stash; }
    ~PhaserPair() { freeAligned(stash); }
    PhaserPair(const PhaserPair&) = delete;
    PhaserPair& operator=(const PhaserPair&) = delete;
};

bool Phaser::pairWith(Phaser& right) {
    if (simdLevel() == SimdLevel::Scalar || &right == this) return false;
    pair = std::make_shared<PhaserPair>(this, &right);
    right.pair = pair;
    return true;
}

namespace {

inline __m128 lanes(float left, float right) { return _mm_unpacklo_ps(_mm_set_ss(left), _mm_set_ss(right)); }
// Which lanes of a phaser pair take the feedback.
constexpr int kNoLane = 0, kSomeLanes = 1, kBothLanes = 2;
inline float lane1(__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))); }
// a where mask is set, else b.
inline __m128 select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

}  // namespace

void Phaser::processPair(float* out, int count) {
    const int index = pair->units[0] == this ? 0 : 1;
    if (pair->block.collect(index, out, count)) return;
    Phaser* unit[2] = {pair->units[0], pair->units[1]};
    float* blocks[2];
    blocks[index] = out;
    blocks[1 - index] = pair->stash;
    for (int c = 0; c < 2; ++c) unit[c]->input->process(blocks[c], count);

    constexpr int kSweepStep = 16;
    const __m128 twoPi = _mm_set1_ps(kTwoPiF), gainIn = _mm_set1_ps(1.5f);
    // Lanes whose feedback is 0 skip the tanh, as the one-channel loop does.
    const __m128 fedBack = _mm_cmpneq_ps(lanes(unit[0]->feedback, unit[1]->feedback), _mm_setzero_ps());
    const __m128 increment = lanes(unit[0]->sweepIncrement, unit[1]->sweepIncrement);
    __m128 phase = lanes(unit[0]->sweepPhase, unit[1]->sweepPhase);
    __m128 previous = lanes(unit[0]->last, unit[1]->last);
    __m128 z[kStages];
    for (int s = 0; s < kStages; ++s) z[s] = lanes(unit[0]->stages[s].state, unit[1]->stages[s].state);
    for (int i = 0; i < count;) {
        const int end = std::min(count, i + kSweepStep);
        __m128 c[kStages];
        alignas(16) float level[2][kSweepStep];
        for (int ch = 0; ch < 2; ++ch) {
            Phaser& u = *unit[ch];
            u.sweepPhase = ch == 0 ? _mm_cvtss_f32(phase) : lane1(phase);
            u.updateSweep();
            // The wet level of each sample of the stretch, glide included.
            int k = i;
            if (u.mixRemaining > 0) {
                const float by = u.mixSpan, perSample = 1.0f / static_cast<float>(u.mixGlideSamples);
                int left = u.mixRemaining;
                for (const int glideEnd = std::min(end, i + left); k < glideEnd; ++k) {
                    --left;
                    level[ch][k - i] = u.mix - by * glideRemainder(left, perSample);
                }
                u.mixRemaining = left;
            }
            for (; k < end; ++k) level[ch][k - i] = u.mix;
        }
        for (int s = 0; s < kStages; ++s) c[s] = lanes(unit[0]->stages[s].coefficient, unit[1]->stages[s].coefficient);
        const __m128 fb = lanes(unit[0]->feedback, unit[1]->feedback);
        // The stretch's samples; `fed` says which lanes take the feedback
        // (both, neither or one), so the common cases carry no select and a
        // phaser without feedback no tanh.
        const auto stretch = [&](auto fed) {
            for (int k = i; k < end; ++k) {
                const __m128 x = lanes(blocks[0][k], blocks[1][k]);
                __m128 v = x;
                if constexpr (fed() != kNoLane) {
                    const __m128 drive = _mm_mul_ps(previous, gainIn);
                    // The C library's tanhf, lane by lane and to the bit, without two calls.
                    const __m128 shaped = simd::tanh(drive);
                    v = _mm_add_ps(_mm_mul_ps(shaped, fb), x);
                    if constexpr (fed() == kSomeLanes) v = select(fedBack, v, x);
                }
                for (int s = 0; s < kStages; ++s) {
                    const __m128 y = _mm_sub_ps(z[s], _mm_mul_ps(c[s], v));
                    z[s] = _mm_add_ps(_mm_mul_ps(c[s], y), v);
                    v = y;
                }
                phase = _mm_add_ps(phase, increment);
                phase = select(_mm_cmpge_ps(phase, twoPi), _mm_sub_ps(phase, twoPi), phase);
                previous = v;
                const __m128 wet = lanes(level[0][k - i], level[1][k - i]);
                const __m128 y = _mm_add_ps(x, _mm_mul_ps(wet, v));
                _mm_store_ss(blocks[0] + k, y);
                _mm_store_ss(blocks[1] + k, _mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
            }
        };
        switch (_mm_movemask_ps(fedBack) & 3) {
            case 3: stretch(std::integral_constant<int, kBothLanes>()); break;
            case 0: stretch(std::integral_constant<int, kNoLane>()); break;
            default: stretch(std::integral_constant<int, kSomeLanes>()); break;
        }
        i = end;
    }
    for (int ch = 0; ch < 2; ++ch) {
        alignas(16) float lane[4];
        Phaser& u = *unit[ch];
        _mm_store_ps(lane, phase);
        u.sweepPhase = lane[ch];
        _mm_store_ps(lane, previous);
        u.last = lane[ch];
        for (int s = 0; s < kStages; ++s) {
            _mm_store_ps(lane, z[s]);
            u.stages[s].state = lane[ch];
        }
    }
    pair->block.leave(1 - index, count);
}

void Phaser::process(float* out, int count) {
    if (pair != nullptr) {
        processPair(out, count);
        return;
    }
    input->process(out, count);
    if (feedback != 0.0f) run<true>(out, count); else run<false>(out, count);
}

template <bool withFeedback>
void Phaser::run(float* out, int count) {
    constexpr int kSweepStep = 16;
    float phase = sweepPhase;
    const float increment = sweepIncrement;
    float previous = last;
    for (int i = 0; i < count;) {
        sweepPhase = phase;
        updateSweep();
        float c[kStages], z[kStages];
        for (int s = 0; s < kStages; ++s) {
            c[s] = stages[s].coefficient;
            z[s] = stages[s].state;
        }
        const float fb = feedback, wet = mix;
        // One sample of the loop; its wet level is the only thing a glide changes.
        const auto step = [&](int k, float level) {
            const float x = out[k];
            // 0 x tanh(...) adds nothing, so skipping it changes no sample.
            float v = withFeedback ? std::tanh(previous * 1.5f) * fb + x : x;
            for (int s = 0; s < kStages; ++s) {
                const float y = z[s] - c[s] * v;
                z[s] = c[s] * y + v;
                v = y;
            }
            phase += increment;
            if (phase >= kTwoPiF) phase -= kTwoPiF;
            previous = v;
            out[k] = x + level * v;
        };
        const int end = std::min(count, i + kSweepStep);
        if (mixRemaining > 0) {
            // The glide's samples, then the settled rest of the stretch.
            const float by = mixSpan, perSample = 1.0f / static_cast<float>(mixGlideSamples);
            int left = mixRemaining;
            for (const int glideEnd = std::min(end, i + left); i < glideEnd; ++i) {
                --left;
                step(i, wet - by * glideRemainder(left, perSample));
            }
            mixRemaining = left;
        }
        for (; i < end; ++i) step(i, wet);
        for (int s = 0; s < kStages; ++s) stages[s].state = z[s];
    }
    sweepPhase = phase;
    last = previous;
}

}  // namespace SPKit
