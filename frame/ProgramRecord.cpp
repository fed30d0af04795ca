// Field access of a stored program: header fields by byte copy, values as
// whole 32-bit floats.
#include "frame/ProgramRecord.h"

#include <atomic>
#include <cstring>

namespace Vst {

namespace {

float* valueAddress(unsigned char* data, int index) {
    return reinterpret_cast<float*>(data + ProgramRecord::kValuesOffset) + index;
}

int32_t readInt(const unsigned char* at) {
    int32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void writeInt(unsigned char* at, int32_t v) { std::memcpy(at, &v, sizeof v); }

}  // namespace

void ProgramRecord::setName(const char* text) {
    std::memset(data, 0, kNameBytes);
    if (text == nullptr) return;
    std::memcpy(data, text, strnlen(text, kMaxNameLength));
}

int32_t ProgramRecord::version() const { return readInt(data + kVersionOffset); }

void ProgramRecord::setVersion(int32_t v) { writeInt(data + kVersionOffset, v); }

int32_t ProgramRecord::parameterCount() const { return readInt(data + kParameterCountOffset); }

void ProgramRecord::setParameterCount(int32_t count) { writeInt(data + kParameterCountOffset, count); }

float ProgramRecord::value(int index) const {
    return std::atomic_ref<float>(*valueAddress(data, index)).load(std::memory_order_relaxed);
}

void ProgramRecord::setValue(int index, float v) {
    std::atomic_ref<float>(*valueAddress(data, index)).store(v, std::memory_order_relaxed);
}

void ProgramRecord::assignFrom(const ProgramRecord& other) {
    char name[kNameBytes];
    std::memcpy(name, other.data, kNameBytes);
    name[kMaxNameLength] = 0;
    setName(name);
    const int count = parameterCount();
    for (int i = 0; i < count; ++i) setValue(i, other.value(i));
}

void ProgramRecord::writeTo(unsigned char* target, int count) const {
    std::memcpy(target, data, kValuesOffset);
    for (int i = 0; i < count; ++i) {
        const float v = value(i);
        std::memcpy(target + kValuesOffset + 4 * static_cast<size_t>(i), &v, sizeof v);
    }
}

void ProgramRecord::readFrom(const unsigned char* source, int count) {
    std::memcpy(data, source, kValuesOffset);
    for (int i = 0; i < count; ++i) {
        float v;
        std::memcpy(&v, source + kValuesOffset + 4 * static_cast<size_t>(i), sizeof v);
        setValue(i, v);
    }
}

void ProgramRecord::initialise(int32_t v, int32_t count) {
    std::memset(data, 0, kValuesOffset);
    setVersion(v);
    setParameterCount(count);
    for (int i = 0; i < count; ++i) setValue(i, 0.0f);
}

}  // namespace Vst
