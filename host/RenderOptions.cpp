// Option parsing for morvelith-render: every number is checked whole
// (no trailing junk) and against a sensible range before anything loads.
#include "host/RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace Host {

namespace {

constexpr double kMinRate = 8000.0, kMaxRate = 384000.0;
constexpr int kMaxBlockSize = 8192;
constexpr double kMinTempo = 10.0, kMaxTempo = 999.0;
constexpr double kMaxLengthSeconds = 3600.0;

bool toDouble(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(out);
}

bool toInt(const std::string& text, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || value < -1000000000L || value > 1000000000L) return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

const char* renderUsage() {
    return "Usage: morvelith-render [options]\n"
           "Renders MIDI through a VST 2.4 instrument plug-in into a stereo WAV file.\n"
           "\n"
           "  --plugin PATH     plug-in library (default: the built morvelith.so, else ~/.vst/morvelith.so)\n"
           "  --program N       program to select before rendering (0-based)\n"
           "  --midi FILE.mid   Standard MIDI File, format 0 or 1 (default: a built-in demo phrase)\n"
           "  --tempo BPM       tempo of the demo phrase; with --midi, plays the file at this steady tempo\n"
           "                    (default: 120, or the file's own tempo map)\n"
           "  --rate HZ         sample rate (default 44100)\n"
           "  --block N         host block size in frames (default 512)\n"
           "  --length SECONDS  length of the render (default: the phrase plus a 2 s release tail)\n"
           "  --out FILE.wav    output file (default demo.wav)\n"
           "  --format F        float (32-bit float, default) or pcm24 (24-bit integer)\n"
           "  --help            this text\n";
}

ParsedOptions parseRenderOptions(int argc, const char* const* argv) {
    ParsedOptions parsed;
    RenderOptions& o = parsed.options;
    auto fail = [&](std::string message) {
        parsed.error = std::move(message);
        return parsed;
    };
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        static const char* const kWithValue[] = {"--plugin", "--program", "--midi",   "--tempo", "--rate",
                                                 "--block",  "--length",  "--out", "--format"};
        bool known = false;
        for (const char* option : kWithValue) known = known || name == option;
        if (!known) return fail("unknown option '" + name + "'");
        if (!hasValue) {
            if (i + 1 >= argc) return fail("option " + name + " needs a value");
            value = argv[++i];
        }

        double number = 0.0;
        if (name == "--plugin") {
            if (value.empty()) return fail("--plugin needs a path");
            o.pluginPath = value;
        } else if (name == "--midi") {
            if (value.empty()) return fail("--midi needs a path");
            o.midiPath = value;
        } else if (name == "--out") {
            if (value.empty()) return fail("--out needs a path");
            o.outputPath = value;
        } else if (name == "--format") {
            if (value == "float") o.format = SampleFormat::Float32;
            else if (value == "pcm24") o.format = SampleFormat::Pcm24;
            else return fail("--format must be float or pcm24, not '" + value + "'");
        } else if (name == "--program") {
            if (!toInt(value, o.program) || o.program < 0) return fail("--program must be a whole number from 0");
        } else if (name == "--block") {
            if (!toInt(value, o.blockSize) || o.blockSize < 1 || o.blockSize > kMaxBlockSize)
                return fail("--block must be a whole number from 1 to " + std::to_string(kMaxBlockSize));
        } else if (name == "--rate") {
            if (!toDouble(value, number) || number < kMinRate || number > kMaxRate || number != std::floor(number))
                return fail("--rate must be a whole number of Hz from 8000 to 384000");
            o.sampleRate = number;
        } else if (name == "--tempo") {
            if (!toDouble(value, number) || number < kMinTempo || number > kMaxTempo)
                return fail("--tempo must be a number of beats per minute from 10 to 999");
            o.tempo = number;
        } else if (name == "--length") {
            if (!toDouble(value, number) || number <= 0.0 || number > kMaxLengthSeconds)
                return fail("--length must be a number of seconds above 0 and at most 3600");
            o.lengthSeconds = number;
        }
    }
    return parsed;
}

}  // namespace Host
