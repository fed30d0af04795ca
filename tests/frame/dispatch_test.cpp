// The record and dispatcher as a host sees them: the entry point and its
// alias, identity, flags before and after open, the opcode answers, bounded
// texts, editor routing and the host-order quirks.
#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include <dlfcn.h>

#include "tests/frame/FrameTestSupport.h"
#include "vst/VstText.h"

#ifndef FRAME_TEST_PLUGIN_PATH
#error "FRAME_TEST_PLUGIN_PATH must name the test plug-in library"
#endif

using namespace FrameTest;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { FakeHost::instance().reset(); }

    // Fills a buffer with a marker, runs the opcode and reports the text and
    // how many bytes were touched.
    static std::pair<std::string, size_t> text(Instance& plugin, VstInt32 opcode, VstInt32 index = 0) {
        char buffer[256];
        std::memset(buffer, 0x7E, sizeof buffer);
        plugin.dispatch(opcode, index, 0, buffer);
        size_t touched = sizeof buffer;
        while (touched > 0 && buffer[touched - 1] == 0x7E) --touched;
        return {std::string(buffer), touched};
    }
};

// The frame's entry linked into a library with the test synth's factory.
class TestPluginLibrary {
public:
    using Entry = AEffect* (*)(audioMasterCallback);
    TestPluginLibrary() : handle(dlopen(FRAME_TEST_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~TestPluginLibrary() {
        if (handle != nullptr) dlclose(handle);
    }
    Entry entry(const char* name) {
        return handle != nullptr ? reinterpret_cast<Entry>(dlsym(handle, name)) : nullptr;
    }
    void* handle;
};

TEST_F(Dispatch, EntryAndAliasBuildInstancesThroughTheFactory) {
    TestPluginLibrary library;
    ASSERT_NE(library.handle, nullptr) << dlerror();
    for (const char* name : {"VSTPluginMain", "main"}) {
        auto entry = library.entry(name);
        ASSERT_NE(entry, nullptr) << name;
        AEffect* effect = entry(FakeHost::callback);
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(effect->magic, kEffectMagic);
        EXPECT_EQ(effect->uniqueID, vstFourCC('t', 'e', 's', 't'));
        EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
    }
}

TEST_F(Dispatch, NoInstanceWithoutAHostButALowVersionIsAccepted) {
    TestPluginLibrary library;
    auto entry = library.entry("VSTPluginMain");
    ASSERT_NE(entry, nullptr);
    FakeHost::instance().version = 0;
    EXPECT_EQ(entry(FakeHost::callback), nullptr);
    EXPECT_EQ(entry(nullptr), nullptr);
    FakeHost::instance().version = 2;  // as a known scanner answers
    AEffect* effect = entry(FakeHost::callback);
    ASSERT_NE(effect, nullptr);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST_F(Dispatch, RecordCarriesIdentityAndGainsProgramChunksOnlyAtOpen) {
    Instance plugin(false);
    AEffect* e = plugin.effect;
    EXPECT_EQ(e->numPrograms, 100);
    EXPECT_EQ(e->numParams, 181);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsIsSynth);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    plugin.dispatch(effOpen);
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsIsSynth | effFlagsProgramChunks);
    EXPECT_EQ(e->flags & effFlagsCanDoubleReplacing, 0);
}

TEST_F(Dispatch, WithoutEditorTheFlagStaysOffAndEditOpcodesAnswerZero) {
    Instance plugin(true, false);
    EXPECT_EQ(plugin.effect->flags & effFlagsHasEditor, 0);
    ERect* rect = nullptr;
    EXPECT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(plugin.dispatch(effEditOpen), 0);
}

TEST_F(Dispatch, EditOpcodesReachTheEditor) {
    Instance plugin;
    ERect* rect = nullptr;
    EXPECT_EQ(plugin.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 300);
    EXPECT_EQ(rect->bottom - rect->top, 200);
    int parent = 0;
    EXPECT_EQ(plugin.dispatch(effEditOpen, 0, 0, &parent), 1);
    EXPECT_TRUE(plugin.synth->getEditor()->isOpen());
    plugin.dispatch(effEditIdle);
    plugin.dispatch(effEditClose);
    EXPECT_FALSE(plugin.synth->getEditor()->isOpen());
}

TEST_F(Dispatch, InterfaceAnswers) {
    Instance plugin;
    EXPECT_EQ(plugin.dispatch(effIdentify), vstFourCC('N', 'v', 'E', 'f'));
    EXPECT_EQ(plugin.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(plugin.dispatch(effGetPlugCategory), 2);
    EXPECT_EQ(plugin.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, 0), 1);
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, 180), 1);
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, 181), 0);
    EXPECT_EQ(plugin.dispatch(effGetTailSize), 0);
    EXPECT_EQ(plugin.dispatch(effKeysRequired), 0);
    EXPECT_EQ(plugin.dispatch(effString2Parameter, 0, 0, const_cast<char*>("0.5")), 0);
    VstPinProperties pin{};
    EXPECT_EQ(plugin.dispatch(effGetInputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(plugin.dispatch(effProcessEvents, 0, 0, nullptr), 1);
}

struct CanDoCase {
    const char* text;
    VstIntPtr answer;
};

std::ostream& operator<<(std::ostream& out, const CanDoCase& c) { return out << '"' << c.text << '"'; }

class CanDo : public Dispatch, public ::testing::WithParamInterface<CanDoCase> {};

TEST_P(CanDo, AnswersOnlyTheTwoReceivingAbilities) {
    Instance plugin;
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, const_cast<char*>(GetParam().text)), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Texts, CanDo,
                         ::testing::Values(CanDoCase{"receiveVstEvents", 1}, CanDoCase{"receiveVstMidiEvent", 1},
                                           CanDoCase{"sendVstMidiEvent", -1}, CanDoCase{"sendVstEvents", -1},
                                           CanDoCase{"receiveVstTimeInfo", -1}, CanDoCase{"", -1},
                                           CanDoCase{"receiveVstMidiEvents", -1}, CanDoCase{"ReceiveVstEvents", -1}));

TEST_F(Dispatch, OutputPropertiesNameBothOutputsAndRefuseAThird) {
    Instance plugin;
    for (int index = 0; index < 2; ++index) {
        VstPinProperties pin{};
        EXPECT_EQ(plugin.dispatch(effGetOutputProperties, index, 0, &pin), 1);
        EXPECT_EQ(std::string(pin.label), "Tester " + std::to_string(index + 1));
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    VstPinProperties pin{};
    EXPECT_EQ(plugin.dispatch(effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(plugin.dispatch(effGetOutputProperties, -1, 0, &pin), 0);
}

TEST_F(Dispatch, ProgramNameIndexedExistsUpTo99) {
    Instance plugin;
    char name[64] = {};
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, 99, -1, name), 1);
    EXPECT_STREQ(name, "Init 99");
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, 100, -1, name), 0);
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, -1, -1, name), 0);
}

TEST_F(Dispatch, ParameterTextsAreBoundedAndFollowTheFrameRules) {
    Instance plugin;
    plugin.start();
    plugin.effect->setParameter(plugin.effect, 1, 0.5f);
    plugin.process(1);
    auto [label, labelBytes] = text(plugin, effGetParamLabel, 1);
    EXPECT_EQ(label, "");
    EXPECT_EQ(labelBytes, 1u);
    auto [display, displayBytes] = text(plugin, effGetParamDisplay, 1);
    EXPECT_EQ(display, "0.500000");
    EXPECT_LE(displayBytes, 9u);
    auto [name, nameBytes] = text(plugin, effGetParamName, 7);
    EXPECT_EQ(name, "Param 7");
    auto [longName, longBytes] = text(plugin, effGetParamName, 180);
    EXPECT_EQ(longName, "Param 180");  // names go out whole
    EXPECT_EQ(longBytes, 10u);
    auto [outside, outsideBytes] = text(plugin, effGetParamName, 181);
    EXPECT_EQ(outside, "");
}

TEST_F(Dispatch, InstalledNameTableReplacesTheNumberedNames) {
    class Named : public TestSynth {
    public:
        void initParameterNames() override {
            allocateParameterNames();
            setParameterNameEntry(0, "Cutoff");
            setParameterNameEntry(2, "Osc: DETUNE");
        }
    };
    auto* synth = new Named;
    AEffect* e = synth->getAeffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    auto name = [e](int index) {
        char buffer[64];
        std::memset(buffer, 0x7E, sizeof buffer);
        e->dispatcher(e, effGetParamName, index, 0, buffer, 0.0f);
        return std::string(buffer);
    };
    EXPECT_EQ(name(0), "Cutoff");
    EXPECT_EQ(name(1), "");          // an entry left empty (a reserved index) has no name
    EXPECT_EQ(name(2), "Osc: DETUNE");  // names go out whole, unlike the value texts
    EXPECT_EQ(name(180), "");
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST_F(Dispatch, IdentityTextsAreBoundedByTheirBufferLengths) {
    Instance plugin;
    auto [effect, effectBytes] = text(plugin, effGetEffectName);
    EXPECT_EQ(effect, "Tester");
    auto [vendor, vendorBytes] = text(plugin, effGetVendorString);
    EXPECT_EQ(vendor, "Test Vendor");
    auto [product, productBytes] = text(plugin, effGetProductString);
    EXPECT_EQ(product, "Tester Product");

    // An instrument name longer than the host buffers is cut to fit them.
    class LongNames : public TestSynth {
    public:
        LongNames() {
            setEffectName(std::string(200, 'e').c_str());
            setVendorString(std::string(200, 'v').c_str());
            setProductString(std::string(200, 'p').c_str());
        }
    };
    auto* synth = new LongNames;
    AEffect* e = synth->getAeffect();
    char buffer[512];
    const std::pair<VstInt32, size_t> limits[] = {{effGetEffectName, 32}, {effGetVendorString, 64},
                                                  {effGetProductString, 64}};
    for (auto [opcode, limit] : limits) {
        std::memset(buffer, 0x7E, sizeof buffer);
        EXPECT_EQ(e->dispatcher(e, opcode, 0, 0, buffer, 0.0f), 1);
        EXPECT_EQ(std::strlen(buffer), limit - 1) << opcode;
        EXPECT_EQ(buffer[limit], 0x7E) << opcode;
    }
    VstPinProperties pin;
    std::memset(&pin, 0x7E, sizeof pin);
    EXPECT_EQ(e->dispatcher(e, effGetOutputProperties, 1, 0, &pin, 0.0f), 1);
    EXPECT_EQ(std::strlen(pin.label), 63u);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST_F(Dispatch, SecondOpenChangesNothing) {
    Instance plugin;
    plugin.dispatch(effSetProgramName, 0, 0, const_cast<char*>("Kept"));
    plugin.dispatch(effSetProgram, 0, 3);
    plugin.dispatch(effOpen);
    EXPECT_EQ(plugin.synth->openCount, 1);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 3);
    char name[64];
    plugin.dispatch(effGetProgramNameIndexed, 0, -1, name);
    EXPECT_STREQ(name, "Kept");
}

TEST_F(Dispatch, SettingsGivenBeforeOpenHold) {
    Instance plugin(false);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 22050.0f);
    plugin.dispatch(effSetBlockSize, 0, 333);
    plugin.dispatch(effOpen);
    EXPECT_EQ(plugin.synth->getSampleRate(), 22050.0f);
    EXPECT_EQ(plugin.synth->getBlockSize(), 333);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effSetProgram, 0, 1);
    plugin.process(2000);
    // The fade is timed at the rate set before open: 110.25 frames, gain 0 on the 111th.
    EXPECT_EQ(plugin.left[110], 0.0f);
    EXPECT_GT(plugin.left[109], 0.0f);
}

TEST_F(Dispatch, UnusableSampleRatesAreIgnored) {
    Instance plugin;
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, -44100.0f);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin.synth->getSampleRate(), 48000.0f);
}

TEST_F(Dispatch, PluginDirectoryIsAbsoluteAndEndsWithASlash) {
    Instance plugin;
    const std::string dir = plugin.synth->getPluginDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.front(), '/');
    EXPECT_EQ(dir.back(), '/');
}

struct FloatCase {
    float value;
    const char* text;
};

std::ostream& operator<<(std::ostream& out, const FloatCase& c) { return out << c.value << " -> " << c.text; }

class FloatToText : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatToText, EightCharacters) {
    char text[32];
    std::memset(text, 0x7E, sizeof text);
    Vst::float2string(GetParam().value, text, 8);
    EXPECT_STREQ(text, GetParam().text);
    EXPECT_LE(std::strlen(text), 8u);
}

INSTANTIATE_TEST_SUITE_P(Values, FloatToText,
                         ::testing::Values(FloatCase{0.5f, "0.500000"}, FloatCase{0.0f, "0.000000"},
                                           FloatCase{-0.0f, "0.000000"}, FloatCase{1.0f, "1.000000"},
                                           FloatCase{0.7f, "0.700000"}, FloatCase{0.123456789f, "0.123457"},
                                           FloatCase{12.25f, "12.25000"}, FloatCase{-0.5f, "-0.50000"},
                                           FloatCase{9.9999999f, "10.00000"}, FloatCase{1234567.0f, "1234567."},
                                           FloatCase{123456789.0f, "Huge!"}));

TEST(CopyString, WritesAtMostTheLimitIncludingTheTerminator) {
    char buffer[16];
    for (size_t limit : {1u, 2u, 8u, 9u}) {
        std::memset(buffer, 0x7E, sizeof buffer);
        Vst::copyString(buffer, "abcdefghijkl", limit);
        EXPECT_EQ(std::strlen(buffer), limit - 1);
        EXPECT_EQ(buffer[limit], 0x7E);
    }
    std::memset(buffer, 0x7E, sizeof buffer);
    Vst::copyString(buffer, "abc", 0);
    EXPECT_EQ(buffer[0], 0x7E);
    Vst::copyString(buffer, nullptr, 4);
    EXPECT_STREQ(buffer, "");
}

// An instance whose every direct entry throws: the record's entries must keep
// the exception on this side of the host interface and answer neutrally.
class ThrowingEffect : public AudioEffect {
public:
    ThrowingEffect() : AudioEffect(nullptr, 1, 1) {}
    void setParameter(VstInt32, float) override { throw std::runtime_error("setParameter"); }
    float getParameter(VstInt32) override { throw std::runtime_error("getParameter"); }
    VstIntPtr dispatcher(VstInt32, VstInt32, VstIntPtr, void*, float) override { throw std::runtime_error("dispatcher"); }
    void processReplacing(float**, float**, VstInt32) override { throw std::runtime_error("processReplacing"); }
    void processDoubleReplacing(double**, double**, VstInt32) override { throw std::runtime_error("processDouble"); }
};

TEST(RecordEntries, NothingThrownInsideCrossesTheHostInterface) {
    ThrowingEffect fx;
    AEffect* e = fx.getAeffect();
    float left[4] = {}, right[4] = {};
    float* outputs[2] = {left, right};
    double dleft[4] = {}, dright[4] = {};
    double* doubleOutputs[2] = {dleft, dright};
    EXPECT_NO_THROW(e->setParameter(e, 0, 0.5f));
    EXPECT_NO_THROW(EXPECT_EQ(e->getParameter(e, 0), 0.0f));
    EXPECT_NO_THROW(EXPECT_EQ(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0.0f), 0));
    EXPECT_NO_THROW(e->processReplacing(e, nullptr, outputs, 4));
    EXPECT_NO_THROW(e->processDoubleReplacing(e, nullptr, doubleOutputs, 4));
    // A record whose object is gone answers the same way.
    e->object = nullptr;
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    EXPECT_EQ(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0.0f), 0);
}

}  // namespace
