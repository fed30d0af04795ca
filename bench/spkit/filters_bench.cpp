// Cost per sample of the voice and equaliser filters under control-rate
// modulation, at the instrument's sub-block sizes (the run's context names the CPU).
#include <benchmark/benchmark.h>

#include "bench/spkit/BenchSupport.h"
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
