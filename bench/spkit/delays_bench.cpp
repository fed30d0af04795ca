// Cost per sample of the phaser, the modulated delay and the cross-fed stereo
// delay with the instrument's band-pass + limiter loops, at the instrument's
// sub-block sizes.
#include <benchmark/benchmark.h>

#include "bench/spkit/BenchSupport.h"
#include "spkit/Cpu.h"
#include "spkit/Delays.h"
#include "spkit/Filters.h"
#include "spkit/Gain.h"

namespace {

using BenchSupport::NoiseSource;
using BenchSupport::reportPerSample;

// Arguments: block size, feedback in percent (0 is the instrument's default).
void BM_Phaser(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    NoiseSource noise;
    SPKit::Phaser phaser;
    phaser.setInput(&noise);
    phaser.setSampleRate(44100.0f);
    phaser.setRange(300.0f, 3000.0f);
    phaser.setFeedback(static_cast<float>(state.range(1)) * 0.01f);
    phaser.setMix(0.8f);
    BenchSupport::pullBlocks(state, phaser, block);
}
BENCHMARK(BM_Phaser)->Args({64, 0})->Args({256, 0})->Args({64, 60})->Args({256, 60});

// Both channels' phasers with feedback, as the instrument pairs them, per
// stereo frame; simd 0 runs one after the other (as before pairing).
void BM_PhaserPair(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(1));
    NoiseSource noise[2]{NoiseSource(1), NoiseSource(2)};
    SPKit::Phaser phaser[2];
    for (int c = 0; c < 2; ++c) {
        phaser[c].setInput(&noise[c]);
        phaser[c].setSampleRate(44100.0f);
        phaser[c].setFeedback(0.6f);
    }
    phaser[1].setPhaseOffset(1.0f);
    SPKit::forceSimdLevel(static_cast<SPKit::SimdLevel>(state.range(0)));
    phaser[0].pairWith(phaser[1]);
    SPKit::forceSimdLevel(SPKit::SimdLevel::Avx2);
    alignas(16) static float out[2][SPKit::kMaxBlock];
    for (auto _ : state) {
        phaser[0].process(out[0], frames);
        phaser[1].process(out[1], frames);
        benchmark::DoNotOptimize(out);
    }
    reportPerSample(state, frames);
}
BENCHMARK(BM_PhaserPair)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1}, {64, 256}});

// The spread's modulated delay under its control: at depth 0 (the default) it
// only records its input; at 20 samples it interpolates every sample.
// Arguments: block size, delay in samples.
void BM_ModDelay(benchmark::State& state) {
    NoiseSource noise;
    SPKit::Unit delay(static_cast<float>(state.range(1)));
    SPKit::ModDelay line;
    line.setInput(&noise);
    line.setControl(&delay);
    line.setSampleRate(44100.0f);
    BenchSupport::pullBlocks(state, line, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ModDelay)->Args({256, 0})->Args({256, 20});

// Per stereo sample frame: both channels pulled once per block, each through a
// pitch-tracking band-pass and a limiter, as in the band-pass delay. The
// second argument is the SIMD level for the band-passes (0: one channel after
// the other; 1 and up: paired, as the instrument runs them).
void BM_StereoDelayWithLoops(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    NoiseSource dryLeft, dryRight;
    SPKit::Unit cutoff(880.0f);
    SPKit::ChamberlinBandPass filterLeft, filterRight;
    SPKit::Limiter limiterLeft, limiterRight;
    SPKit::StereoDelay delay;
    SPKit::ChamberlinBandPass* filters[2] = {&filterLeft, &filterRight};
    SPKit::Limiter* limiters[2] = {&limiterLeft, &limiterRight};
    SPKit::Processor* dry[2] = {&dryLeft, &dryRight};
    for (int c = 0; c < 2; ++c) {
        filters[c]->setResonance(0.75f);
        filters[c]->setControl(&cutoff);
        limiters[c]->setInput(filters[c]);
        limiters[c]->setAttack(10.0f);
        limiters[c]->setRelease(50.0f);
        limiters[c]->setThreshold(0.5f);
        SPKit::StereoDelay::Channel* channel = delay.getChannel(c);
        channel->setInput(dry[c]);
        channel->setLoop(filters[c], limiters[c]);
        channel->setSampleRate(44100.0f);
        channel->setDelay(c == 0 ? 13230 : 19845);
        channel->setFeedback(0.6f);
    }
    SPKit::forceSimdLevel(static_cast<SPKit::SimdLevel>(state.range(1)));
    filterLeft.pairWith(filterRight);
    SPKit::forceSimdLevel(SPKit::SimdLevel::Avx2);
    alignas(16) float left[SPKit::kMaxBlock], right[SPKit::kMaxBlock];
    for (auto _ : state) {
        delay.getChannel(0)->process(left, block);
        delay.getChannel(1)->process(right, block);
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(right);
    }
    reportPerSample(state, block);
}
BENCHMARK(BM_StereoDelayWithLoops)->ArgNames({"frames", "simd"})->ArgsProduct({{64, 256}, {0, 1}});

}  // namespace
