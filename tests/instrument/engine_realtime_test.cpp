// The engine on the audio thread never reaches the heap: notes, bends, all
// notes off, every parameter index at its extremes and in between (the delay
// switch and the sync switches included), program changes and host tempo
// changes, all rendered through processReplacing inside an allocation scope.
// Also: no setting of 0..1 drives the output to NaN or infinity.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/instrument/engine_support.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace EngineTest;

namespace {

constexpr int kFrames = 256;

// A host event list built once, outside the measured scope.
struct EventList {
    VstEvents header{};
    VstEvent* more[15]{};
    std::array<VstMidiEvent, 16> midi{};

    void set(std::initializer_list<std::array<int, 4>> events) {
        int n = 0;
        for (const auto& e : events) {
            VstMidiEvent& m = midi[static_cast<size_t>(n)];
            m = VstMidiEvent{};
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.deltaFrames = e[0];
            m.midiData[0] = static_cast<char>(e[1]);
            m.midiData[1] = static_cast<char>(e[2]);
            m.midiData[2] = static_cast<char>(e[3]);
            ++n;
        }
        header.numEvents = n;
        // VstEvents ends in a two-pointer array; the rest follow it in `more`.
        auto** slots = header.events;
        for (int i = 0; i < n; ++i) slots[i] = reinterpret_cast<VstEvent*>(&midi[static_cast<size_t>(i)]);
    }
};

// Deterministic values in 0..1 without the standard library's engines.
struct Lcg {
    std::uint32_t state = 12345u;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    }
};

class EngineRealtime : public ::testing::Test {
protected:
    void SetUp() override { Host::instance().reset(120.0); }

    void block(Engine& e) {
        e.renderInto(left.data(), right.data(), kFrames);
        finite = finite && TestSupport::allFinite(left.data(), kFrames) && TestSupport::allFinite(right.data(), kFrames);
    }
    void events(Engine& e, EventList& list) { e.effect->dispatcher(e.effect, effProcessEvents, 0, 0, &list.header, 0.0f); }

    std::array<float, kFrames> left{};
    std::array<float, kFrames> right{};
    bool finite = true;
};

TEST_F(EngineRealtime, NothingOnTheAudioThreadAllocates) {
#if MORVELITH_COUNTS_ALLOCATIONS
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    Engine e;
    e.start();
    EventList noteOn, legato, release, bend, panic;
    noteOn.set({{{0, 0x90, 60, 100}}});
    legato.set({{{17, 0x90, 67, 80}}, {{100, 0xE0, 0, 127}}});
    release.set({{{3, 0x80, 67, 0}}, {{200, 0x80, 60, 0}}});
    bend.set({{{0, 0xE0, 0, 64}}});
    panic.set({{{5, 0xB0, 123, 0}}});
    Lcg random;
    block(e);  // the program of the resume is applied

    TestSupport::AllocationScope scope;
    for (int round = 0; round < 6; ++round) {
        events(e, noteOn);
        block(e);
        // Every index, at 0, 1 and a value in between, with blocks among them.
        for (int i = 0; i < Vst::MorvelithPlugin::kNumParams; ++i) {
            const float value = round % 3 == 0 ? 0.0f : round % 3 == 1 ? 1.0f : random.next();
            e.setParameter(i, value);
            if (i % 8 == 0) block(e);
        }
        events(e, legato);
        block(e);
        e.setParameter(Vst::kDelayEnable, 1.0f);
        e.setParameter(Vst::kDelaySyncEnable, static_cast<float>(round % 2));
        block(e);
        Host::instance().timeInfo.tempo = 60.0 + 30.0 * round;  // the next poll reports it
        for (int k = 0; k < 20; ++k) block(e);
        events(e, release);
        block(e);
        events(e, bend);
        block(e);
        events(e, panic);
        block(e);
    }
    const TestSupport::AllocationCounts counts = scope.stop();
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
    EXPECT_TRUE(finite);
#else
    GTEST_SKIP() << "the counting allocator is not linked in this configuration";
#endif
}

// Automation of the level stages: a move in every block, so that glides
// start and end inside the measured scope.
TEST_F(EngineRealtime, LevelGlidesDoNotAllocate) {
#if MORVELITH_COUNTS_ALLOCATIONS
    Engine e;
    e.start();
    EventList noteOn;
    noteOn.set({{{0, 0x90, 48, 127}}});
    block(e);
    events(e, noteOn);
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.setParameter(Vst::kPhaserEnable, 1.0f);
    block(e);
    Lcg random;
    TestSupport::AllocationScope scope;
    for (int k = 0; k < 40; ++k) {
        for (int index : {Vst::kOscTrim, Vst::kMasterLevel, Vst::kHpfDelayMix, Vst::kBpfDelayMix, Vst::kPhaserDepth})
            e.setParameter(index, random.next());
        block(e);
    }
    const TestSupport::AllocationCounts counts = scope.stop();
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
    EXPECT_TRUE(finite);
#else
    GTEST_SKIP() << "the counting allocator is not linked in this configuration";
#endif
}

TEST_F(EngineRealtime, ProgramChangesDoNotAllocateOnTheAudioThread) {
#if MORVELITH_COUNTS_ALLOCATIONS
    Engine e;
    e.start();
    EventList noteOn;
    noteOn.set({{{0, 0x90, 48, 127}}});
    block(e);
    events(e, noteOn);
    block(e);
    for (int program = 0; program < 8; ++program) {
        // Selected on the host's thread (outside the scope), applied on the audio thread.
        e.dispatch(effSetProgram, 0, program * 11);
        TestSupport::AllocationScope scope;
        for (int k = 0; k < 4; ++k) block(e);
        const TestSupport::AllocationCounts counts = scope.stop();
        EXPECT_EQ(counts.allocations, 0) << "program " << program * 11;
    }
    EXPECT_TRUE(finite);
#else
    GTEST_SKIP() << "the counting allocator is not linked in this configuration";
#endif
}

// The delay lines are emptied only as far as they were used (a whole line is
// too much to zero on the audio thread); whatever a longer, earlier length
// left behind must still be gone when that length returns.
TEST_F(EngineRealtime, DelayClearReachesEverythingAnEarlierLengthWrote) {
    SPKit::StereoDelay delay;
    SPKit::Unit one(1.0f);
    SPKit::Unit silence(0.0f);
    delay.getChannel(0)->setInput(&one);
    delay.getChannel(1)->setInput(&one);
    const int longLength = 300000;
    std::vector<float> out(kFrames);
    const auto run = [&](int samples, double* energy) {
        for (int done = 0; done < samples; done += kFrames) {
            delay.getChannel(0)->process(out.data(), kFrames);
            for (float x : out) *energy += std::fabs(x);
            delay.getChannel(1)->process(out.data(), kFrames);
            for (float x : out) *energy += std::fabs(x);
        }
    };
    double energy = 0.0;
    delay.getChannel(0)->setDelay(longLength);
    delay.getChannel(1)->setDelay(longLength);
    run(longLength + 4 * kFrames, &energy);  // both lines full of ones
    ASSERT_GT(energy, 0.0);
    delay.getChannel(0)->setDelay(5000);
    delay.getChannel(1)->setDelay(5000);
    delay.clear();
    delay.getChannel(0)->setInput(&silence);
    delay.getChannel(1)->setInput(&silence);
    delay.getChannel(0)->setDelay(longLength);
    delay.getChannel(1)->setDelay(longLength);
    energy = 0.0;
    run(longLength + 4 * kFrames, &energy);
    EXPECT_EQ(energy, 0.0);
}

// Random settings of every parameter over 0..1, changed every few blocks
// while notes play: the output stays finite.
TEST_F(EngineRealtime, RandomAutomationStaysFinite) {
    Engine e;
    e.start();
    Lcg random;
    random.state = 987654321u;
    EventList notes[3];
    notes[0].set({{{0, 0x90, 36, 127}}});
    notes[1].set({{{10, 0x90, 96, 64}}, {{20, 0x80, 36, 0}}});
    notes[2].set({{{0, 0x80, 96, 0}}, {{30, 0x90, 60, 100}}, {{31, 0xE0, 127, 127}}});
    for (int step = 0; step < 400; ++step) {
        for (int k = 0; k < 12; ++k) {
            const int index = static_cast<int>(random.next() * Vst::MorvelithPlugin::kNumParams) %
                              Vst::MorvelithPlugin::kNumParams;
            const float r = random.next();
            // Switches and ends of travel are the interesting values.
            const float value = r < 0.2f ? 0.0f : r < 0.4f ? 1.0f : random.next();
            e.setParameter(index, value);
        }
        if (step % 7 == 0) events(e, notes[(step / 7) % 3]);
        block(e);
        ASSERT_TRUE(finite) << "step " << step;
    }
}

}  // namespace
