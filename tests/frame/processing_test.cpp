// Block processing through the real dispatcher and processReplacing: sub-block
// splitting, frame-exact events, tempo polling, the program-change fade and
// the floating-point environment of a block.
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <cstring>
#include <limits>

#include "frame/DenormalGuard.h"
#include "tests/frame/FrameTestSupport.h"

using namespace FrameTest;

namespace {

class Processing : public ::testing::Test {
protected:
    void SetUp() override { FakeHost::instance().reset(); }

    static std::vector<int> blockSizes(const TestSynth& synth) {
        std::vector<int> sizes;
        for (const Call& c : synth.calls(Hook::Block)) sizes.push_back(c.a);
        return sizes;
    }
};

struct SplitCase {
    int frames;
    std::vector<int> expected;
};

std::ostream& operator<<(std::ostream& out, const SplitCase& c) { return out << c.frames << " frames"; }

class SubBlockSplit : public Processing, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SubBlockSplit, HostBlockIsCutIntoSubBlocksOfAtMost256Frames) {
    Instance plugin;
    plugin.start();
    plugin.synth->clearLog();
    plugin.process(GetParam().frames);
    EXPECT_EQ(blockSizes(*plugin.synth), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, SubBlockSplit,
                         ::testing::Values(SplitCase{600, {256, 256, 88}}, SplitCase{0, {}}, SplitCase{1, {1}},
                                           SplitCase{256, {256}}, SplitCase{257, {256, 1}},
                                           SplitCase{1024, {256, 256, 256, 256}}));

TEST_F(Processing, EmptyBlockDispatchesNothingAndKeepsTheCountdown) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    const int countdown = plugin.synth->countdownValue();
    const int requests = FakeHost::instance().timeRequests;
    MidiList().add(0, 0x90, 60, 100).sendTo(plugin);
    plugin.synth->clearLog();
    plugin.process(0);
    EXPECT_TRUE(plugin.synth->allCalls().empty());
    EXPECT_EQ(plugin.synth->countdownValue(), countdown);
    EXPECT_EQ(FakeHost::instance().timeRequests, requests);
}

TEST_F(Processing, EventsAtZeroTenAndTenSplitTheBlockTenPlusFiftyFour) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    plugin.synth->clearLog();
    const long base = plugin.synth->framesRendered;
    MidiList().add(0, 0x90, 60, 100).add(10, 0x90, 62, 90).add(10, 0x80, 60, 0).sendTo(plugin);
    plugin.process(64);

    const auto calls = plugin.synth->allCalls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].hook, Hook::NoteOn);
    EXPECT_EQ(calls[0].a, 60);
    EXPECT_EQ(calls[0].frame, base);
    EXPECT_EQ(calls[1].hook, Hook::Block);
    EXPECT_EQ(calls[1].a, 10);
    EXPECT_EQ(calls[2].hook, Hook::NoteOn);
    EXPECT_EQ(calls[2].a, 62);
    EXPECT_EQ(calls[2].frame, base + 10);
    EXPECT_EQ(calls[3].hook, Hook::NoteOff);
    EXPECT_EQ(calls[3].a, 60);
    EXPECT_EQ(calls[3].frame, base + 10);
    EXPECT_EQ(calls[4].hook, Hook::Block);
    EXPECT_EQ(calls[4].a, 54);
}

TEST_F(Processing, EventBeyondTheBlockWaitsForItsFrameInALaterBlock) {
    Instance plugin;
    plugin.start();
    plugin.synth->clearLog();
    const long base = plugin.synth->framesRendered;
    MidiList().add(100, 0x90, 60, 100).sendTo(plugin);
    plugin.process(64);
    EXPECT_TRUE(plugin.synth->calls(Hook::NoteOn).empty());
    // The next block's earlier event comes first; the held one lands at frame 100.
    MidiList().add(10, 0x90, 50, 100).sendTo(plugin);
    plugin.process(64);
    const auto notes = plugin.synth->calls(Hook::NoteOn);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].a, 50);
    EXPECT_EQ(notes[0].frame, base + 64 + 10);
    EXPECT_EQ(notes[1].a, 60);
    EXPECT_EQ(notes[1].frame, base + 100);
    EXPECT_EQ(blockSizes(*plugin.synth), (std::vector<int>{64, 10, 26, 28}));
}

TEST_F(Processing, EventsAreFrameExactAcrossUnevenBlocks) {
    // The same event list rendered in different host block sizes reaches the
    // instrument at the same absolute frames.
    for (int blockSize : {1, 7, 64, 300, 1000}) {
        Instance plugin;
        plugin.start();
        plugin.synth->clearLog();
        const long base = plugin.synth->framesRendered;
        const std::vector<int> dueFrames = {0, 3, 255, 256, 257, 600, 999};
        long rendered = 0;
        size_t next = 0;
        while (rendered < 1000) {
            MidiList list;
            while (next < dueFrames.size() && dueFrames[next] < rendered + blockSize) {
                list.add(static_cast<int>(dueFrames[next] - rendered), 0x90, 40 + static_cast<int>(next), 1);
                ++next;
            }
            list.sendTo(plugin);
            const int n = static_cast<int>(std::min<long>(blockSize, 1000 - rendered));
            plugin.process(n);
            rendered += n;
        }
        const auto notes = plugin.synth->calls(Hook::NoteOn);
        ASSERT_EQ(notes.size(), dueFrames.size()) << "block size " << blockSize;
        for (size_t i = 0; i < notes.size(); ++i) EXPECT_EQ(notes[i].frame - base, dueFrames[i]) << blockSize;
        for (const Call& block : plugin.synth->calls(Hook::Block)) EXPECT_LE(block.a, 256);
    }
}

TEST_F(Processing, ControlChangesComeBeforeMidiEventsDueAtTheSameFrame) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    plugin.synth->clearLog();
    plugin.synth->logParameters = true;
    MidiList().add(0, 0x90, 60, 100).sendTo(plugin);
    plugin.effect->setParameter(plugin.effect, 5, 0.25f);
    plugin.process(64);
    const auto calls = plugin.synth->allCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].hook, Hook::Parameter);
    EXPECT_EQ(calls[0].a, 5);
    EXPECT_EQ(calls[1].hook, Hook::NoteOn);
    EXPECT_EQ(calls[2].hook, Hook::Block);
}

TEST_F(Processing, BusyLockPostponesTheControlQueueWithoutWaiting) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    const float before = plugin.effect->getParameter(plugin.effect, 5);
    ASSERT_NE(before, 0.25f);
    plugin.effect->setParameter(plugin.effect, 5, 0.25f);
    plugin.synth->clearLog();
    plugin.synth->lockRef().lock();  // a writer holds it: the audio thread must not wait
    MidiList().add(10, 0x90, 60, 100).sendTo(plugin);
    plugin.process(600);
    plugin.synth->lockRef().unlock();
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, 5), before);
    EXPECT_EQ(plugin.synth->calls(Hook::NoteOn).size(), 1u);  // MIDI does not depend on the lock
    EXPECT_EQ(blockSizes(*plugin.synth), (std::vector<int>{10, 256, 256, 78}));
    plugin.process(1);
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, 5), 0.25f);
}

TEST_F(Processing, AnOfferedParameterNeverWaitsAndLandsLikeAutomation) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    const float before = plugin.effect->getParameter(plugin.effect, 7);
    ASSERT_NE(before, 0.75f);
    plugin.synth->lockRef().lock();  // the worker holds it: the offer is refused at once
    EXPECT_FALSE(plugin.synth->offerParameter(7, 0.75f));
    plugin.synth->lockRef().unlock();
    plugin.process(64);
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, 7), before);
    // Accepted: clamped, and stored at the next block's first frame as setParameter would.
    EXPECT_TRUE(plugin.synth->offerParameter(7, 1.5f));
    EXPECT_TRUE(plugin.synth->offerParameter(7, std::nanf("")));  // nothing to store, nothing to retry
    plugin.process(64);
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, 7), 1.0f);
}

TEST_F(Processing, BothRingsLoseWhatArrivesBeyond1024Waiting) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    plugin.synth->clearLog();
    plugin.synth->logParameters = true;
    MidiList list;
    for (int i = 0; i < 1030; ++i) list.add(i % 64, 0x80, i % 128, 0);  // note-offs change no list
    list.sendTo(plugin);
    for (int i = 0; i < 1030; ++i) plugin.effect->setParameter(plugin.effect, i % 181, 0.5f);
    plugin.process(64);
    EXPECT_EQ(plugin.synth->calls(Hook::NoteOff).size(), 1024u);
    EXPECT_EQ(plugin.synth->calls(Hook::Parameter).size(), 1024u);
    // Room again once drained.
    MidiList().add(0, 0x80, 1, 0).sendTo(plugin);
    plugin.effect->setParameter(plugin.effect, 1, 0.5f);
    plugin.process(64);
    EXPECT_EQ(plugin.synth->calls(Hook::NoteOff).size(), 1025u);
    EXPECT_EQ(plugin.synth->calls(Hook::Parameter).size(), 1025u);
}

TEST_F(Processing, SteadyTransportIsPolledEvery4410FramesAt44100) {
    FakeHost& host = FakeHost::instance();
    Instance plugin;
    plugin.start(44100.0f);
    host.timeInfo.tempo = 100.0;  // equal to the frame's start value
    host.timeInfo.ppqPos = 0.0;
    plugin.process(441);
    EXPECT_EQ(host.timeRequests, 1);
    EXPECT_EQ(host.lastTimeFilter, 0x600);
    EXPECT_EQ(plugin.synth->countdownValue(), 4410);
    // The host's position advances exactly as predicted (100 bpm).
    for (int block = 0; block < 30; ++block) {
        const int requestsBefore = host.timeRequests;
        const int countdown = plugin.synth->countdownValue();
        host.timeInfo.ppqPos = (441.0 * (block + 1)) / 44100.0 * 100.0 / 60.0;
        plugin.process(441);
        if (countdown < 441) {
            EXPECT_EQ(host.timeRequests, requestsBefore + 1) << block;
            EXPECT_EQ(plugin.synth->countdownValue(), 4410);
        } else {
            EXPECT_EQ(host.timeRequests, requestsBefore) << block;
        }
    }
    EXPECT_EQ(host.timeRequests, 3);  // the first poll, then after 4410 and 8820 more frames
}

TEST_F(Processing, PositionJumpPollsEveryBlockUntilThePredictionHolds) {
    FakeHost& host = FakeHost::instance();
    Instance plugin;
    plugin.start(44100.0f);
    host.timeInfo.tempo = 100.0;
    host.timeInfo.ppqPos = 0.0;
    plugin.process(512);  // first poll matches the estimate 0
    const int after = host.timeRequests;
    host.timeInfo.ppqPos = 50.0;  // jump before the countdown ran out
    for (int i = 0; i < 9; ++i) plugin.process(512);
    EXPECT_EQ(host.timeRequests, after + 1);  // countdown 4410 spans eight blocks; the ninth polls
    EXPECT_EQ(plugin.synth->countdownValue(), 0);
    // The jumped position is not where the estimate goes: every block asks.
    for (int i = 0; i < 3; ++i) {
        plugin.process(512);
        EXPECT_EQ(host.timeRequests, after + 2 + i);
    }
    // Now move the host exactly as the estimate moves.
    const double perBlock = 512.0 / 44100.0 * 100.0 / 60.0;
    host.timeInfo.ppqPos = 50.0 + perBlock;
    plugin.process(512);  // asks (countdown 0), matches
    EXPECT_EQ(plugin.synth->countdownValue(), 4410);
}

TEST_F(Processing, SilentHostIsAskedAbout100msApartAndTempoStays100) {
    FakeHost& host = FakeHost::instance();
    host.answersTime = false;
    Instance plugin;
    plugin.start(48000.0f);
    for (int i = 0; i < 100; ++i) plugin.process(480);  // one second
    EXPECT_EQ(host.timeRequests, 10);
    EXPECT_DOUBLE_EQ(plugin.synth->getTempo(), 100.0);
    EXPECT_TRUE(plugin.synth->calls(Hook::Tempo).empty());
}

TEST_F(Processing, NewHostTempoIsStoredAndAnnouncedOnce) {
    FakeHost& host = FakeHost::instance();
    host.timeInfo.tempo = 133.0;
    Instance plugin;
    plugin.start();
    plugin.synth->clearLog();
    for (int i = 0; i < 40; ++i) plugin.process(512);
    EXPECT_DOUBLE_EQ(plugin.synth->getTempo(), 133.0);
    EXPECT_EQ(plugin.synth->calls(Hook::Tempo).size(), 1u);
}

// Mend: values no host means (a tempo that is not a positive number, a
// position that is not a number) are passed over instead of reaching the
// instrument's tempo-synced settings or the position estimate.
TEST_F(Processing, UnusableHostTempoAndPositionArePassedOver) {
    FakeHost& host = FakeHost::instance();
    host.timeInfo.tempo = 120.0;
    host.timeInfo.ppqPos = 0.0;
    Instance plugin;
    plugin.start(44100.0f);
    plugin.process(512);
    ASSERT_DOUBLE_EQ(plugin.synth->getTempo(), 120.0);
    plugin.synth->clearLog();
    for (double bad : {0.0, -60.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        host.timeInfo.tempo = bad;
        host.timeInfo.ppqPos = std::numeric_limits<double>::quiet_NaN();
        plugin.dispatch(effMainsChanged, 0, 0);
        plugin.dispatch(effMainsChanged, 0, 1);  // the next block asks
        const int requests = host.timeRequests;
        plugin.process(512);
        EXPECT_EQ(host.timeRequests, requests + 1);
        EXPECT_DOUBLE_EQ(plugin.synth->getTempo(), 120.0) << bad;
        // The estimate stood in for the position, so it matched itself.
        EXPECT_EQ(plugin.synth->countdownValue(), 4410) << bad;
    }
    EXPECT_TRUE(plugin.synth->calls(Hook::Tempo).empty());
}

TEST_F(Processing, ProgramChangeFadesOutOver220FramesAndBackIn) {
    Instance plugin;
    plugin.start(44100.0f);
    plugin.process(64);
    plugin.synth->clearLog();
    plugin.dispatch(effSetProgram, 0, 7);
    plugin.process(1000);

    const float step = 1.0f / 220.5f;
    const std::vector<float>& out = plugin.left;
    // Falling: frame k (0-based) has gain 1 - (k + 1) * step, down to frame 219.
    for (int k = 0; k < 220; ++k) EXPECT_NEAR(out[static_cast<size_t>(k)], 1.0f - (k + 1) * step, 1e-4f) << k;
    EXPECT_GT(out[219], 0.0f);
    EXPECT_EQ(out[220], 0.0f);  // the 221st frame is silent: the program switches there
    for (int k = 221; k < 441; ++k) EXPECT_NEAR(out[static_cast<size_t>(k)], (k - 220) * step, 1e-4f) << k;
    EXPECT_LT(out[440], 1.0f);
    for (int k = 441; k < 1000; ++k) ASSERT_EQ(out[static_cast<size_t>(k)], 1.0f) << k;  // held from the 221st rising frame
    EXPECT_EQ(plugin.left, plugin.right);

    const auto applied = plugin.synth->calls(Hook::ApplyProgram);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].a, 7);
    // Applied inside the fade loop of the first sub-block (256 frames rendered by then).
    EXPECT_EQ(applied[0].frame - plugin.synth->calls(Hook::Block)[0].frame, 256);
}

TEST_F(Processing, ProgramNumberChangesAtOnceAndSameProgramStillFades) {
    Instance plugin;
    plugin.start();
    plugin.dispatch(effSetProgram, 0, 7);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 7);
    plugin.process(1000);
    plugin.synth->clearLog();
    plugin.synth->logParameters = true;
    plugin.dispatch(effSetProgram, 0, 7);
    plugin.process(1000);
    EXPECT_EQ(plugin.left[220], 0.0f);
    EXPECT_EQ(plugin.synth->calls(Hook::ApplyProgram).size(), 1u);
    const auto params = plugin.synth->calls(Hook::Parameter);
    ASSERT_EQ(params.size(), 181u);
    for (int i = 0; i < 181; ++i) {
        EXPECT_EQ(params[static_cast<size_t>(i)].a, i);
        EXPECT_EQ(params[static_cast<size_t>(i)].b, plugin.synth->getProgramValue(7, i));
    }
}

TEST_F(Processing, SecondChangeDuringFadeAppliesTheProgramCurrentAtGainZero) {
    Instance plugin;
    plugin.start();
    plugin.process(64);
    plugin.synth->clearLog();
    plugin.dispatch(effSetProgram, 0, 3);
    plugin.process(100);  // fading out
    plugin.dispatch(effSetProgram, 0, 9);
    plugin.process(1000);
    const auto applied = plugin.synth->calls(Hook::ApplyProgram);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].a, 9);
}

TEST_F(Processing, ProgramSelectedWhileSuspendedIsAppliedAtResumeWithoutFade) {
    Instance plugin;
    plugin.start();
    // Program 12 gets values of its own, so its application can be told apart.
    void* data = nullptr;
    const auto size = plugin.dispatch(effGetChunk, 0, 0, &data);
    std::vector<unsigned char> bank(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    for (int i = 0; i < 181; ++i) {
        const float v = static_cast<float>(i) / 180.0f;
        std::memcpy(bank.data() + 12 * 1784 + 1060 + 4 * i, &v, 4);
    }
    ASSERT_EQ(plugin.dispatch(effSetChunk, 0, size, bank.data()), 1);
    plugin.process(256);
    ASSERT_NE(plugin.synth->mirror[180], 1.0f);
    plugin.dispatch(effMainsChanged, 0, 0);
    plugin.dispatch(effSetProgram, 0, 12);
    plugin.synth->clearLog();
    plugin.dispatch(effMainsChanged, 0, 1);
    // Queried at once, the store answers program 12 as after a direct application.
    EXPECT_EQ(plugin.dispatch(effGetProgram), 12);
    for (int i = 0; i < 181; ++i)
        ASSERT_EQ(plugin.effect->getParameter(plugin.effect, i), plugin.synth->getProgramValue(12, i)) << i;
    plugin.process(512);
    const auto applied = plugin.synth->calls(Hook::ApplyProgram);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].a, 12);
    const auto blocks = plugin.synth->calls(Hook::Block);
    ASSERT_FALSE(blocks.empty());
    EXPECT_LE(applied[0].frame, blocks[0].frame);  // before any rendering
    for (int i = 0; i < 181; ++i)
        EXPECT_EQ(plugin.synth->mirror[static_cast<size_t>(i)], plugin.synth->getProgramValue(12, i)) << i;
    for (float v : std::vector<float>(plugin.left.begin(), plugin.left.begin() + 512)) ASSERT_EQ(v, 1.0f);
}

TEST_F(Processing, ParameterPushedWhileSuspendedIsDiscardedAtResume) {
    Instance plugin;
    plugin.start();
    plugin.dispatch(effMainsChanged, 0, 0);
    const float before = plugin.effect->getParameter(plugin.effect, 5);
    plugin.effect->setParameter(plugin.effect, 5, 0.25f);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.process(256);
    EXPECT_EQ(plugin.effect->getParameter(plugin.effect, 5), before);
}

TEST_F(Processing, ResumeAsksTheHostForMidiAndTimeOnTheFirstBlock) {
    FakeHost& host = FakeHost::instance();
    Instance plugin;
    plugin.start();
    EXPECT_EQ(host.wantMidiCalls, 1);
    plugin.process(64);
    const int requests = host.timeRequests;
    plugin.process(64);
    EXPECT_EQ(host.timeRequests, requests);  // countdown running
    plugin.dispatch(effMainsChanged, 0, 0);
    plugin.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.wantMidiCalls, 2);
    plugin.process(64);
    EXPECT_EQ(host.timeRequests, requests + 1);
}

TEST_F(Processing, BlockRunsWithDenormalsFlushedAndRestoresTheCallersWord) {
#if defined(__x86_64__) || defined(__i386__)
    Instance plugin;
    plugin.start();
    plugin.synth->checkControlWord = true;
    const unsigned callers = TestSynth::readControlWord();
    plugin.process(64);
    EXPECT_EQ(plugin.synth->controlWordInBlock & ~0x3Fu, Vst::DenormalGuard::kControlWord);
    EXPECT_EQ(TestSynth::readControlWord() & ~0x3Fu, callers & ~0x3Fu);
    EXPECT_EQ(TestSynth::readControlWord() & 0x3Fu, 0u);  // our exception flags do not leak
#else
    GTEST_SKIP() << "the SSE control word exists only on x86";
#endif
}

}  // namespace
