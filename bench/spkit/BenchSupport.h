// Shared pieces of the unit benchmarks: a deterministic full-band source, the
// block-pulling loop with its per-sample cost counter, and the CPU's name in
// the run's context (these figures mean little without it).
#pragma once

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "spkit/Framework.h"

namespace BenchSupport {

// Linear congruential noise in -1..1: cheap, full-band and the same every run.
class NoiseSource : public SPKit::Unit {
public:
    explicit NoiseSource(unsigned seed = 1) : seed(seed) {}

    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) {
            seed = seed * 1664525u + 1013904223u;
            out[i] = static_cast<float>(static_cast<int>(seed)) * 4.6566129e-10f;
        }
    }

private:
    unsigned seed;
};

// Reports seconds per sample (printed with its SI prefix, ns) as "per_sample".
inline void reportPerSample(benchmark::State& state, int samplesPerIteration) {
    state.counters["per_sample"] = benchmark::Counter(
        samplesPerIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Pulls `count` samples from `unit` per iteration and reports the cost per
// host sample, `hostSamples` of which one pull stands for (count / 16 for a
// unit that runs at sixteen times the host rate).
inline void pullBlocks(benchmark::State& state, SPKit::Processor& unit, int count, int hostSamples) {
    alignas(16) float out[SPKit::kMaxBlock];
    for (auto _ : state) {
        unit.process(out, count);
        benchmark::DoNotOptimize(out);
    }
    reportPerSample(state, hostSamples);
}

inline void pullBlocks(benchmark::State& state, SPKit::Processor& unit, int count) {
    pullBlocks(state, unit, count, count);
}

inline std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

// Names the CPU once per benchmark program.
inline const bool kMachineNamed = [] {
    benchmark::AddCustomContext("cpu_model", cpuModel());
    return true;
}();

}  // namespace BenchSupport
