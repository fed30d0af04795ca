// Preset and bank files through the frame: the exact header bytes, round
// trips of a program (through the program-change fade) and of the bank, every
// refusal with its message and an untouched store, fields that are carried
// but not checked, and streams that fail while writing or reading.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/frame/FilesTestSupport.h"

using namespace FilesTest;
using FrameTest::FakeHost;

namespace {

// Everything a refused file must leave as it was.
struct StoreState {
    std::vector<unsigned char> bank;
    VstIntPtr program;
    int editorDataChanged;
    int editorSelected;
    int displayUpdates;
    int queued;
    int applied;
};

class Files : public ::testing::Test {
protected:
    void SetUp() override { FakeHost::instance().reset(); }

    StoreState state() {
        return StoreState{plugin.bank(),
                          plugin.dispatch(effGetProgram),
                          plugin.synth->recordingEditor->dataChangedCount,
                          plugin.synth->recordingEditor->selectedCount,
                          FakeHost::instance().updateDisplayCalls,
                          plugin.synth->controlQueueRef().size(),
                          plugin.synth->applyCount};
    }

    void expectUnchanged(const StoreState& before) {
        const StoreState after = state();
        EXPECT_TRUE(after.bank == before.bank) << "the store changed";
        EXPECT_EQ(after.program, before.program);
        EXPECT_EQ(after.editorDataChanged, before.editorDataChanged);
        EXPECT_EQ(after.editorSelected, before.editorSelected);
        EXPECT_EQ(after.displayUpdates, before.displayUpdates);
        EXPECT_EQ(after.queued, before.queued);
        // Nothing fades and nothing is applied afterwards either.
        plugin.process(512);
        EXPECT_EQ(plugin.synth->applyCount, before.applied);
        for (int i = 0; i < 512; ++i) ASSERT_EQ(plugin.left[static_cast<size_t>(i)], 1.0f) << i;
    }

    // A bank whose every program has its own name and values, and a marked
    // reserved tail.
    std::vector<unsigned char> distinctBank(int seed) {
        auto bank = plugin.bank();
        for (size_t p = 0; p < static_cast<size_t>(kPrograms); ++p) {
            const std::string name = "Sound " + std::to_string(p * 7 + static_cast<size_t>(seed));
            std::memset(bank.data() + p * kRecordSize, 0, 24);
            std::memcpy(bank.data() + p * kRecordSize, name.data(), name.size());
            for (int i = 0; i < kParams; ++i)
                setValueAt(bank, p * kRecordSize, i,
                           static_cast<float>((static_cast<int>(p) * 181 + i * 13 + seed) % 1000) / 999.0f);
        }
        bank[kBankSize - 1] = static_cast<unsigned char>(0x40 + seed);
        return bank;
    }

    std::string programName(int program) {
        char text[64] = {};
        plugin.dispatch(effGetProgramNameIndexed, program, -1, text);
        return text;
    }

    void selectProgram(int program) {
        plugin.dispatch(effSetProgram, 0, program);
        plugin.process(1024);  // past the fade out and back in
    }

    FileInstance plugin;
};

std::vector<unsigned char> bytesOf(std::initializer_list<int> list) {
    std::vector<unsigned char> out;
    for (int b : list) out.push_back(static_cast<unsigned char>(b));
    return out;
}

// --- Layout -------------------------------------------------------------------

TEST_F(Files, PresetFileOpensWithTheChunkHeaderOfThisPlugin) {
    const auto file = plugin.presetFile(0);
    ASSERT_EQ(file.size(), kPresetFileSize);
    const auto expected = bytesOf({0x43, 0x63, 0x6E, 0x4B, 0x00, 0x00, 0x07, 0x2C, 0x46, 0x50, 0x43, 0x68, 0x00, 0x00,
                                   0x00, 0x01, 'z', 'q', '4', 'k', 0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(std::vector<unsigned char>(file.begin(), file.begin() + 28), expected);
    EXPECT_EQ(getBig(file, 56), 1784u);  // chunk size, big-endian
    void* chunk = nullptr;
    ASSERT_EQ(plugin.dispatch(effGetChunk, 1, 0, &chunk), static_cast<VstIntPtr>(kRecordSize));
    EXPECT_EQ(0, std::memcmp(file.data() + kPresetHeader, chunk, kRecordSize));
}

TEST_F(Files, PresetHeaderNameIsTheProgramsNameNulPaddedTo28Bytes) {
    for (const std::string& name : {std::string(), std::string("Pad"), std::string(23, 'n')}) {
        plugin.synth->renameProgram(name.c_str());
        const auto file = plugin.presetFile(0);
        std::string field(reinterpret_cast<const char*>(file.data() + 28), 28);
        EXPECT_EQ(field, name + std::string(28 - name.size(), '\0'));
    }
}

TEST_F(Files, BankFileCarriesTheWholeBlockBehindItsHeader) {
    ASSERT_TRUE(plugin.setChunk(distinctBank(3), false));
    const auto file = plugin.bankFile();
    ASSERT_EQ(file.size(), kBankFileSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 4), "CcnK");
    EXPECT_EQ(getBig(file, 4), 182648u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + 8), 4), "FBCh");
    EXPECT_EQ(getBig(file, 12), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + 16), 4), "zq4k");
    EXPECT_EQ(getBig(file, 20), 1000u);
    EXPECT_EQ(getBig(file, 24), 100u);
    for (size_t i = 28; i < 156; ++i) ASSERT_EQ(file[i], 0) << i;
    EXPECT_EQ(getBig(file, 156), 182496u);
    // The chunk is not converted: it is the host's chunk byte for byte.
    const auto bank = plugin.bank();
    EXPECT_TRUE(std::equal(bank.begin(), bank.end(), file.begin() + kBankHeader));
}

// --- Round trips ----------------------------------------------------------------

TEST_F(Files, PresetRoundTripRestoresNameAndValuesThroughTheFade) {
    selectProgram(3);
    auto preset = plugin.bank();
    preset.resize(kRecordSize);
    std::memset(preset.data(), 0, 24);
    std::memcpy(preset.data(), "Glass Bells 23 chars ok", 23);
    std::vector<float> saved(kParams);
    for (int i = 0; i < kParams; ++i) {
        saved[static_cast<size_t>(i)] = static_cast<float>((i * 37) % 101) / 100.0f;
        setValueAt(preset, 0, i, saved[static_cast<size_t>(i)]);
    }
    ASSERT_TRUE(plugin.setChunk(preset, true));
    plugin.process(64);
    const auto file = plugin.presetFile(3);

    // Something else in its place, applied.
    for (int i = 0; i < kParams; ++i) setValueAt(preset, 0, i, 0.5f);
    std::memcpy(preset.data(), "Other", 6);
    ASSERT_TRUE(plugin.setChunk(preset, true));
    plugin.process(64);
    ASSERT_EQ(plugin.synth->mirror[1], 0.5f);
    const auto others = plugin.bank();

    const StoreState before = state();
    MemoryStream in(file);
    plugin.synth->readPresetFile(in, 3);

    // Stored at once; the editor and the host are told; the change is queued.
    EXPECT_EQ(programName(3), "Glass Bells 23 chars ok");
    for (int i = 0; i < kParams; ++i)
        ASSERT_EQ(plugin.effect->getParameter(plugin.effect, i), saved[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, before.editorDataChanged + 1);
    EXPECT_EQ(plugin.synth->recordingEditor->selectedCount, before.editorSelected + 1);
    EXPECT_EQ(plugin.synth->recordingEditor->lastSelected, 3);
    EXPECT_EQ(FakeHost::instance().updateDisplayCalls, before.displayUpdates + 1);
    EXPECT_EQ(plugin.synth->applyCount, before.applied);

    // The audio thread fades out over 5 ms (221 frames at 44100 Hz), applies
    // the program at silence and fades back in.
    int appliedAt = -1;
    float previous = 1.0f;
    for (int frame = 0; frame < 600 && appliedAt < 0; ++frame) {
        plugin.process(1);
        if (plugin.synth->applyCount != before.applied) {
            appliedAt = frame;
            EXPECT_EQ(plugin.left[0], 0.0f);
        } else {
            ASSERT_LT(plugin.left[0], previous) << frame;  // still fading, old settings in place
            ASSERT_EQ(plugin.synth->mirror[1], 0.5f);
            previous = plugin.left[0];
        }
    }
    EXPECT_GE(appliedAt, 219);
    EXPECT_LE(appliedAt, 221);
    EXPECT_EQ(plugin.synth->applyCount, before.applied + 1);
    for (int i = 0; i < kParams; ++i) ASSERT_EQ(plugin.synth->mirror[static_cast<size_t>(i)], saved[static_cast<size_t>(i)]);
    plugin.process(300);
    EXPECT_EQ(plugin.left[299], 1.0f);

    // No other program moved.
    const auto after = plugin.bank();
    for (size_t p = 0; p < static_cast<size_t>(kPrograms); ++p) {
        if (p == 3) continue;
        ASSERT_EQ(0, std::memcmp(others.data() + p * kRecordSize, after.data() + p * kRecordSize, kRecordSize)) << p;
    }
}

TEST_F(Files, BankRoundTripRestoresEveryProgramByteForByte) {
    selectProgram(42);
    const auto saved = distinctBank(1);
    ASSERT_TRUE(plugin.setChunk(saved, false));
    const auto file = plugin.bankFile();
    ASSERT_TRUE(plugin.setChunk(distinctBank(2), false));
    plugin.process(64);

    const StoreState before = state();
    MemoryStream in(file);
    plugin.synth->readBankFile(in);
    EXPECT_TRUE(plugin.bank() == saved);
    EXPECT_EQ(programName(99), "Sound 694");
    EXPECT_EQ(plugin.dispatch(effGetProgram), 42);
    EXPECT_EQ(plugin.synth->recordingEditor->dataChangedCount, before.editorDataChanged + 1);
    EXPECT_EQ(plugin.synth->recordingEditor->lastSelected, 42);
    EXPECT_EQ(FakeHost::instance().updateDisplayCalls, before.displayUpdates + 1);

    plugin.process(300);
    EXPECT_EQ(plugin.synth->applyCount, before.applied + 1);
    for (int i = 0; i < kParams; ++i)
        ASSERT_EQ(plugin.synth->mirror[static_cast<size_t>(i)], valueAt(saved, 42 * kRecordSize, i)) << i;
    // Writing again gives the very same file.
    EXPECT_TRUE(plugin.bankFile() == file);
}

TEST_F(Files, PresetFileLandsInTheCurrentProgramWhateverProgramSuppliesTheSize) {
    selectProgram(2);
    auto file = plugin.presetFile(2);
    std::memcpy(file.data() + kPresetHeader, "Moved\0", 6);
    const auto before = plugin.bank();
    MemoryStream in(file);
    plugin.synth->readPresetFile(in, 7);
    EXPECT_EQ(programName(2), "Moved");
    EXPECT_EQ(programName(7), "Init 7");
    const auto after = plugin.bank();
    EXPECT_EQ(0, std::memcmp(before.data() + 7 * kRecordSize, after.data() + 7 * kRecordSize, kRecordSize));
}

TEST_F(Files, WritingAnotherProgramTakesNameAndChunkFromThatProgram) {
    ASSERT_TRUE(plugin.setChunk(distinctBank(5), false));
    const auto bank = plugin.bank();
    const auto file = plugin.presetFile(9);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + 28)), "Sound 68");
    EXPECT_EQ(0, std::memcmp(file.data() + kPresetHeader, bank.data() + 9 * kRecordSize, kRecordSize));
}

// --- Refusals ---------------------------------------------------------------------

enum class Reader { Preset, Bank };
enum class Source { PresetFile, BankFile };
enum class Message { PresetRead, PresetIncompatible, BankRead, BankIncompatible };

struct Refusal {
    const char* name;
    Reader reader;
    Source source;
    void (*edit)(std::vector<unsigned char>&);
    Message message;
};

std::ostream& operator<<(std::ostream& out, const Refusal& r) { return out << r.name; }

std::string textOf(Message m) {
    switch (m) {
        case Message::PresetRead:
            return kPresetReadMessage;
        case Message::PresetIncompatible:
            return presetIncompatible();
        case Message::BankRead:
            return kBankReadMessage;
        case Message::BankIncompatible:
            return bankIncompatible();
    }
    return {};
}

void putText(std::vector<unsigned char>& file, size_t offset, const char* four) { std::memcpy(file.data() + offset, four, 4); }

class Refusals : public Files, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, FailWithTheirMessageAndChangeNothing) {
    const Refusal& r = GetParam();
    ASSERT_TRUE(plugin.setChunk(distinctBank(4), false));
    selectProgram(11);
    auto file = r.source == Source::PresetFile ? plugin.presetFile(11) : plugin.bankFile();
    // Make the file differ from the store, so a wrongful load would show.
    if (file.size() > kPresetFileSize) {
        for (size_t p = 0; p < static_cast<size_t>(kPrograms); ++p) setValueAt(file, kBankHeader + p * kRecordSize, 5, 0.0625f);
    } else {
        setValueAt(file, kPresetHeader, 5, 0.0625f);
    }
    r.edit(file);
    // An allocation of exactly the file's size.
    std::vector<unsigned char> exact(file.begin(), file.end());
    MemoryStream in(exact);

    const StoreState before = state();
    try {
        if (r.reader == Reader::Preset)
            plugin.synth->readPresetFile(in, 11);
        else
            plugin.synth->readBankFile(in);
        ADD_FAILURE() << "the file was accepted";
    } catch (const Vst::FileError& e) {
        EXPECT_EQ(std::string(e.what()), textOf(r.message));
    }
    expectUnchanged(before);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

const Refusal kRefusals[] = {
    // Preset files too short to hold 1844 bytes.
    {"PresetEmpty", Reader::Preset, Source::PresetFile, [](auto& f) { f.clear(); }, Message::PresetRead},
    {"PresetHeaderOnly", Reader::Preset, Source::PresetFile, [](auto& f) { f.resize(60); }, Message::PresetRead},
    {"Preset1843Bytes", Reader::Preset, Source::PresetFile, [](auto& f) { f.resize(1843); }, Message::PresetRead},
    // Preset headers that are wrong, in the order they are checked.
    {"PresetChunkMagic", Reader::Preset, Source::PresetFile, [](auto& f) { putText(f, 0, "CcnX"); },
     Message::PresetIncompatible},
    {"PresetByteSize1835", Reader::Preset, Source::PresetFile, [](auto& f) { putBig(f, 4, 1835); },
     Message::PresetIncompatible},
    {"PresetByteSize1837", Reader::Preset, Source::PresetFile, [](auto& f) { putBig(f, 4, 1837); },
     Message::PresetIncompatible},
    {"PresetByteSizeLargestInteger", Reader::Preset, Source::PresetFile, [](auto& f) { putBig(f, 4, 0x7FFFFFFFu); },
     Message::PresetIncompatible},
    {"PresetByteSizeMinusEight", Reader::Preset, Source::PresetFile, [](auto& f) { putBig(f, 4, 0xFFFFFFF8u); },
     Message::PresetIncompatible},
    {"PresetParameterListVariant", Reader::Preset, Source::PresetFile, [](auto& f) { putText(f, 8, "FxCk"); },
     Message::PresetIncompatible},
    {"PresetWithTheBankFormat", Reader::Preset, Source::PresetFile, [](auto& f) { putText(f, 8, "FBCh"); },
     Message::PresetIncompatible},
    {"PresetOfAnotherPlugin", Reader::Preset, Source::PresetFile, [](auto& f) { putText(f, 16, "zq4K"); },
     Message::PresetIncompatible},
    {"PresetChunkSize1783", Reader::Preset, Source::PresetFile, [](auto& f) { putBig(f, 56, 1783); },
     Message::PresetIncompatible},
    {"PresetChunkSize1785", Reader::Preset, Source::PresetFile, [](auto& f) { putBig(f, 56, 1785); },
     Message::PresetIncompatible},
    // Chunks the host chunk would be refused for.
    {"PresetRecordOf180Parameters", Reader::Preset, Source::PresetFile,
     [](auto& f) { putLittle(f, kPresetHeader + kCountOffset, 180); }, Message::PresetIncompatible},
    {"PresetRecordOf182Parameters", Reader::Preset, Source::PresetFile,
     [](auto& f) { putLittle(f, kPresetHeader + kCountOffset, 182); }, Message::PresetIncompatible},
    {"PresetNaNValue", Reader::Preset, Source::PresetFile, [](auto& f) { setValueAt(f, kPresetHeader, 180, kNaN); },
     Message::PresetIncompatible},
    {"PresetInfiniteValue", Reader::Preset, Source::PresetFile,
     [](auto& f) { setValueAt(f, kPresetHeader, 0, -kInf); }, Message::PresetIncompatible},
    {"BankFileReadAsPreset", Reader::Preset, Source::BankFile, [](auto&) {}, Message::PresetIncompatible},
    // Bank files too short.
    {"BankEmpty", Reader::Bank, Source::BankFile, [](auto& f) { f.clear(); }, Message::BankRead},
    {"BankHeaderOnly", Reader::Bank, Source::BankFile, [](auto& f) { f.resize(160); }, Message::BankRead},
    {"BankOneByteShort", Reader::Bank, Source::BankFile, [](auto& f) { f.resize(kBankFileSize - 1); },
     Message::BankRead},
    {"PresetFileReadAsBank", Reader::Bank, Source::PresetFile, [](auto&) {}, Message::BankRead},
    // Bank headers that are wrong.
    {"BankChunkMagic", Reader::Bank, Source::BankFile, [](auto& f) { f[3] = 'k'; }, Message::BankIncompatible},
    {"BankParameterListVariant", Reader::Bank, Source::BankFile, [](auto& f) { putText(f, 8, "FxBk"); },
     Message::BankIncompatible},
    {"BankWithThePresetFormat", Reader::Bank, Source::BankFile, [](auto& f) { putText(f, 8, "FPCh"); },
     Message::BankIncompatible},
    {"BankOfAnotherPlugin", Reader::Bank, Source::BankFile, [](auto& f) { putText(f, 16, "test"); },
     Message::BankIncompatible},
    {"BankChunkSize182495", Reader::Bank, Source::BankFile, [](auto& f) { putBig(f, 156, 182495); },
     Message::BankIncompatible},
    {"BankChunkSize182497", Reader::Bank, Source::BankFile, [](auto& f) { putBig(f, 156, 182497); },
     Message::BankIncompatible},
    // Bank chunks the host chunk would be refused for.
    {"BankRecord57Of182Parameters", Reader::Bank, Source::BankFile,
     [](auto& f) { putLittle(f, kBankHeader + 57 * kRecordSize + kCountOffset, 182); }, Message::BankIncompatible},
    {"BankLastRecordOfNoParameters", Reader::Bank, Source::BankFile,
     [](auto& f) { putLittle(f, kBankHeader + 99 * kRecordSize + kCountOffset, 0); }, Message::BankIncompatible},
    {"BankNaNInTheLastValue", Reader::Bank, Source::BankFile,
     [](auto& f) { setValueAt(f, kBankHeader + 99 * kRecordSize, 180, kNaN); }, Message::BankIncompatible},
    {"BankInfinityInTheFirstValue", Reader::Bank, Source::BankFile,
     [](auto& f) { setValueAt(f, kBankHeader, 0, kInf); }, Message::BankIncompatible},
};

INSTANTIATE_TEST_SUITE_P(Table, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Files, HostChunkAndFileRefuseTheSameRecords) {
    // A preset record claiming another parameter count: refused by both the
    // host chunk and the file, which share one check.
    for (int32_t count : {180, 0, -181}) {
        auto file = plugin.presetFile(0);
        putLittle(file, kPresetHeader + kCountOffset, count);
        const std::vector<unsigned char> record(file.begin() + kPresetHeader, file.end());
        const StoreState before = state();
        EXPECT_FALSE(plugin.setChunk(record, true)) << count;
        MemoryStream in(file);
        EXPECT_THROW(plugin.synth->readPresetFile(in, 0), Vst::FileError) << count;
        expectUnchanged(before);
    }
}

// --- Fields carried but not checked ------------------------------------------------

TEST_F(Files, PresetVersionsCountAndHeaderNameAreNotChecked) {
    auto file = plugin.presetFile(0);
    putBig(file, 12, 2);   // format version
    putBig(file, 20, 7);   // plug-in version
    putBig(file, 24, 55);  // program count
    std::memcpy(file.data() + 28, "Header Name", 12);
    std::memcpy(file.data() + kPresetHeader, "Record Name\0", 12);
    MemoryStream in(file);
    plugin.synth->readPresetFile(in, 0);
    EXPECT_EQ(programName(0), "Record Name");  // the name inside the chunk wins
}

TEST_F(Files, BankByteSizeVersionsAndCountAreNotChecked) {
    const auto saved = distinctBank(6);
    ASSERT_TRUE(plugin.setChunk(saved, false));
    auto file = plugin.bankFile();
    ASSERT_TRUE(plugin.setChunk(distinctBank(7), false));
    putBig(file, 4, 12);
    putBig(file, 12, 3);
    putBig(file, 20, 999);
    putBig(file, 24, 128);
    MemoryStream in(file);
    plugin.synth->readBankFile(in);
    EXPECT_TRUE(plugin.bank() == saved);
}

TEST_F(Files, LoadedValuesObeyTheChunkRulesClampedAndNamesTerminated) {
    auto file = plugin.presetFile(0);
    setValueAt(file, kPresetHeader, 4, 3.0f);
    setValueAt(file, kPresetHeader, 5, -0.5f);
    std::memset(file.data() + kPresetHeader, 'A', 24);  // no terminator inside the name
    MemoryStream in(file);
    plugin.synth->readPresetFile(in, 0);
    EXPECT_EQ(plugin.synth->getProgramValue(0, 4), 1.0f);
    EXPECT_EQ(plugin.synth->getProgramValue(0, 5), 0.0f);
    EXPECT_EQ(programName(0), std::string(23, 'A'));

    auto bank = plugin.bankFile();
    setValueAt(bank, kBankHeader + 60 * kRecordSize, 9, 1e30f);
    std::memset(bank.data() + kBankHeader + 61 * kRecordSize, 'B', 24);
    MemoryStream bankIn(bank);
    plugin.synth->readBankFile(bankIn);
    EXPECT_EQ(plugin.synth->getProgramValue(60, 9), 1.0f);
    EXPECT_EQ(programName(61), std::string(23, 'B'));
}

// --- Streams ----------------------------------------------------------------------------

TEST_F(Files, ReaderTakesExactlyTheFileFromALongerStream) {
    auto file = plugin.presetFile(0);
    file.insert(file.end(), {'t', 'a', 'i', 'l'});
    MemoryStream in(file);
    plugin.synth->readPresetFile(in, 0);
    char rest[8] = {};
    in.read(rest, sizeof rest);
    EXPECT_EQ(std::string(rest, static_cast<size_t>(in.gcount())), "tail");
}

TEST_F(Files, StreamsThatThrowOrHaveFailedAreReadingErrors) {
    auto preset = plugin.presetFile(0);
    preset.resize(1000);
    auto bank = plugin.bankFile();
    bank.resize(5000);
    const StoreState before = state();

    MemoryStream throwingPreset(preset);
    throwingPreset.exceptions(std::ios::failbit | std::ios::badbit | std::ios::eofbit);
    try {
        plugin.synth->readPresetFile(throwingPreset, 0);
        ADD_FAILURE();
    } catch (const Vst::FileError& e) {
        EXPECT_STREQ(e.what(), kPresetReadMessage);
    }
    MemoryStream throwingBank(bank);
    throwingBank.exceptions(std::ios::failbit | std::ios::badbit);
    try {
        plugin.synth->readBankFile(throwingBank);
        ADD_FAILURE();
    } catch (const Vst::FileError& e) {
        EXPECT_STREQ(e.what(), kBankReadMessage);
    }

    const auto whole = plugin.presetFile(0);
    MemoryStream failed(whole);
    failed.setstate(std::ios::badbit);
    EXPECT_THROW(plugin.synth->readPresetFile(failed, 0), Vst::FileError);
    expectUnchanged(before);
}

TEST_F(Files, ProgramNumbersOutsideTheBankReadAndWriteNothing) {
    const StoreState before = state();
    for (VstInt32 program : {-1, 100}) {
        std::ostringstream out;
        try {
            plugin.synth->writePresetFile(out, program);
            ADD_FAILURE();
        } catch (const Vst::FileError& e) {
            EXPECT_STREQ(e.what(), kPresetWriteMessage);
        }
        EXPECT_TRUE(out.str().empty());
        const auto file = plugin.presetFile(0);
        MemoryStream in(file);
        try {
            plugin.synth->readPresetFile(in, program);
            ADD_FAILURE();
        } catch (const Vst::FileError& e) {
            EXPECT_STREQ(e.what(), kPresetReadMessage);
        }
    }
    expectUnchanged(before);
}

struct WriteCase {
    bool bank;
    size_t room;
};

std::ostream& operator<<(std::ostream& out, const WriteCase& c) {
    return out << (c.bank ? "bank" : "preset") << " with room for " << c.room << " bytes";
}

class FailingWrites : public Files, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(FailingWrites, AStreamWithoutRoomGivesTheWritingMessage) {
    const WriteCase c = GetParam();
    LimitedBuffer buffer(c.room);
    std::ostream out(&buffer);
    const size_t size = c.bank ? kBankFileSize : kPresetFileSize;
    try {
        if (c.bank)
            plugin.synth->writeBankFile(out);
        else
            plugin.synth->writePresetFile(out, 0);
        EXPECT_GE(c.room, size) << "a failing stream was reported as written";
    } catch (const Vst::FileError& e) {
        EXPECT_LT(c.room, size);
        EXPECT_STREQ(e.what(), c.bank ? kBankWriteMessage : kPresetWriteMessage);
    }
    EXPECT_EQ(buffer.taken, std::min(c.room, size));
}

INSTANTIATE_TEST_SUITE_P(Rooms, FailingWrites,
                         ::testing::Values(WriteCase{false, 0}, WriteCase{false, 28}, WriteCase{false, 1843},
                                           WriteCase{false, 1844}, WriteCase{true, 0}, WriteCase{true, 160},
                                           WriteCase{true, kBankFileSize - 1}, WriteCase{true, kBankFileSize}));

TEST_F(Files, StreamsThatThrowOrHaveFailedAreWritingErrors) {
    LimitedBuffer buffer(100);
    std::ostream throwing(&buffer);
    throwing.exceptions(std::ios::badbit);
    try {
        plugin.synth->writeBankFile(throwing);
        ADD_FAILURE();
    } catch (const Vst::FileError& e) {
        EXPECT_STREQ(e.what(), kBankWriteMessage);
    }
    std::ostringstream failed;
    failed.setstate(std::ios::failbit);
    try {
        plugin.synth->writePresetFile(failed, 0);
        ADD_FAILURE();
    } catch (const Vst::FileError& e) {
        EXPECT_STREQ(e.what(), kPresetWriteMessage);
    }
}

}  // namespace
