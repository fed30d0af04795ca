// Open and close: a hundred cold instantiations (the library loaded, an
// instance created, opened, resumed, run, closed, the library unloaded) and a
// hundred warm ones from a library that stays loaded; several instances alive
// and playing at once without hearing each other; unload and load again.
#include <gtest/gtest.h>

#include <malloc.h>

#include <iostream>
#include <memory>
#include <vector>

#include "host/PluginLibrary.h"
#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

constexpr int kInstantiations = 100;
constexpr int kColdShards = 10;  // ctest -j runs the shards side by side

// One instance's whole life from an already loaded library: the answers a
// host checks first, a few blocks with a note, and a clean close.
void instantiateOpenRunClose(const std::shared_ptr<Host::PluginLibrary>& library, int round) {
    Host::HostedPlugin plugin(library);
    ASSERT_EQ(plugin.numParams(), kParameterCount);
    plugin.open({44100.0, 512, round % kProgramCount});
    EXPECT_EQ(plugin.currentProgram(), round % kProgramCount);
    const Stereo audio = renderHeldNote(plugin, 60, 2048, 512);
    EXPECT_TRUE(allFinite(audio)) << "round " << round;
}

class ColdInstantiations : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { VALIDATION_REQUIRE_PLUGIN(); }
};

TEST_P(ColdInstantiations, EachLoadsOpensRunsClosesAndUnloads) {
    const int perShard = kInstantiations / kColdShards;
    for (int i = 0; i < perShard; ++i) {
        const int round = GetParam() * perShard + i;
        std::weak_ptr<Host::PluginLibrary> loaded;
        {
            const auto library = Host::PluginLibrary::load(pluginPath());
            loaded = library;
            instantiateOpenRunClose(library, round);
        }
        ASSERT_TRUE(loaded.expired());
        ASSERT_FALSE(isMapped(pluginPath())) << "round " << round << ": the library stayed loaded";
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, ColdInstantiations, ::testing::Range(0, kColdShards));

class OpenAndClose : public ::testing::Test {
protected:
    void SetUp() override { VALIDATION_REQUIRE_PLUGIN(); }
};

// Heap in use, the large blocks the allocator maps on their own included.
double heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks) + static_cast<double>(info.hblkhd);
}

// Each instance owns megabytes of delay lines, so one that is not released
// at effClose shows at once in the heap still in use afterwards (the measure
// is shown to see a live instance first).
TEST_F(OpenAndClose, AHundredWarmInstantiationsFromOneLoadedLibraryLeaveNothingBehind) {
    const auto library = Host::PluginLibrary::load(pluginPath());
    instantiateOpenRunClose(library, 0);  // the library's own first-use state
    const double before = heapInUse();
    {
        Host::HostedPlugin alive(library);
        alive.open({44100.0, 512});
        ASSERT_GT(heapInUse() - before, 1e6) << "the heap measure does not see an instance";
    }
    for (int round = 1; round <= kInstantiations; ++round) {
        instantiateOpenRunClose(library, round);
        if (HasFatalFailure()) return;
    }
    const double grownPerInstance = (heapInUse() - before) / kInstantiations;
    std::cout << "[lifecycle] heap in use grew by " << grownPerInstance << " bytes per instantiation" << std::endl;
    EXPECT_LT(grownPerInstance, 1024.0);
}

// Scanners create instances and close them without ever opening them.
TEST_F(OpenAndClose, AHundredInstancesClosedWithoutEverBeingOpened) {
    const auto library = Host::PluginLibrary::load(pluginPath());
    for (int round = 0; round < kInstantiations; ++round) {
        Host::HostedPlugin plugin(library);
        EXPECT_EQ(plugin.uniqueID(), vstFourCC('z', 'q', '4', 'k'));
        EXPECT_EQ(plugin.category(), kPlugCategSynth);
    }
}

// Eight instances, each on its own program, alive and playing at once with
// their blocks interleaved: each sounds exactly as it does alone, so nothing
// of one instance (tables, queues, units) leaks into another.
TEST_F(OpenAndClose, SeveralInstancesAliveAtOncePlayAsTheyDoAlone) {
    constexpr int kInstances = 8;
    constexpr int kBlock = 256;
    const double rate = 44100.0;
    const Host::Timeline phrase = testPhrase(rate);
    const int64_t frames = phraseFrames(rate);
    const auto library = Host::PluginLibrary::load(pluginPath());

    std::vector<Stereo> alone;
    for (int k = 0; k < kInstances; ++k) {
        Host::HostedPlugin solo(library);
        solo.open({rate, kBlock, k * 9});
        alone.push_back(render(solo, phrase, frames, {kBlock}));
    }

    std::vector<std::unique_ptr<Host::HostedPlugin>> crowd;
    for (int k = 0; k < kInstances; ++k) {
        crowd.push_back(std::make_unique<Host::HostedPlugin>(library));
        crowd.back()->open({rate, kBlock, k * 9});
    }
    // Block by block in turn, as a host with several tracks does.
    std::vector<Stereo> together(kInstances);
    for (auto& audio : together) {
        audio.left.assign(static_cast<size_t>(frames), 0.0f);
        audio.right.assign(static_cast<size_t>(frames), 0.0f);
    }
    for (int64_t start = 0; start < frames; start += kBlock) {
        const int n = static_cast<int>(std::min<int64_t>(kBlock, frames - start));
        Host::Timeline slice;
        for (const auto& e : phrase.events)
            if (e.frame >= start && e.frame < start + n) slice.events.push_back({e.frame - start, e.message});
        for (int k = 0; k < kInstances; ++k) {
            const Stereo block = render(*crowd[static_cast<size_t>(k)], slice, n, {n});
            std::copy(block.left.begin(), block.left.end(), together[static_cast<size_t>(k)].left.begin() + start);
            std::copy(block.right.begin(), block.right.end(), together[static_cast<size_t>(k)].right.begin() + start);
        }
    }
    for (int k = 0; k < kInstances; ++k) {
        ASSERT_TRUE(allFinite(together[static_cast<size_t>(k)]));
        SCOPED_TRACE("instance " + std::to_string(k) + " (program " + std::to_string(k * 9) +
                     ") beside the others");
        EXPECT_IDENTICAL_AUDIO(together[static_cast<size_t>(k)], alone[static_cast<size_t>(k)]);
    }
}

// Everything closed, the library really unmapped, then loaded again: the new
// copy builds its shared state afresh and plays exactly as the first did.
TEST_F(OpenAndClose, UnloadedAndLoadedAgainPlaysAsBefore) {
    const double rate = 48000.0;
    auto playOnce = [&](const std::shared_ptr<Host::PluginLibrary>& library) {
        Host::HostedPlugin plugin(library);
        plugin.open({rate, 512, 0});
        return render(plugin, testPhrase(rate), phraseFrames(rate), {512});
    };
    Stereo first;
    {
        const auto library = Host::PluginLibrary::load(pluginPath());
        std::vector<std::unique_ptr<Host::HostedPlugin>> others;
        for (int k = 0; k < 3; ++k) {
            others.push_back(std::make_unique<Host::HostedPlugin>(library));
            others.back()->open({rate, 512});
        }
        first = playOnce(library);
    }
    ASSERT_FALSE(isMapped(pluginPath())) << "the library stayed loaded";
    const Stereo again = playOnce(Host::PluginLibrary::load(pluginPath()));
    ASSERT_TRUE(allFinite(again));
    EXPECT_GT(rms(again), 0.0);
    EXPECT_IDENTICAL_AUDIO(first, again);
}

}  // namespace
