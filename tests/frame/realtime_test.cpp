// The audio-thread entries never reach the heap: a run with notes,
// automation, program changes and chunk loads, counted by the interposed
// allocator around effProcessEvents and processReplacing only.
#include <gtest/gtest.h>

#include "tests/frame/FrameTestSupport.h"
#include "tests/support/AllocationCounter.h"

using namespace FrameTest;

namespace {

#if MORVELITH_COUNTS_ALLOCATIONS

TEST(RealTime, ProcessEventsAndProcessReplacingNeverAllocateOrRelease) {
    FakeHost::instance().reset();
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    Instance plugin;
    plugin.start();
    plugin.synth->logParameters = true;

    std::vector<VstEvents*> lists;
    std::vector<MidiList> midi(64);
    for (int i = 0; i < 64; ++i) {
        midi[static_cast<size_t>(i)]
            .add(0, 0x90, 40 + i % 30, 100)
            .add(i % 50, 0xE0, i, 64)
            .add(60 + i % 100, 0x80, 40 + (i + 29) % 30, 0)
            .add(300, 0x90, 70, 10)  // beyond most blocks
            .add(i % 7, 0xB0, 123, 0);
        lists.push_back(midi[static_cast<size_t>(i)].list());
    }
    void* chunk = nullptr;
    const auto chunkSize = plugin.dispatch(effGetChunk, 1, 0, &chunk);
    std::vector<unsigned char> preset(static_cast<const unsigned char*>(chunk),
                                      static_cast<const unsigned char*>(chunk) + chunkSize);

    float* outs[2] = {plugin.left.data(), plugin.right.data()};
    const int blockSizes[] = {64, 1, 600, 128, 333, 4096, 17};
    long allocations = 0;
    long releases = 0;
    for (int block = 0; block < 64; ++block) {
        // Control-side calls happen outside the counted scope, as on a GUI thread.
        plugin.effect->setParameter(plugin.effect, block % 181, static_cast<float>(block % 10) / 10.0f);
        if (block % 9 == 0) plugin.dispatch(effSetProgram, 0, block % 100);
        if (block % 13 == 0) plugin.dispatch(effSetChunk, 1, chunkSize, preset.data());
        const int frames = blockSizes[block % 7];

        TestSupport::AllocationScope scope;
        plugin.effect->dispatcher(plugin.effect, effProcessEvents, 0, 0, lists[static_cast<size_t>(block)], 0.0f);
        plugin.effect->processReplacing(plugin.effect, nullptr, outs, frames);
        const auto counts = scope.stop();
        allocations += counts.allocations;
        releases += counts.releases;
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(releases, 0);
    // The run did exercise what it claims to.
    EXPECT_GT(plugin.synth->calls(Hook::NoteOn).size(), 50u);
    EXPECT_GT(plugin.synth->calls(Hook::Parameter).size(), 500u);
    EXPECT_GT(plugin.synth->applyCount.load(), 5);
}

#else

TEST(RealTime, ProcessEventsAndProcessReplacingNeverAllocateOrRelease) {
    GTEST_SKIP() << "the counting allocator is not linked in this configuration";
}

#endif

}  // namespace
