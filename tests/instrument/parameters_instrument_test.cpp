// The vocabulary inside the real instrument: an opened MorvelithPlugin hands
// the editor these value texts and snap rules, which read the instrument's
// own stored switches and host tempo, and its bank holds the factory programs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "instrument/FactoryPrograms.h"
#include "instrument/MorvelithPlugin.h"
#include "instrument/ParameterTable.h"

using namespace Vst;

namespace {

VstTimeInfo hostTime{};

VstIntPtr VSTCALLBACK tempoHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(&hostTime);
        case audioMasterWantMidi:
            return 1;
        default:
            return 0;
    }
}

class OpenedInstrument : public testing::Test {
protected:
    void SetUp() override {
        hostTime = VstTimeInfo{};
        hostTime.sampleRate = 44100.0;
        hostTime.tempo = 120.0;
        hostTime.flags = kVstTempoValid | kVstPpqPosValid;
        plugin = new MorvelithPlugin(tempoHost);
        effect = plugin->getAeffect();
        dispatch(effOpen);
    }
    // Program 76 holds exactly the defaults; program 0 is a designed sound.
    void selectDefaultProgram() { dispatch(effSetProgram, 0, 76); }
    void TearDown() override { dispatch(effClose); }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, nullptr, opt);
    }
    // Starts the instrument and renders one block, which stores queued
    // parameter changes and reads the host's tempo.
    void renderBlock() {
        if (!started) {
            dispatch(effSetSampleRate, 0, 0, 44100.0f);
            dispatch(effSetBlockSize, 0, 256);
            dispatch(effMainsChanged, 0, 1);
            started = true;
        }
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        effect->processReplacing(effect, nullptr, outputs, 256);
    }
    std::string shown(int index) { return shownAt(index, plugin->getParameter(index)); }
    std::string shownAt(int index, float value) {
        char text[Plugin::kDisplayTextBytes] = {};
        const DisplayFormatter format = plugin->getDisplayFormatter(index);
        if (format == nullptr) return "<none>";
        format(value, text, plugin);
        return text;
    }

    MorvelithPlugin* plugin = nullptr;
    AEffect* effect = nullptr;
    bool started = false;
};

TEST_F(OpenedInstrument, HandsOutTheVocabularysRulesForEveryIndex) {
    for (int index = 0; index < kParameterCount; ++index) {
        const DisplayFormatter own = parameterDisplayRule(index);
        if (own != nullptr) {
            EXPECT_EQ(plugin->getDisplayFormatter(index), own) << index;
        } else {
            EXPECT_EQ(shownAt(index, 0.25f), "0.250") << index;  // the store's plain number
        }
        EXPECT_EQ(plugin->getValueQuantizer(index), parameterSnapRule(index)) << index;
    }
}

TEST_F(OpenedInstrument, DefaultsReadAsAFreshInstrumentShouldShow) {
    selectDefaultProgram();
    EXPECT_EQ(shown(kMasterLevel), "0.0dB");
    EXPECT_EQ(shown(kPitchBend), "12st");
    EXPECT_EQ(shown(kLfoRateSynced), "1/2 d");
    EXPECT_EQ(shown(kDelayLSynced), "1/4");
    EXPECT_EQ(shown(kDelayRSynced), "1/4 d");
    EXPECT_EQ(shown(kLfoHoldSynced), "Inf");
    EXPECT_EQ(shown(kLpfDcySynced), "0.50bt");  // the LPF envelope runs synced by default
}

// The delay time follows the tempo the instrument has last heard: 100 BPM
// until the host reports one.
TEST_F(OpenedInstrument, DelayTimeFollowsTheHostTempoOnceHeard) {
    EXPECT_EQ(shownAt(kDelayL, 0.125f), "600ms");
    renderBlock();
    ASSERT_EQ(plugin->getTempo(), 120.0);
    EXPECT_EQ(shownAt(kDelayL, 0.125f), "500ms");
}

// Switching a section's sync changes how its times read and whether they snap
// to beats, without touching the stored times.
TEST_F(OpenedInstrument, SectionSwitchDecidesTextAndSnapOfItsTimes) {
    selectDefaultProgram();
    const ValueQuantizer snap = plugin->getValueQuantizer(kAmpAtkSynced);
    ASSERT_NE(snap, nullptr);
    const float storedTime = plugin->getParameter(kAmpAtkSynced);
    EXPECT_EQ(snap(0.3f, kAmpAtkSynced, false, plugin), 0.3f);  // Amp runs free by default
    EXPECT_EQ(shownAt(kAmpAtkSynced, 0.5f), "1.2s");

    renderBlock();  // resuming clears the queues: start before automating
    plugin->setParameter(kAmpSyncEnable, 1.0f);
    renderBlock();
    ASSERT_EQ(plugin->getParameter(kAmpSyncEnable), 1.0f);
    EXPECT_EQ(snap(0.3f, kAmpAtkSynced, false, plugin), 0.3125f);
    EXPECT_EQ(shownAt(kAmpAtkSynced, 0.5f), "4.00bt");
    EXPECT_EQ(plugin->getParameter(kAmpAtkSynced), storedTime);
}

// --- The factory bank in the store -------------------------------------------------

TEST_F(OpenedInstrument, OpeningFillsTheBankWithTheFactoryPrograms) {
    char name[kVstMaxProgNameLen + 1] = {};
    for (int p = 0; p < kFactoryProgramCount; ++p) {
        ASSERT_EQ(effect->dispatcher(effect, effGetProgramNameIndexed, p, 0, name, 0.0f), 1) << p;
        EXPECT_STREQ(name, factoryProgramName(p)) << p;
        for (int j = 0; j < kParameterCount; ++j) {
            EXPECT_EQ(plugin->getProgramValue(p, j), factoryProgramValues(p)[j]) << p << ":" << j;
        }
    }
    EXPECT_EQ(dispatch(effGetProgram), 0);
    effect->dispatcher(effect, effGetProgramName, 0, 0, name, 0.0f);
    EXPECT_STREQ(name, "Insectoplasm");
    effect->dispatcher(effect, effGetProgramNameIndexed, 99, 0, name, 0.0f);
    EXPECT_STREQ(name, "Init 99");
    effect->dispatcher(effect, effGetProgramNameIndexed, 76, 0, name, 0.0f);
    EXPECT_STREQ(name, "Init 76");
}

// Initialising a program gives the defaults, not the factory sound: an upper
// Init program then differs only in the phaser's sweep ceiling.
TEST_F(OpenedInstrument, InitialisedProgramIsTheDefaultsNotTheFactorySound) {
    const int program = 85;
    std::vector<float> factory(factoryProgramValues(program), factoryProgramValues(program) + kParameterCount);
    plugin->initProgram(program);
    char name[kVstMaxProgNameLen + 1] = {};
    effect->dispatcher(effect, effGetProgramNameIndexed, program, 0, name, 0.0f);
    EXPECT_STREQ(name, "Init 85");
    for (int j = 0; j < kParameterCount; ++j) {
        EXPECT_EQ(plugin->getProgramValue(program, j), parameterInfo(j).defaultValue) << j;
        if (j != kPhaserRangeMax) {
            EXPECT_EQ(plugin->getProgramValue(program, j), factory[j]) << j;
        }
    }
    EXPECT_NE(plugin->getProgramValue(program, kPhaserRangeMax), factory[kPhaserRangeMax]);
}

}  // namespace
