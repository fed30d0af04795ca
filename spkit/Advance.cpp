// Advance-by-N for the free-running units: an instance that stops computing
// while silent moves their phases on exactly as their process() would have,
// to the bit what their single-precision steps give but a binade at a time,
// so a note after the pause finds them where an instance that never paused has them.
#include "spkit/Advance.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "spkit/Delays.h"
#include "spkit/LFO.h"
#include "spkit/OscillatorSpan.h"
#include "spkit/Oscillators.h"

namespace SPKit {

// The oscillator's own phase wrap, operation for operation.
using OscillatorSpan::wrapPhase;

namespace {
constexpr float kTwoPi = 6.2831855f;

// The magic circle is the linear map M: x' = x - k y, y' = k x + (1 - k^2) y,
// of determinant 1 and trace t = 2 - k^2, so M^2 = t M - I and every power is
// M^m = a M - b I. From (a, b) for m: m + 1 is (a t - b, a), 2m is
// (a (a t - 2 b), (a - b)(a + b)). So `steps` of it at once, by doubling, in
// double precision, for up to four LFOs side by side. Close to, but not bit
// for bit, what as many single-precision steps give.
void jumpLfos(LFO* const* lfos, int count, int steps) {
    constexpr int kMost = 4;
    double a[kMost], b[kMost], t[kMost];
    for (int j = 0; j < count; ++j) {
        const double k = lfos[j]->coefficient();
        t[j] = 2.0 - k * k;
        a[j] = 0.0;  // M^0 = I
        b[j] = -1.0;
    }
    int top = 0;
    while (top < 31 && (steps >> (top + 1)) > 0) ++top;
    for (int bit = steps > 0 ? top : -1; bit >= 0; --bit) {
        for (int j = 0; j < count; ++j) {
            const double a2 = a[j] * (a[j] * t[j] - 2.0 * b[j]), b2 = (a[j] - b[j]) * (a[j] + b[j]);
            a[j] = a2;
            b[j] = b2;
            if ((steps >> bit) & 1) {
                const double a1 = a[j] * t[j] - b[j];
                b[j] = a[j];
                a[j] = a1;
            }
        }
    }
    for (int j = 0; j < count; ++j) {
        const double k = lfos[j]->coefficient();
        const LFO::State s = lfos[j]->state();
        const double x = s.x, y = s.y;
        lfos[j]->setState({static_cast<float>(a[j] * (x - k * y) - b[j] * x),
                           static_cast<float>(a[j] * (k * x + (1.0 - k * k) * y) - b[j] * y)});
    }
}
}  // namespace

namespace Advance {

// Inside one binade [b, 2b) floats lie u = b·2^-23 apart, so rounding p + inc
// to the nearest float is p plus inc rounded to a multiple of u: the same
// amount d for every p there. The one exception is a tie (inc an odd number
// of half-u), where the even neighbour wins: from an odd p the step differs,
// and lands on an even p, from which every step is the same again. So while
// the sums stay below 2b and the results below n (no wrap), s steps are
// p + s·d, exactly. Everything else (a wrap, the binade's last steps, a phase
// under four increments, a negative or non-finite value) takes one real step
// and looks again.
namespace {
// The fast steps, with `single` (the unit's own one-sample step, which must
// leave a result in [0, n) alone) for everything else.
template <typename Single>
float stepWith(float p, float inc, float n, int count, Single single) {
    // A phase at least four increments big has a binade [b, 2b) that holds
    // b + u + inc. Within a binade a float's bit pattern is linear in its
    // value, so the arithmetic is on the patterns.
    const bool fastPossible = std::isfinite(n) && n > 0.0f && inc > 0.0f && inc < n;
    const float smallest = std::max(4.0f * inc, 0x1p-100f);
    const std::uint32_t nBits = std::bit_cast<std::uint32_t>(n);
    while (count > 0) {
        if (fastPossible && p >= smallest && p < n) {
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(p);
            const std::uint32_t floorBits = bits & 0xFF800000u;  // b
            const float b = std::bit_cast<float>(floorBits);
            const float bOdd = std::bit_cast<float>(floorBits + 1u);  // b + u
            // The step, in units of u, from an even and from an odd multiple of
            // u; they differ only at a tie.
            const std::uint32_t even = std::bit_cast<std::uint32_t>(b + inc) - floorBits;
            const std::uint32_t odd = std::bit_cast<std::uint32_t>(bOdd + inc) - (floorBits + 1u);
            if (even == odd || (bits & 1u) == 0) {
                if (even == 0) return p;  // stuck: every remaining step gives p again
                // The last result allowed: below n (the float under n lies in
                // this binade when n does), and below 2b by at least u so the
                // sum it came from (within u/2 of it) is below 2b.
                const std::uint32_t limit = std::min(floorBits + 0x7FFFFFu, nBits - 1u);
                const std::uint32_t steps = std::min((limit - bits) / even, static_cast<std::uint32_t>(count));
                if (steps > 0) {
                    p = std::bit_cast<float>(bits + steps * even);
                    count -= static_cast<int>(steps);
                    continue;
                }
            }
        }
        p = single(p);
        --count;
    }
    return p;
}
}  // namespace

float stepPhase(float p, float inc, float n, int count) {
    return stepWith(p, inc, n, count, [inc, n](float q) { return wrapPhase(q + inc, n); });
}

}  // namespace Advance

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
        jumpLfos(lfos, kVoices - 1, count);
    }
    const float n = static_cast<float>(wavetable.getTableLength());
    if (n <= 0.0f) return;
    // The samples from now over which every control update would leave the
    // voices exactly as they are, so need not be made (nothing in it reads the
    // phases unless the phases are locked). An update re-applies the held
    // frequency (a no-op while the increments are what updateIncrements made
    // of it), re-locks the phases when undetuned and re-beats when beating.
    const auto idleFor = [&](int horizon) -> int {
        const float f = frequency;
        const IncrementsKey key{std::bit_cast<std::uint32_t>(f), std::bit_cast<std::uint32_t>(sampleRate),
                                wavetable.getTableLength()};
        if (key != incrementsKey || !(f >= 0.0f && f <= sampleRate * 0.5f)) return 0;
        if (beatRate > 0.0f && f > 0.0f) {
            const float beat = beatDetune();
            if (std::bit_cast<std::uint32_t>(beat) != std::bit_cast<std::uint32_t>(detune)) return 0;
        }
        if (detune != 0.0f) return horizon;
        // Locked: lockPhases acts once a voice's gap to its offset leaves
        // [-1, 1]. Each step moves a gap by the increments' difference plus at
        // most one spacing U of floats below 2n (both phases' rounding), and
        // computing it errs by under 3U at either end; so a gap now well
        // inside stays inside for as many steps as the margin allows.
        if (!(n >= 16.0f && n <= 4194304.0f)) return 0;
        const double spacing = static_cast<double>(n) * 0x1p-22;
        const float halfN = 0.5f * n;
        double steps = horizon;
        for (int j = 1; j < kVoices; ++j) {
            const Voice& v = voices[j];
            if (v.resync || !(std::fabs(v.increment) < halfN)) return 0;
            float diff = v.phase - voices[0].phase;
            if (diff < 0.0f) diff += n;
            float gap = v.offset - diff;
            if (gap > halfN) gap -= n;
            else if (gap < -halfN) gap += n;
            const double slack = 1.0 - std::fabs(static_cast<double>(gap)) - 8.0 * spacing;
            if (!(slack > 0.0)) return 0;
            const double rate =
                std::fabs(static_cast<double>(v.increment) - static_cast<double>(voices[0].increment)) + spacing;
            steps = std::min(steps, std::floor(slack / rate));
        }
        return static_cast<int>(steps);
    };
    // Spans between the control updates that must be made, where process()
    // re-applies the frequency (held: the control is not pulled), re-locks
    // and re-beats.
    for (int begin = 0; begin < count;) {
        int span = count - begin;
        if (control != nullptr) {
            if (needsUpdate()) {
                setFrequency(frequency);
                if (detune == 0.0f) lockPhases();
                applyBeat();
            }
            const int quiet = updateInterval - updateCounter;
            if (quiet >= 0) span = std::min(span, 1 + quiet);
            updateCounter += span - 1;
            // The updates after the span that are proven idle are passed over,
            // the counter moved as if each had been asked for.
            const int rest = count - begin - span;
            if (rest > 0 && updateInterval >= 1 && updateCounter == updateInterval) {
                const int idle = idleFor(count - begin);
                if (idle >= span) {
                    const int64_t updates = (idle - span) / updateInterval + 1;
                    const int extra = static_cast<int>(std::min<int64_t>(rest, updates * updateInterval));
                    updateCounter = (extra - 1) % updateInterval + 1;
                    span += extra;
                }
            }
        }
        // Voices in unison (the same phase and increment, to the bit) step alike.
        float before[kVoices];
        for (int j = 0; j < kVoices; ++j) {
            before[j] = voices[j].phase;
            int same = 0;
            while (same < j && !(std::bit_cast<std::uint32_t>(before[same]) == std::bit_cast<std::uint32_t>(before[j]) &&
                                 std::bit_cast<std::uint32_t>(voices[same].increment) ==
                                     std::bit_cast<std::uint32_t>(voices[j].increment)))
                ++same;
            voices[j].phase = same < j ? voices[same].phase
                                       : Advance::stepPhase(voices[j].phase, voices[j].increment, n, span);
        }
        begin += span;
    }
}

void Squarewave::advance(int count) {
    // An update re-applies the held frequency; when that gives the increment
    // it has (the same operations on the same values), every update is idle
    // and only the counter need move, as if asked once per sample.
    const float fresh = frequency * 6.2831855f / sampleRate;
    const int interval = updateInterval;
    if (control != nullptr &&
        !(std::bit_cast<std::uint32_t>(fresh) == std::bit_cast<std::uint32_t>(increment) && interval >= 1 &&
          updateCounter >= 1 && updateCounter <= interval)) {
        for (int i = 0; i < count; ++i) {
            if (needsUpdate()) setFrequency(frequency);
            step();
        }
        return;
    }
    if (control != nullptr && count > 0) {
        const int toDue = interval - updateCounter;  // asks before one answers true
        updateCounter = count <= toDue ? updateCounter + count : (count - toDue - 1) % interval + 1;
    }
    // Below half a turn per step, from a state where the sign is what the
    // phase says (above π low, else high), a step keeps it so: the sign flips
    // as the phase passes π and the wrap past 2π always finds it low. Then the
    // phase alone steps (a binade at a time) and the sign follows from it.
    const float inc = increment;
    const bool signFollowsPhase = sign == (phase > 3.1415927f ? -1.0f : 1.0f);
    if (inc > 0.0f && inc < 3.0f && phase <= 6.2831855f && signFollowsPhase) {
        phase = Advance::stepWith(phase, inc, 6.2831855f, count, [inc](float p) {
            p += inc;
            return p > 6.2831855f ? p - 6.2831855f : p;
        });
        sign = phase > 3.1415927f ? -1.0f : 1.0f;
        return;
    }
    for (int i = 0; i < count; ++i) step();
}

void Phaser::advance(int count) {
    // The sweep's own step: add, and wrap once at 2π (exact: the sum is below 4π).
    const float increment = sweepIncrement;
    sweepPhase = Advance::stepWith(sweepPhase, increment, kTwoPi, count, [increment](float phase) {
        phase += increment;
        if (phase >= kTwoPi) phase -= kTwoPi;
        return phase;
    });
    // The coefficients are left as they are: run() derives them afresh from
    // the phase before its first sample.
}

}  // namespace SPKit
