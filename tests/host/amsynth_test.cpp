// A third-party VST 2.4 instrument (Debian's amsynth) through the host
// library: it must load, open and play the demo phrase audibly and finitely,
// also when the block size changes from block to block.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "host/DemoPhrase.h"
#include "host/HostedPlugin.h"
#include "host/Renderer.h"
#include "tests/support/AudioAnalysis.h"

using namespace Host;

namespace {

constexpr const char* kAmsynthPath = "/usr/lib/vst/amsynth_vst.so";
constexpr double kAudibleDb = -50.0;

bool exists(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0;
}

}  // namespace

class Amsynth : public ::testing::TestWithParam<std::vector<int>> {};

TEST_P(Amsynth, PlaysTheDemoPhraseAudibly) {
    if (!exists(kAmsynthPath))
        GTEST_SKIP() << kAmsynthPath << " is not installed (Debian package amsynth); cannot test a third-party plug-in";
    HostedPlugin plugin(kAmsynthPath);
    EXPECT_TRUE(plugin.hasFlag(effFlagsIsSynth | effFlagsCanReplacing));
    EXPECT_EQ(plugin.numOutputs(), 2);
    plugin.open({44100.0, 512});

    const Song phrase = demoPhrase(120.0);
    const auto frames = static_cast<int64_t>((phrase.lengthSeconds + 1.0) * 44100.0);
    const StereoRender audio = renderSong(plugin, phrase, frames, GetParam());

    ASSERT_EQ(audio.left.size(), size_t(frames));
    EXPECT_TRUE(TestSupport::allFinite(audio.left.data(), static_cast<int>(frames)));
    EXPECT_TRUE(TestSupport::allFinite(audio.right.data(), static_cast<int>(frames)));
    const double leftDb = TestSupport::toDb(TestSupport::rms(audio.left.data(), static_cast<int>(frames)));
    const double rightDb = TestSupport::toDb(TestSupport::rms(audio.right.data(), static_cast<int>(frames)));
    EXPECT_GT(leftDb, kAudibleDb);
    EXPECT_GT(rightDb, kAudibleDb);
    EXPECT_LE(TestSupport::peak(audio.left.data(), static_cast<int>(frames)), 4.0);  // sound, not a blow-up
    RecordProperty("left_rms_dbfs", std::to_string(leftDb));
}

INSTANTIATE_TEST_SUITE_P(BlockPatterns, Amsynth,
                         ::testing::Values(std::vector<int>{512}, std::vector<int>{64},
                                           std::vector<int>{1, 100, 512, 17}));
