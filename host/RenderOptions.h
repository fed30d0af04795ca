// Command-line options of morvelith-render, parsed and range-checked.
// `--name value` and `--name=value` are both accepted.
#pragma once

#include <optional>
#include <string>

#include "host/WavWriter.h"

namespace Host {

struct RenderOptions {
    std::string pluginPath;        // empty: the built Morvelith, then ~/.vst/morvelith.so
    int program = -1;              // -1: the plug-in's own current program
    std::string midiPath;          // empty: the built-in demo phrase
    std::optional<double> tempo;   // demo phrase tempo; for a file, replaces its tempo map
    double sampleRate = 44100.0;
    int blockSize = 512;
    std::optional<double> lengthSeconds;  // default: the phrase plus the release tail
    std::string outputPath = "demo.wav";
    SampleFormat format = SampleFormat::Float32;
    bool help = false;
};

struct ParsedOptions {
    RenderOptions options;
    std::string error;  // non-empty when the command line is wrong
};

ParsedOptions parseRenderOptions(int argc, const char* const* argv);
const char* renderUsage();

}  // namespace Host
