// Stereo WAV output through libsndfile, 32-bit float or 24-bit integer PCM.
// Opened before the render so an unwritable path fails early; a file whose
// render did not finish can be discarded instead of left half-written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace Host {

enum class SampleFormat { Float32, Pcm24 };

class WavWriter {
public:
    // Throws HostError with libsndfile's reason when the file cannot be created.
    // Blocks of up to `maxBlockFrames` are then written without a heap allocation.
    WavWriter(const std::string& path, int sampleRate, SampleFormat format, int maxBlockFrames);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends frames from the two channels (more than maxBlockFrames grows the
    // interleaving buffer). Throws HostError on a write failure.
    void write(const float* left, const float* right, int frames);
    // Flushes and closes; throws HostError if the file could not be completed.
    void finish();
    // Closes and deletes the file.
    void discard();

private:
    std::string filePath;
    SNDFILE* file = nullptr;
    std::vector<float> interleaved;
};

}  // namespace Host
