// Plug-in information and programs as a host reads them: the record's fields,
// every identity answer, every parameter's name, label and display, all 100
// program names, and every program selected in turn while a note plays.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "instrument/ParameterTable.h"
#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

constexpr int kNamedParameters = 120;
constexpr double kPeakBound = 4.0;

// The factory bank's names; the rest are "Init 76" .. "Init 99".
const char* const kFactoryNames[] = {
    "Insectoplasm", "Wonder Child", "Fatphase", "Stimulead", "Aggression", "Drillerlead", "Dronetrap",
    "Cannibal", "Bleeperlead", "Nice Bleeper", "Close Encounter", "Gunfun", "C-Driver", "Welcome", "Screamer",
    "Chaos", "Chippy", "Proton Chainsaw", "Monster", "Boombass", "Woofer", "Howler Bass", "Immaterial",
    "Nervous Wind", "Metallostad", "Bumperbounce 1", "Bumperbounce 2", "Bumperbounce 3", "Silverfall",
    "Didgee Oink", "Electrified 1", "Electrified 2", "Electrified 3", "Electrisweep", "Servocrush", "Servoload",
    "Toasted Circuit", "Drone Buzz", "Busycreature", "Nanoprobe", "Square Wobble", "Laserkick", "Roostack",
    "Scratch N Drums", "Visitor X", "Hornet Buzz", "Shy Bulb", "Retroblip", "Blazerlead", "Boosterlead",
    "Into the Trees", "Lost in a Forest", "Tremolonging", "Gamecreature", "Telehole", "Icy Rubber Keys",
    "Airy Rubber Keys", "Fragile", "Nice Bell", "Soft Pick", "Challenging", "Whipflush", "Whammy Bass",
    "Zappy Kickback Bass", "Sweeping Threat Bass", "Pumping Pull Bass", "Phaser Bass", "Dist Punch Bass",
    "Phased Bottom Bass", "Bleeping Siren Bass", "Wicked Witch", "Resonant Vibra Block", "Sleezoid",
    "Sneaky Worm", "Dist Sweeper", "Basic Reso Delay"};
constexpr int kFactoryNamed = static_cast<int>(std::size(kFactoryNames));

std::string expectedProgramName(int program) {
    return program < kFactoryNamed ? kFactoryNames[program] : "Init " + std::to_string(program);
}

class Identity : public ::testing::Test {
protected:
    void SetUp() override {
        VALIDATION_REQUIRE_PLUGIN();
        plugin = std::make_unique<Host::HostedPlugin>(pluginPath());
    }
    std::unique_ptr<Host::HostedPlugin> plugin;
};

TEST_F(Identity, RecordFieldsAHostReadsBeforeOpening) {
    const AEffect* e = plugin->effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->numPrograms, kProgramCount);
    EXPECT_EQ(e->numParams, kParameterCount);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    // The deprecated and the double-precision entries are there but not announced.
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_FALSE(plugin->hasFlag(effFlagsCanDoubleReplacing));
}

TEST_F(Identity, EveryFixedAnswer) {
    plugin->open({44100.0, 512});
    EXPECT_EQ(plugin->dispatch(effIdentify), vstFourCC('N', 'v', 'E', 'f'));
    EXPECT_EQ(plugin->vstVersion(), 2400);
    EXPECT_EQ(plugin->category(), kPlugCategSynth);
    EXPECT_EQ(plugin->vendorVersion(), 1000);
    EXPECT_EQ(plugin->effectName(), "Morvelith");
    EXPECT_EQ(plugin->productString(), "Morvelith VST Instrument");
    EXPECT_EQ(plugin->vendorString(), "Brastonel");
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent"}) EXPECT_EQ(plugin->canDo(yes), 1) << yes;
    for (const char* no : {"", "sendVstMidiEvent", "sendVstEvents", "receiveVstTimeInfo", "offline", "bypass",
                           "midiProgramNames", "receiveVstMidiEvents"})
        EXPECT_EQ(plugin->canDo(no), -1) << '"' << no << '"';
}

TEST_F(Identity, OutputPinsAreTheStereoPairAndThereAreNoInputs) {
    plugin->open({44100.0, 512});
    for (int pin = 0; pin < 2; ++pin) {
        VstPinProperties properties{};
        EXPECT_EQ(plugin->dispatch(effGetOutputProperties, pin, 0, &properties), 1);
        EXPECT_STREQ(properties.label, ("Morvelith " + std::to_string(pin + 1)).c_str());
        EXPECT_EQ(properties.flags & (kVstPinIsActive | kVstPinIsStereo), kVstPinIsActive | kVstPinIsStereo);
    }
    VstPinProperties none{};
    EXPECT_EQ(plugin->dispatch(effGetOutputProperties, 2, 0, &none), 0);
    EXPECT_EQ(plugin->dispatch(effGetOutputProperties, -1, 0, &none), 0);
    EXPECT_EQ(plugin->dispatch(effGetInputProperties, 0, 0, &none), 0);
}

// Names come whole from the instrument's table (120 named, 61 reserved and
// empty), so no two named parameters read alike in a host; labels are
// empty; the display is the stored value as plain number text.
TEST_F(Identity, EveryParameterNameLabelDisplayAndAutomatability) {
    plugin->open({44100.0, 512, 76});
    int named = 0;
    for (int i = 0; i < kParameterCount; ++i) {
        const std::string name = plugin->parameterName(i);
        EXPECT_EQ(name, Vst::parameterInfo(i).name) << "index " << i;
        if (!name.empty()) ++named;
        EXPECT_EQ(plugin->parameterLabel(i), "") << "index " << i;
        EXPECT_EQ(plugin->dispatch(effCanBeAutomated, i), 1) << "index " << i;
        // At most 8 characters that read back as the stored value (six decimals).
        const std::string display = plugin->parameterDisplay(i);
        EXPECT_LE(display.size(), 8u) << "index " << i;
        EXPECT_NEAR(std::strtod(display.c_str(), nullptr), plugin->getParameter(i), 1.5e-6)
            << "index " << i << " shows '" << display << "'";
    }
    EXPECT_EQ(named, kNamedParameters);
    plugin->setParameter(2, 0.5f);
    render(*plugin, {}, 64, {64});
    EXPECT_EQ(plugin->parameterDisplay(2), "0.500000");
    EXPECT_EQ(plugin->parameterName(2), "Osc: DETUNE");
    EXPECT_EQ(plugin->parameterName(52), "LFO: HOLD");
    EXPECT_EQ(plugin->parameterName(69), "Vibra: DELAY SYNCED");
    EXPECT_EQ(plugin->parameterName(133), "HPF : REL SYNCED");
    // Outside the range nothing is named and nothing breaks.
    EXPECT_EQ(plugin->parameterName(kParameterCount), "");
    EXPECT_EQ(plugin->parameterName(-1), "");
    EXPECT_EQ(plugin->getParameter(kParameterCount), 0.0f);
    plugin->setParameter(kParameterCount, 0.5f);
    plugin->setParameter(-1, 0.5f);
}

TEST_F(Identity, AllHundredProgramNames) {
    plugin->open({44100.0, 512});
    for (int p = 0; p < kProgramCount; ++p) {
        std::string name;
        EXPECT_TRUE(plugin->programNameIndexed(p, name)) << "program " << p;
        EXPECT_EQ(name, expectedProgramName(p)) << "program " << p;
        EXPECT_LE(name.size(), 23u);
    }
    std::string name;
    EXPECT_FALSE(plugin->programNameIndexed(kProgramCount, name));
    EXPECT_FALSE(plugin->programNameIndexed(-1, name));
}

// Programs 76 .. 80 hold exactly the instrument's defaults.
TEST_F(Identity, TheInitProgramsHoldTheDefaults) {
    plugin->open({44100.0, 512});
    const std::vector<uint8_t> bank = plugin->getChunk(false);
    ASSERT_EQ(bank.size(), size_t(kBankBytes));
    for (int p = 76; p <= 80; ++p)
        for (int i = 0; i < kParameterCount; ++i)
            EXPECT_EQ(bankValue(bank, p, i), Vst::parameterInfo(i).defaultValue) << "program " << p << " index " << i;
}

// Each program selected between two blocks while a note is held: the number
// and name answer at once, the parameters read the program's stored values,
// and the sound through the fade and after it stays finite and bounded, with
// no heap use on the audio side.
TEST_F(Identity, EveryProgramSelectedWhileProcessing) {
    const double rate = 44100.0;
    constexpr int kBlock = 256;
    constexpr int kBlocksPerProgram = 6;  // 35 ms: the 5 ms fade out and in, then the new sound
    plugin->open({rate, kBlock, 0});
    const std::vector<uint8_t> bank = plugin->getChunk(false);
    ASSERT_EQ(bank.size(), size_t(kBankBytes));

    HeapUse heap;
    renderHeldNote(*plugin, 57, kBlock, kBlock, &heap);
    for (int p = 0; p < kProgramCount; ++p) {
        plugin->selectProgram(p);
        EXPECT_EQ(plugin->currentProgram(), p);
        EXPECT_EQ(plugin->programName(), expectedProgramName(p));
        for (int i = 0; i < kParameterCount; ++i)
            ASSERT_EQ(plugin->getParameter(i), bankValue(bank, p, i)) << "program " << p << " index " << i;
        // The note stays held across program changes; re-strike it now and then.
        const int frames = kBlock * kBlocksPerProgram;
        const Stereo audio = p % 10 == 0 ? renderHeldNote(*plugin, 57 + p % 12, frames, kBlock, &heap)
                                         : render(*plugin, {}, frames, {kBlock}, &heap);
        ASSERT_TRUE(allFinite(audio)) << "program " << p;
        EXPECT_LE(peak(audio), kPeakBound) << "program " << p;
    }
    // Numbers outside 0 .. 99 are ignored.
    plugin->selectProgram(kProgramCount);
    EXPECT_EQ(plugin->currentProgram(), kProgramCount - 1);
    plugin->selectProgram(-1);
    EXPECT_EQ(plugin->currentProgram(), kProgramCount - 1);
    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0) << "over " << heap.blocks << " blocks";
        EXPECT_EQ(heap.releases, 0);
    }
}

}  // namespace
