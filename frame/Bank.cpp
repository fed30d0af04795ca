// The bank block: records back to back, then the reserved tail. Header bytes
// are copied as bytes, values as whole floats (the audio thread stores
// parameter changes into the current program while other threads copy).
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
    for (int p = 0; p < programCount; ++p)
        program(p).readFrom(source + static_cast<size_t>(p) * recordSize, parameterCount);
    const size_t tail = static_cast<size_t>(programCount) * recordSize;
    std::memcpy(storage.get() + tail, source + tail, kReservedBytes);
}

void Plugin::Bank::copyTo(void* out) const {
    auto* target = static_cast<unsigned char*>(out);
    for (int p = 0; p < programCount; ++p)
        program(p).writeTo(target + static_cast<size_t>(p) * recordSize, parameterCount);
    const size_t tail = static_cast<size_t>(programCount) * recordSize;
    std::memcpy(target + tail, storage.get() + tail, kReservedBytes);
}

}  // namespace Vst
