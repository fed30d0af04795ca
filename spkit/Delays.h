// The delay family: a fixed delay line, a smoothly modulated fractional delay,
// a delay whose fed-back signal runs through a processing loop a block at a
// time, a cross-fed stereo pair of such delays, and a six-stage all-pass
// phaser with its own sine sweep and saturated feedback. Every line holds up
// to ten seconds at 44100 Hz and is allocated once, at construction.
#pragma once

#include <memory>

#include "spkit/Framework.h"

namespace SPKit {

struct PhaserPair;

// Capacity of every delay line, in samples.
inline constexpr int kMaxDelaySamples = 441000;

class BasicDelay : public virtual Buffered {
public:
    BasicDelay();
    ~BasicDelay() override;

    void process(float* out, int count) override;

    // 0 .. getMaxDelay(); 0 passes the input straight through.
    virtual void setDelay(int n);
    virtual int getDelay() { return delay; }
    virtual int getMaxDelay() { return kMaxDelaySamples; }
    virtual void clear();

protected:
    float* line;
    int delay = 0;
    int position = 0;
};

// Fractional delay whose length (in samples) follows the control input with an
// 8-sample ramp per control value; read by linear interpolation.
class ModDelay : public virtual Controlled {
public:
    ModDelay();
    ~ModDelay() override;

    void process(float* out, int count) override;

    virtual void setDelay(float samples);
    virtual float getDelay() { return static_cast<float>(delayCurrent); }
    virtual float getMaxDelay() { return static_cast<float>(kMaxDelaySamples); }
    void setControl(Processor* source) override;
    virtual void clear();

protected:
    float* line;
    int writePos = 0;
    double delayCurrent = 0.0;
    double delayStep = 0.0;
    double delayTarget = 0.0;
};

// A delay whose output block is handed, through an embedded InputAdapter, to a
// loop chain (head reads the adapter, tail is pulled); the tail's output times
// feedback is added back into the line where the block was read. Because the
// loop works a block behind, the delay is never shorter than kMaxBlock.
class FeedbackDelay : public virtual Buffered {
public:
    FeedbackDelay();
    ~FeedbackDelay() override;

    void process(float* out, int count) override;
    // Also reaches the loop, which is a source of this unit like its input.
    void setSampleRate(float rate) override;

    // Raised to at least kMaxBlock, limited to getMaxDelay().
    virtual void setDelay(int n);
    virtual int getDelay() { return delay; }
    virtual int getMaxDelay() { return kMaxDelaySamples; }
    virtual void setLoop(Processor* head, Processor* tail);
    virtual void setFeedback(float amount);
    virtual void clear();

protected:
    float* line;
    int delay = 0;
    int position = 0;
    // Samples at and above this index have not been written since the last
    // clear (the ring only ever spans [0, delay)), so clear stops here.
    int extent = 0;
    float feedback = 0.0f;
    Processor* loopTail = nullptr;
    InputAdapter loopInput;
};

// Two feedback delays that exchange a fraction of their delayed signals before
// their loops. Not a unit itself: its two channels are, and the first channel
// pulled in a block computes both. Both loops get their blocks before either
// loop is pulled, so the channels' send and loop units may run as left /
// right pairs.
class StereoDelay {
public:
    class Channel : public virtual FeedbackDelay {
    public:
        Channel(StereoDelay* owner, int index);
        void process(float* out, int count) override;

    private:
        friend class StereoDelay;
        StereoDelay* owner;
        int index;
    };

    StereoDelay();
    virtual ~StereoDelay();
    StereoDelay(const StereoDelay&) = delete;
    StereoDelay& operator=(const StereoDelay&) = delete;

    // 0 is the left, 1 the right channel.
    virtual Channel* getChannel(int index);
    virtual void setCrossFeed(float c);
    virtual void clear();
    virtual bool isValid();
    virtual void processChannel(float* out, int count, int index);

protected:
    Channel channels[2];
    float* scratch[2];
    int pending = 0;   // samples of the block the other channel has yet to collect
    int other = 0;     // the channel that block belongs to
    float crossFeed = 0.25f;
};

// Six first-order all-pass stages, the first four swept by a sine between
// frequencies derived from the range; tanh-saturated feedback around the chain.
class Phaser : public virtual Base {
public:
    static constexpr int kStages = 6;
    static constexpr int kSweptStages = 4;

    Phaser();

    void process(float* out, int count) override;
    // Also returns the sweep rate to 0.5 Hz.
    void setSampleRate(float rate) override;

    virtual void setRange(float lowHz, float highHz);
    virtual void setRate(float hz);
    virtual void setFeedback(float amount);
    // Jumps to the wet level and ends a glide under way.
    virtual void setMix(float amount);
    // Moves the wet level during play along the S-shaped path RampedGain
    // takes, over the glide time, so the move does not step; a move to the
    // level already aimed at leaves a glide under way as it is. Settled, the
    // loop runs exactly as with setMix.
    virtual void glideMixTo(float amount);
    // The glide's time (5 ms unless set); a glide under way ends at its level.
    virtual void setMixGlide(float ms);
    // Ends a glide at its level.
    virtual void settleMix() { mixRemaining = 0; }
    virtual bool isMixGliding() const { return mixRemaining > 0; }
    // The level aimed at, and the one the last processed sample got.
    virtual float getMix() const { return mix; }
    virtual float getCurrentMix() const;
    virtual void setPhaseOffset(float radians);
    // Setup: this (left) and `right` run as one two-lane kernel where the
    // processor has SSE2, bit-identical to running them one by one; both must
    // then be pulled once per block. False (nothing paired) without SSE2.
    bool pairWith(Phaser& right);

protected:
    friend struct PhaserPair;
    void processPair(float* out, int count);
    std::shared_ptr<PhaserPair> pair;

    struct Stage {
        float coefficient = 0.0f;
        float state = 0.0f;
    };

    void updateSweep();
    // The feedback path costs a tanh per sample; without feedback it is skipped.
    template <bool withFeedback>
    void run(float* out, int count);

    Stage stages[kStages];
    float low = 440.0f;
    float high = 1600.0f;
    float feedback = 0.7f;
    float sweepPhase = 0.0f;
    float sweepIncrement = 0.0f;
    float mix = 1.0f;
    float last = 0.0f;
    float phaseOffset = 0.0f;
    // ln(2 x low) and ln(high / low), kept with the range for the sweep.
    float logTwiceLow = 0.0f;
    float logRatio = 0.0f;
    // The wet level's glide, as in RampedGain: the level it crosses up to
    // mix, its length and the samples still to go.
    float mixGlideMs = 5.0f;
    float mixSpan = 0.0f;
    int mixGlideSamples = 1;
    int mixRemaining = 0;
public:
    // Moves the sweep on by `count` samples as process() would, without
    // touching the all-pass chain. Audio thread.
    void advance(int count);
};

}  // namespace SPKit
