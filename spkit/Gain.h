// Level and non-linear stages: a fixed gain, a gain that glides to a new
// setting, a gain that follows a control signal sample by sample, a peak
// limiter with separate attack and release time constants, and a tube-style
// waveshaper (an asymmetric quadratic with a soft knee) that adds even
// harmonics and rounds off the positive peaks.
#pragma once

#include "spkit/Framework.h"

namespace SPKit {

// A level glide's length in samples at `rate`: at least one, so it always ends.
int glideLength(float rate, float ms);

// The part of a glide still to go when `left` samples of it remain (perSample
// is one over its length): a smoothstep, 1 at the start and 0 at the end, flat
// at both ends so a level leaves the old setting and lands on the new one
// without a corner. Each sample's level is the target less span x this, so
// the last sample gets the target exactly, whatever the split into blocks.
inline float glideRemainder(int left, float perSample) {
    const float u = static_cast<float>(left) * perSample;
    return u * u * (3.0f - 2.0f * u);
}

class Gain : public virtual Base {
public:
    explicit Gain(float gain = 1.0f) : gain(gain) {}

    void process(float* out, int count) override;

    virtual void setGain(float g) { gain = g; }
    virtual float getGain() { return gain; }

protected:
    float gain;
};

// A Gain whose moves during play glide: glideTo reaches the new gain along an
// S-shaped path (a smoothstep) of a fixed time, so a level change does not
// step between two samples. setGain still jumps (and ends a glide); getGain is
// the gain aimed at. Settled, it multiplies exactly as Gain does.
class RampedGain : public Gain {
public:
    explicit RampedGain(float gain = 1.0f, float rampMs = 5.0f) : Gain(gain), rampMs(rampMs) {
        setRampLength();
    }

    void process(float* out, int count) override;
    // Re-derives the ramp length for the new rate; a glide under way ends at its gain.
    void setSampleRate(float rate) override;
    void setGain(float g) override;

    // Starts a glide from the gain the last sample got; a move to the gain
    // already aimed at leaves a glide under way as it is.
    virtual void glideTo(float g);
    // Ends a glide at its gain.
    virtual void settle() { remaining = 0; }
    virtual bool isGliding() const { return remaining > 0; }
    // The gain the last processed sample got (where a new glide starts).
    virtual float getCurrentGain() const;
    virtual int getRampLength() const { return rampSamples; }

protected:
    void setRampLength();

    float rampMs;
    float span = 0.0f;    // the gain the glide crosses, from its start to gain
    int rampSamples = 1;  // at the unit's own rate: audio rate on an audio path
    int remaining = 0;    // samples still to go; the gain is reached when it is 0
};

// Multiplies its input by the interpolated control value; without a control
// source the stored gain applies. The last control value stays in gain.
class ModGain : public virtual Controlled {
public:
    // The ramp is filled only when it moves within a block.
    ModGain() { rampsOnDemand = true; }

    void process(float* out, int count) override;

    virtual void setGain(float g) { gain = g; }
    virtual float getGain() { return gain; }

protected:
    float gain = 1.0f;
};

// Peak limiter: an envelope follower with attack and release coefficients that
// cover 99 % of a step in the given time; above the threshold the signal is
// scaled down so that its envelope sits at the threshold.
class Limiter : public virtual Base {
public:
    void process(float* out, int count) override;
    // Rate setting re-derives both coefficients for the new rate.
    void setSampleRate(float rate) override;

    virtual void setThreshold(float t) { threshold = t; }
    virtual void setAttack(float ms);
    virtual void setRelease(float ms);
    virtual float getEnvelope() { return envelope; }
    virtual float getThreshold() { return threshold; }
    virtual float getAttack() { return attackMs; }
    virtual float getRelease() { return releaseMs; }

protected:
    float threshold = 1.0f;
    float envelope = 0.0f;
    float attackMs = 100.0f;
    float releaseMs = 100.0f;
    // 1.0 (a frozen envelope) until the first setAttack / setRelease / setSampleRate.
    float attackCoef = 1.0f;
    float releaseCoef = 1.0f;
};

// u = (x + sqrt 2)^2 / 2 - 1, then a soft knee above 0.8 that approaches 1.0.
// Negative values of u pass unshaped. Runs four samples at a time.
class Tube : public virtual Base {
public:
    void process(float* out, int count) override;
};

}  // namespace SPKit
