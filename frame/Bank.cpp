// The bank block: records back to back, then the reserved tail. Header bytes
// are copied as bytes, values as whole floats (the audio thread stores
// parameter changes into the current program while other threads copy).
#include <atomic>
#include <cstring>

#include "frame/Plugin.h"

namespace Vst {

Plugin::Bank::Bank(int programs, int parameters)
    : programCount(programs),
      parameterCount(parameters),
      valuesOffset(ProgramRecord::kValuesOffset),
      valuesLength(4 * parameters),
      recordSize(ProgramRecord::sizeFor(parameters)),
      storage(new unsigned char[static_cast<size_t>(programs) * ProgramRecord::sizeFor(parameters) +
                                kReservedBytes]()) {
    for (int p = 0; p < programCount; ++p) program(p).initialise(1, parameterCount);
}

ProgramRecord Plugin::Bank::program(int index) const {
    return ProgramRecord(storage.get() + static_cast<size_t>(index) * recordSize);
}

void Plugin::Bank::set(const void* bytes) {
    const auto* source = static_cast<const unsigned char*>(bytes);
    for (int p = 0; p < programCount; ++p) {
        const size_t offset = static_cast<size_t>(p) * recordSize;
        std::memcpy(storage.get() + offset, source + offset, valuesOffset);
        ProgramRecord record = program(p);
        for (int i = 0; i < parameterCount; ++i) {
            float v;
            std::memcpy(&v, source + offset + valuesOffset + 4 * static_cast<size_t>(i), sizeof v);
            record.setValue(i, v);
        }
    }
    const size_t tail = static_cast<size_t>(programCount) * recordSize;
    std::memcpy(storage.get() + tail, source + tail, kReservedBytes);
}

void Plugin::Bank::copyTo(void* out) const {
    auto* target = static_cast<unsigned char*>(out);
    for (int p = 0; p < programCount; ++p) {
        const size_t offset = static_cast<size_t>(p) * recordSize;
        std::memcpy(target + offset, storage.get() + offset, valuesOffset);
        const ProgramRecord record = program(p);
        for (int i = 0; i < parameterCount; ++i) {
            const float v = record.value(i);
            std::memcpy(target + offset + valuesOffset + 4 * static_cast<size_t>(i), &v, sizeof v);
        }
    }
    const size_t tail = static_cast<size_t>(programCount) * recordSize;
    std::memcpy(target + tail, storage.get() + tail, kReservedBytes);
}

}  // namespace Vst
