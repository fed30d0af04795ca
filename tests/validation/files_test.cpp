// State through program (.fxp) and bank (.fxb) files on disk: the instrument
// built in process (the file operations are reached from the editor, not
// through the host interface), every parameter randomised, the files written,
// fresh instances loading them; every value and name must come back, and an
// instance restored from a file must sound exactly like one restored from the
// host chunk of the same state.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "frame/Entry.h"
#include "frame/Plugin.h"
#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

constexpr size_t kPresetHeaderBytes = 60;
constexpr size_t kBankHeaderBytes = 160;

// A host that is present and gives no time information.
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The instrument made through its factory and driven through its record,
// with the frame's file operations within reach.
class InProcess {
public:
    InProcess() : plugin(dynamic_cast<Vst::Plugin*>(Vst::createPluginInstance(&hostCallback))) {
        if (plugin == nullptr) throw std::runtime_error("the factory made no frame plug-in");
        effect = plugin->getAeffect();
    }
    ~InProcess() {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);  // deletes the instance
    }
    InProcess(const InProcess&) = delete;
    InProcess& operator=(const InProcess&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void open(double rate, int block) {
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        dispatch(effSetBlockSize, 0, block);
        resume();
    }
    void suspend() { dispatch(effMainsChanged, 0, 0); }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void selectProgram(int p) { dispatch(effSetProgram, 0, p); }
    void setParameter(int i, float v) { effect->setParameter(effect, i, v); }
    float getParameter(int i) { return effect->getParameter(effect, i); }
    std::vector<uint8_t> chunk(bool programOnly) {
        void* data = nullptr;
        const auto size = dispatch(effGetChunk, programOnly ? 1 : 0, 0, &data);
        const auto* bytes = static_cast<const uint8_t*>(data);
        return std::vector<uint8_t>(bytes, bytes + size);
    }
    VstIntPtr setChunk(std::vector<uint8_t> bytes, bool programOnly) {
        return dispatch(effSetChunk, programOnly ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
    }
    std::string programName(int p) {
        char name[kVstMaxProgNameLen + 1] = {};
        dispatch(effGetProgramNameIndexed, p, 0, name);
        return name;
    }

    // The battery's driver interface.
    void reserveEvents(int count) { eventList.reserve(count); }
    void processBlock(const Host::BlockEvent* events, int count, float**, float** outputs, int frames) {
        deliverBlock(effect, eventList, events, count, outputs, frames);
    }

    Vst::Plugin* plugin;
    AEffect* effect;

private:
    EventList eventList;
};

class StateFiles : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("morvelith-files-" + std::to_string(getpid()) + "-" + std::to_string(GetParam()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Three programs randomised and renamed, program 41 left current; the
    // bank and program 41 written to files.
    void writeRandomState(InProcess& original) {
        std::mt19937 random(GetParam());
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int p : {97, 3, 41}) {
            original.selectProgram(p);
            render(original, {}, 512, {256});
            for (int i = 0; i < kParameterCount; ++i) original.setParameter(i, unit(random));
            original.setParameter(static_cast<int>(random() % kParameterCount), 0.0f);
            original.setParameter(static_cast<int>(random() % kParameterCount), 1.0f);
            std::string name = "File " + std::to_string(p);
            original.dispatch(effSetProgramName, 0, 0, name.data());
            render(original, {}, 256, {256});
        }
        std::ofstream bankFile(bankPath(), std::ios::binary);
        original.plugin->writeBankFile(bankFile);
        std::ofstream presetFile(presetPath(), std::ios::binary);
        original.plugin->writePresetFile(presetFile, 41);
    }

    std::filesystem::path bankPath() const { return folder / "state.fxb"; }
    std::filesystem::path presetPath() const { return folder / "state.fxp"; }

    std::filesystem::path folder;
};

TEST_P(StateFiles, EveryValueAndNameComesBackThroughTheFiles) {
    InProcess original;
    original.open(44100.0, 256);
    writeRandomState(original);
    const std::vector<uint8_t> bank = original.chunk(false);
    const std::vector<uint8_t> program = original.chunk(true);
    EXPECT_EQ(std::filesystem::file_size(bankPath()), kBankHeaderBytes + kBankBytes);
    EXPECT_EQ(std::filesystem::file_size(presetPath()), kPresetHeaderBytes + kRecordBytes);

    InProcess fromBank;
    fromBank.open(44100.0, 256);
    ASSERT_NE(fromBank.chunk(false), bank);
    {
        std::ifstream file(bankPath(), std::ios::binary);
        fromBank.plugin->readBankFile(file);
    }
    render(fromBank, {}, 1024, {256});
    EXPECT_EQ(fromBank.chunk(false), bank) << "the bank did not come back byte for byte";
    for (int p : {3, 41, 97}) {
        EXPECT_EQ(fromBank.programName(p), "File " + std::to_string(p));
        for (int i = 0; i < kParameterCount; ++i)
            EXPECT_EQ(fromBank.plugin->getProgramValue(p, i), bankValue(bank, p, i))
                << "program " << p << " index " << i;
    }

    // The preset lands in whichever program is current.
    InProcess fromPreset;
    fromPreset.open(44100.0, 256);
    fromPreset.selectProgram(5);
    render(fromPreset, {}, 1024, {256});
    {
        std::ifstream file(presetPath(), std::ios::binary);
        fromPreset.plugin->readPresetFile(file, 5);
    }
    render(fromPreset, {}, 1024, {256});
    EXPECT_EQ(fromPreset.programName(5), "File 41");
    for (int i = 0; i < kParameterCount; ++i)
        EXPECT_EQ(fromPreset.getParameter(i), bankValue(bank, 41, i)) << "index " << i;
    EXPECT_EQ(fromPreset.chunk(true), program);
}

// Loaded while suspended, a file and the host chunk of the same state both
// take effect at resume: the two instances must render the phrase identically.
TEST_P(StateFiles, AnInstanceRestoredFromAFileSoundsLikeOneRestoredFromTheChunk) {
    const double rate = 48000.0;
    InProcess original;
    original.open(rate, 512);
    writeRandomState(original);
    const Host::Timeline phrase = testPhrase(rate);
    const int64_t frames = phraseFrames(rate);

    for (bool programOnly : {false, true}) {
        SCOPED_TRACE(programOnly ? "preset file" : "bank file");
        InProcess viaChunk, viaFile;
        viaChunk.open(rate, 512);
        viaFile.open(rate, 512);
        viaChunk.suspend();
        viaFile.suspend();
        ASSERT_EQ(viaChunk.setChunk(original.chunk(programOnly), programOnly), 1);
        std::ifstream file(programOnly ? presetPath() : bankPath(), std::ios::binary);
        if (programOnly) viaFile.plugin->readPresetFile(file, 0);
        else viaFile.plugin->readBankFile(file);
        viaChunk.resume();
        viaFile.resume();
        HeapUse heap;
        const Stereo expected = render(viaChunk, phrase, frames, {512});
        const Stereo loaded = render(viaFile, phrase, frames, {512}, &heap);
        ASSERT_TRUE(allFinite(loaded));
        EXPECT_IDENTICAL_AUDIO(loaded, expected);
        if (countsAllocations()) {
            EXPECT_EQ(heap.allocations, 0);
        }
    }
}

// A file loaded while a note plays: the change is faded in on the audio
// thread without heap use, and a damaged file changes nothing at all.
TEST_P(StateFiles, LoadedWhilePlayingAndDamagedFilesRefused) {
    InProcess original;
    original.open(44100.0, 256);
    writeRandomState(original);

    InProcess playing;
    playing.open(44100.0, 256);
    HeapUse heap;
    renderHeldNote(playing, 60, 2048, 256, &heap);
    {
        std::ifstream file(bankPath(), std::ios::binary);
        playing.plugin->readBankFile(file);
    }
    const Stereo through = render(playing, {}, 4096, {256}, &heap);
    ASSERT_TRUE(allFinite(through));
    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0) << "over " << heap.blocks << " blocks";
    }
    const std::vector<uint8_t> before = playing.chunk(false);

    // Cut short, and with one header byte changed: refused, the store untouched.
    std::ifstream whole(bankPath(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    std::string shortFile(bytes.begin(), bytes.end() - 1);
    std::istringstream cut(shortFile);
    EXPECT_THROW(playing.plugin->readBankFile(cut), Vst::FileError);
    std::string alien(bytes.begin(), bytes.end());
    alien[16] ^= 0x20;  // the plug-in identifier
    std::istringstream foreign(alien);
    EXPECT_THROW(playing.plugin->readBankFile(foreign), Vst::FileError);
    render(playing, {}, 1024, {256});
    EXPECT_EQ(playing.chunk(false), before);
}

INSTANTIATE_TEST_SUITE_P(Seeds, StateFiles, ::testing::Values(11u, 12u));

}  // namespace
