// The instrument's speed through the real plug-in: CPU milliseconds per second
// of audio at 44100 Hz in 256-frame blocks, for program 76 (the defaults),
// program 0, program 75 and a heavy setting (drive, phaser, both delays with
// feedback, spread), playing the demo phrase and silent after one short note
// once every tail has died, with amsynth's VST doing the same in the same run.
// The run ends with a table of medians side by side and each ratio to amsynth.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/DemoPhrase.h"
#include "host/HostedPlugin.h"
#include "host/Renderer.h"
#include "instrument/ParameterIndex.h"

using namespace Host;
using namespace Vst;

namespace {

#ifdef MORVELITH_PLUGIN_PATH
const char* const kMorvelith = MORVELITH_PLUGIN_PATH;
#else
const char* const kMorvelith = "";
#endif
constexpr const char* kAmsynth = "/usr/lib/vst/amsynth_vst.so";

constexpr double kRate = 44100.0;
constexpr int kBlock = 256;
constexpr int kDefaultsProgram = 76;  // programs 76 to 80 hold exactly the defaults
constexpr double kTailSeconds = 1.0;
// The silent case: one short note, then silence until every output sample has
// stayed below -120 dBFS for kQuietSeconds (at most kMaxSettleSeconds), then
// kSilentSeconds of silence timed per iteration.
constexpr double kShortNoteSeconds = 0.2;
constexpr float kSilenceLevel = 1.0e-6f;
constexpr double kQuietSeconds = 3.0;
constexpr double kMaxSettleSeconds = 60.0;
constexpr double kSilentSeconds = 10.0;

using Settings = std::initializer_list<std::pair<int, float>>;

const Settings kHeavy = {{kDriveAmount, 0.5f}, {kPhaserEnable, 1.0f}, {kPhaserDepth, 0.7f},
                         {kPhaserFb, 0.5f},    {kDelayEnable, 1.0f},  {kHpfDelayMix, 0.5f},
                         {kHpfDelayFb, 0.5f},  {kBpfDelayMix, 0.5f},  {kBpfDelayFb, 0.5f},
                         {kSpreadSpread, 1.0f}};

// Every repetition's figure (CPU seconds per audio second) by case, for the table.
std::map<std::string, std::vector<double>> figures;

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : 0.5 * (values[mid - 1] + values[mid]);
}

std::unique_ptr<HostedPlugin> openPlugin(benchmark::State& state, const char* path, int program, Settings settings) {
    struct stat info {};
    if (path == nullptr || *path == '\0' || stat(path, &info) != 0) {
        state.SkipWithError("plug-in not available");
        return nullptr;
    }
    std::unique_ptr<HostedPlugin> plugin;
    try {
        plugin = std::make_unique<HostedPlugin>(path);
        plugin->open({kRate, kBlock, program});
    } catch (const HostError& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
    for (const auto& [index, value] : settings) plugin->setParameter(index, value);
    return plugin;
}

void report(benchmark::State& state, const std::string& name, double cost) {
    figures[name].push_back(cost);
    state.counters["ms_per_audio_s"] = 1000.0 * cost;
    state.counters["x_realtime"] = cost > 0.0 ? 1.0 / cost : 0.0;
}

// The two-bar phrase and a release tail, rendered per iteration through one
// instance; only the plug-in's own calls are timed (thread CPU time).
void renderPhrase(benchmark::State& state, const std::string& name, const char* path, int program, Settings settings) {
    std::unique_ptr<HostedPlugin> plugin = openPlugin(state, path, program, settings);
    if (!plugin) return;
    const Song phrase = demoPhrase(120.0);
    const Timeline timeline = phrase.toTimeline(kRate);
    const auto frames = static_cast<int64_t>((phrase.lengthSeconds + kTailSeconds) * kRate);
    {
        Renderer warmUp(*plugin, timeline, {kBlock});  // drains the settings, touches every buffer
        while (warmUp.position() < frames) warmUp.renderBlock(frames - warmUp.position());
    }
    plugin->resetPluginCpu();
    int64_t rendered = 0;
    for (auto _ : state) {
        Renderer renderer(*plugin, timeline, {kBlock});
        while (renderer.position() < frames) {
            renderer.renderBlock(frames - renderer.position());
            benchmark::DoNotOptimize(renderer.left()[0]);
        }
        rendered += frames;
    }
    report(state, name, plugin->pluginCpuSeconds() / (static_cast<double>(rendered) / kRate));
}

// One short note, silence until the output has stayed below -120 dBFS for a
// while (every tail has died), then silence timed: what an idle instance in a
// host's session costs.
void renderSilence(benchmark::State& state, const std::string& name, const char* path, int program, Settings settings) {
    std::unique_ptr<HostedPlugin> plugin = openPlugin(state, path, program, settings);
    if (!plugin) return;
    Timeline note;
    note.events.push_back({0, {{0x90, 57, 100}, 3}});
    note.events.push_back({static_cast<int64_t>(kShortNoteSeconds * kRate), {{0x80, 57, 0}, 3}});
    const auto quietFrames = static_cast<int64_t>(kQuietSeconds * kRate);
    const auto maxFrames = static_cast<int64_t>(kMaxSettleSeconds * kRate);
    Renderer settle(*plugin, note, {kBlock});
    int64_t quietSince = 0;
    while (settle.position() - quietSince < quietFrames && settle.position() < maxFrames) {
        const int n = settle.renderBlock(kBlock);
        for (int i = 0; i < n; ++i)
            if (std::fabs(settle.left()[i]) >= kSilenceLevel || std::fabs(settle.right()[i]) >= kSilenceLevel)
                quietSince = settle.position();
    }
    if (settle.position() - quietSince < quietFrames) {
        state.SkipWithError("the tail did not die");
        return;
    }
    const auto frames = static_cast<int64_t>(kSilentSeconds * kRate);
    plugin->resetPluginCpu();
    int64_t rendered = 0;
    for (auto _ : state) {
        for (int64_t done = 0; done < frames;) {
            done += settle.renderBlock(frames - done);
            benchmark::DoNotOptimize(settle.left()[0]);
        }
        rendered += frames;
    }
    report(state, name, plugin->pluginCpuSeconds() / (static_cast<double>(rendered) / kRate));
}

void BM_Amsynth(benchmark::State& state) { renderPhrase(state, "amsynth", kAmsynth, -1, {}); }
void BM_AmsynthSilent(benchmark::State& state) { renderSilence(state, "amsynth silent", kAmsynth, -1, {}); }
void BM_MorvelithProgram76(benchmark::State& state) {
    renderPhrase(state, "program 76", kMorvelith, kDefaultsProgram, {});
}
void BM_MorvelithProgram0(benchmark::State& state) { renderPhrase(state, "program 0", kMorvelith, 0, {}); }
void BM_MorvelithProgram75(benchmark::State& state) { renderPhrase(state, "program 75", kMorvelith, 75, {}); }
void BM_MorvelithHeavy(benchmark::State& state) { renderPhrase(state, "heavy", kMorvelith, kDefaultsProgram, kHeavy); }
void BM_MorvelithSilent76(benchmark::State& state) {
    renderSilence(state, "silent 76", kMorvelith, kDefaultsProgram, {});
}
void BM_MorvelithSilentHeavy(benchmark::State& state) {
    renderSilence(state, "silent heavy", kMorvelith, kDefaultsProgram, kHeavy);
}

// The medians side by side: each Morvelith case against amsynth playing the
// same phrase (silent cases against amsynth silent), each silent case against
// its own setting playing, and against program 76 playing (the sleep target).
void printTable() {
    const double amsynth = median(figures["amsynth"]);
    const double amsynthSilent = median(figures["amsynth silent"]);
    const double program76 = median(figures["program 76"]);
    std::printf("\n%-16s %12s %12s %12s %12s\n", "case", "ms/audio s", "x amsynth", "x playing", "x p76");
    auto cell = [](double value, double reference) {
        if (value > 0.0 && reference > 0.0) std::printf(" %12.3f", value / reference);
        else std::printf(" %12s", "-");
    };
    auto row = [&](const char* name, double reference, const char* playing, bool morvelith = true) {
        const double cost = median(figures[name]);
        if (cost <= 0.0) return;
        std::printf("%-16s %12.3f", name, 1000.0 * cost);
        cell(cost, reference);
        cell(cost, playing != nullptr ? median(figures[playing]) : 0.0);
        cell(cost, playing != nullptr && morvelith ? program76 : 0.0);
        std::printf("\n");
    };
    row("amsynth", 0.0, nullptr);
    row("program 76", amsynth, nullptr);
    row("program 0", amsynth, nullptr);
    row("program 75", amsynth, nullptr);
    row("heavy", amsynth, nullptr);
    row("amsynth silent", 0.0, "amsynth", false);
    row("silent 76", amsynthSilent, "program 76");
    row("silent heavy", amsynthSilent, "heavy");
    std::printf("(x amsynth: silent rows against amsynth silent; x playing: against the same setting playing)\n");
}

}  // namespace

// This machine is shared, so each figure is taken three times and the table
// reads the median.
BENCHMARK(BM_Amsynth)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithProgram76)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithProgram0)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithProgram75)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithHeavy)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_AmsynthSilent)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithSilent76)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithSilentHeavy)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printTable();
    return 0;
}
