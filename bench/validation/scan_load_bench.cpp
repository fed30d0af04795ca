// A host's plug-in scan, timed one scan at a time: the library loaded with
// dlopen, the entry point called, the instance opened and closed, the library
// unloaded. Each repetition is one cold scan; the median is the figure hosts
// feel when they scan a folder. A warm instantiation (library already loaded)
// is timed beside it, so the library's own load-time work shows as the gap.
#include <benchmark/benchmark.h>

#include <sys/utsname.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"

namespace {

constexpr int kScans = 31;

bool requirePlugin(benchmark::State& state) {
    if (std::string(MORVELITH_PLUGIN_PATH).empty()) {
        state.SkipWithError("plug-in not built in this tree");
        return false;
    }
    return true;
}

void describeMachine(benchmark::State& state) {
    utsname machine{};
    if (uname(&machine) == 0) state.SetLabel(std::string(machine.machine) + " " + machine.release);
}

void ScanLoad(benchmark::State& state) {
    if (!requirePlugin(state)) return;
    describeMachine(state);
    for (auto _ : state) {
        try {
            const auto library = Host::PluginLibrary::load(MORVELITH_PLUGIN_PATH);  // dlopen, entry lookup
            Host::HostedPlugin plugin(library);                                    // VSTPluginMain
            plugin.openOnly();                                                      // effOpen
            benchmark::DoNotOptimize(plugin.numParams());
            plugin.close();                                                         // effClose
        } catch (const Host::HostError& e) {                                        // dlclose on leaving
            state.SkipWithError(e.what());
            return;
        }
    }
}
BENCHMARK(ScanLoad)->Iterations(1)->Repetitions(kScans)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
    ->ReportAggregatesOnly(true);

void WarmInstantiation(benchmark::State& state) {
    if (!requirePlugin(state)) return;
    describeMachine(state);
    const auto library = Host::PluginLibrary::load(MORVELITH_PLUGIN_PATH);
    for (auto _ : state) {
        Host::HostedPlugin plugin(library);
        plugin.openOnly();
        benchmark::DoNotOptimize(plugin.numParams());
        plugin.close();
    }
}
BENCHMARK(WarmInstantiation)->Iterations(5)->Repetitions(kScans)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->ReportAggregatesOnly(true);

}  // namespace
