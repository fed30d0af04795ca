// Cost per sample of the level stages: the plain Gain, the ramped gain held at
// its value (what every sample costs outside a glide) and the ramped gain with
// a fresh glide in every block (the worst case of automation), at the
// instrument's sub-block sizes; the modulated gain under a held control (one
// gain per block) and under a moving one (its ramp filled). The source is a
// constant, so the figures are the stage's own cost.
#include <benchmark/benchmark.h>

#include "bench/spkit/BenchSupport.h"
#include "spkit/Gain.h"

namespace {

void BM_Gain(benchmark::State& state) {
    SPKit::Unit source(0.5f);
    SPKit::Gain gain(0.7f);
    gain.setInput(&source);
    BenchSupport::pullBlocks(state, gain, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_Gain)->Arg(64)->Arg(256);

void BM_RampedGainHeld(benchmark::State& state) {
    SPKit::Unit source(0.5f);
    SPKit::RampedGain gain(0.7f);
    gain.setInput(&source);
    BenchSupport::pullBlocks(state, gain, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_RampedGainHeld)->Arg(64)->Arg(256);

void BM_RampedGainGlidingEveryBlock(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    SPKit::Unit source(0.5f);
    SPKit::RampedGain gain(0.7f);
    gain.setInput(&source);
    alignas(16) float out[SPKit::kMaxBlock];
    bool up = false;
    for (auto _ : state) {
        gain.glideTo(up ? 2.0f : 0.25f);
        up = !up;
        gain.process(out, block);
        benchmark::DoNotOptimize(out);
    }
    BenchSupport::reportPerSample(state, block);
}
BENCHMARK(BM_RampedGainGlidingEveryBlock)->Arg(64)->Arg(256);

// Argument: 1 a control that moves every sample, 0 a held one.
void BM_ModGain(benchmark::State& state) {
    SPKit::Unit source(0.5f), held(0.8f);
    BenchSupport::NoiseSource moving;
    SPKit::ModGain gain;
    gain.setInput(&source);
    gain.setControl(state.range(0) != 0 ? static_cast<SPKit::Processor*>(&moving) : &held);
    BenchSupport::pullBlocks(state, gain, 256);
}
BENCHMARK(BM_ModGain)->ArgName("moving")->Arg(0)->Arg(1);

}  // namespace
