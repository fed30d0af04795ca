// Control arithmetic: units that sum, multiply or select several inputs, map a
// value through an exponential, power, line, clamp, fourth power or fast
// logarithm, smooth it, fan one source out to several consumers, bypass a
// stage, or mute a path with a 0.1 s fade. Used mostly on control paths.
#pragma once

#include <bit>

#include "spkit/Framework.h"

namespace SPKit {

// Sum of a list of inputs (not owned); zero with none.
class Add : public virtual Buffered {
public:
    static constexpr int kMaxInputs = 256;

    Add() : Buffered(kMaxBlock) {}

    void process(float* out, int count) override;
    // The list is the only way in.
    void setInput(Processor*) override {}
    // Also gives rate to every listed input whose rate differs.
    void setSampleRate(float rate) override;

    virtual void addInput(Processor* p);
    // The last entry takes the removed one's place: the order is not kept.
    virtual void removeInput(Processor* p);
    virtual int getInputCount() { return inputCount; }

protected:
    // out = identity, then every listed input pulled and folded into it in
    // list order: fold(out, x, n) makes out (+) x, foldFirst(identity, x, n)
    // makes identity (+) x in x.
    template <class Fold, class FoldFirst>
    void combineInputs(float* out, int count, float identity, Fold fold, FoldFirst foldFirst);

    Processor* inputs[kMaxInputs] = {};
    int inputCount = 0;
};

// Product of the inputs; one with none.
class Mul : public virtual Add {
public:
    Mul() : Buffered(kMaxBlock) {}

    void process(float* out, int count) override;
};

// Passes the selected input (only that one is pulled); silence past the list.
class Switch : public virtual Add {
public:
    Switch() : Buffered(kMaxBlock) {}

    void process(float* out, int count) override;

    virtual void select(int index) { selected = index; }

protected:
    int selected = 0;
};

// 2^(0.5 k x): with k octaves an input of +-1 spans +-k/2 octaves.
class Octave : public virtual Base {
public:
    explicit Octave(float octaves = 2.0f) : k(octaves) {}

    void process(float* out, int count) override;

    virtual void setOctaves(float octaves) { k = octaves; }

protected:
    float k;
};

// base^x.
class Power : public virtual Base {
public:
    explicit Power(float base = 2.0f) : base(base) {}

    void process(float* out, int count) override;

    virtual void setBase(float b) { base = b; }

protected:
    float base;
};

class Offset : public virtual Base {
public:
    explicit Offset(float offset = 0.0f) : offset(offset) {}

    void process(float* out, int count) override;

    virtual void setOffset(float o) { offset = o; }

protected:
    float offset;
};

// x * scale + offset.
class Linear : public virtual Base {
public:
    Linear(float scale = 1.0f, float offset = 0.0f) : scale(scale), offset(offset) {}

    void process(float* out, int count) override;

    virtual void setScaleOffset(float s, float o) {
        scale = s;
        offset = o;
    }

protected:
    float scale;
    float offset;
};

// Clamp to [low, high]; the low test wins when low > high.
class Clip : public virtual Base {
public:
    Clip(float low = -1.0f, float high = 1.0f) : low(low), high(high) {}

    void process(float* out, int count) override;

    virtual void setLimits(float lo, float hi) {
        low = lo;
        high = hi;
    }

protected:
    float low;
    float high;
};

// One-pole smoother: state = 0.9 state + 0.1 x.
class Smooth : public virtual Base {
public:
    void process(float* out, int count) override;

protected:
    float feedback = 0.9f;
    // 0.10000002: three units in the last place above 0.1f, so the gain is not exactly 1.
    float inputGain = std::bit_cast<float>(0x3DCCCCD0u);
    float state = 0.0f;
};

// x^4: a level curve for amplitude modulation.
class Decibel : public virtual Base {
public:
    void process(float* out, int count) override;
};

// Fast natural logarithm from the float's exponent and a second-order
// polynomial in its mantissa; exact at powers of two.
class Log : public virtual Base {
public:
    void process(float* out, int count) override;

    // The per-sample approximation itself.
    static float fastLog(float x);
};

// Fan-out: several consumers pull the same block, the source advances once.
class Mux : public virtual Buffered {
public:
    Mux() : Buffered(kMaxBlock) {}

    void process(float* out, int count) override;
    // Counts consumers: +1 for each one that connects, -1 for a null notice.
    void attachOutput(Processor* consumer) override;
    // Every consumer sets its rate; only a change travels upstream.
    void setSampleRate(float rate) override;

    virtual int getConsumerCount() { return consumerCount; }

    // A pull whose samples nobody reads: the round moves on (and the source
    // runs when it would) without copying the block out. Audio thread.
    void skip(int count);

protected:
    int consumerCount = 0;
    int pullIndex = 0;
    int blockCount = 0;
};

// Pulls its input, or the bypass source while bypassed.
class Bypass : public virtual Base {
public:
    void process(float* out, int count) override;

    // Stored only: the bypass source gets its rate and consumer notice through its own path.
    virtual void setBypassSource(Processor* source) { bypassSource = source; }
    virtual void setBypassed(bool b) { bypassed = b; }

protected:
    bool bypassed = false;
    Processor* bypassSource = nullptr;
};

// Fades its input out and in over 0.1 s (output = gain^2 x). While fully
// muted it does not pull its input: it pulls keepAlive instead and runs the
// controlled unit's control ramp, so shared sources and ramps stay in step.
class Mute : public virtual Base {
public:
    void process(float* out, int count) override;

    // Not audio thread (finds out whether the source is a fan-out it can skip).
    virtual void setKeepAlive(Processor* source);
    virtual void setMuted(bool muted);
    virtual void setControlledUnit(Controlled* unit) { controlledUnit = unit; }

    float getFadeGain() const { return gain; }

protected:
    Processor* keepAlive = nullptr;
    Mux* keepAliveFanOut = nullptr;  // keepAlive when it is a Mux: its samples are not copied
    Controlled* controlledUnit = nullptr;
    float step = 0.0f;
    float gain = 1.0f;
};

}  // namespace SPKit
