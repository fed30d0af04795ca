// Sixteen-times oversampling: an up-sampler and a down-sampler, each a cascade
// of four 2x polyphase IIR half-band stages (two all-pass chains per stage).
// Coefficients come from an elliptic half-band designer at construction; the
// all-pass sections run four at a time in SSE lanes, pipelined across lanes.
// A left and a right drive chain can be paired to run side by side, fused.
#pragma once

#include <memory>

#include "spkit/Framework.h"

namespace SPKit {

struct DrivePair;

// Designs the coefficients of a 2x polyphase half-band filter with
// `coefficientCount` all-pass sections and the given transition bandwidth
// (a fraction of the lower of the stage's two rates). Double precision.
void designHalfBand(int coefficientCount, double transitionBandwidth, double* coefficients);

// The four 2x stages of a 16x converter, in the up-sampler's order (stage 0
// runs 1x <-> 2x, stage 3 runs 8x <-> 16x), held in one aligned block.
//
// Lane layout: vector k of a stage holds coefficients 4k .. 4k+3, that is
// [chain 0 section 2k, chain 1 section 2k, chain 0 section 2k+1, chain 1
// section 2k+1]. Lanes 2 and 3 take what lanes 0 and 1 produced one sample
// earlier, so a stage with V full vectors delays both chains by V samples of
// its lower rate; a two-coefficient stage uses lanes 0 and 1 only, undelayed.
class HalfBandCascade {
public:
    static constexpr int kStages = 4;
    static constexpr int kCoefficientCounts[kStages] = {16, 8, 4, 2};
    static constexpr double kTransitionBandwidths[kStages] = {0.01, 0.255, 0.3775, 0.43865};

    HalfBandCascade();
    ~HalfBandCascade();
    HalfBandCascade(const HalfBandCascade&) = delete;
    HalfBandCascade& operator=(const HalfBandCascade&) = delete;

    // in[0..n) -> out[0..2n). in and out must not overlap.
    void upsample(int stage, const float* in, float* out, int n);
    // in[0..2n) -> out[0..n). out may equal in.
    void downsample(int stage, const float* in, float* out, int n);
    // Zeroes every section memory: as if silence had been processed forever.
    void clear();

    float coefficient(int stage, int index) const;

private:
    friend class HiirDownsampler;
    static constexpr int kLanes = 4;
    static constexpr int kMaxVectors = 4;
    // Per stage: coefficients, input memories and output memories, 4 vectors each.
    static constexpr int kStageFloats = 3 * kMaxVectors * kLanes;

    float* coefficientsOf(int stage) const { return block + stage * kStageFloats; }
    float* inputMemoriesOf(int stage) const { return coefficientsOf(stage) + kMaxVectors * kLanes; }
    float* outputMemoriesOf(int stage) const { return inputMemoriesOf(stage) + kMaxVectors * kLanes; }

    float* block;
};

// Raises its input's rate sixteen-fold. getSampleRate reports the input side.
class HiirUpsampler : public virtual Base {
public:
    static constexpr int kFactor = 16;
    // The intermediate blocks of one pass live in two stack areas of this size.
    static constexpr int kScratch = 10000;

    HiirUpsampler();

    // Pulls count / 16 samples and writes 16 times as many; count is a
    // multiple of 16 (a remainder is written as silence).
    void process(float* out, int count) override;
    // rate is the output (16x) rate; the input runs at a sixteenth of it.
    void setSampleRate(float rate) override;

    // Zeroes the filter memories (the instrument's reset on resume).
    void clear() { stages.clear(); }
    float getOutputRate() const { return outputRate; }
    // Designed coefficient `index` of `stage` (0 = the 1x -> 2x stage), as run.
    float getCoefficient(int stage, int index) const { return stages.coefficient(stage, index); }

protected:
    friend class HiirDownsampler;
    float outputRate = kFactor * 44100.0f;
    HalfBandCascade stages;
};

// Brings a 16x signal back down. getSampleRate reports the output side.
class HiirDownsampler : public virtual Buffered {
public:
    static constexpr int kFactor = 16;
    static constexpr int kScratch = 10000;

    HiirDownsampler();

    // Pulls 16 * count samples and writes count.
    void process(float* out, int count) override;
    // rate is the output rate; the input runs at sixteen times it.
    void setSampleRate(float rate) override;
    float getSampleRate() override { return outputRate; }

    void clear();
    float getOutputRate() const { return outputRate; }
    float getCoefficient(int stage, int index) const { return stages.coefficient(stage, index); }

    // Setup (before audio runs): this left chain (a HiirUpsampler feeding a
    // Tube feeding this) and `right`'s run as one stereo kernel, fused per
    // host sample, when the processor has SSE2 or better; bit-identical to
    // running them one by one. Both must then be pulled once per block.
    // Returns false, leaving both as they were, when a chain has another shape.
    bool pairWith(HiirDownsampler& right);

protected:
    float outputRate = 44100.0f / kFactor;
    HalfBandCascade stages;
    std::shared_ptr<DrivePair> pair;
};

}  // namespace SPKit
