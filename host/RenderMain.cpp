// morvelith-render: plays a Standard MIDI File, or the built-in demo phrase,
// through a VST 2.4 instrument and writes the result as a stereo WAV file,
// then reports the plug-in's CPU time per second of rendered audio.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/DemoPhrase.h"
#include "host/HostedPlugin.h"
#include "host/MidiFile.h"
#include "host/ProgressBar.h"
#include "host/RenderOptions.h"
#include "host/Renderer.h"
#include "host/WavWriter.h"

#ifndef MORVELITH_DEFAULT_PLUGIN
#define MORVELITH_DEFAULT_PLUGIN ""
#endif

namespace {

using namespace Host;

constexpr double kReleaseTailSeconds = 2.0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool isFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The built plug-in first, then the copy installed where Linux hosts look.
std::string defaultPluginPath(std::string& tried) {
    const std::string built = MORVELITH_DEFAULT_PLUGIN;
    const char* home = std::getenv("HOME");
    const std::string installed = home ? std::string(home) + "/.vst/morvelith.so" : std::string();
    tried = (built.empty() ? std::string() : built + " or ") + (installed.empty() ? "~/.vst/morvelith.so" : installed);
    if (isFile(built)) return built;
    if (isFile(installed)) return installed;
    return {};
}

int render(const RenderOptions& options) {
    // The music first: a bad file should fail before anything loads.
    Song song;
    std::string source;
    if (options.midiPath.empty()) {
        song = demoPhrase(options.tempo.value_or(120.0));
        source = "the demo phrase";
    } else {
        MidiFileResult file = MidiFile::read(options.midiPath);
        if (!file.ok) throw HostError("bad MIDI file: " + file.error);
        song = options.tempo ? file.song.withSteadyTempo(*options.tempo) : file.song;
        source = options.midiPath;
    }
    const double seconds = options.lengthSeconds.value_or(song.lengthSeconds + kReleaseTailSeconds);
    const auto totalFrames = static_cast<int64_t>(std::llround(seconds * options.sampleRate));

    std::string pluginPath = options.pluginPath;
    if (pluginPath.empty()) {
        std::string tried;
        pluginPath = defaultPluginPath(tried);
        if (pluginPath.empty()) throw HostError("no Morvelith plug-in found (looked for " + tried + "); use --plugin PATH");
    }

    HostedPlugin plugin(pluginPath);
    if (plugin.numOutputs() < 1) throw HostError("the plug-in has no audio outputs: " + pluginPath);
    if (options.program >= plugin.numPrograms())
        throw HostError("program " + std::to_string(options.program) + " does not exist (the plug-in has " +
                        std::to_string(plugin.numPrograms()) + ")");
    plugin.open({options.sampleRate, options.blockSize, options.program});
    // Asked after effOpen, as hosts do: a plug-in may set its names up there.
    const std::string name = plugin.effectName();

    WavWriter output(options.outputPath, static_cast<int>(options.sampleRate), options.format, options.blockSize);
    Renderer renderer(plugin, song.toTimeline(options.sampleRate), {options.blockSize});
    ProgressBar progress(totalFrames, options.sampleRate);
    double peak = 0.0;
    int64_t nonFinite = 0;
    try {
        while (renderer.position() < totalFrames) {
            const int n = renderer.renderBlock(totalFrames - renderer.position());
            for (const float* channel : {renderer.left(), renderer.right()}) {
                for (int i = 0; i < n; ++i) {
                    if (!std::isfinite(channel[i])) ++nonFinite;
                    else peak = std::max(peak, static_cast<double>(std::fabs(channel[i])));
                }
            }
            output.write(renderer.left(), renderer.right(), n);
            progress.update(renderer.position());
        }
        progress.finish();
        output.finish();
    } catch (...) {
        progress.abandon();
        output.discard();
        throw;
    }
    plugin.suspend();

    const double audioSeconds = static_cast<double>(totalFrames) / options.sampleRate;
    const double cpuPerSecond = audioSeconds > 0 ? plugin.pluginCpuSeconds() / audioSeconds : 0.0;
    std::printf("Rendered %.2f s of %s through %s (%s) at %.0f Hz, blocks of %d, into %s (%s)\n", audioSeconds,
                source.c_str(), name.empty() ? "the plug-in" : name.c_str(), pluginPath.c_str(), options.sampleRate,
                options.blockSize, options.outputPath.c_str(),
                options.format == SampleFormat::Float32 ? "32-bit float" : "24-bit PCM");
    if (peak > 0.0) std::printf("Peak level: %.1f dBFS\n", 20.0 * std::log10(peak));
    else std::printf("Peak level: silence\n");
    if (nonFinite > 0) std::printf("Warning: %lld samples were not finite numbers\n", static_cast<long long>(nonFinite));
    std::printf("Plug-in CPU time: %.2f ms per second of audio (%.3f%% of one core in real time)\n",
                cpuPerSecond * 1000.0, cpuPerSecond * 100.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = Host::parseRenderOptions(argc, argv);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "morvelith-render: %s\nTry 'morvelith-render --help'.\n", parsed.error.c_str());
        return kExitUsage;
    }
    if (parsed.options.help) {
        std::fputs(Host::renderUsage(), stdout);
        return 0;
    }
    try {
        return render(parsed.options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "morvelith-render: %s\n", e.what());
        return kExitFailure;
    }
}
