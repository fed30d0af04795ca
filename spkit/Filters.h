// The filter family: a cookbook biquad with the seven equaliser responses, the
// voice's resonant two-pole low-pass, Chamberlin state-variable high- and
// band-pass filters, a second-order Butterworth band-pass and a DC blocker.
// All run sample by sample in single precision; the Controlled ones take their
// frequency (the biquad: its gain in dB) from a control input once per update interval.
#pragma once

#include <memory>

#include "spkit/Framework.h"

namespace SPKit {

struct FilterPair;

// Direct-form-I biquad after the audio-equaliser cookbook, bandwidth in octaves.
class BiQuad : public virtual Controlled {
public:
    // Type codes, in the order the equaliser's type parameter selects them.
    enum : int { kLowPass = 0, kHighPass, kBandPass, kNotch, kPeakEq, kLowShelf, kHighShelf };

    explicit BiQuad(int type = kPeakEq);

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    virtual void setType(int t);
    virtual int getType() { return type; }
    // Stores f held to 10 Hz .. 0.4 x sampleRate.
    virtual void setFrequency(float f);
    void setControl(Processor* source) override;
    // The control input, when connected, drives this (dB) every update interval.
    virtual void setGain(float db);
    // 0 gives a one-octave bandwidth; 1 the narrowest.
    virtual void setWidth(float w);
    virtual float getFrequency() { return frequency; }
    virtual float getGain() { return gainDb; }
    virtual float getWidth() { return width; }
    // As if it had processed silence forever; also returns the width to 0.
    virtual void reset();
    virtual void updateCoefficients();
    // As ResonantLowPass::pairWith.
    bool pairWith(BiQuad& right);

protected:
    friend struct FilterPair;
    void processPair(float* out, int count);
    std::shared_ptr<FilterPair> pair;

    // True when the coefficients and this history make the filter pass its
    // input through unchanged to the bit (a 0 dB peak or shelf, settled).
    bool isIdentity(float hx1, float hx2, float hy1, float hy2) const;

    int type;
    float frequency = 20.0f;
    float width = 0.0f;
    float gainDb = 0.0f;
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
};

// Two one-pole stages in series at half input level with the difference of the
// stages fed back for resonance; the feedback rises with g so that resonance
// holds up near the top of the range.
class ResonantLowPass : public virtual Controlled {
public:
    ResonantLowPass() = default;

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

    void setControl(Processor* source) override;
    virtual void setFrequency(float f);
    // 0 .. 1; 1 is the edge of self-oscillation.
    virtual void setResonance(float r);
    virtual void reset();
    // Setup: this (left) and `right` run as one two-lane kernel where the
    // processor has SSE2, bit-identical to running them one by one; both must
    // then be pulled once per block. False (nothing paired) without SSE2.
    bool pairWith(ResonantLowPass& right);

protected:
    friend struct FilterPair;
    void processPair(float* out, int count);
    std::shared_ptr<FilterPair> pair;
    // A rise of g by more than this factor in one control step is a leap.
    static constexpr float kLeapRatio = 2.0f;
    // Audio thread: a control value becomes the cutoff; returns the first
    // stage's state, brought in line with the new cutoff on a leap.
    float followCutoff(float hz, float first, float second);

    float frequency = 0.0f;
    float resonance = 0.0f;
    float g = 0.0f;
    float feedback = 0.0f;
    float s1 = 0.0f, s2 = 0.0f;
};

// Chamberlin state-variable filter; the subclasses pick the output tap.
// The cutoff stays at or below sampleRate / 6, where the structure is stable.
class ChamberlinFilter : public virtual Controlled {
public:
    ChamberlinFilter();

    void setSampleRate(float rate) override;

    void setControl(Processor* source) override;
    virtual void setFrequency(float freq);
    // 0 .. 1; 1 removes all damping.
    virtual void setResonance(float r);
    virtual void reset();
    virtual void updateCoefficients();
    // As ResonantLowPass::pairWith; `right` must be of the same tap.
    bool pairWith(ChamberlinFilter& right);

protected:
    enum class Tap { High, Band };
    template <Tap tap>
    void run(float* out, int count);
    friend struct FilterPair;
    template <Tap tap>
    void processPair(float* out, int count);
    std::shared_ptr<FilterPair> pair;

    float frequency = 1.0f;
    float resonance = 0.0f;
    float f = 0.0f;
    float damping = 1.0f;
    float inputGain = 1.0f;
    float low = 0.0f, band = 0.0f;
};

class ChamberlinHighPass : public ChamberlinFilter {
public:
    void process(float* out, int count) override;
};

class ChamberlinBandPass : public ChamberlinFilter {
public:
    void process(float* out, int count) override;
};

// Holder of the Butterworth coefficient set and its audio-rate frequency
// modulation; the base computes no coefficients of its own.
class ButterworthFilter : public virtual Buffered {
public:
    ButterworthFilter() : Buffered(kMaxBlock) {}

    void setSampleRate(float rate) override;

    // An audio-rate source whose samples become the frequency every 16 samples.
    virtual void setModulation(Processor* source);
    virtual void setFrequency(float freq);
    virtual float getFrequency() { return frequency; }
    virtual void reset();

protected:
    Processor* modulation = nullptr;
    float frequency = 20.0f;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
};

// Second-order band-pass: centre frequency and bandwidth in Hz.
class ButterworthBandPass : public ButterworthFilter {
public:
    ButterworthBandPass();

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;
    void setFrequency(float freq) override;
    void reset() override;

    virtual void setBand(float freq, float bw);
    virtual float getBandwidth() { return bandwidth; }

protected:
    float bandwidth = 1.0f;
};

// One-pole high-pass with its corner near 20 Hz: y = x - x1 + r * y1.
class DCRemover : public Base {
public:
    DCRemover();

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;

protected:
    float r;
    float x1 = 0.0f, y1 = 0.0f;
};

}  // namespace SPKit
