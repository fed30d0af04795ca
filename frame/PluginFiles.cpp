// Preset (.fxp) and bank (.fxb) files in the opaque-chunk variant of the VST
// format: a big-endian header, then the chunk bytes exactly as the host gets
// them. The readers stage the whole file, check its header and then its chunk
// with the same checks a host chunk passes, and only then store, so a refused
// file leaves the store as it was. All four run on the editor's thread.
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "frame/Plugin.h"

namespace Vst {

namespace {

// Header fields common to both files.
constexpr size_t kChunkMagicOffset = 0;
constexpr size_t kByteSizeOffset = 4;
constexpr size_t kFormatMagicOffset = 8;
constexpr size_t kFormatVersionOffset = 12;
constexpr size_t kPluginIdOffset = 16;
constexpr size_t kPluginVersionOffset = 20;
constexpr size_t kProgramCountOffset = 24;
// The size field counts everything after itself.
constexpr size_t kByteSizeExcluded = 8;

constexpr size_t kPresetNameOffset = 28;
constexpr size_t kPresetChunkSizeOffset = 56;
constexpr size_t kPresetHeaderBytes = 60;
constexpr size_t kBankChunkSizeOffset = 156;
constexpr size_t kBankHeaderBytes = 160;

constexpr int32_t kFormatVersion = 1;

constexpr int32_t fourCharacters(const char (&text)[5]) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(text[3])));
}

constexpr int32_t kChunkMagic = fourCharacters("CcnK");
constexpr int32_t kPresetChunkFormat = fourCharacters("FPCh");
constexpr int32_t kBankChunkFormat = fourCharacters("FBCh");

constexpr const char* kPresetWriteFailed = "An error occurred while writing the preset file.";
constexpr const char* kPresetReadFailed = "An error occurred while reading the preset file.";
constexpr const char* kBankWriteFailed = "An error occurred while writing the bank file.";
constexpr const char* kBankReadFailed = "An error occurred while reading the bank file.";

void putBigEndian(std::vector<unsigned char>& file, size_t offset, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    file[offset] = static_cast<unsigned char>(bits >> 24);
    file[offset + 1] = static_cast<unsigned char>(bits >> 16);
    file[offset + 2] = static_cast<unsigned char>(bits >> 8);
    file[offset + 3] = static_cast<unsigned char>(bits);
}

int32_t getBigEndian(const std::vector<unsigned char>& file, size_t offset) {
    return static_cast<int32_t>((static_cast<uint32_t>(file[offset]) << 24) |
                                (static_cast<uint32_t>(file[offset + 1]) << 16) |
                                (static_cast<uint32_t>(file[offset + 2]) << 8) |
                                static_cast<uint32_t>(file[offset + 3]));
}

void putCommonHeader(std::vector<unsigned char>& file, int32_t format, int32_t pluginId, int32_t pluginVersion,
                     int32_t programCount) {
    putBigEndian(file, kChunkMagicOffset, kChunkMagic);
    putBigEndian(file, kByteSizeOffset, static_cast<int32_t>(file.size() - kByteSizeExcluded));
    putBigEndian(file, kFormatMagicOffset, format);
    putBigEndian(file, kFormatVersionOffset, kFormatVersion);
    putBigEndian(file, kPluginIdOffset, pluginId);
    putBigEndian(file, kPluginVersionOffset, pluginVersion);
    putBigEndian(file, kProgramCountOffset, programCount);
}

// A stream may report trouble through its state or, when asked to, by
// throwing; both count as the stream's failure.
void writeAll(std::ostream& out, const std::vector<unsigned char>& file, const char* failure) {
    try {
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        out.flush();
    } catch (...) {
        throw FileError(failure);
    }
    if (!out) throw FileError(failure);
}

// Fills the whole of file or fails: a short file never leaves bytes that
// were not read to be taken for data.
void readAll(std::istream& in, std::vector<unsigned char>& file, const char* failure) {
    bool complete = false;
    try {
        in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
        complete = in && static_cast<size_t>(in.gcount()) == file.size();
    } catch (...) {
        complete = false;
    }
    if (!complete) throw FileError(failure);
}

FileError incompatibleFile(const char* kind, const char* product) {
    return FileError(std::string("The selected VST ") + kind +
                     " file contains errors or is incompatible with this version of " +
                     (product != nullptr ? product : "") + ". All parameters remain unchanged.");
}

}  // namespace

void Plugin::writePresetFile(std::ostream& out, VstInt32 program) {
    if (program < 0 || program >= numPrograms) throw FileError(kPresetWriteFailed);
    const auto recordSize = static_cast<size_t>(bank->recordSize);
    std::vector<unsigned char> file(kPresetHeaderBytes + recordSize, 0);
    putCommonHeader(file, kPresetChunkFormat, cEffect.uniqueID, vendorVersion, 1);
    putBigEndian(file, kPresetChunkSizeOffset, bank->recordSize);
    {
        // Header name and chunk come from the same program, taken whole while
        // no other thread renames or reloads it.
        ScopedLock hold(lock);
        const ProgramRecord record = bank->program(program);
        std::memcpy(file.data() + kPresetNameOffset, record.name(),
                    strnlen(record.name(), ProgramRecord::kMaxNameLength));
        record.writeTo(file.data() + kPresetHeaderBytes, numParams);
    }
    writeAll(out, file, kPresetWriteFailed);
}

void Plugin::readPresetFile(std::istream& in, VstInt32 program) {
    if (program < 0 || program >= numPrograms) throw FileError(kPresetReadFailed);
    const int recordSize = bank->program(program).size();
    std::vector<unsigned char> file(kPresetHeaderBytes + static_cast<size_t>(recordSize));
    readAll(in, file, kPresetReadFailed);

    // Format version, plug-in version, program count and the header's name
    // are not looked at: the name comes from the record inside the chunk.
    const bool headerFits =
        getBigEndian(file, kChunkMagicOffset) == kChunkMagic &&
        static_cast<int64_t>(getBigEndian(file, kByteSizeOffset)) + static_cast<int64_t>(kByteSizeExcluded) ==
            static_cast<int64_t>(file.size()) &&
        getBigEndian(file, kFormatMagicOffset) == kPresetChunkFormat &&
        getBigEndian(file, kPluginIdOffset) == cEffect.uniqueID &&
        getBigEndian(file, kPresetChunkSizeOffset) == recordSize;
    if (!headerFits || !acceptChunk(file.data() + kPresetHeaderBytes, 1))
        throw incompatibleFile("preset", getProductName());

    storeChunk(file.data() + kPresetHeaderBytes, true);
    setProgram(getProgram());
    notifyProgramDataChanged();
    updateDisplay();
}

void Plugin::writeBankFile(std::ostream& out) {
    const auto bankSize = static_cast<size_t>(bank->size());
    std::vector<unsigned char> file(kBankHeaderBytes + bankSize, 0);
    putCommonHeader(file, kBankChunkFormat, cEffect.uniqueID, vendorVersion, numPrograms);
    putBigEndian(file, kBankChunkSizeOffset, bank->size());
    {
        ScopedLock hold(lock);
        bank->copyTo(file.data() + kBankHeaderBytes);
    }
    writeAll(out, file, kBankWriteFailed);
}

void Plugin::readBankFile(std::istream& in) {
    std::vector<unsigned char> file(kBankHeaderBytes + static_cast<size_t>(bank->size()));
    readAll(in, file, kBankReadFailed);

    // The byte size, versions and program count are not looked at.
    const bool headerFits = getBigEndian(file, kChunkMagicOffset) == kChunkMagic &&
                            getBigEndian(file, kFormatMagicOffset) == kBankChunkFormat &&
                            getBigEndian(file, kPluginIdOffset) == cEffect.uniqueID &&
                            getBigEndian(file, kBankChunkSizeOffset) == bank->size();
    if (!headerFits || !acceptChunk(file.data() + kBankHeaderBytes, numPrograms))
        throw incompatibleFile("bank", getProductName());

    storeChunk(file.data() + kBankHeaderBytes, false);
    setProgram(getProgram());
    notifyProgramDataChanged();
    updateDisplay();
}

}  // namespace Vst
