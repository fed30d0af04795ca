// Seeded mutation of valid preset and bank files: headers, sizes, record
// fields and values bent, bytes flipped, files cut short or lengthened. Every
// input must be accepted into a sane store or refused with one of its reader's
// messages, and a refused file must leave the store byte-identical.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/frame/FilesTestSupport.h"

using namespace FilesTest;

namespace {

class Mutator {
public:
    explicit Mutator(uint32_t seed) : random(seed) {}

    // Bends `file` (a valid file whose header is headerBytes long, followed
    // by records of kRecordSize bytes) in one to four places.
    void mutate(std::vector<unsigned char>& file, size_t headerBytes) {
        const int edits = 1 + pick(4);
        for (int e = 0; e < edits && !file.empty(); ++e) {
            switch (pick(9)) {
                case 0:  // a header byte
                    file[pick(headerBytes)] = static_cast<unsigned char>(pick(256));
                    break;
                case 1:  // a header integer (or the chunk size) to a telling value
                case 2:
                    putBig(file, 4 * pick(headerBytes / 4), telling(file.size(), headerBytes));
                    break;
                case 3:  // cut short, mostly near the end
                    file.resize(pick(2) == 0 ? pick(file.size()) : file.size() - 1 - pick(std::min<size_t>(file.size(), 64)));
                    break;
                case 4:  // lengthened
                    file.resize(file.size() + 1 + pick(16), static_cast<unsigned char>(pick(256)));
                    break;
                case 5:  // a record's parameter count
                    if (auto at = recordField(file, headerBytes, kCountOffset); at) putLittle(file, *at, countValue());
                    break;
                case 6:  // a record's name without its terminator
                    if (auto at = recordField(file, headerBytes, 0); at)
                        std::memset(file.data() + *at, 'a' + pick(26), 24);
                    break;
                case 7:  // a value that is not finite, out of range or any bits at all
                    if (auto at = recordField(file, headerBytes, kValuesOffset + 4 * pick(kParams)); at) {
                        const float v = strangeValue();
                        std::memcpy(file.data() + *at, &v, 4);
                    }
                    break;
                default:  // any byte
                    file[pick(file.size())] ^= static_cast<unsigned char>(1 + pick(255));
                    break;
            }
        }
    }

private:
    size_t pick(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random); }

    std::optional<size_t> recordField(const std::vector<unsigned char>& file, size_t headerBytes, size_t offset) {
        const size_t records = headerBytes == kBankHeader ? kPrograms : 1;
        const size_t at = headerBytes + pick(records) * kRecordSize + offset;
        if (at + 4 > file.size()) return std::nullopt;
        return at;
    }

    uint32_t telling(size_t size, size_t headerBytes) {
        const uint32_t values[] = {0,
                                   1,
                                   0xFFFFFFFFu,
                                   0x7FFFFFFFu,
                                   0x80000000u,
                                   static_cast<uint32_t>(size - 8),
                                   static_cast<uint32_t>(size - 9),
                                   static_cast<uint32_t>(size - 7),
                                   static_cast<uint32_t>(kRecordSize),
                                   static_cast<uint32_t>(kRecordSize - 1),
                                   static_cast<uint32_t>(kBankSize),
                                   static_cast<uint32_t>(kBankSize + 1),
                                   0x43636E4Bu,  // CcnK
                                   0x46504368u,  // FPCh
                                   0x46424368u,  // FBCh
                                   0x4678436Bu,  // FxCk
                                   0x46784226u,  // FxBk
                                   0x7A71346Bu,  // zq4k
                                   static_cast<uint32_t>(headerBytes),
                                   static_cast<uint32_t>(random())};
        return values[pick(std::size(values))];
    }

    int32_t countValue() {
        const int32_t values[] = {0, 1, 180, 182, -1, 181 * 2, std::numeric_limits<int32_t>::max(),
                                  std::numeric_limits<int32_t>::min(), static_cast<int32_t>(random())};
        return values[pick(std::size(values))];
    }

    float strangeValue() {
        const float values[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(), -0.0f, 1.5f, -1.0f,
                                std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max()};
        if (pick(4) == 0) {
            const uint32_t bits = static_cast<uint32_t>(random());
            float v;
            std::memcpy(&v, &bits, 4);
            return v;
        }
        return values[pick(std::size(values))];
    }

    std::mt19937 random;
};

// What an accepted file may leave in a record: the name terminated inside
// its 24 bytes, 181 parameters, only finite values within 0..1.
bool saneRecord(const unsigned char* record) {
    int32_t count;
    std::memcpy(&count, record + kCountOffset, 4);
    if (record[23] != 0 || count != kParams) return false;
    for (int i = 0; i < kParams; ++i) {
        float v;
        std::memcpy(&v, record + kValuesOffset + 4 * static_cast<size_t>(i), 4);
        if (!(v >= 0.0f && v <= 1.0f)) return false;
    }
    return true;
}

struct Tally {
    int accepted = 0;
    int reading = 0;
    int incompatible = 0;
};

// Feeds `inputs` mutations of `valid` to one reader; counts what happened.
Tally run(FileInstance& plugin, bool bank, const std::vector<unsigned char>& valid, int inputs, uint32_t seed) {
    Mutator mutator(seed);
    Tally tally;
    const std::string readMessage = bank ? kBankReadMessage : kPresetReadMessage;
    const std::string incompatibleMessage = bank ? bankIncompatible() : presetIncompatible();
    const unsigned char* store = plugin.synth->getBank().data();
    std::vector<unsigned char> snapshot(store, store + kBankSize);

    for (int n = 0; n < inputs; ++n) {
        std::vector<unsigned char> file(valid);
        mutator.mutate(file, bank ? kBankHeader : kPresetHeader);
        // Held in exactly the file's size, so a read beyond it is seen under
        // AddressSanitizer.
        if (file.capacity() != file.size()) file = std::vector<unsigned char>(file.begin(), file.end());
        MemoryStream in(file);
        const int queued = plugin.synth->controlQueueRef().size();
        try {
            if (bank)
                plugin.synth->readBankFile(in);
            else
                plugin.synth->readPresetFile(in, plugin.synth->getProgram());
        } catch (const Vst::FileError& e) {
            const std::string text = e.what();
            if (text == readMessage) {
                ++tally.reading;
            } else if (text == incompatibleMessage) {
                ++tally.incompatible;
            } else {
                ADD_FAILURE() << "input " << n << ": unexpected message " << text;
                return tally;
            }
            if (std::memcmp(store, snapshot.data(), kBankSize) != 0 ||
                plugin.synth->controlQueueRef().size() != queued) {
                ADD_FAILURE() << "input " << n << " was refused but changed the store";
                return tally;
            }
            continue;
        }
        ++tally.accepted;
        if (bank) {
            for (size_t p = 0; p < static_cast<size_t>(kPrograms); ++p) {
                if (!saneRecord(store + p * kRecordSize)) {
                    ADD_FAILURE() << "input " << n << " left program " << p << " insane";
                    return tally;
                }
            }
            plugin.process(8);  // the audio thread takes the queued program change
            snapshot.assign(store, store + kBankSize);
        } else {
            // Only the current program may have moved.
            const size_t current = static_cast<size_t>(plugin.synth->getProgram()) * kRecordSize;
            if (!saneRecord(store + current) || std::memcmp(store, snapshot.data(), current) != 0 ||
                std::memcmp(store + current + kRecordSize, snapshot.data() + current + kRecordSize,
                            kBankSize - current - kRecordSize) != 0) {
                ADD_FAILURE() << "input " << n << " left the store insane or moved another program";
                return tally;
            }
            plugin.process(8);
            std::memcpy(snapshot.data() + current, store + current, kRecordSize);
        }
    }
    return tally;
}

TEST(FileMutation, EveryMutatedPresetIsLoadedSanelyOrRefusedWithoutATrace) {
    FileInstance plugin;
    plugin.dispatch(effSetProgram, 0, 37);
    plugin.process(1024);
    const auto valid = plugin.presetFile(37);
    const Tally tally = run(plugin, false, valid, 100000, 20261208);
    // The mutations reach every outcome, so the checks above were exercised.
    EXPECT_GT(tally.accepted, 1000);
    EXPECT_GT(tally.reading, 1000);
    EXPECT_GT(tally.incompatible, 10000);
    EXPECT_EQ(tally.accepted + tally.reading + tally.incompatible, 100000);
}

TEST(FileMutation, EveryMutatedBankIsLoadedSanelyOrRefusedWithoutATrace) {
    FileInstance plugin;
    const auto valid = plugin.bankFile();
    const Tally tally = run(plugin, true, valid, 3000, 77);
    EXPECT_GT(tally.accepted, 100);
    EXPECT_GT(tally.reading, 100);
    EXPECT_GT(tally.incompatible, 500);
    EXPECT_EQ(tally.accepted + tally.reading + tally.incompatible, 3000);
}

}  // namespace
