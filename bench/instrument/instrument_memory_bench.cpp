// The instrument's resident memory: VmRSS of this process before the plug-in
// is loaded, with one opened instance that has played, and with a second one
// beside it. The wavetable set is built once per loaded library and shared,
// so the second instance should cost only its own units and delay lines.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/DemoPhrase.h"
#include "host/HostedPlugin.h"
#include "host/Renderer.h"

using namespace Host;

namespace {

#ifdef MORVELITH_PLUGIN_PATH
const char* const kMorvelith = MORVELITH_PLUGIN_PATH;
#else
const char* const kMorvelith = "";
#endif

// Resident set size in MiB, from /proc/self/status.
double residentMiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kiB = 0;
            status >> kiB;
            return kiB / 1024.0;
        }
        status.ignore(4096, '\n');
    }
    return 0.0;
}

// Opens an instance and plays the phrase through it, so every buffer it uses has been touched.
std::unique_ptr<HostedPlugin> playingInstance(std::shared_ptr<PluginLibrary> library) {
    auto plugin = std::make_unique<HostedPlugin>(std::move(library));
    plugin->open({44100.0, 256, 75});  // program 75 has both delays on
    const Song phrase = demoPhrase(120.0);
    renderSong(*plugin, phrase, static_cast<int64_t>((phrase.lengthSeconds + 1.0) * 44100.0), {256});
    return plugin;
}

void BM_ResidentMemory(benchmark::State& state) {
    struct stat info {};
    if (*kMorvelith == '\0' || stat(kMorvelith, &info) != 0) {
        state.SkipWithError("plug-in not built");
        return;
    }
    double before = 0, one = 0, two = 0;
    for (auto _ : state) {
        before = residentMiB();
        auto library = PluginLibrary::load(kMorvelith);
        auto first = playingInstance(library);
        one = residentMiB();
        auto second = playingInstance(library);
        two = residentMiB();
    }
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_one_instance_MiB"] = one;
    state.counters["rss_two_instances_MiB"] = two;
    state.counters["first_instance_MiB"] = one - before;  // library, wavetable set, one instance
    state.counters["second_instance_MiB"] = two - one;    // one more instance, tables shared
}

}  // namespace

// Once: a second pass would find the library's pages already counted.
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
