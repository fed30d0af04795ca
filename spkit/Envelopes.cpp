// Stage walking for the envelopes, the slew limiter and the glide design.
// Stage durations are kept in samples and rescaled when the rate changes, so a
// stage keeps its length in milliseconds.
#include "spkit/Envelopes.h"

#include "spkit/BlockMath.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace SPKit {

namespace {
// Keeps durations away from zero so a stage never divides by it.
constexpr float kSmallestTime = 1.1754944e-38f;
constexpr float kSmallestCubicTimeMs = 1.0f;

inline bool isStageIndex(int index) { return index >= 0 && index < kMaxStages; }

// Bit equality: a step that returns its own state is a fixed point, NaN and signed zero included.
inline bool sameBits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }
}  // namespace

// ---- Envelope -------------------------------------------------------------

Envelope::Envelope() : msPerSample(1000.0f / sampleRate) {}

void Envelope::addStage(float timeMs, float v) {
    if (stageCount >= kMaxStages) return;  // full: a further stage would overrun the list
    const int index = stageCount;
    stageCount += 1;
    stage = stageCount;
    setStage(timeMs, v, index);
    level = v;
}

void Envelope::setStage(float timeMs, float v, int index) {
    if (!isStageIndex(index)) return;
    const float t = timeMs < kSmallestTime ? kSmallestTime : timeMs;
    Stage& s = stages[index];
    if (index == stage) {
        if (level != s.target) {
            step = (v - level) / (t / msPerSample - static_cast<float>(stageSamples));  // re-aim over what is left
        } else {
            level = v;  // a held level jumps at once
            step = 0.0f;
        }
    }
    s.target = v;
    s.duration = t / msPerSample;
}

void Envelope::startStage(int index) {
    if (!isStageIndex(index)) {
        stage = stageCount;  // nothing to run: hold the level
        step = 0.0f;
        return;
    }
    if (index == 0 && stage == stageCount - 1) level += (stages[stage].target - level) * retriggerMix;
    stage = index;
    step = (stages[index].target - level) / stages[index].duration;
    stageSamples = 0;
}

float Envelope::getStageTime(int index) { return isStageIndex(index) ? stages[index].duration * msPerSample : 0.0f; }

float Envelope::getStageLevel(int index) { return isStageIndex(index) ? stages[index].target : 0.0f; }

void Envelope::setSampleRate(float rate) {
    for (Stage& s : stages) s.duration = s.duration * rate / sampleRate;
    msPerSample = 1000.0f / rate;
    Base::setSampleRate(rate);
}

namespace {

// How many of the next `limit` samples of a stage leave it running: the stage
// ends on the first sample whose count (elapsed + j) reaches its duration, as
// compared in single precision. A NaN duration never ends.
int samplesBeforeStageEnd(float duration, int elapsed, int limit) {
    auto ends = [&](std::int64_t j) { return duration <= static_cast<float>(static_cast<std::int64_t>(elapsed) + j); };
    if (ends(1)) return 0;
    if (!ends(limit)) return limit;
    // ends(1) is false and ends(limit) true: the first true j lies in (1, limit].
    std::int64_t lo = 1, hi = limit;
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (ends(mid)) hi = mid;
        else lo = mid;
    }
    return static_cast<int>(hi - 1);
}

}  // namespace

template <typename Shape>
void Envelope::run(float* out, int count, Shape shape) {
    Base::process(out, count);
    for (int i = 0; i < count;) {
        if (stage >= stageCount) {
            // Finished: the level holds for the rest of the block.
            BlockMath::scale(out + i, count - i, shape(level));
            break;
        }
        // The samples before the stage's last one step in a tight loop; the
        // last one (if it falls in this block) takes the general path below.
        // Once a step leaves the level's bits as they are (a held stage) no
        // later one moves it, so the rest of the run scales by one gain.
        const int quiet = samplesBeforeStageEnd(stages[stage].duration, stageSamples, count - i);
        float lv = level;
        const float st = step;
        for (const int end = i + quiet; i < end; ++i) {
            const float next = lv + st;
            if (sameBits(next, lv)) {
                BlockMath::scale(out + i, end - i, shape(lv));
                i = end;
                break;
            }
            lv = next;
            out[i] *= shape(lv);
        }
        level = lv;
        stageSamples += quiet;
        if (i == count) break;
        stageSamples += 1;
        level += step;
        const Stage& s = stages[stage];
        if (s.duration <= static_cast<float>(stageSamples)) {
            level = s.target;
            if (stage != stageCount - 1) startStage(stage + 1);
            else stage = stageCount;
        }
        out[i] *= shape(level);
        ++i;
    }
}

void Envelope::process(float* out, int count) {
    run(out, count, [](float v) { return v; });
}

void QuadEnv::process(float* out, int count) {
    run(out, count, [](float v) {
        const float squared = v * v;
        return squared * squared;
    });
}

// ---- CubicEnv -------------------------------------------------------------

CubicEnv::CubicEnv() : msPerSample(1000.0f / sampleRate) {}

void CubicEnv::addStage(float timeMs, float v, float shape) {
    if (stageCount >= kMaxStages) return;
    level = v;
    const int index = stageCount;
    stageCount += 1;
    stage = stageCount;
    setStage(timeMs, v, shape, index);
}

void CubicEnv::setStage(float timeMs, float v, float shape, int index) {
    if (!isStageIndex(index)) return;
    const float t = timeMs < kSmallestCubicTimeMs ? kSmallestCubicTimeMs : timeMs;
    Stage& s = stages[index];
    if (index == stage) {
        if (std::fabs(level - s.target) < 1e-11f) {
            level = v;
            velocity = acceleration = 0.0f;
        } else {
            // Finish the running stage in a straight line to the new target.
            velocity = (v - level) / (t / msPerSample - static_cast<float>(stageSamples));
            acceleration = 0.0f;
        }
    }
    s.duration = t / msPerSample;
    s.target = v;
    s.shape = shape;
}

void CubicEnv::setStageKeepShape(float timeMs, float v, int index) {
    if (!isStageIndex(index)) return;
    setStage(timeMs, v, stages[index].shape, index);
}

void CubicEnv::startStage(int a) {
    if (!isStageIndex(a)) {
        stage = stageCount;
        velocity = acceleration = 0.0f;
        return;
    }
    stage = a;
    stageSamples = 0;
    // A parabola from the level to the target that passes start + z·(target − start) at half time.
    const float b = level, c = stages[a].target, d = stages[a].duration, z = stages[a].shape;
    const float e = (b + c - 2.0f * (z * (c - b) + b)) * 2.0f;
    const float f = e / (d * d);
    velocity = (c - b - e) / d + f;
    acceleration = 2.0f * f;
}

void CubicEnv::setSampleRate(float rate) {
    for (Stage& s : stages) s.duration = s.duration * rate / sampleRate;
    msPerSample = 1000.0f / rate;
    Base::setSampleRate(rate);
}

void CubicEnv::process(float* out, int count) {
    Base::process(out, count);
    for (int i = 0; i < count;) {
        if (stage >= stageCount) {
            BlockMath::scale(out + i, count - i, level);  // finished: the level holds
            break;
        }
        // The samples before the stage's last one in a tight loop, as the
        // straight-line envelopes run them; a state the next step leaves
        // unchanged (a held level) holds for the rest of the run.
        const int quiet = samplesBeforeStageEnd(stages[stage].duration, stageSamples, count - i);
        float lv = level, vel = velocity;
        const float acc = acceleration;
        for (const int end = i + quiet; i < end; ++i) {
            const float nextLevel = lv + vel, nextVelocity = vel + acc;
            if (sameBits(nextLevel, lv) && sameBits(nextVelocity, vel)) {
                BlockMath::scale(out + i, end - i, lv);
                i = end;
                break;
            }
            lv = nextLevel;
            vel = nextVelocity;
            out[i] *= lv;
        }
        level = lv;
        velocity = vel;
        stageSamples += quiet;
        if (i == count) break;
        stageSamples += 1;
        level += velocity;
        velocity += acceleration;
        const Stage& s = stages[stage];
        if (s.duration <= static_cast<float>(stageSamples)) {
            level = s.target;
            if (stage != stageCount - 1) {
                startStage(stage + 1);
            } else {
                velocity = acceleration = 0.0f;
                stage = stageCount;
            }
        }
        out[i] *= level;
        ++i;
    }
}

// ---- Ramp -----------------------------------------------------------------

Ramp::Ramp(float t) : time(t) { setTime(t); }

void Ramp::setTime(float x) {
    time = x;
    maxStep = sampleRate / (x * 1000.0f);
}

void Ramp::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    setTime(time);
}

void Ramp::process(float* out, int count) {
    Base::process(out, count);
    float y = current;
    const float limit = maxStep;
    for (int i = 0; i < count; ++i) {
        const float x = out[i];
        const float d = std::fabs(x - y);
        // d = 0 can only fail the first test when maxStep is not positive (a
        // frozen ramp); the input then equals the output, so take it rather than 0/0.
        if (limit > d || d == 0.0f) y = x;
        else y = y + (x - y) / d * limit;
        out[i] = y;
    }
    current = y;
}

// ---- Portamento -----------------------------------------------------------

Portamento::Portamento(double ms, float initial) : timeMs(ms), initialValue(initial) { setTime(ms); }

void Portamento::setTime(double ms) {
    timeMs = ms;
    p1 = 1.0 - 2.4 / (static_cast<double>(sampleRate) * ms * 0.001 * 0.2857142857142857 + 10.0);
    p2 = p1 * 0.999;
    p3 = p1 * 0.998001;
    // −1/ln p stands in for 1/(1 − p); these weights make the sum's DC gain 1.
    const double m = std::log(p1), o = std::log(0.999);
    const double t = 1.0 / (2.0 / (o + m) - 1.0 / (2.0 * o + m) - 1.0 / m);
    w1 = t;
    w2 = -2.0 * t;
    w3 = t;
    setCurrent(initialValue);
}

void Portamento::setCurrent(double v) {
    s1 = v / (1.0 - p1);
    s2 = v / (1.0 - p2);
    s3 = v / (1.0 - p3);
    output = v;
}

void Portamento::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    setTime(timeMs);
}

void Portamento::process(float* out, int count) {
    Base::process(out, count);
    double a = s1, b = s2, c = s3, y = output;
    for (int i = 0; i < count; ++i) {
        const double x = out[i];
        a = p1 * a + x;
        b = p2 * b + x;
        c = p3 * c + x;
        y = w1 * a + w2 * b + w3 * c;
        out[i] = static_cast<float>(y);
    }
    s1 = a;
    s2 = b;
    s3 = c;
    output = y;
}

}  // namespace SPKit
