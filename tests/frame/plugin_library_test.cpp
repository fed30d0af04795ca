// The built plug-in library as a host meets it: loaded with the platform's
// loader (dlopen, LoadLibrary), both entry points looked up by name, identity
// read through the dispatcher, and an instance left unclosed when the library
// is unloaded.
#include <gtest/gtest.h>

#include <cmath>

#include <cstring>
#include <string>

#include "frame/Plugin.h"
#include "host/DynamicLoader.h"
#include "vst/AEffect.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <limits.h>
#include <stdlib.h>
#endif

#ifndef MORVELITH_PLUGIN_PATH
#error "MORVELITH_PLUGIN_PATH must name the built morvelith.so"
#endif
#ifndef MORVELITH_HAS_EDITOR
#error "MORVELITH_HAS_EDITOR must say whether the plug-in is built with its editor"
#endif

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using Entry = AEffect* (*)(audioMasterCallback);

#if MORVELITH_HAS_EDITOR
constexpr VstInt32 kEditorFlag = effFlagsHasEditor;
#else
constexpr VstInt32 kEditorFlag = 0;
#endif

class PluginLibrary : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        library = Host::Loader::open(MORVELITH_PLUGIN_PATH, why);
        ASSERT_NE(library, nullptr) << why;
    }
    void TearDown() override {
        if (library != nullptr) {
            EXPECT_TRUE(Host::Loader::close(library));
        }
    }
    std::string text(AEffect* e, VstInt32 opcode, VstInt32 index = 0) {
        char buffer[256] = {};
        e->dispatcher(e, opcode, index, 0, buffer, 0.0f);
        return buffer;
    }
    void* library = nullptr;
    std::string why;
};

TEST_P(PluginLibrary, EntryGivesMorvelithsIdentity) {
    auto entry = reinterpret_cast<Entry>(Host::Loader::symbol(library, GetParam()));
    ASSERT_NE(entry, nullptr);
    AEffect* e = entry(host);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, vstFourCC('z', 'q', '4', 'k'));
    EXPECT_EQ(e->uniqueID, 0x7A71346B);
    EXPECT_EQ(e->numParams, 181);
    EXPECT_EQ(e->numPrograms, 100);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->flags, kEditorFlag | effFlagsCanReplacing | effFlagsIsSynth);
    EXPECT_EQ(e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(e->flags, kEditorFlag | effFlagsCanReplacing | effFlagsIsSynth | effFlagsProgramChunks);

    EXPECT_EQ(text(e, effGetEffectName), "Morvelith");
    EXPECT_EQ(text(e, effGetVendorString), "Brastonel");
    EXPECT_EQ(text(e, effGetProductString), "Morvelith VST Instrument");
    EXPECT_EQ(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0.0f), 1000);
    EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
    EXPECT_EQ(e->dispatcher(e, effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent"), 0.0f), 1);
    EXPECT_EQ(text(e, effGetProgramName), "Insectoplasm");
    VstPinProperties pin{};
    EXPECT_EQ(e->dispatcher(e, effGetOutputProperties, 1, 0, &pin, 0.0f), 1);
    EXPECT_STREQ(pin.label, "Morvelith 2");

    ERect* rect = nullptr;
#if MORVELITH_HAS_EDITOR
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 865);
    EXPECT_EQ(rect->bottom - rect->top, 555);
#else
    // A build without an editor says so, and refuses to open one.
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 0);
    EXPECT_EQ(rect, nullptr);
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f), 0);
#endif

    void* chunk = nullptr;
    EXPECT_EQ(e->dispatcher(e, effGetChunk, 0, 0, &chunk, 0.0f), 182496);
    EXPECT_EQ(e->dispatcher(e, effGetChunk, 1, 0, &chunk, 0.0f), 1784);

    // Without a note it renders silence: nothing above -120 dBFS (program 0's
    // drive turns the float rounding of its tube curve at 0 into a tiny step
    // that the DC blocker lets through while it settles).
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left(600, 1.0f), right(600, 1.0f);
    float* outs[2] = {left.data(), right.data()};
    e->processReplacing(e, nullptr, outs, 600);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_LT(std::fabs(left[i]), 1e-6f);
        ASSERT_LT(std::fabs(right[i]), 1e-6f);
    }
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
}

INSTANTIATE_TEST_SUITE_P(Entries, PluginLibrary, ::testing::Values("VSTPluginMain", "main"));

// The folder the instance found for itself (the seam in frame/ModulePath*.cpp)
// is the library's own, as the system names it, ending with the separator.
TEST(PluginLibraryFolder, TheInstanceKnowsTheFolderItWasLoadedFrom) {
    std::string why;
    void* library = Host::Loader::open(MORVELITH_PLUGIN_PATH, why);
    ASSERT_NE(library, nullptr) << why;
    auto entry = reinterpret_cast<Entry>(Host::Loader::symbol(library, "VSTPluginMain"));
    AEffect* e = entry(host);
    ASSERT_NE(e, nullptr);
    auto* plugin = static_cast<Vst::Plugin*>(static_cast<AudioEffect*>(e->object));
    const std::string folder = plugin->getPluginDirectory();
#if defined(_WIN32)
    char full[MAX_PATH];
    ASSERT_GT(GetFullPathNameA(MORVELITH_PLUGIN_PATH, MAX_PATH, full, nullptr), 0u);
    const std::string path = full;
    const std::string expected = path.substr(0, path.rfind('\\') + 1);
#else
    char full[PATH_MAX];
    ASSERT_NE(realpath(MORVELITH_PLUGIN_PATH, full), nullptr);
    const std::string path = full;
    const std::string expected = path.substr(0, path.rfind('/') + 1);
#endif
    EXPECT_GT(expected.size(), 1u);
    EXPECT_EQ(folder, expected);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(Host::Loader::close(library));
}

TEST(PluginLibraryExports, OnlyTheTwoEntriesAreVisible) {
    std::string why;
    void* library = Host::Loader::open(MORVELITH_PLUGIN_PATH, why);
    ASSERT_NE(library, nullptr) << why;
    EXPECT_EQ(Host::Loader::symbol(library, "_ZN3Vst20createPluginInstanceEPFlP7AEffectiilPvfE"), nullptr);
    EXPECT_EQ(Host::Loader::symbol(library, "createPluginInstance"), nullptr);
    Host::Loader::close(library);
}

TEST(PluginLibraryUnload, InstancesNeverClosedDoNotCrashTheUnload) {
    // As a scanner does: one instance opened and closed, a second only asked
    // its category and abandoned, then the library unloaded.
    for (int round = 0; round < 3; ++round) {
        std::string why;
        void* library = Host::Loader::open(MORVELITH_PLUGIN_PATH, why);
        ASSERT_NE(library, nullptr) << why;
        auto entry = reinterpret_cast<Entry>(Host::Loader::symbol(library, "VSTPluginMain"));
        AEffect* first = entry(host);
        first->dispatcher(first, effOpen, 0, 0, nullptr, 0.0f);
        first->dispatcher(first, effClose, 0, 0, nullptr, 0.0f);
        AEffect* second = entry(host);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(second->dispatcher(second, effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
        AEffect* third = entry(host);
        third->dispatcher(third, effOpen, 0, 0, nullptr, 0.0f);
        third->dispatcher(third, effMainsChanged, 0, 1, nullptr, 0.0f);
        EXPECT_TRUE(Host::Loader::close(library));
    }
}

}  // namespace
