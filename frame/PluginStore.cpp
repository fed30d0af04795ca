// The parameter and program store: parameter and program selection through
// the control queue, names, the chunk, initialise, copy and paste.
//
// Header bytes of the bank (names, versions, counts) are touched only by
// non-audio threads, always under the frame's lock; values are read and
// written whole. Program application after a chunk load or resume is handed
// to the audio thread, which owns the instrument's units.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/Plugin.h"
#include "vst/VstText.h"

namespace Vst {

namespace {

float readFloat(const unsigned char* at) {
    float v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void writeFloat(unsigned char* at, float v) { std::memcpy(at, &v, sizeof v); }

int32_t readInt(const unsigned char* at) {
    int32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

}  // namespace

// --- Parameters -----------------------------------------------------------------

void Plugin::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= numParams) return;
    // No program may ever store a value that is not a number or lies outside 0..1.
    if (!std::isfinite(value)) return;
    value = std::clamp(value, 0.0f, 1.0f);
    lock.lock();
    controlQueue->push(kParameterChange, static_cast<float>(index), value, 0.0f);
    lock.unlock();
}

bool Plugin::offerParameter(VstInt32 index, float value) {
    if (index < 0 || index >= numParams || !std::isfinite(value)) return true;  // nothing to offer
    if (!lock.tryLock()) return false;
    controlQueue->push(kParameterChange, static_cast<float>(index), std::clamp(value, 0.0f, 1.0f), 0.0f);
    lock.unlock();
    return true;
}

float Plugin::getParameter(VstInt32 index) { return getProgramValue(getProgram(), index); }

float Plugin::getProgramValue(VstInt32 program, VstInt32 index) {
    if (index < 0 || index >= numParams || program < 0 || program >= numPrograms) return 0.0f;
    return bank->program(program).value(index);
}

void Plugin::parameterChanged(VstInt32 index, float value) {
    if (index < 0 || index >= numParams || applyingProgram) return;
    const VstInt32 program = getProgram();
    if (program < 0 || program >= numPrograms) return;
    bank->program(program).setValue(index, value);
}

void Plugin::applyProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    const ProgramRecord record = bank->program(program);
    for (VstInt32 i = 0; i < numParams; ++i) parameterChanged(i, record.value(i));
}

void Plugin::applyProgramFromStore(VstInt32 program) {
    applyingProgram = true;
    applyProgram(program);
    applyingProgram = false;
}

void Plugin::getParameterLabel(VstInt32, char* label) {
    if (label != nullptr) label[0] = 0;
}

void Plugin::getParameterDisplay(VstInt32 index, char* text) {
    if (text == nullptr) return;
    float2string(getParameter(index), text, kVstMaxParamStrLen);
}

void Plugin::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index < 0 || index >= numParams) return;
    if (parameterNames) {
        copyString(text, parameterNames[index], kVstMaxNameLen);
    } else {
        std::snprintf(text, kVstMaxNameLen, "Param %d", static_cast<int>(index));
    }
}

void Plugin::allocateParameterNames() { parameterNames.reset(new const char*[numParams]()); }

void Plugin::setParameterNameEntry(VstInt32 index, const char* name) {
    if (parameterNames && index >= 0 && index < numParams) parameterNames[index] = name;
}

// --- Display formatters ---------------------------------------------------------

void Plugin::defaultFormatter(float value, char* text, RuleContext*) {
    std::snprintf(text, kDisplayTextBytes, "%.3f", value);
}

void Plugin::initDisplayFormatters() {
    formatters.reset(new DisplayFormatter[numParams]);
    for (VstInt32 i = 0; i < numParams; ++i) formatters[i] = defaultFormatter;
}

DisplayFormatter Plugin::getDisplayFormatter(VstInt32 index) {
    if (!formatters || index < 0 || index >= numParams) return nullptr;
    return formatters[index];
}

void Plugin::setDisplayFormatter(VstInt32 index, DisplayFormatter formatter) {
    if (formatters && index >= 0 && index < numParams) formatters[index] = formatter;
}

// --- Programs --------------------------------------------------------------------

void Plugin::setProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    curProgram.store(program, std::memory_order_relaxed);
    lock.lock();
    controlQueue->push(kProgramChange, static_cast<float>(program), 0.0f, 0.0f);
    lock.unlock();
    notifyProgramSelected(program);
}

void Plugin::setProgramName(char* name) { renameProgram(name); }

void Plugin::renameProgram(const char* name) {
    if (name == nullptr) return;
    const VstInt32 program = getProgram();
    if (program < 0 || program >= numPrograms) return;
    lock.lock();
    bank->program(program).setName(name);
    lock.unlock();
    notifyProgramDataChanged();
}

void Plugin::getProgramName(char* name) {
    if (name == nullptr) return;
    name[0] = 0;
    getProgramNameIndexed(-1, getProgram(), name);
}

bool Plugin::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (text == nullptr || index < 0 || index >= numPrograms) return false;
    ScopedLock hold(lock);
    copyString(text, bank->program(index).name(), ProgramRecord::kNameBytes);
    return true;
}

void Plugin::getDefaults(float* values) {
    if (values == nullptr) return;
    for (VstInt32 i = 0; i < numParams; ++i) values[i] = 0.0f;
}

void Plugin::initProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    std::vector<float> defaults(static_cast<size_t>(std::max<VstInt32>(numParams, 1)), 0.0f);
    if (numParams > 0) getDefaults(defaults.data());
    char name[ProgramRecord::kNameBytes];
    std::snprintf(name, sizeof name, "Init %d", static_cast<int>(program));
    {
        ScopedLock hold(lock);
        ProgramRecord record = bank->program(program);
        for (VstInt32 i = 0; i < numParams; ++i) record.setValue(i, defaults[static_cast<size_t>(i)]);
        record.setName(name);
        record.setVersion(vendorVersion);
    }
    notifyProgramDataChanged();
}

void Plugin::initPrograms() {
    for (VstInt32 p = 0; p < numPrograms; ++p) initProgram(p);
    std::vector<float> defaults(static_cast<size_t>(std::max<VstInt32>(numParams, 1)), 0.0f);
    if (numParams > 0) getDefaults(defaults.data());
    ScopedLock hold(lock);
    for (VstInt32 i = 0; i < numParams; ++i) scratchProgram.setValue(i, defaults[static_cast<size_t>(i)]);
}

void Plugin::copyProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    ScopedLock hold(lock);
    scratchProgram.assignFrom(bank->program(program));
}

void Plugin::pasteProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    {
        ScopedLock hold(lock);
        bank->program(program).assignFrom(scratchProgram);
    }
    notifyProgramDataChanged();
    updateDisplay();
}

// --- Chunk -------------------------------------------------------------------------

unsigned char* Plugin::chunkSnapshotForThisThread() {
    const std::thread::id self = std::this_thread::get_id();
    for (ChunkSnapshot& snapshot : chunkSnapshots)
        if (snapshot.owner == self) return snapshot.bytes.get();
    if (chunkSnapshots.size() < kChunkSnapshotThreads) {
        chunkSnapshots.push_back({self, std::unique_ptr<unsigned char[]>(new unsigned char[bank->size()]())});
        return chunkSnapshots.back().bytes.get();
    }
    ChunkSnapshot& recycled = chunkSnapshots[nextRecycledSnapshot];
    nextRecycledSnapshot = (nextRecycledSnapshot + 1) % kChunkSnapshotThreads;
    recycled.owner = self;
    return recycled.bytes.get();
}

VstInt32 Plugin::getChunk(void** data, bool isPreset) {
    if (data == nullptr) return 0;
    // The host copies from the pointer at leisure; a snapshot taken under the
    // lock keeps that copy whole while the audio thread stores new values, and
    // being this thread's own, while other threads ask for chunks too.
    ScopedLock hold(lock);
    unsigned char* snapshot = chunkSnapshotForThisThread();
    if (isPreset) {
        const VstInt32 program = getProgram();
        if (program < 0 || program >= numPrograms) return 0;
        bank->program(program).writeTo(snapshot, numParams);
        *data = snapshot;
        return bank->recordSize;
    }
    bank->copyTo(snapshot);
    *data = snapshot;
    return bank->size();
}

bool Plugin::acceptChunk(unsigned char* staged, int records) const {
    for (int p = 0; p < records; ++p) {
        unsigned char* record = staged + static_cast<size_t>(p) * bank->recordSize;
        // Each record computes its size from this field; a wrong one would
        // make later reads run past the block.
        if (readInt(record + ProgramRecord::kParameterCountOffset) != numParams) return false;
        unsigned char* values = record + ProgramRecord::kValuesOffset;
        for (int i = 0; i < numParams; ++i) {
            const float v = readFloat(values + 4 * i);
            if (!std::isfinite(v)) return false;
            writeFloat(values + 4 * i, std::clamp(v, 0.0f, 1.0f));
        }
        // A name filling all 24 bytes would have no terminator.
        record[ProgramRecord::kMaxNameLength] = 0;
    }
    return true;
}

void Plugin::storeChunk(unsigned char* staged, bool isPreset) {
    ScopedLock hold(lock);
    if (isPreset) {
        bank->program(getProgram()).assignFrom(ProgramRecord(staged));
    } else {
        bank->set(staged);
    }
}

VstInt32 Plugin::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr) return 0;
    const auto* source = static_cast<const unsigned char*>(data);
    if (isPreset) {
        const VstInt32 program = getProgram();
        if (program < 0 || program >= numPrograms || byteSize != bank->recordSize) return 0;
    } else if (byteSize != bank->size()) {
        return 0;
    }
    std::vector<unsigned char> staged(source, source + byteSize);
    if (!acceptChunk(staged.data(), isPreset ? 1 : numPrograms)) return 0;
    storeChunk(staged.data(), isPreset);
    programApplyPending.store(true, std::memory_order_release);
    notifyProgramDataChanged();
    updateDisplay();
    return 1;
}

}  // namespace Vst
