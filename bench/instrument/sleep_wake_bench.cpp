// How closely a note after a sleep matches an instance that never slept, over
// all 100 factory programs: a short note, silence until the sleeping instance
// sleeps, a further second asleep, then a note; the largest difference over
// its first 200 ms, in dB relative to the never-sleeping note's peak. Also
// which programs never sleep (a drone, or a tail that grows back), and the
// floor a tiny difference in the voice meets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "tests/instrument/engine_support.h"

using EngineTest::Engine;
using Access = Vst::MorvelithPluginTestAccess;

namespace {

constexpr int kRate = 44100;
constexpr int kNote = 57;
constexpr int kShortNote = kRate / 5;
constexpr int kMaxSettle = 30 * kRate;
constexpr int kAsleepFor = kRate;
constexpr int kWakeOffset = 100;      // the note falls inside a block
constexpr int kMeasured = kRate / 5;  // 200 ms

struct Outcome {
    bool slept = false;
    double sleepSeconds = 0.0;
    double differenceDb = -999.0;
    double nudgedDb = -999.0;
};

// Moves a voice high-pass's band memory by kNudge.
constexpr float kNudge = 1.0e-7f;  // -140 dBFS
struct BandNudge : SPKit::ChamberlinFilter {
    static void nudge(SPKit::ChamberlinFilter& f) { f.*(&BandNudge::band) += kNudge; }
};

// The largest difference over the note, in dB relative to the reference's peak.
double differenceDb(const Engine& a, const Engine& reference) {
    const size_t from = reference.left.size() - kMeasured;
    double difference = 0.0, peak = 0.0;
    for (size_t i = from; i < reference.left.size(); ++i) {
        difference = std::max({difference, static_cast<double>(std::fabs(a.left[i] - reference.left[i])),
                               static_cast<double>(std::fabs(a.right[i] - reference.right[i]))});
        peak = std::max({peak, static_cast<double>(std::fabs(reference.left[i])),
                         static_cast<double>(std::fabs(reference.right[i]))});
    }
    return difference > 0.0 && peak > 0.0 ? 20.0 * std::log10(difference / peak) : -999.0;
}

// Also the floor a wake that is not exact to the bit meets: a third,
// never-sleeping instance whose left voice high-pass memory is moved by
// -140 dBFS where the others wake (alone about -120 dB or less on the note).
// The units after the envelope (the 10 Hz DC block's single-precision
// recursion above all, a phaser's feedback too) grow any difference the
// rounding does not swallow into one of this size.
Outcome measure(int program) {
    Outcome outcome;
    std::unique_ptr<Engine> engines[3] = {std::make_unique<Engine>(true, program),
                                          std::make_unique<Engine>(true, program),
                                          std::make_unique<Engine>(true, program)};
    for (int k = 0; k < 3; ++k) {
        engines[k]->start();
        Access::allowSleep(*engines[k]->plugin, k == 0);
        engines[k]->noteOn(kNote, 100);
        engines[k]->render(kShortNote);
        engines[k]->noteOff(kNote);
    }
    Engine& sleeping = *engines[0];
    Engine& awake = *engines[1];
    Engine& nudged = *engines[2];
    int settled = kShortNote;
    while (settled < kMaxSettle && !Access::isAsleep(*sleeping.plugin)) {
        for (auto& e : engines) e->render(Engine::kBlock);
        settled += Engine::kBlock;
    }
    if (!Access::isAsleep(*sleeping.plugin)) return outcome;
    outcome.slept = true;
    outcome.sleepSeconds = static_cast<double>(settled) / kRate;
    for (auto& e : engines) e->render(kAsleepFor);
    BandNudge::nudge(Access::highPassLeft(*nudged.plugin));
    for (auto& e : engines) {
        e->noteOn(kNote, 100, kWakeOffset);
        e->render(kWakeOffset + kMeasured);
    }
    outcome.differenceDb = differenceDb(sleeping, awake);
    outcome.nudgedDb = differenceDb(nudged, awake);
    return outcome;
}

void BM_WakeDifferenceOverPrograms(benchmark::State& state) {
    std::vector<double> figures, floors;
    std::vector<int> sleepless;
    int worstProgram = -1;
    for (auto _ : state) {
        figures.clear();
        floors.clear();
        sleepless.clear();
        double worst = -1000.0;
        std::printf("program  asleep after (s)  wake difference (dB re peak)  nudged floor (dB re peak)\n");
        for (int p = 0; p < Vst::MorvelithPlugin::kNumPrograms; ++p) {
            const Outcome o = measure(p);
            if (!o.slept) {
                sleepless.push_back(p);
                std::printf("%7d  %16s\n", p, "never");
                continue;
            }
            std::printf("%7d  %16.2f  %10.1f  %27.1f\n", p, o.sleepSeconds, o.differenceDb, o.nudgedDb);
            floors.push_back(o.nudgedDb);
            figures.push_back(o.differenceDb);
            if (o.differenceDb > worst) {
                worst = o.differenceDb;
                worstProgram = p;
            }
        }
    }
    std::vector<double> sorted = figures;
    std::sort(sorted.begin(), sorted.end());
    const auto below80 = std::count_if(figures.begin(), figures.end(), [](double d) { return d < -80.0; });
    state.counters["worst_db"] = sorted.empty() ? 0.0 : sorted.back();
    state.counters["median_db"] = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    state.counters["worst_program"] = worstProgram;
    state.counters["below_-80dB"] = static_cast<double>(below80);
    state.counters["slept"] = static_cast<double>(figures.size());
    const auto floorAbove80 = std::count_if(floors.begin(), floors.end(), [](double d) { return d >= -80.0; });
    state.counters["floor_above_-80dB"] = static_cast<double>(floorAbove80);
    std::printf("nudged floor at or above -80 dB: %ld of %zu\n", static_cast<long>(floorAbove80), floors.size());
    std::printf("slept: %zu of 100; below -80 dB: %ld; median %.1f dB; worst %.1f dB (program %d); never slept:",
                figures.size(), static_cast<long>(below80), sorted.empty() ? 0.0 : sorted[sorted.size() / 2],
                sorted.empty() ? 0.0 : sorted.back(), worstProgram);
    for (int p : sleepless) std::printf(" %d", p);
    std::printf("\n");
}

// One 256-frame block of an instance asleep after a short note (program 76,
// or the heavy setting), timed alone: the sleeping cost without the set-up.
void asleepBlocks(benchmark::State& state, std::initializer_list<std::pair<int, float>> settings) {
    Engine e(true, Engine::kDefaultsProgram);
    e.start();
    Access::allowSleep(*e.plugin, true);
    for (const auto& [index, value] : settings) e.setParameter(index, value);
    e.noteOn(kNote, 100);
    e.render(kShortNote);
    e.noteOff(kNote);
    e.render(Engine::kBlock);
    std::vector<float> l(Engine::kBlock), r(Engine::kBlock);
    for (int settled = 0; settled < kMaxSettle && !Access::isAsleep(*e.plugin); settled += Engine::kBlock)
        e.renderInto(l.data(), r.data(), Engine::kBlock);
    if (!Access::isAsleep(*e.plugin)) {
        state.SkipWithError("did not fall asleep");
        return;
    }
    for (auto _ : state) {
        e.renderInto(l.data(), r.data(), Engine::kBlock);
        benchmark::DoNotOptimize(l[0]);
    }
    if (!Access::isAsleep(*e.plugin)) state.SkipWithError("woke");
    // CPU time per block over the block's audio time, in ms per second.
    state.counters["ms_per_audio_s"] =
        benchmark::Counter(static_cast<double>(Engine::kBlock) / (1000.0 * kRate),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_AsleepBlock76(benchmark::State& state) { asleepBlocks(state, {}); }
void BM_AsleepBlockHeavy(benchmark::State& state) {
    asleepBlocks(state, {{Vst::kDriveAmount, 0.5f}, {Vst::kPhaserEnable, 1.0f}, {Vst::kPhaserDepth, 0.7f},
                         {Vst::kPhaserFb, 0.5f}, {Vst::kDelayEnable, 1.0f}, {Vst::kHpfDelayMix, 0.5f},
                         {Vst::kHpfDelayFb, 0.5f}, {Vst::kBpfDelayMix, 0.5f}, {Vst::kBpfDelayFb, 0.5f},
                         {Vst::kSpreadSpread, 1.0f}});
}

// The block in which a note wakes an instance asleep for a second after a
// short note (program 76, or the heavy setting): the catch-up and pre-roll
// a wake costs, on top of rendering the block itself.
void wakeBlocks(benchmark::State& state, std::initializer_list<std::pair<int, float>> settings) {
    Engine e(true, Engine::kDefaultsProgram);
    e.start();
    Access::allowSleep(*e.plugin, true);
    for (const auto& [index, value] : settings) e.setParameter(index, value);
    std::vector<float> l(Engine::kBlock), r(Engine::kBlock);
    for (auto _ : state) {
        state.PauseTiming();
        e.noteOn(kNote, 100);
        e.deliverMidi();
        e.renderInto(l.data(), r.data(), Engine::kBlock);
        for (int done = Engine::kBlock; done < kShortNote; done += Engine::kBlock)
            e.renderInto(l.data(), r.data(), Engine::kBlock);
        e.noteOff(kNote);
        e.deliverMidi();
        for (int settled = 0; settled < kMaxSettle && !Access::isAsleep(*e.plugin); settled += Engine::kBlock)
            e.renderInto(l.data(), r.data(), Engine::kBlock);
        if (!Access::isAsleep(*e.plugin)) {
            state.SkipWithError("did not fall asleep");
            return;
        }
        for (int done = 0; done < kAsleepFor; done += Engine::kBlock) e.renderInto(l.data(), r.data(), Engine::kBlock);
        e.noteOn(kNote, 100);
        e.deliverMidi();
        state.ResumeTiming();
        e.renderInto(l.data(), r.data(), Engine::kBlock);
        benchmark::DoNotOptimize(l[0]);
        state.PauseTiming();
        e.noteOff(kNote);
        e.deliverMidi();
        e.renderInto(l.data(), r.data(), Engine::kBlock);
        state.ResumeTiming();
    }
}

void BM_WakeBlock76(benchmark::State& state) { wakeBlocks(state, {}); }
void BM_WakeBlockHeavy(benchmark::State& state) {
    wakeBlocks(state, {{Vst::kDriveAmount, 0.5f}, {Vst::kPhaserEnable, 1.0f}, {Vst::kPhaserDepth, 0.7f},
                       {Vst::kPhaserFb, 0.5f}, {Vst::kDelayEnable, 1.0f}, {Vst::kHpfDelayMix, 0.5f},
                       {Vst::kHpfDelayFb, 0.5f}, {Vst::kBpfDelayMix, 0.5f}, {Vst::kBpfDelayFb, 0.5f},
                       {Vst::kSpreadSpread, 1.0f}});
}

// The level taps' peak over one 256-frame block, against the one-at-a-time
// maximum it replaced (ns per block).
void BM_LevelTapPeak(benchmark::State& state) {
    std::vector<float> x(Engine::kBlock);
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.01f * static_cast<float>(i)) * 0.3f;
    for (auto _ : state) benchmark::DoNotOptimize(Vst::LevelTap::peakOf(x.data(), Engine::kBlock, 0.0f));
}
void BM_LevelTapPeakScalar(benchmark::State& state) {
    std::vector<float> x(Engine::kBlock);
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.01f * static_cast<float>(i)) * 0.3f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x.data());
        float p = 0.0f;
        for (float v : x) p = std::max(p, std::fabs(v));
        benchmark::DoNotOptimize(p);
    }
}

}  // namespace

BENCHMARK(BM_LevelTapPeak);
BENCHMARK(BM_LevelTapPeakScalar);
BENCHMARK(BM_AsleepBlock76);
BENCHMARK(BM_AsleepBlockHeavy);
BENCHMARK(BM_WakeBlock76)->Unit(benchmark::kMicrosecond)->Iterations(12);
BENCHMARK(BM_WakeBlockHeavy)->Unit(benchmark::kMicrosecond)->Iterations(6);
BENCHMARK(BM_WakeDifferenceOverPrograms)->Unit(benchmark::kSecond)->Iterations(1);
