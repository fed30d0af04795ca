// libsndfile-backed stereo WAV writer: interleaves the two channels and
// clips integer output at full scale.
#include "host/WavWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>

#include "host/PluginLibrary.h"

namespace Host {

WavWriter::WavWriter(const std::string& path, int sampleRate, SampleFormat format, int maxBlockFrames)
    : filePath(path), interleaved(2 * static_cast<size_t>(std::max(maxBlockFrames, 1))) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
    file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw HostError("cannot write " + path + ": " + sf_strerror(nullptr));
    // Integer output is clipped at full scale rather than wrapped around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

WavWriter::~WavWriter() {
    if (file != nullptr) sf_close(file);
}

void WavWriter::write(const float* left, const float* right, int frames) {
    if (frames <= 0) return;
    if (interleaved.size() < 2 * static_cast<size_t>(frames)) interleaved.resize(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        interleaved[2 * static_cast<size_t>(i)] = left[i];
        interleaved[2 * static_cast<size_t>(i) + 1] = right[i];
    }
    if (sf_writef_float(file, interleaved.data(), frames) != frames)
        throw HostError("cannot write " + filePath + ": " + sf_strerror(file));
}

void WavWriter::finish() {
    if (file == nullptr) return;
    sf_write_sync(file);
    const int status = sf_close(file);
    file = nullptr;
    if (status != 0) throw HostError("cannot complete " + filePath + ": " + sf_error_number(status));
}

void WavWriter::discard() {
    if (file != nullptr) sf_close(file);
    file = nullptr;
    std::remove(filePath.c_str());
}

}  // namespace Host
