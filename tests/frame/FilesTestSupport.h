// Test doubles for the preset and bank file suites and their fuzzer: the
// recording test synth under the instrument's real identity, streams over
// fixed memory (reading) and with limited room (writing), and the file
// layout's offsets and field helpers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "tests/frame/FrameTestSupport.h"

namespace FilesTest {

constexpr int kParams = 181;
constexpr int kPrograms = 100;
constexpr size_t kRecordSize = 1784;
constexpr size_t kBankSize = 182496;
constexpr size_t kPresetFileSize = 1844;
constexpr size_t kBankFileSize = 182656;
constexpr size_t kPresetHeader = 60;
constexpr size_t kBankHeader = 160;
constexpr size_t kValuesOffset = 1060;
constexpr size_t kCountOffset = 32;
constexpr const char* kProduct = "Morvelith VST Instrument";

// The frame's recording synth with the identity the files carry: `zq4k`,
// vendor version 1000, 181 parameters, 100 programs.
class FileSynth : public FrameTest::TestSynth {
public:
    explicit FileSynth(audioMasterCallback host = FrameTest::FakeHost::callback) : TestSynth(host) {
        setUniqueID(vstFourCC('z', 'q', '4', 'k'));
        setProductString(kProduct);
    }
    const char* getProductName() override { return kProduct; }
};

// Opens the synth and runs it at 44100 Hz, as a host would.
class FileInstance {
public:
    FileInstance() : synth(new FileSynth), effect(synth->getAeffect()) {
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, 4096);
        dispatch(effMainsChanged, 0, 1);
        left.assign(4096, 0.0f);
        right.assign(4096, 0.0f);
        process(64);
    }
    ~FileInstance() { dispatch(effClose); }
    FileInstance(const FileInstance&) = delete;
    FileInstance& operator=(const FileInstance&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void process(int frames) {
        float* outs[2] = {left.data(), right.data()};
        effect->processReplacing(effect, nullptr, outs, frames);
    }
    // The whole store as the host would save it.
    std::vector<unsigned char> bank() {
        void* data = nullptr;
        const auto size = dispatch(effGetChunk, 0, 0, &data);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return {bytes, bytes + size};
    }
    // Stores a chunk as the host would (true when accepted).
    bool setChunk(std::vector<unsigned char> bytes, bool preset) {
        return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data()) == 1;
    }
    std::vector<unsigned char> presetFile(VstInt32 program) {
        std::ostringstream out;
        synth->writePresetFile(out, program);
        const std::string s = out.str();
        return {s.begin(), s.end()};
    }
    std::vector<unsigned char> bankFile() {
        std::ostringstream out;
        synth->writeBankFile(out);
        const std::string s = out.str();
        return {s.begin(), s.end()};
    }

    FileSynth* synth;
    AEffect* effect;
    std::vector<float> left;
    std::vector<float> right;
};

// Reads from the given bytes and nothing else: a reader that asks for more
// gets end of file, and the bytes themselves can sit in an allocation of
// exactly their size, so AddressSanitizer sees any read beyond them.
class MemoryBuffer : public std::streambuf {
public:
    MemoryBuffer(const unsigned char* bytes, size_t size) {
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes));
        setg(begin, begin, begin + size);
    }
};

class MemoryStream : public std::istream {
public:
    MemoryStream(const unsigned char* bytes, size_t size) : std::istream(nullptr), buffer(bytes, size) {
        rdbuf(&buffer);
    }
    explicit MemoryStream(const std::vector<unsigned char>& bytes) : MemoryStream(bytes.data(), bytes.size()) {}

private:
    MemoryBuffer buffer;
};

// Takes `room` bytes and then refuses everything, like a full disk.
class LimitedBuffer : public std::streambuf {
public:
    explicit LimitedBuffer(size_t room) : room(room) {}
    size_t taken = 0;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (taken >= room) return traits_type::eof();
        ++taken;
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        const auto accepted = static_cast<std::streamsize>(std::min<size_t>(static_cast<size_t>(n), room - taken));
        taken += static_cast<size_t>(accepted);
        return accepted;
    }

private:
    size_t room;
};

inline void putBig(std::vector<unsigned char>& file, size_t offset, uint32_t v) {
    file[offset] = static_cast<unsigned char>(v >> 24);
    file[offset + 1] = static_cast<unsigned char>(v >> 16);
    file[offset + 2] = static_cast<unsigned char>(v >> 8);
    file[offset + 3] = static_cast<unsigned char>(v);
}

inline uint32_t getBig(const std::vector<unsigned char>& file, size_t offset) {
    return (uint32_t{file[offset]} << 24) | (uint32_t{file[offset + 1]} << 16) | (uint32_t{file[offset + 2]} << 8) |
           uint32_t{file[offset + 3]};
}

// Little-endian, as inside the chunk.
inline void putLittle(std::vector<unsigned char>& bytes, size_t offset, int32_t v) {
    std::memcpy(bytes.data() + offset, &v, 4);
}

inline float valueAt(const std::vector<unsigned char>& bytes, size_t recordStart, int index) {
    float v;
    std::memcpy(&v, bytes.data() + recordStart + kValuesOffset + 4 * static_cast<size_t>(index), 4);
    return v;
}

inline void setValueAt(std::vector<unsigned char>& bytes, size_t recordStart, int index, float v) {
    std::memcpy(bytes.data() + recordStart + kValuesOffset + 4 * static_cast<size_t>(index), &v, 4);
}

inline std::string presetIncompatible() {
    return std::string("The selected VST preset file contains errors or is incompatible with this version of ") +
           kProduct + ". All parameters remain unchanged.";
}

inline std::string bankIncompatible() {
    return std::string("The selected VST bank file contains errors or is incompatible with this version of ") +
           kProduct + ". All parameters remain unchanged.";
}

constexpr const char* kPresetReadMessage = "An error occurred while reading the preset file.";
constexpr const char* kBankReadMessage = "An error occurred while reading the bank file.";
constexpr const char* kPresetWriteMessage = "An error occurred while writing the preset file.";
constexpr const char* kBankWriteMessage = "An error occurred while writing the bank file.";

}  // namespace FilesTest
