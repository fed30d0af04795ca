// libFuzzer entry for the preset and bank file readers. The first byte picks
// the reader and whether the rest is the whole file or a list of edits laid
// over a valid file (a bank file is far longer than the fuzzer's inputs).
// Any input must load into a sane store or be refused with one of the
// reader's messages, leaving the store byte-identical.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/frame/FilesTestSupport.h"

using namespace FilesTest;

namespace {

struct Fixture {
    Fixture() {
        FrameTest::FakeHost::instance().reset();
        validPreset = plugin.presetFile(0);
        validBank = plugin.bankFile();
    }
    FileInstance plugin;
    std::vector<unsigned char> validPreset;
    std::vector<unsigned char> validBank;
};

Fixture& fixture() {
    static Fixture* f = new Fixture;  // lives to the end: the fuzzer exits without unwinding
    return *f;
}

// Edits of four bytes each: a 24-bit offset (wrapped into the file) and a
// byte to store; an offset of 0xFFFFFF cuts the file at the value's multiple.
void applyEdits(std::vector<unsigned char>& file, const uint8_t* edits, size_t size) {
    for (size_t i = 0; i + 4 <= size && !file.empty(); i += 4) {
        const uint32_t offset = (uint32_t{edits[i]} << 16) | (uint32_t{edits[i + 1]} << 8) | edits[i + 2];
        if (offset == 0xFFFFFFu) {
            file.resize(file.size() * edits[i + 3] / 256);
        } else {
            file[offset % file.size()] = edits[i + 3];
        }
    }
}

bool sane(const unsigned char* bank) {
    for (size_t p = 0; p < static_cast<size_t>(kPrograms); ++p) {
        const unsigned char* record = bank + p * kRecordSize;
        int32_t count;
        std::memcpy(&count, record + kCountOffset, 4);
        if (record[23] != 0 || count != kParams) return false;
        for (int i = 0; i < kParams; ++i) {
            float v;
            std::memcpy(&v, record + kValuesOffset + 4 * static_cast<size_t>(i), 4);
            if (!(v >= 0.0f && v <= 1.0f)) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Fixture& f = fixture();
    const bool bank = (data[0] & 1) != 0;
    const bool edited = (data[0] & 2) != 0;
    std::vector<unsigned char> file;
    if (edited) {
        file = bank ? f.validBank : f.validPreset;
        applyEdits(file, data + 1, size - 1);
    } else {
        file.assign(data + 1, data + size);
    }
    const std::vector<unsigned char> exact(file.begin(), file.end());
    MemoryStream in(exact);

    const unsigned char* store = f.plugin.synth->getBank().data();
    const std::vector<unsigned char> before(store, store + kBankSize);
    try {
        if (bank)
            f.plugin.synth->readBankFile(in);
        else
            f.plugin.synth->readPresetFile(in, f.plugin.synth->getProgram());
    } catch (const Vst::FileError& e) {
        const std::string text = e.what();
        const bool known = bank ? (text == kBankReadMessage || text == bankIncompatible())
                                : (text == kPresetReadMessage || text == presetIncompatible());
        if (!known) std::abort();
        if (std::memcmp(store, before.data(), kBankSize) != 0) std::abort();
        return 0;
    }
    if (!sane(store)) std::abort();
    f.plugin.process(8);  // take the queued program change
    return 0;
}
