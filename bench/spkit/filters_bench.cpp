// Cost per sample of the voice and equaliser filters under control-rate
// modulation, at the instrument's sub-block sizes (the run's context names the CPU).
#include <benchmark/benchmark.h>

#include "bench/spkit/BenchSupport.h"
#include "spkit/Cpu.h"
#include "spkit/Filters.h"

namespace {

using BenchSupport::NoiseSource;

// A slowly moving control value, so coefficient updates really recompute.
class Sweep : public SPKit::Unit {
public:
    Sweep(float centre, float depth) : centre(centre), depth(depth) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) {
            phase += 0.001f;
            if (phase > 1.0f) phase -= 2.0f;
            out[i] = centre + depth * phase;
        }
    }

private:
    float centre, depth, phase = 0.0f;
};

void BM_ResonantLowPass(benchmark::State& state) {
    NoiseSource noise;
    Sweep cutoff(2000.0f, 1500.0f);
    SPKit::ResonantLowPass filter;
    filter.setInput(&noise);
    filter.setControl(&cutoff);
    filter.setSampleRate(44100.0f);
    filter.setResonance(0.8f);
    BenchSupport::pullBlocks(state, filter, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ResonantLowPass)->Arg(64)->Arg(256);

// Both channels of a voice filter, as the instrument pairs them, per stereo
// frame; the first argument is the SIMD level (0: one channel after the
// other, as before pairing; 1 and up: the two-lane kernel).
template <class Filter>
void stereoFilter(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(1));
    NoiseSource noise[2]{NoiseSource(1), NoiseSource(2)};
    Sweep cutoff[2]{Sweep(2000.0f, 1500.0f), Sweep(1900.0f, 1400.0f)};
    Filter filter[2];
    for (int c = 0; c < 2; ++c) {
        filter[c].setInput(&noise[c]);
        filter[c].setControl(&cutoff[c]);
        filter[c].setSampleRate(44100.0f);
        filter[c].setResonance(0.8f);
    }
    SPKit::forceSimdLevel(static_cast<SPKit::SimdLevel>(state.range(0)));
    filter[0].pairWith(filter[1]);
    SPKit::forceSimdLevel(SPKit::SimdLevel::Avx2);
    alignas(16) static float out[2][SPKit::kMaxBlock];
    for (auto _ : state) {
        filter[0].process(out[0], frames);
        filter[1].process(out[1], frames);
        benchmark::DoNotOptimize(out);
    }
    BenchSupport::reportPerSample(state, frames);
}

void BM_ResonantLowPassPair(benchmark::State& state) { stereoFilter<SPKit::ResonantLowPass>(state); }
BENCHMARK(BM_ResonantLowPassPair)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1}, {64, 256}});

void BM_ChamberlinHighPassPair(benchmark::State& state) { stereoFilter<SPKit::ChamberlinHighPass>(state); }
BENCHMARK(BM_ChamberlinHighPassPair)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1}, {64, 256}});

// The delay loops' band-passes.
void BM_ChamberlinBandPassPair(benchmark::State& state) { stereoFilter<SPKit::ChamberlinBandPass>(state); }
BENCHMARK(BM_ChamberlinBandPassPair)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1}, {64, 256}});

// High shelves with their gain under control, both channels per stereo frame
// (the spread's shelves stay unpaired in the instrument: they mostly sit at
// 0 dB, where the one-channel path's identity shortcut is cheaper).
void BM_BiQuadPair(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(1));
    NoiseSource noise[2]{NoiseSource(1), NoiseSource(2)};
    Sweep gain[2]{Sweep(-5.0f, 5.0f), Sweep(-4.0f, 5.0f)};
    SPKit::BiQuad filter[2]{SPKit::BiQuad(SPKit::BiQuad::kHighShelf), SPKit::BiQuad(SPKit::BiQuad::kHighShelf)};
    for (int c = 0; c < 2; ++c) {
        filter[c].setInput(&noise[c]);
        filter[c].setControl(&gain[c]);
        filter[c].setSampleRate(44100.0f);
        filter[c].setFrequency(1566.0f);
    }
    SPKit::forceSimdLevel(static_cast<SPKit::SimdLevel>(state.range(0)));
    filter[0].pairWith(filter[1]);
    SPKit::forceSimdLevel(SPKit::SimdLevel::Avx2);
    alignas(16) static float out[2][SPKit::kMaxBlock];
    for (auto _ : state) {
        filter[0].process(out[0], frames);
        filter[1].process(out[1], frames);
        benchmark::DoNotOptimize(out);
    }
    BenchSupport::reportPerSample(state, frames);
}
BENCHMARK(BM_BiQuadPair)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1}, {64, 256}});

// An equaliser band at 0 dB in both channels (a flat band, the identity
// shortcut): paired, it should cost what the one-channel shortcut does.
void BM_BiQuadPairFlat(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(1));
    NoiseSource noise[2]{NoiseSource(1), NoiseSource(2)};
    SPKit::BiQuad filter[2]{SPKit::BiQuad(SPKit::BiQuad::kPeakEq), SPKit::BiQuad(SPKit::BiQuad::kPeakEq)};
    for (int c = 0; c < 2; ++c) {
        filter[c].setInput(&noise[c]);
        filter[c].setSampleRate(44100.0f);
        filter[c].setFrequency(1000.0f);
        filter[c].setGain(0.0f);
    }
    SPKit::forceSimdLevel(static_cast<SPKit::SimdLevel>(state.range(0)));
    filter[0].pairWith(filter[1]);
    SPKit::forceSimdLevel(SPKit::SimdLevel::Avx2);
    alignas(16) static float out[2][SPKit::kMaxBlock];
    for (auto _ : state) {
        filter[0].process(out[0], frames);
        filter[1].process(out[1], frames);
        benchmark::DoNotOptimize(out);
    }
    BenchSupport::reportPerSample(state, frames);
}
BENCHMARK(BM_BiQuadPairFlat)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1}, {64, 256}});

void BM_BiQuadStatic(benchmark::State& state) {
    NoiseSource noise;
    SPKit::BiQuad filter(SPKit::BiQuad::kPeakEq);
    filter.setInput(&noise);
    filter.setSampleRate(44100.0f);
    filter.setFrequency(1000.0f);
    filter.setGain(6.0f);
    BenchSupport::pullBlocks(state, filter, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_BiQuadStatic)->Arg(64)->Arg(256);

// The spread path's high shelf: its gain follows the control every 8 samples.
void BM_BiQuadGainModulated(benchmark::State& state) {
    NoiseSource noise;
    Sweep gain(-5.0f, 5.0f);
    SPKit::BiQuad filter(SPKit::BiQuad::kHighShelf);
    filter.setInput(&noise);
    filter.setControl(&gain);
    filter.setSampleRate(44100.0f);
    filter.setFrequency(1566.0f);
    BenchSupport::pullBlocks(state, filter, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_BiQuadGainModulated)->Arg(64)->Arg(256);

// The same shelf with its control held at 0 dB (spread off, the default): an
// identity, passed through without the recursion or any redesign.
void BM_BiQuadHeldAtZeroDb(benchmark::State& state) {
    NoiseSource noise;
    SPKit::Unit gain(0.0f);
    SPKit::BiQuad filter(SPKit::BiQuad::kHighShelf);
    filter.setInput(&noise);
    filter.setControl(&gain);
    filter.setSampleRate(44100.0f);
    filter.setFrequency(1566.0f);
    BenchSupport::pullBlocks(state, filter, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_BiQuadHeldAtZeroDb)->Arg(64)->Arg(256);

void BM_ChamberlinHighPass(benchmark::State& state) {
    NoiseSource noise;
    Sweep cutoff(800.0f, 600.0f);
    SPKit::ChamberlinHighPass filter;
    filter.setInput(&noise);
    filter.setControl(&cutoff);
    filter.setSampleRate(44100.0f);
    filter.setResonance(0.5f);
    BenchSupport::pullBlocks(state, filter, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ChamberlinHighPass)->Arg(64)->Arg(256);

}  // namespace
