// Cost per sample of the five-voice wavetable oscillator (both outputs, with
// its pitch control, detune, spread and drift on or off, as the instrument runs it),
// and the time to build the 256-table set the library makes when it loads.
#include <benchmark/benchmark.h>

#include "bench/spkit/BenchSupport.h"
#include "spkit/Cpu.h"
#include "spkit/Envelopes.h"
#include "spkit/LFO.h"
#include "spkit/Oscillators.h"

namespace {

// Arguments: frequency in Hz, block size, drift depth in percent (0, the
// default, skips the drift offsets), the widest vector level to use (0
// scalar, the reference; 1 SSE2; 2 AVX2, where the processor has it), and
// whether a pitch control drives it (1, as in the instrument: an update every
// 8 samples, so 8-sample spans; 0: one span per block). One sample is one
// stereo frame (A and B).
void BM_MultiOscillatorFiveVoices(benchmark::State& state) {
    const float frequency = static_cast<float>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    const auto level = static_cast<SPKit::SimdLevel>(state.range(3));
    if (SPKit::simdLevel() < level) {
        state.SkipWithError("this processor lacks the vector level");
        return;
    }
    SPKit::Unit pitch(frequency);
    SPKit::forceSimdLevel(level);
    SPKit::MultiOscillator osc;
    SPKit::forceSimdLevel(SPKit::SimdLevel::Avx2);
    SPKit::Wavetable tables;
    SPKit::WavetableManager::global().getWavetable(tables);
    osc.setWavetable(tables);
    if (state.range(4) != 0) osc.setControl(&pitch);
    osc.setSampleRate(44100.0f);
    osc.setFrequency(frequency);
    osc.setDetune(0.01f);
    osc.setVoiceLevel(1.0f);
    osc.setStereoSpread(0.5f);
    osc.setDriftDepth(static_cast<float>(state.range(2)) * 0.01f);
    osc.setDriftSpread(0.5f);
    osc.setEvenLevel(0.5f);
    alignas(16) float left[SPKit::kMaxBlock], right[SPKit::kMaxBlock];
    for (auto _ : state) {
        osc.process(left, block);
        osc.process(right, block);
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(right);
    }
    BenchSupport::reportPerSample(state, block);
}
BENCHMARK(BM_MultiOscillatorFiveVoices)
    ->ArgNames({"hz", "block", "drift", "simd", "control"})
    ->ArgsProduct({{110, 1760}, {256}, {30, 0}, {0, 1, 2}, {1}})
    ->ArgsProduct({{110, 1760}, {64}, {30}, {0, 1, 2}, {1}})
    ->ArgsProduct({{110, 1760}, {256}, {30, 0}, {1, 2}, {0}});

// The whole table set: lookup, boundaries and 2 × 256 tables of 4096 samples.
void BM_WavetableBuild(benchmark::State& state) {
    for (auto _ : state) {
        SPKit::WavetableManager manager(SPKit::WavetableManager::kTableCount, SPKit::WavetableManager::kTableLength,
                                        SPKit::WavetableManager::kDesignRate);
        benchmark::DoNotOptimize(&manager);
    }
    state.SetLabel(BenchSupport::cpuModel());
}
BENCHMARK(BM_WavetableBuild)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The modulators the voice runs beside the oscillator, for scale.
void BM_LFO(benchmark::State& state) {
    SPKit::LFO lfo;
    lfo.setFrequency(5.0f);
    BenchSupport::pullBlocks(state, lfo, 256);
}
BENCHMARK(BM_LFO);

void BM_QuadEnvAndPortamento(benchmark::State& state) {
    SPKit::Unit one(1.0f), pitch(440.0f);
    SPKit::QuadEnv env;
    SPKit::Portamento glide(100.0, 220.0f);
    env.setInput(&one);
    glide.setInput(&pitch);
    env.addStage(10, 1);
    env.addStage(5, 1);
    env.addStage(200, 0.5f);
    env.addStage(10000000, 0.5f);
    env.addStage(100, 0);
    env.startStage(0);
    alignas(16) float out[256];
    for (auto _ : state) {
        env.process(out, 256);
        glide.process(out, 256);
        benchmark::DoNotOptimize(out);
    }
    BenchSupport::reportPerSample(state, 256);
}
BENCHMARK(BM_QuadEnvAndPortamento);

}  // namespace
