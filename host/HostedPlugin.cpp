// The hosted instance: lifecycle calls in the order hosts make them, string
// queries through generous buffers, block processing with frame-stamped MIDI,
// and the host callback that routes the plug-in's requests back to us.
#include "host/HostedPlugin.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <ctime>

namespace Host {

namespace {

// The instance whose entry point is running; its record is not ours to mark yet.
thread_local HostedPlugin* instanceBeingCreated = nullptr;

constexpr const char* kHostVendor = "Morvelith";
constexpr const char* kHostProduct = "morvelith-render";
constexpr VstIntPtr kHostVendorVersion = 1000;
constexpr size_t kEventListHeaderWords = offsetof(VstEvents, events) / sizeof(VstIntPtr);
static_assert(offsetof(VstEvents, events) % sizeof(VstIntPtr) == 0);

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// What reading the clock twice costs inside the timed window, taken off every
// call: a few microseconds under load, which would otherwise dwarf a plug-in
// that has little to do (a silent instance). The minimum of many empty
// windows, so preemption during calibration cannot inflate it.
double timerOverheadSeconds() {
    static const double overhead = [] {
        double least = 1.0;
        for (int i = 0; i < 200; ++i) {
            const double start = threadCpuSeconds();
            least = std::min(least, threadCpuSeconds() - start);
        }
        return std::max(0.0, least);
    }();
    return overhead;
}

void copyBounded(void* destination, const char* text, size_t capacity) {
    if (destination == nullptr || capacity == 0) return;
    std::strncpy(static_cast<char*>(destination), text, capacity - 1);
    static_cast<char*>(destination)[capacity - 1] = '\0';
}

}  // namespace

HostedPlugin::HostedPlugin(const std::string& path) : lib(PluginLibrary::load(path)) { create(); }

HostedPlugin::HostedPlugin(std::shared_ptr<PluginLibrary> library) : lib(std::move(library)) {
    if (!lib) throw HostError("no plug-in library given");
    create();
}

void HostedPlugin::create() {
    instanceBeingCreated = this;
    AEffect* created = lib->entry()(&HostedPlugin::hostCallback);
    instanceBeingCreated = nullptr;
    if (created == nullptr) throw HostError("the plug-in's entry point made no instance: " + lib->path());
    if (created->magic != kEffectMagic) throw HostError("the plug-in's record has a wrong magic number: " + lib->path());
    if (created->dispatcher == nullptr)
        throw HostError("the plug-in's record has no dispatcher: " + lib->path());
    aeffect = created;
    aeffect->resvd1 = reinterpret_cast<VstIntPtr>(this);
}

HostedPlugin::~HostedPlugin() {
    if (aeffect == nullptr || !closeOnDestroy) return;
    if (resumed) suspend();
    close();
}

void HostedPlugin::requireInstance(const char* what) const {
    if (aeffect == nullptr) throw HostError(std::string(what) + ": the plug-in instance is closed");
}

VstIntPtr HostedPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    requireInstance("dispatch");
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

// --- lifecycle ---------------------------------------------------------------

void HostedPlugin::openOnly() {
    dispatch(effOpen);
    opened = true;
}

void HostedPlugin::setSampleRate(double rate) {
    if (!(rate > 0.0)) throw HostError("sample rate must be positive");
    transportState.setSampleRate(rate);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void HostedPlugin::setBlockSize(int maxFrames) {
    if (maxFrames <= 0) throw HostError("block size must be positive");
    blockSize = maxFrames;
    dispatch(effSetBlockSize, 0, maxFrames);
}

void HostedPlugin::open(const OpenSettings& settings) {
    if (!(settings.sampleRate > 0.0)) throw HostError("sample rate must be positive");
    if (settings.maxBlockSize <= 0) throw HostError("block size must be positive");
    // A plug-in may ask for the rate and block size from inside effOpen: answer the real ones.
    transportState.setSampleRate(settings.sampleRate);
    blockSize = settings.maxBlockSize;
    openOnly();
    setSampleRate(settings.sampleRate);
    setBlockSize(settings.maxBlockSize);
    if (settings.program >= 0) selectProgram(settings.program);
    resume();
}

void HostedPlugin::resume() {
    dispatch(effMainsChanged, 0, 1);
    resumed = true;
}

void HostedPlugin::suspend() {
    dispatch(effMainsChanged, 0, 0);
    resumed = false;
}

void HostedPlugin::close() {
    requireInstance("close");
    AEffect* closing = aeffect;
    aeffect = nullptr;
    opened = resumed = false;
    closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f);
}

// --- record fields and identity ----------------------------------------------

void HostedPlugin::setParameter(int index, float value) {
    requireInstance("setParameter");
    aeffect->setParameter(aeffect, index, value);
}

float HostedPlugin::getParameter(int index) {
    requireInstance("getParameter");
    return aeffect->getParameter(aeffect, index);
}

VstInt32 HostedPlugin::uniqueID() const { requireInstance("uniqueID"); return aeffect->uniqueID; }
VstInt32 HostedPlugin::numParams() const { requireInstance("numParams"); return aeffect->numParams; }
VstInt32 HostedPlugin::numPrograms() const { requireInstance("numPrograms"); return aeffect->numPrograms; }
VstInt32 HostedPlugin::numInputs() const { requireInstance("numInputs"); return aeffect->numInputs; }
VstInt32 HostedPlugin::numOutputs() const { requireInstance("numOutputs"); return aeffect->numOutputs; }
VstInt32 HostedPlugin::flags() const { requireInstance("flags"); return aeffect->flags; }

std::string HostedPlugin::dispatchString(VstInt32 opcode, VstInt32 index) {
    char buffer[kStringBufferBytes] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kStringBufferBytes - 1] = '\0';
    return buffer;
}

std::string HostedPlugin::effectName() { return dispatchString(effGetEffectName); }
std::string HostedPlugin::vendorString() { return dispatchString(effGetVendorString); }
std::string HostedPlugin::productString() { return dispatchString(effGetProductString); }
VstIntPtr HostedPlugin::vendorVersion() { return dispatch(effGetVendorVersion); }
VstIntPtr HostedPlugin::vstVersion() { return dispatch(effGetVstVersion); }
VstIntPtr HostedPlugin::category() { return dispatch(effGetPlugCategory); }

VstIntPtr HostedPlugin::canDo(const std::string& feature) {
    return dispatch(effCanDo, 0, 0, const_cast<char*>(feature.c_str()));
}

std::string HostedPlugin::parameterName(int index) { return dispatchString(effGetParamName, index); }
std::string HostedPlugin::parameterDisplay(int index) { return dispatchString(effGetParamDisplay, index); }
std::string HostedPlugin::parameterLabel(int index) { return dispatchString(effGetParamLabel, index); }

void HostedPlugin::selectProgram(int program) { dispatch(effSetProgram, 0, program); }
int HostedPlugin::currentProgram() { return static_cast<int>(dispatch(effGetProgram)); }
std::string HostedPlugin::programName() { return dispatchString(effGetProgramName); }

void HostedPlugin::setProgramName(const std::string& name) {
    char buffer[kStringBufferBytes] = {};
    copyBounded(buffer, name.c_str(), sizeof buffer);
    dispatch(effSetProgramName, 0, 0, buffer);
}

bool HostedPlugin::programNameIndexed(int program, std::string& name) {
    char buffer[kStringBufferBytes] = {};
    const VstIntPtr answer = dispatch(effGetProgramNameIndexed, program, -1, buffer);
    buffer[kStringBufferBytes - 1] = '\0';
    name = buffer;
    return answer != 0;
}

std::vector<uint8_t> HostedPlugin::getChunk(bool programOnly) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, programOnly ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr HostedPlugin::setChunk(const std::vector<uint8_t>& chunk, bool programOnly) {
    // The plug-in may read the bytes only during the call; a copy keeps ours const.
    std::vector<uint8_t> copy(chunk);
    return dispatch(effSetChunk, programOnly ? 1 : 0, static_cast<VstIntPtr>(copy.size()),
                    copy.empty() ? nullptr : copy.data());
}

// --- processing --------------------------------------------------------------

void HostedPlugin::reserveEvents(int count) {
    if (count <= static_cast<int>(midiEvents.size())) return;
    midiEvents.resize(static_cast<size_t>(count));
    eventListStorage.assign(kEventListHeaderWords + static_cast<size_t>(std::max(count, 2)), 0);
}

void HostedPlugin::processBlock(const BlockEvent* events, int count, float** inputs, float** outputs, int frames) {
    requireInstance("processBlock");
    if (frames < 0) throw HostError("a block cannot have a negative frame count");
    count = events == nullptr ? 0 : std::max(count, 0);
    // No offset fits an empty block: 0 <= deltaFrames < frames is what plug-ins rely on.
    if (count > 0 && frames == 0) throw HostError("MIDI events need a block of at least one frame");
    reserveEvents(count);

    // The list is built before the clock starts: only the plug-in's own calls count.
    auto* list = reinterpret_cast<VstEvents*>(eventListStorage.data());
    if (count > 0) {
        list->numEvents = count;
        list->reserved = 0;
        for (int i = 0; i < count; ++i) {
            VstMidiEvent& midi = midiEvents[static_cast<size_t>(i)];
            midi = VstMidiEvent{};
            midi.type = kVstMidiType;
            midi.byteSize = sizeof(VstMidiEvent);
            // Hosts promise 0 <= offset < frames; keep that promise whatever the caller passed.
            midi.deltaFrames = std::clamp(events[i].deltaFrames, 0, frames - 1);
            for (int b = 0; b < 3; ++b) midi.midiData[b] = static_cast<char>(events[i].message.bytes[b]);
            list->events[i] = reinterpret_cast<VstEvent*>(&midi);
        }
    }
    const double overhead = timerOverheadSeconds();
    const double start = threadCpuSeconds();
    if (count > 0) aeffect->dispatcher(aeffect, effProcessEvents, 0, 0, list, 0.0f);
    // A plug-in older than 2.4 may offer only the accumulating entry; it adds onto the outputs.
    if (aeffect->processReplacing != nullptr) aeffect->processReplacing(aeffect, inputs, outputs, frames);
    else if (aeffect->process != nullptr) aeffect->process(aeffect, inputs, outputs, frames);
    cpuSeconds += std::max(0.0, threadCpuSeconds() - start - overhead);
    transportState.advance(frames);
}

// --- host callback -----------------------------------------------------------

int HostedPlugin::callbackCount(VstInt32 opcode) const {
    if (opcode < 0 || opcode >= kCallbackOpcodes) return 0;
    return callbackCounts[static_cast<size_t>(opcode)].load(std::memory_order_relaxed);
}

VstIntPtr VSTCALLBACK HostedPlugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                 void* ptr, float opt) {
    HostedPlugin* self = nullptr;
    if (effect != nullptr && effect->magic == kEffectMagic && effect->resvd1 != 0)
        self = reinterpret_cast<HostedPlugin*>(effect->resvd1);
    if (self == nullptr) self = instanceBeingCreated;
    if (self == nullptr) return opcode == audioMasterVersion ? kHostVersion : 0;
    return self->answer(opcode, index, value, ptr, opt);
}

VstIntPtr HostedPlugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (opcode >= 0 && opcode < kCallbackOpcodes)
        callbackCounts[static_cast<size_t>(opcode)].fetch_add(1, std::memory_order_relaxed);
    switch (opcode) {
        case audioMasterVersion: return kHostVersion;
        case audioMasterAutomate:
            automatedIndex.store(index, std::memory_order_relaxed);
            automatedValue.store(opt, std::memory_order_relaxed);
            return 1;
        case audioMasterBeginEdit:
        case audioMasterEndEdit:
        case audioMasterUpdateDisplay:
        case audioMasterIdle:
        case audioMasterWantMidi: return 1;
        case audioMasterGetTime:
            timeRequest.store(value, std::memory_order_relaxed);
            return reinterpret_cast<VstIntPtr>(&transportState.timeInfo());
        case audioMasterGetSampleRate: return static_cast<VstIntPtr>(transportState.getSampleRate());
        case audioMasterGetBlockSize: return blockSize;
        case audioMasterGetVendorString: copyBounded(ptr, kHostVendor, kVstMaxVendorStrLen); return 1;
        case audioMasterGetProductString: copyBounded(ptr, kHostProduct, kVstMaxProductStrLen); return 1;
        case audioMasterGetVendorVersion: return kHostVendorVersion;
        case audioMasterCanDo: {
            if (ptr == nullptr) return 0;
            const char* feature = static_cast<const char*>(ptr);
            for (const char* known : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"})
                if (std::strcmp(feature, known) == 0) return 1;
            return 0;
        }
        default: return 0;
    }
}

}  // namespace Host
