// What a render costs, per block size: the host's block loop alone (the
// recorder plug-in does next to nothing) and the built plug-in's CPU seconds
// per second of audio while it plays the demo phrase.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "host/DemoPhrase.h"
#include "host/HostedPlugin.h"
#include "host/Renderer.h"

using namespace Host;

namespace {

constexpr double kRate = 44100.0;
constexpr int64_t kSecondFrames = 44100;

void renderOneSecond(benchmark::State& state, const char* path, bool reportPluginCpu) {
    if (path == nullptr || *path == '\0') {
        state.SkipWithError("plug-in not built in this tree");
        return;
    }
    const int block = static_cast<int>(state.range(0));
    std::unique_ptr<HostedPlugin> plugin;
    try {
        plugin = std::make_unique<HostedPlugin>(path);
        plugin->open({kRate, block});
    } catch (const HostError& e) {
        state.SkipWithError(e.what());
        return;
    }
    // At 480 beats per minute the eight-beat phrase fills the rendered second with notes.
    const Timeline timeline = demoPhrase(480.0).toTimeline(kRate);
    int64_t renderedFrames = 0;
    for (auto _ : state) {
        Renderer renderer(*plugin, timeline, {block});
        while (renderer.position() < kSecondFrames) {
            renderer.renderBlock(kSecondFrames - renderer.position());
            benchmark::DoNotOptimize(renderer.left()[0]);
        }
        renderedFrames += kSecondFrames;
    }
    const double audioSeconds = static_cast<double>(renderedFrames) / kRate;
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(renderedFrames), benchmark::Counter::kIsRate);
    if (reportPluginCpu) state.counters["plugin_cpu_s_per_audio_s"] = plugin->pluginCpuSeconds() / audioSeconds;
}

#ifdef RECORDER_PATH
const char* const kRecorder = RECORDER_PATH;
#else
const char* const kRecorder = "";
#endif
#ifdef MORVELITH_PLUGIN_PATH
const char* const kMorvelith = MORVELITH_PLUGIN_PATH;
#else
const char* const kMorvelith = "";
#endif

void BM_HostBlockLoop(benchmark::State& state) { renderOneSecond(state, kRecorder, false); }
void BM_MorvelithOneSecond(benchmark::State& state) { renderOneSecond(state, kMorvelith, true); }

}  // namespace

BENCHMARK(BM_HostBlockLoop)->Arg(32)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MorvelithOneSecond)->Arg(32)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
