// Cost per sample of a control ramp as a unit reads it at its update points
// (every eighth sample): filled sample by sample, as units that read every
// sample need it, against worked out only where read; and the fill itself,
// one sample after another against four ramps abreast.
#include <benchmark/benchmark.h>

#include "bench/spkit/BenchSupport.h"
#include "spkit/Framework.h"

namespace {

// A controlled unit that reads its ramp at its update points, as a filter does
// (through controlRun); `filled` fills the whole ramp first, as every block did before.
class UpdatePointReader : public SPKit::Controlled {
public:
    explicit UpdatePointReader(bool filled) : filled(filled) {}

    float readBlock(int count) {
        updateControl(count);
        if (filled) fillRamp();
        float sum = 0.0f;
        for (int i = 0; i < count;) i += controlRun(i, count - i, [&sum](float v) { sum += v; });
        return sum;
    }

private:
    bool filled;
};

// Argument: 1 works the values out where read, 0 fills the ramp first.
void BM_ControlRampReadAtUpdates(benchmark::State& state) {
    BenchSupport::NoiseSource source;
    UpdatePointReader reader(state.range(0) == 0);
    reader.setControl(&source);
    for (auto _ : state) benchmark::DoNotOptimize(reader.readBlock(256));
    BenchSupport::reportPerSample(state, 256);
}
BENCHMARK(BM_ControlRampReadAtUpdates)->ArgName("onDemand")->Arg(0)->Arg(1);

// A unit whose ramp is filled by the per-sample reference or the four-abreast fill.
class RampFiller : public SPKit::Controlled {
public:
    RampFiller() { rampsOnDemand = true; }

    float fillBlock(int count, bool fourAbreast) {
        updateControl(count);
        if (fourAbreast) {
            fillRamp();
            return controlBuffer[count - 1];
        }
        fillRampPerSample(scratch);
        return scratch[count - 1];
    }

private:
    float scratch[SPKit::kMaxBlock];
};

// Argument: 1 fills four ramps abreast, 0 one sample after another.
void BM_ControlRampFill(benchmark::State& state) {
    BenchSupport::NoiseSource source;
    RampFiller filler;
    filler.setControl(&source);
    const bool fourAbreast = state.range(0) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(filler.fillBlock(256, fourAbreast));
    BenchSupport::reportPerSample(state, 256);
}
BENCHMARK(BM_ControlRampFill)->ArgName("fourAbreast")->Arg(0)->Arg(1);

}  // namespace
