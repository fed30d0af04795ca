// The parameter and program store through the record's entries: parameter
// visibility, mended value handling, names, the chunk with its sizes and
// refusals, initialise, copy and paste, and editor notifications.
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <cstring>
#include <limits>

#include "frame/Plugin.h"
#include "tests/frame/FrameTestSupport.h"

using namespace FrameTest;

namespace {

constexpr int kRecordSize = 1784;
constexpr int kBankSize = 182496;

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        FakeHost::instance().reset();
        plugin.start();
        plugin.process(64);
    }
    std::vector<unsigned char> chunk(bool preset) {
        void* data = nullptr;
        const auto size = plugin.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(bytes, bytes + size);
    }
    VstIntPtr setChunk(std::vector<unsigned char>& bytes, bool preset, VstIntPtr size = -1) {
        return plugin.dispatch(effSetChunk, preset ? 1 : 0, size < 0 ? static_cast<VstIntPtr>(bytes.size()) : size,
                               bytes.data());
    }
    static float valueIn(const std::vector<unsigned char>& bytes, int record, int index) {
        float v;
        std::memcpy(&v, bytes.data() + record * kRecordSize + 1060 + 4 * index, 4);
        return v;
    }
    static void setValueIn(std::vector<unsigned char>& bytes, int record, int index, float v) {
        std::memcpy(bytes.data() + record * kRecordSize + 1060 + 4 * index, &v, 4);
    }
    static void setIntIn(std::vector<unsigned char>& bytes, size_t offset, int32_t v) {
        std::memcpy(bytes.data() + offset, &v, 4);
    }
    std::string programName(int index) {
        char text[64] = {};
        plugin.dispatch(effGetProgramNameIndexed, index, -1, text);
        return text;
    }
    float parameter(int index) { return plugin.effect->getParameter(plugin.effect, index); }
    void setParameter(int index, float value) { plugin.effect->setParameter(plugin.effect, index, value); }

    Instance plugin;
};

TEST_F(Store, ParameterBecomesVisibleAfterOneBlock) {
    const float before = parameter(5);
    ASSERT_NE(before, 0.25f);
    setParameter(5, 0.25f);
    EXPECT_EQ(parameter(5), before);
    plugin.process(1);
    EXPECT_EQ(parameter(5), 0.25f);
    EXPECT_EQ(plugin.synth->mirror[5], 0.25f);  // and the instrument heard it
}

struct ValueCase {
    float given;
    bool stored;
    float expected;
};

std::ostream& operator<<(std::ostream& out, const ValueCase& c) { return out << "value " << c.given; }

class SetParameterValues : public Store, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(SetParameterValues, NonFiniteIgnoredOutOfRangeClamped) {
    const float before = parameter(9);
    setParameter(9, GetParam().given);
    plugin.process(16);
    EXPECT_EQ(parameter(9), GetParam().stored ? GetParam().expected : before);
    EXPECT_FALSE(std::isnan(parameter(9)));
}

INSTANTIATE_TEST_SUITE_P(Values, SetParameterValues,
                         ::testing::Values(ValueCase{std::numeric_limits<float>::quiet_NaN(), false, 0.0f},
                                           ValueCase{std::numeric_limits<float>::infinity(), false, 0.0f},
                                           ValueCase{-std::numeric_limits<float>::infinity(), false, 0.0f},
                                           ValueCase{1.5f, true, 1.0f}, ValueCase{-0.25f, true, 0.0f},
                                           ValueCase{0.0f, true, 0.0f}, ValueCase{1.0f, true, 1.0f},
                                           ValueCase{0.625f, true, 0.625f}));

TEST_F(Store, IndicesOutsideTheRangeReadAndWriteNothing) {
    const auto before = chunk(false);
    setParameter(-1, 0.5f);
    setParameter(181, 0.5f);
    plugin.process(16);
    EXPECT_EQ(chunk(false), before);
    EXPECT_EQ(parameter(181), 0.0f);
    EXPECT_EQ(parameter(-1), 0.0f);
    plugin.dispatch(effSetProgram, 0, 100);
    plugin.dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 0);
}

TEST_F(Store, FreshBankHoldsInitNamesAndTheInstrumentDefaults) {
    for (int p = 0; p < 100; ++p) {
        EXPECT_EQ(programName(p), "Init " + std::to_string(p));
        for (int i = 0; i < 181; i += 17) EXPECT_EQ(plugin.synth->getProgramValue(p, i), TestSynth::defaultFor(i));
    }
    const auto bank = chunk(false);
    int32_t version, count;
    std::memcpy(&version, bank.data() + 99 * kRecordSize + 28, 4);
    std::memcpy(&count, bank.data() + 99 * kRecordSize + 32, 4);
    EXPECT_EQ(version, 1000);
    EXPECT_EQ(count, 181);
    EXPECT_EQ(plugin.synth->getScratchProgram().value(10), TestSynth::defaultFor(10));
}

TEST_F(Store, ChunkSizesAreOneRecordAndTheWholeBank) {
    EXPECT_EQ(chunk(true).size(), static_cast<size_t>(kRecordSize));
    EXPECT_EQ(chunk(false).size(), static_cast<size_t>(kBankSize));
    EXPECT_EQ(plugin.synth->getBank().size(), kBankSize);
}

class PresetChunkSize : public Store, public ::testing::WithParamInterface<int> {};

TEST_P(PresetChunkSize, OnlyTheExactRecordSizeIsAccepted) {
    std::vector<unsigned char> bytes(static_cast<size_t>(std::max(GetParam(), kRecordSize)) + 8, 0);
    std::memcpy(bytes.data(), "Pasted", 7);
    setIntIn(bytes, 32, 181);
    for (int i = 0; i < 181 && 1060 + 4 * i + 4 <= GetParam(); ++i) setValueIn(bytes, 0, i, 0.5f);
    const auto before = chunk(false);
    const int displays = FakeHost::instance().updateDisplayCalls;
    const int notices = plugin.synth->recordingEditor->dataChangedCount;
    const int applied = plugin.synth->applyCount;
    const auto answer = setChunk(bytes, true, GetParam());
    plugin.process(16);
    const bool accepted = GetParam() == kRecordSize;
    EXPECT_EQ(answer, accepted ? 1 : 0);
    if (accepted) {
        EXPECT_EQ(programName(0), "Pasted");
        EXPECT_EQ(parameter(100), 0.5f);
    } else {
        EXPECT_EQ(chunk(false), before);
    }
    // A refusal tells nobody and applies nothing.
    EXPECT_EQ(FakeHost::instance().updateDisplayCalls, displays + (accepted ? 1 : 0));
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, notices + (accepted ? 1 : 0));
    EXPECT_EQ(plugin.synth->applyCount, applied + (accepted ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PresetChunkSize, ::testing::Values(0, 1, 1783, 1784, 1785, 182496));

class BankChunkSize : public Store, public ::testing::WithParamInterface<int> {};

TEST_P(BankChunkSize, OnlyTheExactBankSizeIsAccepted) {
    auto bytes = chunk(false);
    bytes.resize(static_cast<size_t>(GetParam()) + 8, 0);
    setValueIn(bytes, 0, 3, 0.75f);
    const auto before = chunk(false);
    const auto answer = setChunk(bytes, false, GetParam());
    EXPECT_EQ(answer, GetParam() == kBankSize ? 1 : 0);
    if (GetParam() != kBankSize) {
        EXPECT_EQ(chunk(false), before);
    } else {
        EXPECT_EQ(parameter(3), 0.75f);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BankChunkSize, ::testing::Values(0, 1784, 182495, 182496, 182497));

TEST_F(Store, BankRecordWithAWrongParameterCountIsRefusedWhole) {
    for (int32_t wrong : {0, 180, 182, -1, 1 << 30}) {
        auto bytes = chunk(false);
        std::memcpy(bytes.data() + 4, "x", 1);
        setValueIn(bytes, 0, 0, 0.9f);
        setIntIn(bytes, static_cast<size_t>(57) * kRecordSize + 32, wrong);
        const auto before = chunk(false);
        EXPECT_EQ(setChunk(bytes, false), 0) << wrong;
        EXPECT_EQ(chunk(false), before) << wrong;
    }
}

TEST_F(Store, ChunksHoldingNonFiniteValuesAreRefused) {
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
        auto bank = chunk(false);
        setValueIn(bank, 99, 180, bad);
        const auto before = chunk(false);
        EXPECT_EQ(setChunk(bank, false), 0);
        EXPECT_EQ(chunk(false), before);

        auto preset = chunk(true);
        setValueIn(preset, 0, 0, bad);
        EXPECT_EQ(setChunk(preset, true), 0);
        EXPECT_EQ(chunk(false), before);
    }
}

TEST_F(Store, ChunkValuesOutsideTheRangeAreClamped) {
    auto bank = chunk(false);
    setValueIn(bank, 0, 1, 7.0f);
    setValueIn(bank, 42, 2, -3.0f);
    ASSERT_EQ(setChunk(bank, false), 1);
    EXPECT_EQ(plugin.synth->getProgramValue(0, 1), 1.0f);
    EXPECT_EQ(plugin.synth->getProgramValue(42, 2), 0.0f);

    auto preset = chunk(true);
    setValueIn(preset, 0, 4, 2.0f);
    ASSERT_EQ(setChunk(preset, true), 1);
    EXPECT_EQ(parameter(4), 1.0f);
}

TEST_F(Store, BankChunkRoundTripsEveryByteAndKeepsNamesTerminated) {
    auto bank = chunk(false);
    for (int p = 0; p < 100; ++p) {
        char name[24];
        std::snprintf(name, sizeof name, "Sound %d", p * 7);
        std::memset(bank.data() + p * kRecordSize, 0, 24);
        std::memcpy(bank.data() + p * kRecordSize, name, std::strlen(name));
        for (int i = 0; i < 181; ++i) setValueIn(bank, p, i, static_cast<float>((p * 181 + i) % 1000) / 999.0f);
    }
    bank[kBankSize - 1] = 0x5A;  // reserved tail travels along
    ASSERT_EQ(setChunk(bank, false), 1);
    EXPECT_EQ(chunk(false), bank);
    EXPECT_EQ(programName(63), "Sound 441");

    std::memset(bank.data() + 5 * kRecordSize, 'A', 24);  // no terminator at all
    ASSERT_EQ(setChunk(bank, false), 1);
    EXPECT_EQ(programName(5), std::string(23, 'A'));
}

TEST_F(Store, PresetChunkReplacesOnlyTheCurrentProgramsNameAndValues) {
    plugin.dispatch(effSetProgram, 0, 4);
    plugin.process(1000);
    auto preset = chunk(true);
    std::memset(preset.data(), 0, 24);
    std::memcpy(preset.data(), "Replaced", 8);
    setIntIn(preset, 28, 77);  // version is carried by the destination, not copied
    for (int i = 0; i < 181; ++i) setValueIn(preset, 0, i, 0.125f);
    const auto bankBefore = chunk(false);
    ASSERT_EQ(setChunk(preset, true), 1);
    const auto bankAfter = chunk(false);
    EXPECT_EQ(programName(4), "Replaced");
    for (int i = 0; i < 181; ++i) EXPECT_EQ(valueIn(bankAfter, 4, i), 0.125f);
    int32_t version;
    std::memcpy(&version, bankAfter.data() + 4 * kRecordSize + 28, 4);
    EXPECT_EQ(version, 1000);
    for (int p = 0; p < 100; ++p) {
        if (p == 4) continue;
        EXPECT_EQ(0, std::memcmp(bankBefore.data() + p * kRecordSize, bankAfter.data() + p * kRecordSize, kRecordSize))
            << p;
    }
}

TEST_F(Store, ChunkLoadIsAppliedOnTheAudioThreadAtTheNextBlockWithoutFade) {
    auto preset = chunk(true);
    for (int i = 0; i < 181; ++i) setValueIn(preset, 0, i, 0.3f);
    const int appliedBefore = plugin.synth->applyCount;
    const int displayBefore = FakeHost::instance().updateDisplayCalls;
    const int editorBefore = plugin.synth->recordingEditor->dataChangedCount;
    ASSERT_EQ(setChunk(preset, true), 1);
    EXPECT_EQ(parameter(10), 0.3f);  // stored at once
    EXPECT_EQ(plugin.synth->applyCount, appliedBefore);  // not applied on this thread
    EXPECT_EQ(FakeHost::instance().updateDisplayCalls, displayBefore + 1);
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, editorBefore + 1);
    plugin.process(64);
    EXPECT_EQ(plugin.synth->applyCount, appliedBefore + 1);
    for (int i = 0; i < 181; ++i) EXPECT_EQ(plugin.synth->mirror[static_cast<size_t>(i)], 0.3f);
    for (int k = 0; k < 64; ++k) ASSERT_EQ(plugin.left[static_cast<size_t>(k)], 1.0f);
}

TEST_F(Store, ParameterQueuedBeforeAChunkLoadStillWinsAsIfAppliedInOrder) {
    setParameter(20, 0.9f);
    auto preset = chunk(true);
    for (int i = 0; i < 181; ++i) setValueIn(preset, 0, i, 0.2f);
    ASSERT_EQ(setChunk(preset, true), 1);
    plugin.process(64);
    // The chunk was applied, then the queued change stored and applied on top.
    EXPECT_EQ(parameter(20), 0.9f);
    EXPECT_EQ(plugin.synth->mirror[20], 0.9f);
    EXPECT_EQ(parameter(21), 0.2f);
    EXPECT_EQ(plugin.synth->mirror[21], 0.2f);
}

struct RenameCase {
    size_t length;
    size_t stored;
};

std::ostream& operator<<(std::ostream& out, const RenameCase& c) { return out << c.length << " characters"; }

class Rename : public Store, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(Rename, NamesAreCutTo23Characters) {
    std::string name;
    for (size_t i = 0; i < GetParam().length; ++i) name += static_cast<char>('a' + i % 26);
    const int before = plugin.synth->recordingEditor->dataChangedCount;
    plugin.dispatch(effSetProgramName, 0, 0, name.data());
    char text[64];
    std::memset(text, 0x7E, sizeof text);
    plugin.dispatch(effGetProgramName, 0, 0, text);
    EXPECT_EQ(std::string(text), name.substr(0, GetParam().stored));
    EXPECT_EQ(text[24], 0x7E);  // the host's buffer is written within 24 bytes
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, before + 1);

    plugin.synth->renameProgram(name.c_str());
    EXPECT_EQ(programName(0), name.substr(0, GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Rename,
                         ::testing::Values(RenameCase{0, 0}, RenameCase{1, 1}, RenameCase{22, 22},
                                           RenameCase{23, 23}, RenameCase{24, 23}, RenameCase{30, 23}));

TEST_F(Store, CopyAndPasteMoveNameAndValuesButNotApplyThem) {
    auto bank = chunk(false);
    std::memset(bank.data() + 3 * kRecordSize, 0, 24);
    std::memcpy(bank.data() + 3 * kRecordSize, "Source", 6);
    for (int i = 0; i < 181; ++i) setValueIn(bank, 3, i, 0.45f);
    ASSERT_EQ(setChunk(bank, false), 1);
    plugin.process(64);
    const int applied = plugin.synth->applyCount;
    const int displays = FakeHost::instance().updateDisplayCalls;

    const int notices = plugin.synth->recordingEditor->dataChangedCount;

    plugin.synth->copyProgram(3);
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, notices);  // copying changes no program
    EXPECT_EQ(FakeHost::instance().updateDisplayCalls, displays);
    plugin.synth->pasteProgram(0);
    EXPECT_EQ(programName(0), "Source");
    EXPECT_EQ(parameter(180), 0.45f);
    EXPECT_EQ(FakeHost::instance().updateDisplayCalls, displays + 1);
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, notices + 1);
    plugin.process(64);
    EXPECT_EQ(plugin.synth->applyCount, applied);  // stored, not applied
    EXPECT_NE(plugin.synth->mirror[180], 0.45f);

    plugin.synth->copyProgram(100);  // out of range: scratch unchanged
    plugin.synth->pasteProgram(1);
    EXPECT_EQ(programName(1), "Source");
}

TEST_F(Store, InitProgramRestoresDefaultsNameAndVendorVersion) {
    auto bank = chunk(false);
    setIntIn(bank, 7 * kRecordSize + 28, 1);  // as a freshly built record
    for (int i = 0; i < 181; ++i) setValueIn(bank, 7, i, 0.95f);
    std::memcpy(bank.data() + 7 * kRecordSize, "Custom", 7);
    ASSERT_EQ(setChunk(bank, false), 1);
    const int notices = plugin.synth->recordingEditor->dataChangedCount;
    plugin.synth->initProgram(7);
    EXPECT_EQ(programName(7), "Init 7");
    for (int i = 0; i < 181; ++i) EXPECT_EQ(plugin.synth->getProgramValue(7, i), TestSynth::defaultFor(i)) << i;
    const auto after = chunk(false);
    int32_t version;
    std::memcpy(&version, after.data() + 7 * kRecordSize + 28, 4);
    EXPECT_EQ(version, 1000);
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, notices + 1);
}

// Before open the bank is as constructed: empty names, version 1, the
// bank's parameter count, zero values and zero reserved bytes.
TEST(FreshStore, RecordsStartEmptyAtVersionOneWithZeroValues) {
    FakeHost::instance().reset();
    Instance plugin(false);
    void* data = nullptr;
    ASSERT_EQ(plugin.dispatch(effGetChunk, 0, 0, &data), kBankSize);
    const auto* bank = static_cast<const unsigned char*>(data);
    for (int p = 0; p < 100; ++p) {
        const unsigned char* record = bank + p * kRecordSize;
        int32_t version, count;
        std::memcpy(&version, record + 28, 4);
        std::memcpy(&count, record + 32, 4);
        EXPECT_EQ(version, 1) << p;
        EXPECT_EQ(count, 181) << p;
        for (int b = 0; b < 28; ++b) ASSERT_EQ(record[b], 0) << p << " byte " << b;
        for (int b = 36; b < kRecordSize; ++b) ASSERT_EQ(record[b], 0) << p << " byte " << b;  // reserved, values 0.0
    }
    for (int b = 100 * kRecordSize; b < kBankSize; ++b) ASSERT_EQ(bank[b], 0) << b;
    const Vst::ProgramRecord scratch = plugin.synth->getScratchProgram();
    EXPECT_STREQ(scratch.name(), "");
    EXPECT_EQ(scratch.version(), 1);
    EXPECT_EQ(scratch.parameterCount(), 181);
    EXPECT_EQ(scratch.size(), kRecordSize);
}

TEST_F(Store, SetProgramNotifiesTheEditor) {
    plugin.dispatch(effSetProgram, 0, 55);
    EXPECT_EQ(plugin.synth->recordingEditor->lastSelected, 55);
    EXPECT_EQ(plugin.synth->recordingEditor->selectedCount, 1);
}

TEST_F(Store, DefaultDisplayFormatterShowsThreeDecimals) {
    auto formatter = plugin.synth->getDisplayFormatter(0);
    ASSERT_NE(formatter, nullptr);
    char text[Vst::Plugin::kDisplayTextBytes];
    formatter(0.12345f, text, plugin.synth);
    EXPECT_STREQ(text, "0.123");
    EXPECT_EQ(plugin.synth->getDisplayFormatter(181), nullptr);
    EXPECT_EQ(plugin.synth->getValueQuantizer(0), nullptr);
}

}  // namespace
