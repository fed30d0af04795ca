// The host library against the recorder test plug-in: loading and refusing
// libraries, the answers to the plug-in's callbacks, lifecycle order, strings,
// programs and chunks, the transport's time information, and frame-exact
// placement of MIDI in blocks of fixed and changing sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host/HostedPlugin.h"
#include "host/Renderer.h"
#include "tests/host/RecorderLog.h"
#include "tests/support/AllocationCounter.h"

using namespace Host;

namespace {

Recorder::Log& logOf(HostedPlugin& plugin) {
    Recorder::Log* log = nullptr;
    EXPECT_EQ(plugin.dispatch(effVendorSpecific, Recorder::kLogRequest, 0, &log), 1);
    if (log == nullptr) throw HostError("recorder log unavailable");
    return *log;
}

MidiMessage noteOn(int note, int velocity = 100) {
    return {{0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)}, 3};
}

// Events at frames chosen to sit on and around block edges of every pattern below.
Timeline eventsAt(const std::vector<int64_t>& frames) {
    Timeline t;
    int note = 20;
    for (int64_t f : frames) t.events.push_back({f, noteOn(note++)});
    return t;
}

}  // namespace

// --- loading -------------------------------------------------------------------------

struct LoadCase {
    const char* name;
    std::string path;
    const char* expectedError;  // null: loads
};
void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }


class PluginLoading : public ::testing::TestWithParam<LoadCase> {};

TEST_P(PluginLoading, RefusesWhatIsNotAUsablePluginWithAReason) {
    LoadCase c = GetParam();
    // "{text}" stands for a file that is not a library at all.
    const std::string textFile = "/tmp/morvelith_not_a_plugin_" + std::to_string(getpid()) + ".so";
    if (c.path == "{text}") {
        std::ofstream(textFile) << "this is not an ELF file\n";
        c.path = textFile;
    }
    struct Cleanup {
        std::string path;
        ~Cleanup() { std::remove(path.c_str()); }
    } cleanup{textFile};
    if (c.expectedError == nullptr) {
        HostedPlugin plugin(c.path);
        EXPECT_EQ(plugin.uniqueID(), Recorder::kUniqueID);
        return;
    }
    try {
        HostedPlugin plugin(c.path);
        FAIL() << "loaded " << c.path;
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find(c.expectedError), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, PluginLoading,
    ::testing::Values(LoadCase{"Recorder", RECORDER_PATH, nullptr},
                      LoadCase{"LegacyMainOnly", RECORDER_MAIN_ONLY_PATH, nullptr},
                      LoadCase{"Missing", "/nonexistent/plugin.so", "plug-in not found"},
                      LoadCase{"Directory", "/tmp", "not a regular file"},
                      LoadCase{"NotALibrary", "{text}", "cannot load plug-in"},
                      LoadCase{"NoEntryPoint", RECORDER_NO_ENTRY_PATH, "exports neither VSTPluginMain nor main"},
                      LoadCase{"NoInstance", RECORDER_NO_INSTANCE_PATH, "made no instance"},
                      LoadCase{"WrongMagic", RECORDER_BAD_MAGIC_PATH, "wrong magic"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PluginLibrary, PrefersVSTPluginMainAndFallsBackToMain) {
    EXPECT_EQ(PluginLibrary::load(RECORDER_PATH)->entryName(), "VSTPluginMain");
    EXPECT_EQ(PluginLibrary::load(RECORDER_MAIN_ONLY_PATH)->entryName(), "main");
}

TEST(PluginLibrary, InstancesOfOneLibraryAreIndependent) {
    auto library = PluginLibrary::load(RECORDER_PATH);
    HostedPlugin first(library), second(library);
    first.open({48000.0, 128});
    EXPECT_FLOAT_EQ(logOf(first).sampleRate, 48000.0f);
    EXPECT_EQ(logOf(second).opcodeCounts[effOpen], 0);
    EXPECT_NE(&logOf(first), &logOf(second));
}

// --- callbacks and lifecycle ---------------------------------------------------------

TEST(HostCallbacks, AnswersVersionTimeAndNoticesAndZeroForUnknownOpcodes) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.openOnly();
    const Recorder::Log& log = logOf(plugin);
    EXPECT_EQ(log.versionAtEntry, 2400);  // asked from inside the entry point
    const Recorder::OpenAnswers& a = log.open;
    EXPECT_EQ(a.version, 2400);
    EXPECT_NE(a.automate, 0);
    EXPECT_NE(a.beginEdit, 0);
    EXPECT_NE(a.endEdit, 0);
    EXPECT_NE(a.updateDisplay, 0);
    EXPECT_NE(a.idle, 0);
    EXPECT_NE(a.wantMidi, 0);
    EXPECT_EQ(a.unusedOpcode, 0);
    EXPECT_EQ(a.farOpcode, 0);
    EXPECT_EQ(a.canDoTimeInfo, 1);
    EXPECT_EQ(a.canDoNonsense, 0);
    EXPECT_EQ(a.blockSize, plugin.maxBlockSize());
    EXPECT_LT(std::string(a.vendor).size(), size_t(kVstMaxVendorStrLen));
    EXPECT_FALSE(std::string(a.product).empty());

    EXPECT_EQ(plugin.callbackCount(audioMasterAutomate), 1);
    EXPECT_EQ(plugin.callbackCount(audioMasterBeginEdit), 1);
    EXPECT_EQ(plugin.lastAutomatedIndex(), 2);
    EXPECT_FLOAT_EQ(plugin.lastAutomatedValue(), 0.75f);
}

TEST(HostedPlugin, OpenSetsRateAndBlockSizeSelectsTheProgramAndResumes) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({48000.0, 300, 2});
    const Recorder::Log& log = logOf(plugin);
    EXPECT_EQ(log.opcodeCounts[effOpen], 1);
    EXPECT_FLOAT_EQ(log.sampleRate, 48000.0f);
    EXPECT_EQ(log.maxBlockSize, 300);
    // Asked from inside effOpen, before effSetSampleRate and effSetBlockSize arrive.
    EXPECT_EQ(log.open.sampleRate, 48000);
    EXPECT_EQ(log.open.blockSize, 300);
    EXPECT_EQ(log.resumed, 1);
    EXPECT_EQ(log.programAtResume, 2);  // selected while still suspended
    EXPECT_TRUE(plugin.isResumed());
    plugin.suspend();
    EXPECT_EQ(log.resumed, 0);
}

TEST(HostedPlugin, OpensResumesSuspendsAndClosesInTheOrderHostsUse) {
    const auto library = PluginLibrary::load(RECORDER_PATH);
    const auto lastClosed = reinterpret_cast<Recorder::LastClosedEntry>(library->symbol("recorderLastClosed"));
    ASSERT_NE(lastClosed, nullptr);
    {
        HostedPlugin plugin(library);
        plugin.open({48000.0, 256, 1});
    }  // destroyed while resumed: it must suspend first, then close
    const Recorder::Lifecycle& seen = *lastClosed();
    EXPECT_EQ(seen.closes, 1);
    EXPECT_EQ(seen.resumedAtClose, 0);
    const std::vector<std::pair<VstInt32, VstIntPtr>> expected = {
        {effOpen, 0}, {effSetSampleRate, 0}, {effSetBlockSize, 256}, {effSetProgram, 1},
        {effMainsChanged, 1}, {effMainsChanged, 0}, {effClose, 0}};
    std::vector<std::pair<VstInt32, VstIntPtr>> calls;
    for (int i = 0; i < seen.length; ++i) calls.emplace_back(seen.opcodes[i], seen.values[i]);
    EXPECT_EQ(calls, expected);

    // A scanner-style instance left unclosed: no effClose reaches the plug-in.
    {
        HostedPlugin plugin(library);
        plugin.openOnly();
        plugin.leaveUnclosed();
    }
    EXPECT_EQ(lastClosed()->closes, 1);
}

TEST(HostedPlugin, AClosedInstanceRefusesFurtherCalls) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open();
    plugin.close();
    EXPECT_TRUE(plugin.isClosed());
    EXPECT_THROW(plugin.dispatch(effGetProgram), HostError);
    EXPECT_THROW(plugin.numParams(), HostError);
    float* outputs[2] = {nullptr, nullptr};
    EXPECT_THROW(plugin.processBlock(nullptr, 0, nullptr, outputs, 0), HostError);
}

TEST(HostedPlugin, IdentityQueries) {
    HostedPlugin plugin(RECORDER_PATH);
    EXPECT_EQ(plugin.effectName(), "Recorder");
    EXPECT_EQ(plugin.vendorString(), "Morvelith Tests");
    EXPECT_EQ(plugin.productString(), "Event Recorder");
    EXPECT_EQ(plugin.vendorVersion(), 4321);
    EXPECT_EQ(plugin.vstVersion(), 2400);
    EXPECT_EQ(plugin.category(), kPlugCategSynth);
    EXPECT_EQ(plugin.uniqueID(), vstFourCC('r', 'e', 'c', '1'));
    EXPECT_EQ(plugin.numParams(), Recorder::kParams);
    EXPECT_EQ(plugin.numPrograms(), Recorder::kPrograms);
    EXPECT_EQ(plugin.numInputs(), 0);
    EXPECT_EQ(plugin.numOutputs(), 2);
    EXPECT_TRUE(plugin.hasFlag(effFlagsIsSynth | effFlagsCanReplacing));
    EXPECT_FALSE(plugin.hasFlag(effFlagsHasEditor));
    EXPECT_EQ(plugin.canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(plugin.canDo("sendVstMidiEvent"), -1);
    EXPECT_EQ(plugin.canDo(""), -1);
}

TEST(HostedPlugin, ParametersProgramsAndChunks) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open();
    EXPECT_EQ(plugin.parameterName(3), "P3");
    EXPECT_EQ(plugin.parameterLabel(0), "dB");
    plugin.setParameter(1, 0.5f);
    EXPECT_FLOAT_EQ(plugin.getParameter(1), 0.5f);
    EXPECT_EQ(plugin.parameterDisplay(1), "0.500");

    plugin.selectProgram(1);
    EXPECT_EQ(plugin.currentProgram(), 1);
    EXPECT_EQ(plugin.programName(), "Second");
    plugin.setProgramName("Renamed");
    std::string name;
    EXPECT_TRUE(plugin.programNameIndexed(1, name));
    EXPECT_EQ(name, "Renamed");
    EXPECT_FALSE(plugin.programNameIndexed(Recorder::kPrograms, name));

    const std::vector<uint8_t> saved = plugin.getChunk(false);
    ASSERT_EQ(saved.size(), size_t(Recorder::kChunkBytes));
    plugin.setParameter(1, 0.9f);
    EXPECT_EQ(plugin.setChunk(saved, true), 1);
    EXPECT_FLOAT_EQ(plugin.getParameter(1), 0.5f);
    EXPECT_EQ(plugin.setChunk(std::vector<uint8_t>(3, 0), true), 0);
    EXPECT_FLOAT_EQ(plugin.getParameter(1), 0.5f);
}

// --- blocks, events and time --------------------------------------------------------------

struct BlockCase {
    const char* name;
    std::vector<int> pattern;
    double sampleRate;
};
void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }


class BlockLoop : public ::testing::TestWithParam<BlockCase> {
protected:
    static constexpr int64_t kFrames = 3000;
    std::vector<int64_t> eventFrames() const {
        return {0, 0, 1, 10, 10, 63, 64, 65, 255, 256, 257, 599, 600, 1000, 2047, 2048, kFrames - 1};
    }
};

TEST_P(BlockLoop, EveryEventArrivesOnceInTheBlockWhereItFallsAtItsOffset) {
    const BlockCase& c = GetParam();
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({c.sampleRate, 512});
    const std::vector<int64_t> frames = eventFrames();
    renderTimeline(plugin, eventsAt(frames), kFrames, c.pattern);

    const Recorder::Log& log = logOf(plugin);
    ASSERT_EQ(log.eventCount, static_cast<int>(frames.size()));
    std::vector<int64_t> blockStart(static_cast<size_t>(log.blockCount) + 1, 0);
    for (int b = 0; b < log.blockCount; ++b) blockStart[b + 1] = blockStart[b] + log.blocks[b].frames;
    EXPECT_EQ(blockStart.back(), kFrames);
    for (int i = 0; i < log.eventCount; ++i) {
        const Recorder::Event& e = log.events[i];
        const size_t block = static_cast<size_t>(e.block);
        EXPECT_EQ(e.type, kVstMidiType);
        EXPECT_EQ(e.byteSize, int(sizeof(VstMidiEvent)));
        EXPECT_EQ(e.data[1], 20 + i) << "events out of order at " << i;
        EXPECT_EQ(blockStart[block] + e.deltaFrames, frames[static_cast<size_t>(i)]) << "event " << i;
        EXPECT_GE(e.deltaFrames, 0);
        EXPECT_LT(e.deltaFrames, log.blocks[block].frames) << "event " << i << " placed in an empty block or past its end";
    }
    // Each block's event list reached processReplacing unchanged, with no call in between.
    for (int b = 0; b < log.blockCount; ++b) {
        // eventsBefore counts at processReplacing, so it includes the block's own events.
        const int inBlock = log.blocks[b].eventsBefore - (b > 0 ? log.blocks[b - 1].eventsBefore : 0);
        EXPECT_EQ(log.blocks[b].eventsStillIntact, inBlock) << "block " << b;
        EXPECT_EQ(log.blocks[b].callsBetweenEventsAndProcess, 0) << "block " << b;
    }
    // The block sizes follow the pattern in turn (the last one cut to the length).
    for (int b = 0; b + 1 < log.blockCount; ++b)
        EXPECT_EQ(log.blocks[b].frames, c.pattern[static_cast<size_t>(b) % c.pattern.size()]) << "block " << b;
}

TEST_P(BlockLoop, TimeInfoAdvancesWithTheRenderedFrames) {
    const BlockCase& c = GetParam();
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({c.sampleRate, 512});
    Timeline timeline;
    timeline.initialBpm = 140.0;
    renderTimeline(plugin, timeline, kFrames, c.pattern);

    const Recorder::Log& log = logOf(plugin);
    int64_t position = 0;
    for (int b = 0; b < log.blockCount; ++b) {
        const Recorder::Block& block = log.blocks[b];
        ASSERT_TRUE(block.timeInfoPresent);
        EXPECT_EQ(block.samplePos, static_cast<double>(position)) << "block " << b;
        EXPECT_NEAR(block.ppqPos, position / c.sampleRate * 140.0 / 60.0, 1e-9) << "block " << b;
        EXPECT_DOUBLE_EQ(block.tempo, 140.0);
        EXPECT_DOUBLE_EQ(block.sampleRate, c.sampleRate);
        EXPECT_EQ(block.barStartPos, 4.0 * std::floor(block.ppqPos / 4.0));
        EXPECT_EQ(block.timeSigNumerator, 4);
        EXPECT_EQ(block.timeSigDenominator, 4);
        const VstInt32 needed = kVstPpqPosValid | kVstTempoValid | kVstTransportPlaying;
        EXPECT_EQ(block.flags & needed, needed);
        EXPECT_EQ((block.flags & kVstTransportChanged) != 0, b == 0) << "block " << b;
        EXPECT_EQ(block.flagsAtSecondRequest, block.flags) << "block " << b;
        position += block.frames;
    }
    EXPECT_EQ(plugin.lastTimeRequest(), kVstPpqPosValid | kVstTempoValid | kVstBarsValid);
}

TEST_P(BlockLoop, BlocksJoinWithoutGapsInTheStereoOutput) {
    const BlockCase& c = GetParam();
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({c.sampleRate, 512});
    const StereoRender audio = renderTimeline(plugin, Timeline{}, kFrames, c.pattern);
    ASSERT_EQ(audio.left.size(), size_t(kFrames));
    for (int64_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(audio.left[size_t(i)], float(i)) << "frame " << i;
        ASSERT_EQ(audio.right[size_t(i)], -float(i)) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, BlockLoop,
    ::testing::Values(BlockCase{"Fixed64", {64}, 44100.0}, BlockCase{"Fixed512", {512}, 48000.0},
                      BlockCase{"Single", {1}, 44100.0}, BlockCase{"Odd", {600 - 512 + 1}, 96000.0},
                      BlockCase{"Changing", {1, 7, 64, 256, 13, 512}, 44100.0},
                      BlockCase{"WithEmptyBlocks", {0, 100, 0, 37}, 22050.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockLoopEdges, EventsBeforeTheStartComeFirstAndEventsAfterTheEndNever) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 64});
    const StereoRender audio = renderTimeline(plugin, eventsAt({-5, 3, 640, 641}), 640, {64});
    EXPECT_EQ(audio.left.size(), 640u);
    const Recorder::Log& log = logOf(plugin);
    ASSERT_EQ(log.eventCount, 2);
    EXPECT_EQ(log.events[0].block, 0);
    EXPECT_EQ(log.events[0].deltaFrames, 0);
    EXPECT_EQ(log.events[1].deltaFrames, 3);
}

// Regression: the event storage was sized from windows of the original frames,
// so many events before the start overflowed it when they all fell due in block 0.
TEST(BlockLoopEdges, ManyEventsBeforeTheStartAllArriveInTheFirstBlock) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 64});
    renderTimeline(plugin, eventsAt({-3000, -2000, -1000, -500, -1, 0, 63, 64}), 128, {64});
    const Recorder::Log& log = logOf(plugin);
    ASSERT_EQ(log.eventCount, 8);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(log.events[i].block, 0) << i;
        EXPECT_EQ(log.events[i].deltaFrames, i == 6 ? 63 : 0) << i;
        EXPECT_EQ(log.events[i].data[1], 20 + i) << "order kept";
    }
    EXPECT_EQ(log.events[7].block, 1);
}

TEST(BlockLoopEdges, TempoChangesMoveThePositionFromTheFrameWhereTheyFall) {
    HostedPlugin plugin(RECORDER_PATH);
    const double rate = 48000.0;
    plugin.open({rate, 100});
    Timeline timeline;
    timeline.initialBpm = 120.0;
    timeline.tempos = {{150, 60.0}, {300, 90.0}};
    renderTimeline(plugin, timeline, 500, {100});
    const Recorder::Log& log = logOf(plugin);
    ASSERT_EQ(log.blockCount, 5);
    const double q120 = 2.0 / rate, q60 = 1.0 / rate, q90 = 1.5 / rate;  // quarter notes per frame
    EXPECT_DOUBLE_EQ(log.blocks[1].tempo, 120.0);  // the change falls inside this block
    EXPECT_NEAR(log.blocks[1].ppqPos, 100 * q120, 1e-12);
    EXPECT_DOUBLE_EQ(log.blocks[2].tempo, 60.0);
    EXPECT_NEAR(log.blocks[2].ppqPos, 150 * q120 + 50 * q60, 1e-12);
    EXPECT_DOUBLE_EQ(log.blocks[3].tempo, 90.0);  // a change on a block's first frame is reported with it
    EXPECT_NEAR(log.blocks[3].ppqPos, 150 * q120 + 150 * q60, 1e-12);
    EXPECT_NEAR(log.blocks[4].ppqPos, 150 * q120 + 150 * q60 + 100 * q90, 1e-12);
    EXPECT_EQ(log.blocks[2].flags & kVstTransportChanged, 0);
}

TEST(BlockLoopEdges, ARelocatedTransportIsReportedAsChanged) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 64});
    float left[64], right[64];
    float* outputs[2] = {left, right};
    plugin.processBlock(nullptr, 0, nullptr, outputs, 64);
    plugin.processBlock(nullptr, 0, nullptr, outputs, 64);
    plugin.transport().setPosition(441000, 20.0);
    plugin.processBlock(nullptr, 0, nullptr, outputs, 64);
    const Recorder::Log& log = logOf(plugin);
    for (int b = 0; b < 3; ++b) {
        const bool changed = b != 1;
        EXPECT_EQ((log.blocks[b].flags & kVstTransportChanged) != 0, changed) << "block " << b;
        // Regression: the flag was cleared by the first request, so a second one in the same block missed it.
        EXPECT_EQ((log.blocks[b].flagsAtSecondRequest & kVstTransportChanged) != 0, changed) << "block " << b;
    }
    EXPECT_EQ(log.blocks[2].samplePos, 441000.0);
    EXPECT_EQ(log.blocks[2].ppqPos, 20.0);
}

// Regression: the position was summed block by block, so its rounding depended
// on the block split and drifted from the frame count (by 1e-9 quarter notes
// after a million one-frame blocks).
TEST(TransportPosition, QuarterNotesFollowTheFrameCountWhateverTheBlockSplit) {
    constexpr int64_t kFrames = 1000003;
    constexpr double kRate = 44100.0, kBpm = 133.0;
    Transport oneFrameAtATime, inOneStep, inUnevenSteps;
    for (Transport* t : {&oneFrameAtATime, &inOneStep, &inUnevenSteps}) {
        t->setSampleRate(kRate);
        t->setTempo(kBpm);
    }
    for (int64_t i = 0; i < kFrames; ++i) oneFrameAtATime.advance(1);
    inOneStep.advance(kFrames);
    const int steps[] = {1, 7, 64, 333, 4096};
    for (int64_t done = 0, i = 0; done < kFrames; ++i) {
        const int64_t step = std::min<int64_t>(steps[i % 5], kFrames - done);
        inUnevenSteps.advance(step);
        done += step;
    }
    EXPECT_EQ(oneFrameAtATime.samplePosition(), kFrames);
    EXPECT_EQ(oneFrameAtATime.ppqPosition(), inOneStep.ppqPosition());
    EXPECT_EQ(inUnevenSteps.ppqPosition(), inOneStep.ppqPosition());
    // 1000003 frames at 44100 Hz are 22.6758 s, at 133 beats per minute 50.2647 quarter notes.
    EXPECT_NEAR(inOneStep.ppqPosition(), 50.264701058, 1e-9);
}

TEST(TransportPosition, ATempoChangeCountsOnFromWhereItHappens) {
    Transport t;
    t.setSampleRate(48000.0);
    t.setTempo(120.0);
    t.advance(24000);  // half a second at two quarter notes per second
    t.setTempo(60.0);
    for (int i = 0; i < 480; ++i) t.advance(100);  // one second at one quarter note per second
    EXPECT_DOUBLE_EQ(t.ppqPosition(), 1.0 + 1.0);
    t.setPosition(0, 8.0);
    t.advance(48000);
    EXPECT_DOUBLE_EQ(t.ppqPosition(), 9.0);
}

TEST(BlockLoopEdges, OffsetsOutsideTheBlockAreClampedIntoIt) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 64});
    float left[32], right[32];
    float* outputs[2] = {left, right};
    const BlockEvent events[] = {{-4, noteOn(1)}, {32, noteOn(2)}, {500, noteOn(3)}};
    plugin.processBlock(events, 3, nullptr, outputs, 32);
    const Recorder::Log& log = logOf(plugin);
    ASSERT_EQ(log.eventCount, 3);
    EXPECT_EQ(log.events[0].deltaFrames, 0);
    EXPECT_EQ(log.events[1].deltaFrames, 31);
    EXPECT_EQ(log.events[2].deltaFrames, 31);

    // An empty block has no frame to place an event on: refused before the plug-in hears of it.
    EXPECT_THROW(plugin.processBlock(events, 1, nullptr, outputs, 0), HostError);
    EXPECT_EQ(log.eventCount, 3);
    EXPECT_EQ(log.blockCount, 1);
    plugin.processBlock(nullptr, 0, nullptr, outputs, 0);
    EXPECT_EQ(log.blockCount, 2);
}

TEST(BlockLoopEdges, BlocksLargerThanTheDeclaredMaximumAreRefused) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 256});
    EXPECT_THROW(Renderer(plugin, {}, {64, 257}), HostError);
    EXPECT_THROW(Renderer(plugin, {}, {0, 0}), HostError);
    EXPECT_THROW(Renderer(plugin, {}, {}), HostError);
    EXPECT_THROW(Renderer(plugin, {}, {-1, 64}), HostError);
}

TEST(BlockLoopEdges, AMonoPluginFeedsBothChannels) {
    HostedPlugin plugin(RECORDER_MONO_PATH);
    plugin.open({44100.0, 64});
    const StereoRender audio = renderTimeline(plugin, Timeline{}, 200, {64});
    EXPECT_EQ(audio.left, audio.right);
    EXPECT_EQ(audio.left[199], 199.0f);
}

// Regression: a plug-in with only the accumulating entry (before 2.4) rendered nothing, silently.
TEST(BlockLoopEdges, APluginWithOnlyTheAccumulatingEntryIsRenderedThroughIt) {
    HostedPlugin plugin(RECORDER_ACCUMULATING_PATH);
    EXPECT_FALSE(plugin.hasFlag(effFlagsCanReplacing));
    plugin.open({44100.0, 64});
    const StereoRender audio = renderTimeline(plugin, eventsAt({3, 130}), 300, {64, 17});
    ASSERT_EQ(audio.left.size(), 300u);
    for (size_t i = 0; i < 300; ++i) {
        ASSERT_EQ(audio.left[i], float(i)) << "frame " << i << ": the outputs were not cleared before each block";
        ASSERT_EQ(audio.right[i], -float(i)) << "frame " << i;
    }
    EXPECT_EQ(logOf(plugin).eventCount, 2);
}

TEST(BlockLoopEdges, PluginCpuTimeCountsTheTimeSpentInsideBothPluginCalls) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 64});
    constexpr long kBusyMicros = 200;
    ASSERT_EQ(plugin.dispatch(effVendorSpecific, Recorder::kBusyRequest, kBusyMicros), 1);
    // 100 blocks of 64 frames, 10 of them with events: 110 busy calls.
    std::vector<int64_t> frames;
    for (int64_t block = 0; block < 100; block += 10) frames.push_back(block * 64 + 5);
    plugin.resetPluginCpu();
    renderTimeline(plugin, eventsAt(frames), 100 * 64, {64});
    const double expected = 110 * kBusyMicros * 1e-6;
    EXPECT_GE(plugin.pluginCpuSeconds(), expected);
    // The host's own work between the calls is not counted: well under 30 us a block.
    EXPECT_LT(plugin.pluginCpuSeconds(), expected + 100 * 30e-6);
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(BlockLoopEdges, TheBlockLoopDoesNotAllocate) {
    HostedPlugin plugin(RECORDER_PATH);
    plugin.open({44100.0, 512});
    std::vector<int64_t> frames;
    for (int64_t f = 0; f < 20000; f += 37) frames.push_back(f);
    Renderer renderer(plugin, eventsAt(frames), {1, 64, 512, 0, 100});
    TestSupport::AllocationScope scope;
    while (renderer.position() < 20000) renderer.renderBlock(20000 - renderer.position());
    const TestSupport::AllocationCounts counts = scope.stop();
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
    EXPECT_EQ(logOf(plugin).eventCount, static_cast<int>(frames.size()));
}
#endif
