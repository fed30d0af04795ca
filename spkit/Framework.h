// The unit framework: the pull interface every signal-processing unit
// implements, its common implementation, the scratch-buffer and control-rate
// mix-ins, and the small framework units (constant, audio-to-control adapter,
// caller-memory source). Control paths run at one eighth of the audio rate and
// are ramped back to audio rate eight samples at a time.
#pragma once

#include <algorithm>
#include <cstddef>

namespace SPKit {

// The largest block any unit processes in one call.
inline constexpr int kMaxBlock = 4096;
// Control sources run at sampleRate / kControlRateDivisor of their consumer.
inline constexpr int kControlRateDivisor = 8;
inline constexpr float kControlRateFactor = 0.125f;

// 16-byte aligned, zero-filled float storage; nullptr-safe release.
float* allocateAligned(int count);
void freeAligned(float* p);

class Processor {
public:
    virtual void process(float* out, int count) = 0;
    virtual void setInput(Processor* source) = 0;
    virtual void attachOutput(Processor* consumer) = 0;
    virtual Processor* getInput() = 0;
    virtual void setSampleRate(float rate) = 0;
    virtual float getSampleRate() = 0;
    virtual bool isValid() = 0;
    virtual ~Processor() = default;
};

class Base : public virtual Processor {
public:
    void process(float* out, int count) override;
    void setInput(Processor* source) override;
    void attachOutput(Processor* consumer) override;
    Processor* getInput() override { return input; }
    void setSampleRate(float rate) override;
    float getSampleRate() override { return sampleRate; }
    bool isValid() override { return true; }

protected:
    Processor* input = nullptr;
    float sampleRate = 44100.0f;
};

class Buffered : public virtual Base {
public:
    explicit Buffered(int capacity = kMaxBlock);
    ~Buffered() override;
    Buffered(const Buffered&) = delete;
    Buffered& operator=(const Buffered&) = delete;

    virtual void setBufferSize(int count);
    virtual int getBufferSize() { return bufferSize; }

protected:
    float* buffer = nullptr;
    int bufferSize = 0;
};

class Controlled : public virtual Base {
public:
    Controlled();
    ~Controlled() override;
    Controlled(const Controlled&) = delete;
    Controlled& operator=(const Controlled&) = delete;

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    // Makes one ramped control value per audio sample for the next `count`
    // samples: fills controlBuffer[0..count), or, for a unit that reads only at
    // its update points (rampsOnDemand), pulls the control samples and moves
    // the ramp to the block's end, leaving each value to controlAt.
    virtual void updateControl(int count);
    virtual void setControl(Processor* source);
    virtual Processor* getControl() { return control; }
    virtual void setUpdateInterval(int n);
    virtual int getUpdateInterval() { return updateInterval; }
    // True once per update interval while a control source is connected.
    virtual bool needsUpdate();

    // Read-only view for composers and tests; fills a ramp left to controlAt first.
    const float* controlValues() const {
        fillRamp();
        return controlBuffer;
    }

protected:
    static constexpr float kUnsetControl = -10000000.0f;

    // The control value for sample j of the block the last updateControl
    // made: the filled entry, or the same value worked out from the ramp (its
    // start plus j steps, added one at a time as the fill adds them).
    float controlAt(int j) const {
        if (!rampPending) return controlBuffer[j];
        const int first = kControlRateDivisor - blockStart.phase;
        float value, stepBy;
        int steps;
        if (j < first) {
            value = blockStart.current;
            stepBy = blockStart.step;
            steps = j;
        } else {
            const int m = j - first;
            const int ramp = m / kControlRateDivisor;
            value = ramp == 0 ? blockStart.target : blockPulled[ramp - 1];
            stepBy = (blockPulled[ramp] - value) * kControlRateFactor;
            steps = m % kControlRateDivisor;
        }
        for (; steps > 0; --steps) value += stepBy;
        return value;
    }

    // needsUpdate's pacing without the call (control is connected).
    bool countUpdate() {
        if (updateCounter == updateInterval) {
            updateCounter = 1;
            return true;
        }
        ++updateCounter;
        return false;
    }

    // True when every value of the last block's ramp has the bits of one
    // value (a held control), given in `value`; the ramp is not filled.
    bool rampIsFlat(float& value) const;

    // Writes controlBuffer[0..count) for a ramp left to controlAt.
    void fillRamp() const;
    // The same ramp into dst, one sample after another: the reference the
    // fill's four-abreast stepping is tested against.
    void fillRampPerSample(float* dst) const;

    // For kernels that hold their coefficients over a run of samples: asks
    // needsUpdate() for sample i (of `remaining` still to go), hands a due
    // control value to `apply`, and returns how many samples from i on run on
    // the present settings. The counter moves as if needsUpdate() had been
    // asked for each of them, so updates land where a per-sample loop puts them.
    template <class Apply>
    int controlRun(int i, int remaining, Apply&& apply) {
        if (control == nullptr) return remaining;
        // A unit that reads its control only here never needs the ramp filled.
        rampsOnDemand = true;
        if (countUpdate()) apply(controlAt(i));
        const int quiet = updateInterval - updateCounter;
        const int run = quiet < 0 ? remaining : std::min(remaining, 1 + quiet);
        updateCounter += run - 1;
        return run;
    }

    Processor* control = nullptr;
    float* controlBuffer = nullptr;
    float current = 0.0f;
    float step = 0.0f;
    float target = 0.0f;
    int updateInterval = 8;
    int updateCounter = 8;
    int rampPhase = 8;
    int controlSamplesPulled = 0;
    int samplesProcessed = 0;
    bool restart = true;

    // Set by units that read the control only through controlAt (at their
    // update points): their ramps are then not filled sample by sample.
    bool rampsOnDemand = false;

private:
    // The ramp as the last block began, and where its pulled samples sit (the
    // buffer's tail, untouched until the next pull or a fill).
    struct RampStart {
        float current, step, target;
        int phase;
    };
    RampStart blockStart{0.0f, 0.0f, 0.0f, kControlRateDivisor};
    const float* blockPulled = nullptr;
    int blockCount = 0;
    mutable bool rampPending = false;
};

// A constant source; the instrument updates it from parameter changes.
class Unit : public virtual Base {
public:
    explicit Unit(float value = 0.0f) : value(value) {}

    void process(float* out, int count) override;
    void setInput(Processor*) override {}

    virtual void setValue(float v) { value = v; }
    virtual float getValue() { return value; }

protected:
    float value;
};

// Presents an audio-rate source as a control-rate source (every eighth sample).
class ControlAdapter : public Buffered {
public:
    ControlAdapter() : Buffered(kMaxBlock) {}

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;
};

// Hands out samples the caller has placed in memory.
class InputAdapter : public virtual Processor {
public:
    void process(float* out, int count) override;
    void setInput(Processor*) override {}
    void attachOutput(Processor*) override {}
    Processor* getInput() override { return nullptr; }
    void setSampleRate(float rate) override { sampleRate = rate; }
    float getSampleRate() override { return sampleRate; }
    bool isValid() override { return true; }

    virtual void setSource(const float* source, int count);

    int getRemaining() const { return remaining; }

protected:
    const float* data = nullptr;
    float sampleRate = 44100.0f;
    int remaining = 0;
};

}  // namespace SPKit
