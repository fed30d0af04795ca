// The instrument's speed through the real plug-in: CPU seconds per second of
// audio at 44100 Hz in 256-frame blocks while the demo phrase plays, for the
// parameter defaults, program 75 and a heavy setting (drive, phaser, both
// delays with feedback, spread), with amsynth's VST playing the same phrase
// first in the same run so the ratio between them is measured side by side.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

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

// amsynth's CPU seconds per audio second, from the first benchmark of the run.
double amsynthCost = 0.0;

using Settings = std::initializer_list<std::pair<int, float>>;

// The two-bar phrase and a release tail, rendered per iteration through one
// instance; only the plug-in's own calls are timed (thread CPU time).
double renderPhrase(benchmark::State& state, const char* path, int program, Settings settings) {
    struct stat info {};
    if (path == nullptr || *path == '\0' || stat(path, &info) != 0) {
        state.SkipWithError("plug-in not available");
        return 0.0;
    }
    std::unique_ptr<HostedPlugin> plugin;
    try {
        plugin = std::make_unique<HostedPlugin>(path);
        plugin->open({kRate, kBlock, program});
    } catch (const HostError& e) {
        state.SkipWithError(e.what());
        return 0.0;
    }
    for (const auto& [index, value] : settings) plugin->setParameter(index, value);
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
    const double cost = plugin->pluginCpuSeconds() / (static_cast<double>(rendered) / kRate);
    state.counters["cpu_s_per_audio_s"] = cost;
    state.counters["x_realtime"] = cost > 0.0 ? 1.0 / cost : 0.0;
    if (path != kAmsynth && amsynthCost > 0.0 && cost > 0.0)
        state.counters["speed_vs_amsynth"] = amsynthCost / cost;  // above 1: faster than amsynth
    return cost;
}

void BM_Amsynth(benchmark::State& state) { amsynthCost = renderPhrase(state, kAmsynth, -1, {}); }

void BM_MorvelithDefaults(benchmark::State& state) { renderPhrase(state, kMorvelith, kDefaultsProgram, {}); }

void BM_MorvelithProgram75(benchmark::State& state) { renderPhrase(state, kMorvelith, 75, {}); }

void BM_MorvelithProgram0(benchmark::State& state) { renderPhrase(state, kMorvelith, 0, {}); }

void BM_MorvelithHeavy(benchmark::State& state) {
    renderPhrase(state, kMorvelith, kDefaultsProgram,
                 {{kDriveAmount, 0.5f},
                  {kPhaserEnable, 1.0f},
                  {kPhaserDepth, 0.7f},
                  {kPhaserFb, 0.5f},
                  {kDelayEnable, 1.0f},
                  {kHpfDelayMix, 0.5f},
                  {kHpfDelayFb, 0.5f},
                  {kBpfDelayMix, 0.5f},
                  {kBpfDelayFb, 0.5f},
                  {kSpreadSpread, 1.0f}});
}

}  // namespace

// amsynth first: the Morvelith figures are divided into its cost. This machine is
// shared, so each figure is taken three times and the median is the one to read.
BENCHMARK(BM_Amsynth)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithDefaults)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithProgram75)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithProgram0)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_MorvelithHeavy)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
