// The built Morvelith plug-in, loaded from its file through the host library
// as a host would: identity, record flags before and after effOpen, and a
// render of the demo phrase that completes with finite samples.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "host/DemoPhrase.h"
#include "host/HostedPlugin.h"
#include "host/Renderer.h"
#include "tests/support/AudioAnalysis.h"

using namespace Host;

#ifndef MORVELITH_PLUGIN_PATH
#define MORVELITH_PLUGIN_PATH ""
#endif

namespace {

// Whether the file is mapped into this process (its library is loaded).
bool isMapped(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return false;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.size() >= std::strlen(resolved) &&
            line.compare(line.size() - std::strlen(resolved), std::string::npos, resolved) == 0)
            return true;
    return false;
}

class MorvelithLoaded : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = MORVELITH_PLUGIN_PATH;
        struct stat info {};
        if (path.empty()) GTEST_SKIP() << "this tree defines no morvelith plug-in target yet";
        if (stat(path.c_str(), &info) != 0) GTEST_SKIP() << path << " has not been built";
        plugin = std::make_unique<HostedPlugin>(path);
    }
    std::unique_ptr<HostedPlugin> plugin;
};

}  // namespace

TEST_F(MorvelithLoaded, RecordBeforeOpen) {
    EXPECT_EQ(plugin->library().entryName(), "VSTPluginMain");
    EXPECT_EQ(plugin->uniqueID(), vstFourCC('z', 'q', '4', 'k'));
    EXPECT_EQ(plugin->numParams(), 181);
    EXPECT_EQ(plugin->numPrograms(), 100);
    EXPECT_EQ(plugin->numInputs(), 0);
    EXPECT_EQ(plugin->numOutputs(), 2);
    EXPECT_TRUE(plugin->hasFlag(effFlagsIsSynth));
    EXPECT_TRUE(plugin->hasFlag(effFlagsCanReplacing));
    EXPECT_TRUE(plugin->hasFlag(effFlagsHasEditor));
    EXPECT_FALSE(plugin->hasFlag(effFlagsProgramChunks)) << "program chunks must be announced only at effOpen";
    EXPECT_FALSE(plugin->hasFlag(effFlagsCanDoubleReplacing));
}

TEST_F(MorvelithLoaded, ProgramChunksFlagAppearsAtOpen) {
    plugin->openOnly();
    EXPECT_TRUE(plugin->hasFlag(effFlagsProgramChunks));
    EXPECT_TRUE(plugin->hasFlag(effFlagsIsSynth | effFlagsCanReplacing | effFlagsHasEditor));
}

TEST_F(MorvelithLoaded, IdentityStringsAndAnswers) {
    plugin->openOnly();
    EXPECT_EQ(plugin->effectName(), "Morvelith");
    EXPECT_EQ(plugin->vendorString(), "Brastonel");
    EXPECT_EQ(plugin->productString(), "Morvelith VST Instrument");
    EXPECT_EQ(plugin->vendorVersion(), 1000);
    EXPECT_EQ(plugin->vstVersion(), 2400);
    EXPECT_EQ(plugin->category(), kPlugCategSynth);
    EXPECT_EQ(plugin->canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(plugin->canDo("receiveVstEvents"), 1);
    EXPECT_EQ(plugin->canDo("sendVstMidiEvent"), -1);
}

TEST_F(MorvelithLoaded, RendersTheDemoPhraseWithFiniteSamples) {
    plugin->open({44100.0, 512, 0});
    EXPECT_EQ(plugin->currentProgram(), 0);
    const Song phrase = demoPhrase(120.0);
    const auto frames = static_cast<int64_t>((phrase.lengthSeconds + 0.5) * 44100.0);
    const StereoRender audio = renderSong(*plugin, phrase, frames, {512, 64, 1, 300});
    ASSERT_EQ(audio.left.size(), size_t(frames));
    EXPECT_TRUE(TestSupport::allFinite(audio.left.data(), static_cast<int>(frames)));
    EXPECT_TRUE(TestSupport::allFinite(audio.right.data(), static_cast<int>(frames)));
    EXPECT_LE(TestSupport::peak(audio.left.data(), static_cast<int>(frames)), 4.0);
    // The frame asks the host for tempo while it processes.
    EXPECT_GT(plugin->callbackCount(audioMasterGetTime), 0);
}

// A scanner's pattern (Qtractor's, seen with real binaries): one instance opened,
// asked and closed, a second one made and asked its category but never closed,
// then the library unloaded. The unload must survive the open instance.
TEST_F(MorvelithLoaded, AScannerThatLeavesAnInstanceUnclosedCanUnloadTheLibrary) {
    std::weak_ptr<const PluginLibrary> unloaded;
    {
        const auto library = PluginLibrary::load(MORVELITH_PLUGIN_PATH);
        unloaded = library;
        ASSERT_TRUE(isMapped(MORVELITH_PLUGIN_PATH));
        {
            HostedPlugin scanned(library);
            EXPECT_EQ(scanned.category(), kPlugCategSynth);
            scanned.openOnly();
            EXPECT_EQ(scanned.effectName(), "Morvelith");
            EXPECT_EQ(scanned.canDo("receiveVstMidiEvent"), 1);
        }  // effClose
        HostedPlugin probe(library);
        EXPECT_EQ(probe.category(), kPlugCategSynth);
        probe.leaveUnclosed();
        plugin.reset();  // the fixture's instance too, so the library really goes
    }
    EXPECT_TRUE(unloaded.expired());
    EXPECT_FALSE(isMapped(MORVELITH_PLUGIN_PATH)) << "the library stayed loaded, so its unload was not tried";
    // Loading again after the unload gives a working plug-in.
    HostedPlugin again(MORVELITH_PLUGIN_PATH);
    again.open({44100.0, 64});
    EXPECT_EQ(again.numParams(), 181);
}
