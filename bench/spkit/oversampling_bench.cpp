// Cost of the instrument's 16x drive section: up-sampler, tube and
// down-sampler per host sample, and of each of the three on its own, at the
// host block sizes the frame uses (sub-blocks of at most 256 frames).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bench/spkit/BenchSupport.h"
#include "spkit/Cpu.h"
#include "spkit/Gain.h"
#include "spkit/Oversampling.h"

using namespace SPKit;

namespace {

// A 441 Hz sine at 0.8 of full scale (one exact period of 100 samples at
// 44100 Hz), copied from a precomputed stretch so the source costs next to
// nothing even when it is pulled at 16x.
class SineSource : public Unit {
public:
    static constexpr int kPeriod = 100;

    SineSource() : stretch(kMaxBlock + kPeriod) {
        for (size_t i = 0; i < stretch.size(); ++i)
            stretch[i] = 0.8f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * static_cast<double>(i % kPeriod) / kPeriod));
    }

    void process(float* out, int count) override {
        std::memcpy(out, stretch.data() + position, static_cast<size_t>(count) * sizeof(float));
        position = (position + count) % kPeriod;
    }

private:
    std::vector<float> stretch;
    int position = 0;
};

void BM_DriveSection(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    SineSource source;
    HiirUpsampler up;
    Tube tube;
    HiirDownsampler down;
    up.setInput(&source);
    tube.setInput(&up);
    down.setInput(&tube);
    down.setSampleRate(44100.0f);
    BenchSupport::pullBlocks(state, down, frames);
}
BENCHMARK(BM_DriveSection)->Arg(32)->Arg(64)->Arg(256);

// Both channels' drive sections, as the instrument runs them, per stereo
// frame; the argument is the SIMD level (0 scalar: one chain after the other,
// as before pairing; 1 SSE2; 2 AVX2), capped by what the processor has.
void BM_DrivePair(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(1));
    forceSimdLevel(static_cast<SimdLevel>(state.range(0)));
    SineSource source[2];
    HiirUpsampler up[2];
    Tube tube[2];
    HiirDownsampler down[2];
    for (int c = 0; c < 2; ++c) {
        up[c].setInput(&source[c]);
        tube[c].setInput(&up[c]);
        down[c].setInput(&tube[c]);
        down[c].setSampleRate(44100.0f);
    }
    down[0].pairWith(down[1]);
    forceSimdLevel(SimdLevel::Avx2);
    alignas(16) static float out[2][kMaxBlock];
    for (auto _ : state) {
        down[0].process(out[0], frames);
        down[1].process(out[1], frames);
        benchmark::DoNotOptimize(out);
    }
    BenchSupport::reportPerSample(state, frames);
}
BENCHMARK(BM_DrivePair)->ArgNames({"simd", "frames"})->ArgsProduct({{0, 1, 2}, {64, 256}});

void BM_Upsampler(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    SineSource source;
    HiirUpsampler up;
    up.setInput(&source);
    BenchSupport::pullBlocks(state, up, frames * 16, frames);
}
BENCHMARK(BM_Upsampler)->Arg(256);

void BM_Downsampler(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    SineSource source;
    HiirDownsampler down;
    down.setInput(&source);
    BenchSupport::pullBlocks(state, down, frames);
}
BENCHMARK(BM_Downsampler)->Arg(256);

// The tube at 16x: sixteen curve evaluations per host sample.
void BM_TubeAt16x(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    SineSource source;
    Tube tube;
    tube.setInput(&source);
    BenchSupport::pullBlocks(state, tube, frames * 16, frames);
}
BENCHMARK(BM_TubeAt16x)->Arg(256);

}  // namespace
