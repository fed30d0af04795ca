// Time-shaped multipliers and followers for the voice: multi-stage envelopes
// with straight (Envelope, QuadEnv: level to the fourth) and parabolic
// (CubicEnv) segments that scale their input, a slew-rate limiter (Ramp) and a
// third-order glide with an S-shaped step response (Portamento).
#pragma once

#include "spkit/Framework.h"

namespace SPKit {

// The most stages an envelope holds.
inline constexpr int kMaxStages = 256;

// Straight-line segments from wherever the level is to each stage's target.
// A stage index at or above the stage count means finished: the level holds.
class Envelope : public virtual Base {
public:
    Envelope();

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    virtual void addStage(float timeMs, float level);
    virtual void setStage(float timeMs, float level, int index);
    virtual void setRetriggerMix(float mix) { retriggerMix = mix; }
    virtual void startStage(int index);
    virtual int getStage() { return stage; }
    virtual float getLevel() { return this->level; }
    virtual int getStageCount() { return stageCount; }
    virtual float getStageTime(int index);
    virtual float getStageLevel(int index);

protected:
    struct Stage {
        float duration = 0.0f;  // samples
        float target = 0.0f;
    };

    // The per-sample walk through the stages; Shape maps the level to the gain.
    template <typename Shape>
    void run(float* out, int count, Shape shape);

    int stageCount = 0;
    float level = 0.0f;
    float step = 0.0f;
    int stage = 0;
    int stageSamples = 0;
    float msPerSample;
    float retriggerMix = 0.0f;
    Stage stages[kMaxStages];
};

// An Envelope whose gain is level⁴ (a perceptually even amplitude fade).
class QuadEnv : public Envelope {
public:
    void process(float* out, int count) override;
};

// Parabolic segments: a stage with shape z passes, at half its duration,
// through start + z × (target − start); z = 0.5 is a straight line.
class CubicEnv : public virtual Base {
public:
    CubicEnv();

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    virtual void addStage(float timeMs, float level, float shape);
    virtual void setStage(float timeMs, float level, float shape, int index);
    virtual void setStageKeepShape(float timeMs, float level, int index);
    virtual void startStage(int index);
    virtual int getStage() { return stage; }

    // Read-only view for composers and tests.
    float getLevel() const { return level; }

protected:
    struct Stage {
        float duration = 0.0f;  // samples
        float target = 0.0f;
        float shape = 0.5f;
    };

    int stageCount = 0;
    int stage = 0;
    int stageSamples = 0;
    float level = 0.0f;
    float velocity = 0.0f;
    float acceleration = 0.0f;
    float msPerSample;
    Stage stages[kMaxStages];
};

// Slew-rate limiter: the output moves toward the input by at most maxStep per sample.
class Ramp : public virtual Base {
public:
    explicit Ramp(float time);

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    virtual void setCurrent(float value) { current = value; }
    virtual void setTime(float x);
    virtual float getTime() { return time; }

    float getMaxStep() const { return maxStep; }

protected:
    float time;
    float maxStep = 0.0f;
    float current = 0.0f;
};

// Pitch glide: three one-pole stages with poles just apart, mixed 1 : −2 : 1
// so the step response starts flat, rises in an S and settles without
// overshoot. All arithmetic in double precision.
class Portamento : public virtual Base {
public:
    Portamento(double timeMs, float initialValue);

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    // Jumps the output to value and rests there.
    virtual void setCurrent(double value);
    // Re-designs the glide and re-initialises its state to the initial value.
    virtual void setTime(double ms);
    virtual double getTime() { return timeMs; }

protected:
    double timeMs;
    double p1 = 0.0, p2 = 0.0, p3 = 0.0;
    double w1 = 0.0, w2 = 0.0, w3 = 0.0;
    double s1 = 0.0, s2 = 0.0, s3 = 0.0;
    double output = 0.0;
    float initialValue;
};

}  // namespace SPKit
