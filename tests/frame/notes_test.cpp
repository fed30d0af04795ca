// MIDI decoding and the held-note list: which messages become which events,
// and how note-on, note-off and the channel-mode messages move the list.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/frame/FrameTestSupport.h"

using namespace FrameTest;

namespace {

class Notes : public ::testing::Test {
protected:
    void SetUp() override {
        FakeHost::instance().reset();
        plugin.start();
        plugin.process(64);
        plugin.synth->clearLog();
    }
    void play(MidiList list) {
        list.sendTo(plugin);
        plugin.process(64);
    }
    std::vector<int> held() {
        std::vector<int> notes;
        for (int i = 0; i < plugin.synth->getHeldNoteCount(); ++i) notes.push_back(plugin.synth->getHeldNote(i));
        return notes;
    }
    Instance plugin;
};

TEST_F(Notes, LegatoNoteOffReturnsToTheOlderNote) {
    play(MidiList().add(0, 0x90, 60, 100).add(5, 0x90, 64, 90).add(9, 0x80, 64, 0));
    EXPECT_EQ(held(), std::vector<int>{60});
    EXPECT_EQ(plugin.synth->getHeldNote(1), -1);
    const auto ons = plugin.synth->calls(Hook::NoteOn);
    ASSERT_EQ(ons.size(), 2u);
    EXPECT_EQ(ons[0].a, 60);
    EXPECT_EQ(ons[0].b, 100.0f);
    EXPECT_EQ(ons[1].b, 90.0f);
}

TEST_F(Notes, OnlyTheOldestOccurrenceIsRemoved) {
    play(MidiList().add(0, 0x90, 60, 100).add(0, 0x90, 62, 100).add(0, 0x90, 60, 100).add(1, 0x80, 60, 0));
    EXPECT_EQ(held(), (std::vector<int>{62, 60}));
    play(MidiList().add(0, 0x80, 60, 0));
    EXPECT_EQ(held(), std::vector<int>{62});
    play(MidiList().add(0, 0x80, 61, 0));  // not held: nothing changes
    EXPECT_EQ(held(), std::vector<int>{62});
}

TEST_F(Notes, VelocityZeroIsANoteOff) {
    play(MidiList().add(0, 0x90, 60, 100).add(3, 0x90, 60, 0));
    EXPECT_TRUE(held().empty());
    const auto offs = plugin.synth->calls(Hook::NoteOff);
    ASSERT_EQ(offs.size(), 1u);
    EXPECT_EQ(offs[0].a, 60);
}

struct ControllerCase {
    int controller;
    bool emptiesList;
};

std::ostream& operator<<(std::ostream& out, const ControllerCase& c) { return out << "controller " << c.controller; }

class ChannelMode : public Notes, public ::testing::WithParamInterface<ControllerCase> {};

TEST_P(ChannelMode, OnlyControllers120To123EmptyTheList) {
    play(MidiList().add(0, 0x90, 60, 100).add(0, 0x91, 67, 100));
    play(MidiList().add(0, 0xB3, GetParam().controller, 0));
    EXPECT_EQ(held().empty(), GetParam().emptiesList);
    EXPECT_EQ(plugin.synth->calls(Hook::AllNotesOff).size(), GetParam().emptiesList ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Controllers, ChannelMode,
                         ::testing::Values(ControllerCase{120, true}, ControllerCase{121, true},
                                           ControllerCase{122, true}, ControllerCase{123, true},
                                           ControllerCase{1, false}, ControllerCase{64, false},
                                           ControllerCase{119, false}, ControllerCase{124, false},
                                           ControllerCase{0xF8, false}));  // 120 with the top bit: not a controller

struct BendCase {
    int lsb;
    int msb;
    float value;
};

std::ostream& operator<<(std::ostream& out, const BendCase& c) { return out << "bytes " << c.lsb << " " << c.msb; }

class PitchBend : public Notes, public ::testing::WithParamInterface<BendCase> {};

TEST_P(PitchBend, DataBytesMapOntoMinusOneToJustBelowOne) {
    play(MidiList().add(0, 0xE5, GetParam().lsb, GetParam().msb));
    const auto bends = plugin.synth->calls(Hook::Controller);
    ASSERT_EQ(bends.size(), 1u);
    EXPECT_EQ(bends[0].a, 224);
    EXPECT_EQ(bends[0].b, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Bytes, PitchBend,
                         ::testing::Values(BendCase{0x00, 0x40, 0.0f}, BendCase{0x7F, 0x7F, 8191.0f / 8192.0f},
                                           BendCase{0x00, 0x00, -1.0f}, BendCase{0x00, 0x20, -0.5f}));

TEST_F(Notes, OtherMessagesAndNonMidiEventsAreIgnored) {
    play(MidiList()
             .add(0, 0xC0, 5, 0)      // program change
             .add(0, 0xD0, 40, 0)     // channel pressure
             .add(0, 0xA0, 60, 40)    // key pressure
             .add(0, 0xF8, 0, 0)      // clock
             .add(0, 0xB0, 7, 100)    // volume
             .addSysex(0));
    const auto calls = plugin.synth->allCalls();
    for (const Call& c : calls) EXPECT_EQ(c.hook, Hook::Block);
}

TEST_F(Notes, AllChannelsShareOneList) {
    play(MidiList().add(0, 0x90, 48, 100).add(1, 0x9F, 50, 100).add(2, 0x95, 52, 100));
    EXPECT_EQ(held(), (std::vector<int>{48, 50, 52}));
    play(MidiList().add(0, 0x8F, 48, 0));
    EXPECT_EQ(held(), (std::vector<int>{50, 52}));
}

TEST_F(Notes, ThousandTwentyFourthNoteIsNotRecordedButStillHeard) {
    // 1023 notes fill the list; the next note-on reaches the instrument only.
    for (int batch = 0; batch < 4; ++batch) {
        MidiList list;
        for (int i = 0; i < 256; ++i) list.add(i, 0x90, (batch * 256 + i) % 128, 100);
        play(list);
        plugin.process(256);
    }
    EXPECT_EQ(plugin.synth->getHeldNoteCount(), 1023);
    EXPECT_EQ(plugin.synth->calls(Hook::NoteOn).size(), 1024u);
    play(MidiList().add(0, 0xB0, 123, 0));
    EXPECT_EQ(plugin.synth->getHeldNoteCount(), 0);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(plugin.synth->getHeldNote(i), -1) << i;
}

TEST_F(Notes, SuspendEmptiesTheList) {
    play(MidiList().add(0, 0x90, 60, 100));
    plugin.dispatch(effMainsChanged, 0, 0);
    EXPECT_TRUE(held().empty());
}

TEST_F(Notes, ResumeDropsEventsStillWaiting) {
    MidiList().add(500, 0x90, 60, 100).sendTo(plugin);
    plugin.process(64);
    plugin.dispatch(effMainsChanged, 0, 0);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.process(1000);
    EXPECT_TRUE(plugin.synth->calls(Hook::NoteOn).empty());
}

}  // namespace
