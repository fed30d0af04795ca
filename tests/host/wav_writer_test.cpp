// The render tool's WAV writer, compiled from its source: stereo interleaving
// read back with libsndfile, 24-bit output clipped (not wrapped) at full scale,
// discarded files gone, and blocks written without touching the heap.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/PluginLibrary.h"
#include "host/WavWriter.h"
#include "tests/support/AllocationCounter.h"

using Host::SampleFormat;
using Host::WavWriter;

namespace {

std::string tempWav(const char* name) { return "/tmp/morvelith_wav_" + std::to_string(getpid()) + "_" + name + ".wav"; }

std::vector<float> readInterleaved(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

}  // namespace

TEST(WavWriter, FloatFilesHoldBothChannelsInterleavedAndExact) {
    const std::string path = tempWav("float");
    {
        WavWriter writer(path, 48000, SampleFormat::Float32, 4);
        const float left[] = {0.5f, -0.25f, 3.0f}, right[] = {-1.0f, 0.125f, 1e-6f};
        writer.write(left, right, 3);
        // A block longer than announced still lands whole.
        const float moreLeft[] = {1, 2, 3, 4, 5, 6}, moreRight[] = {-1, -2, -3, -4, -5, -6};
        writer.write(moreLeft, moreRight, 6);
        writer.finish();
    }
    SF_INFO info;
    const std::vector<float> samples = readInterleaved(path, info);
    std::remove(path.c_str());
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const std::vector<float> expected = {0.5f, -1.0f, -0.25f, 0.125f, 3.0f, 1e-6f, 1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6};
    EXPECT_EQ(samples, expected);
}

TEST(WavWriter, TwentyFourBitOutputClipsAtFullScale) {
    const std::string path = tempWav("pcm24");
    {
        WavWriter writer(path, 44100, SampleFormat::Pcm24, 8);
        const float left[] = {2.0f, 0.5f}, right[] = {-3.0f, -0.5f};
        writer.write(left, right, 2);
        writer.finish();
    }
    SF_INFO info;
    const std::vector<float> samples = readInterleaved(path, info);
    std::remove(path.c_str());
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    ASSERT_EQ(samples.size(), 4u);
    const float step = 1.0f / 8388608.0f;  // one 24-bit step
    EXPECT_NEAR(samples[0], 1.0f, 2 * step);  // not wrapped round to a negative value
    EXPECT_NEAR(samples[1], -1.0f, 2 * step);
    EXPECT_NEAR(samples[2], 0.5f, step);
    EXPECT_NEAR(samples[3], -0.5f, step);
}

TEST(WavWriter, DiscardRemovesTheFileAndABadPathIsRefused) {
    const std::string path = tempWav("discarded");
    {
        WavWriter writer(path, 44100, SampleFormat::Float32, 8);
        const float zero[8] = {};
        writer.write(zero, zero, 8);
        writer.discard();
    }
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_THROW(WavWriter("/nonexistent/dir/out.wav", 44100, SampleFormat::Float32, 8), Host::HostError);
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(WavWriter, BlocksUpToTheAnnouncedSizeAreWrittenWithoutAllocating) {
    const std::string path = tempWav("noalloc");
    WavWriter writer(path, 44100, SampleFormat::Float32, 512);
    std::vector<float> left(512, 0.25f), right(512, -0.25f);
    TestSupport::AllocationScope scope;
    for (int block = 0; block < 200; ++block) writer.write(left.data(), right.data(), block % 2 ? 512 : 37);
    const TestSupport::AllocationCounts counts = scope.stop();
    writer.finish();
    std::remove(path.c_str());
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
}
#endif
