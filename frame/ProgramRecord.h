// One program as stored: a 24-byte name, reserved bytes, version, parameter
// count, 1024 reserved bytes and one normalized float per parameter, all
// little-endian; the same bytes travel in the host chunk and in preset and
// bank files. This class is a view onto such bytes, owned elsewhere.
// Values are read and written whole (atomically), because the audio thread
// stores parameter changes while other threads read the bank.
#pragma once

#include <cstdint>

namespace Vst {

class ProgramRecord {
public:
    static constexpr int kNameBytes = 24;
    static constexpr int kMaxNameLength = kNameBytes - 1;
    static constexpr int kVersionOffset = 28;
    static constexpr int kParameterCountOffset = 32;
    static constexpr int kValuesOffset = 1060;

    static constexpr int sizeFor(int parameterCount) { return kValuesOffset + 4 * parameterCount; }

    // bytes must be 4-byte aligned and hold at least the header.
    explicit ProgramRecord(unsigned char* bytes = nullptr) : data(bytes) {}

    unsigned char* bytes() const { return data; }
    // Computed from the record's own parameter-count field.
    int size() const { return sizeFor(parameterCount()); }

    const char* name() const { return reinterpret_cast<const char*>(data); }
    // Stores at most 23 characters; the rest of the 24 bytes become NUL.
    void setName(const char* text);

    int32_t version() const;
    void setVersion(int32_t version);
    int32_t parameterCount() const;
    void setParameterCount(int32_t count);

    float value(int index) const;
    void setValue(int index, float value);

    // Name cleared and copied (at most 23 characters), then as many values as
    // this record's parameter count; version, count and reserved bytes stay.
    void assignFrom(const ProgramRecord& other);

    // The header bytes as they are and `count` values read whole: how a record
    // leaves for a chunk while the audio thread may store into it.
    void writeTo(unsigned char* target, int count) const;
    // The header bytes replaced and `count` values stored whole from a chunk.
    void readFrom(const unsigned char* source, int count);

    // Empty name, zero reserved bytes, the given version and count, values 0.
    void initialise(int32_t version, int32_t parameterCount);

private:
    unsigned char* data;
};

}  // namespace Vst
