// A minimal VST 2.4 instrument for testing hosts: it records every call it
// gets (RecorderLog.h) and writes a ramp of its own frame count to the left
// output and its negative to the right, so a host's block joins are visible
// in the audio. When RECORDER_REPORT names a file, effClose writes a summary
// there for tests of a host run as a separate program. Compile definitions
// build the faulty variants the loader must refuse (wrong magic, no instance,
// no entry) and a `main`-only export.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "tests/host/RecorderLog.h"

namespace {

struct Instance {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    Recorder::Log log{};
    float params[Recorder::kParams] = {0.0f, 0.25f, 0.5f, 1.0f};
    int program = 0;
    char programNames[Recorder::kPrograms][kVstMaxProgNameLen] = {"First", "Second", "Third"};
    unsigned char chunk[Recorder::kChunkBytes] = {};
    // The last effProcessEvents list, which must stay valid until processReplacing.
    const VstEvents* pendingList = nullptr;
    int pendingFirst = 0;
    int callsSinceEvents = 0;
    long busyMicros = 0;
    Recorder::Lifecycle lifecycle{};
};

Recorder::Lifecycle lastClosed{};

// Spins until the calling thread has used `micros` more microseconds of CPU.
void burnCpu(long micros) {
    if (micros <= 0) return;
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000000000LL + t.tv_nsec;
    };
    const long long until = now() + micros * 1000LL;
    while (now() < until) {
    }
}

// Counts the pending list's events that still match what was recorded from them.
int intactPendingEvents(const Instance& in) {
    int intact = 0;
    for (int i = 0; i < in.pendingList->numEvents && in.pendingFirst + i < in.log.eventCount; ++i) {
        const VstEvent* ev = in.pendingList->events[i];
        const Recorder::Event& r = in.log.events[in.pendingFirst + i];
        bool same = ev->type == r.type && ev->deltaFrames == r.deltaFrames && ev->byteSize == r.byteSize;
        if (same && ev->type == kVstMidiType)
            same = std::memcmp(reinterpret_cast<const VstMidiEvent*>(ev)->midiData, r.data, 3) == 0;
        intact += same ? 1 : 0;
    }
    return intact;
}

Instance* self(AEffect* e) { return static_cast<Instance*>(e->object); }

void copyName(void* ptr, const char* text, size_t limit) {
    std::strncpy(static_cast<char*>(ptr), text, limit - 1);
    static_cast<char*>(ptr)[limit - 1] = '\0';
}

// One line a fact: "rate", "maxBlock", "programAtResume", then a "block" line
// per processReplacing (frames, samplePos, ppqPos, tempo) and an "event" line
// per MIDI event (block, deltaFrames, three bytes), in arrival order.
void writeReport(const Recorder::Log& log) {
    const char* path = std::getenv("RECORDER_REPORT");
    if (path == nullptr || *path == '\0') return;
    FILE* out = std::fopen(path, "w");
    if (out == nullptr) return;
    std::fprintf(out, "rate %.17g\nmaxBlock %lld\nprogramAtResume %d\n", static_cast<double>(log.sampleRate),
                 static_cast<long long>(log.maxBlockSize), log.programAtResume);
    for (int b = 0; b < log.blockCount && b < Recorder::kMaxBlocks; ++b) {
        const Recorder::Block& k = log.blocks[b];
        std::fprintf(out, "block %d %.17g %.17g %.17g\n", k.frames, k.samplePos, k.ppqPos, k.tempo);
    }
    for (int i = 0; i < log.eventCount; ++i) {
        const Recorder::Event& e = log.events[i];
        std::fprintf(out, "event %d %d %d %d %d\n", e.block, e.deltaFrames, e.data[0], e.data[1], e.data[2]);
    }
    std::fclose(out);
}

void askHostOnOpen(Instance& in) {
    AEffect* e = &in.effect;
    Recorder::OpenAnswers& a = in.log.open;
    a.version = in.host(e, audioMasterVersion, 0, 0, nullptr, 0);
    a.beginEdit = in.host(e, audioMasterBeginEdit, 2, 0, nullptr, 0);
    a.automate = in.host(e, audioMasterAutomate, 2, 0, nullptr, 0.75f);
    a.endEdit = in.host(e, audioMasterEndEdit, 2, 0, nullptr, 0);
    a.updateDisplay = in.host(e, audioMasterUpdateDisplay, 0, 0, nullptr, 0);
    a.idle = in.host(e, audioMasterIdle, 0, 0, nullptr, 0);
    a.wantMidi = in.host(e, audioMasterWantMidi, 0, 1, nullptr, 0);
    a.unusedOpcode = in.host(e, Recorder::kUnusedHostOpcode, 0, 0, nullptr, 0);
    a.farOpcode = in.host(e, Recorder::kFarHostOpcode, 0, 0, nullptr, 0);
    a.canDoTimeInfo = in.host(e, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo"), 0);
    a.canDoNonsense = in.host(e, audioMasterCanDo, 0, 0, const_cast<char*>("makeCoffee"), 0);
    a.sampleRate = in.host(e, audioMasterGetSampleRate, 0, 0, nullptr, 0);
    a.blockSize = in.host(e, audioMasterGetBlockSize, 0, 0, nullptr, 0);
    in.host(e, audioMasterGetVendorString, 0, 0, a.vendor, 0);
    in.host(e, audioMasterGetProductString, 0, 0, a.product, 0);
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    Instance& in = *self(e);
    if (opcode >= 0 && opcode < 128) ++in.log.opcodeCounts[opcode];
    if (opcode != effProcessEvents) ++in.callsSinceEvents;
    if (opcode != effProcessEvents && opcode != effVendorSpecific && in.lifecycle.length < Recorder::kMaxSequence) {
        in.lifecycle.opcodes[in.lifecycle.length] = opcode;
        in.lifecycle.values[in.lifecycle.length++] = value;
    }
    switch (opcode) {
        case effOpen: askHostOnOpen(in); return 0;
        case effClose:
            writeReport(in.log);
            in.lifecycle.closes = lastClosed.closes + 1;
            in.lifecycle.resumedAtClose = in.log.resumed;
            lastClosed = in.lifecycle;
            delete &in;
            return 1;
        case effSetSampleRate: in.log.sampleRate = opt; return 0;
        case effSetBlockSize: in.log.maxBlockSize = value; return 0;
        case effMainsChanged:
            in.log.resumed = value != 0;
            if (value != 0) in.log.programAtResume = in.program;
            return 0;
        case effSetProgram:
            if (value >= 0 && value < Recorder::kPrograms) in.program = static_cast<int>(value);
            return 0;
        case effGetProgram: return in.program;
        case effSetProgramName: copyName(in.programNames[in.program], static_cast<const char*>(ptr), kVstMaxProgNameLen); return 0;
        case effGetProgramName: copyName(ptr, in.programNames[in.program], kVstMaxProgNameLen); return 0;
        case effGetProgramNameIndexed:
            if (index < 0 || index >= Recorder::kPrograms) return 0;
            copyName(ptr, in.programNames[index], kVstMaxProgNameLen);
            return 1;
        case effGetParamName: std::snprintf(static_cast<char*>(ptr), kVstMaxParamStrLen, "P%d", index); return 0;
        case effGetParamLabel: copyName(ptr, "dB", kVstMaxParamStrLen); return 0;
        case effGetParamDisplay:
            std::snprintf(static_cast<char*>(ptr), kVstMaxParamStrLen, "%.3f",
                          index >= 0 && index < Recorder::kParams ? in.params[index] : -1.0f);
            return 0;
        case effGetChunk:
            std::memcpy(in.chunk, in.params, sizeof in.chunk);
            *static_cast<void**>(ptr) = in.chunk;
            return sizeof in.chunk;
        case effSetChunk:
            if (value != Recorder::kChunkBytes || ptr == nullptr) return 0;
            std::memcpy(in.params, ptr, sizeof in.params);
            return 1;
        case effProcessEvents: {
            const auto* list = static_cast<const VstEvents*>(ptr);
            in.pendingList = list;
            in.pendingFirst = in.log.eventCount;
            in.callsSinceEvents = 0;
            burnCpu(in.busyMicros);
            for (int i = 0; i < list->numEvents && in.log.eventCount < Recorder::kMaxEvents; ++i) {
                const VstEvent* ev = list->events[i];
                Recorder::Event& r = in.log.events[in.log.eventCount++];
                r.block = in.log.blockCount;
                r.type = ev->type;
                r.byteSize = ev->byteSize;
                r.deltaFrames = ev->deltaFrames;
                if (ev->type == kVstMidiType)
                    std::memcpy(r.data, reinterpret_cast<const VstMidiEvent*>(ev)->midiData, 3);
            }
            return 1;
        }
        case effGetEffectName: copyName(ptr, "Recorder", kVstMaxEffectNameLen); return 1;
        case effGetVendorString: copyName(ptr, "Morvelith Tests", kVstMaxVendorStrLen); return 1;
        case effGetProductString: copyName(ptr, "Event Recorder", kVstMaxProductStrLen); return 1;
        case effGetVendorVersion: return 4321;
        case effGetPlugCategory: return kPlugCategSynth;
        case effGetVstVersion: return kVstVersion;
        case effCanDo: {
            const char* feature = static_cast<const char*>(ptr);
            return std::strcmp(feature, "receiveVstEvents") == 0 || std::strcmp(feature, "receiveVstMidiEvent") == 0
                       ? 1 : -1;
        }
        case effVendorSpecific:
            if (index == Recorder::kBusyRequest) {
                in.busyMicros = static_cast<long>(value);
                return 1;
            }
            if (index != Recorder::kLogRequest || ptr == nullptr) return 0;
            *static_cast<Recorder::Log**>(ptr) = &in.log;
            return 1;
        default: return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value) {
    if (index >= 0 && index < Recorder::kParams) self(e)->params[index] = value;
}

float getParameter(AEffect* e, VstInt32 index) {
    return index >= 0 && index < Recorder::kParams ? self(e)->params[index] : 0.0f;
}

// Records one block and writes the ramp, replacing or adding onto the outputs.
void process(AEffect* e, float** outputs, VstInt32 frames, bool accumulate) {
    Instance& in = *self(e);
    Recorder::Log& log = in.log;
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        in.host(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid | kVstBarsValid, nullptr, 0));
    if (log.blockCount < Recorder::kMaxBlocks) {
        Recorder::Block& b = log.blocks[log.blockCount];
        b = Recorder::Block{};
        b.frames = frames;
        b.eventsBefore = log.eventCount;
        if (in.pendingList != nullptr) {
            b.eventsStillIntact = intactPendingEvents(in);
            b.callsBetweenEventsAndProcess = in.callsSinceEvents;
        }
        b.timeInfoPresent = time != nullptr;
        if (time != nullptr) {
            b.samplePos = time->samplePos;
            b.sampleRate = time->sampleRate;
            b.ppqPos = time->ppqPos;
            b.tempo = time->tempo;
            b.barStartPos = time->barStartPos;
            b.flags = time->flags;
            b.timeSigNumerator = time->timeSigNumerator;
            b.timeSigDenominator = time->timeSigDenominator;
        }
        // Plug-ins that split a block ask again; the block's answer must not change.
        const auto* again = reinterpret_cast<const VstTimeInfo*>(
            in.host(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid | kVstBarsValid, nullptr, 0));
        b.flagsAtSecondRequest = again != nullptr ? again->flags : 0;
    }
    in.pendingList = nullptr;
    ++log.blockCount;
    burnCpu(in.busyMicros);
    for (VstInt32 i = 0; i < frames; ++i) {
        const float ramp = static_cast<float>(log.framesRendered + i);
        outputs[0][i] = (accumulate ? outputs[0][i] : 0.0f) + ramp;
        if (e->numOutputs > 1) outputs[1][i] = (accumulate ? outputs[1][i] : 0.0f) - ramp;
    }
    log.framesRendered += frames;
}

void processReplacing(AEffect* e, float**, float** outputs, VstInt32 frames) { process(e, outputs, frames, false); }

// The accumulating entry of plug-ins older than 2.4, the only one the
// RECORDER_ACCUMULATING variant offers.
[[maybe_unused]] void processAccumulating(AEffect* e, float**, float** outputs, VstInt32 frames) {
    process(e, outputs, frames, true);
}

void processDoubleReplacing(AEffect*, double**, double**, VstInt32) {}

[[maybe_unused]] AEffect* createInstance(audioMasterCallback host) {
#ifdef RECORDER_NO_INSTANCE
    (void)host;
    return nullptr;
#else
    auto* in = new (std::nothrow) Instance;
    if (in == nullptr) return nullptr;
    in->host = host;
    in->log.versionAtEntry = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0);
    AEffect& e = in->effect;
#ifdef RECORDER_BAD_MAGIC
    e.magic = vstFourCC('N', 'o', 'p', 'e');
#else
    e.magic = kEffectMagic;
#endif
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = Recorder::kPrograms;
    e.numParams = Recorder::kParams;
    e.numInputs = 0;
#ifdef RECORDER_MONO
    e.numOutputs = 1;
#else
    e.numOutputs = 2;
#endif
#ifdef RECORDER_ACCUMULATING
    e.flags = effFlagsIsSynth;
    e.process = processAccumulating;
#else
    e.flags = effFlagsIsSynth | effFlagsCanReplacing;
    e.process = processReplacing;  // as 2.4 plug-ins commonly do
    e.processReplacing = processReplacing;
#endif
    e.ioRatio = 1.0f;
    e.object = in;
    e.uniqueID = Recorder::kUniqueID;
    e.version = 1;
    e.processDoubleReplacing = processDoubleReplacing;
    return &e;
#endif
}

}  // namespace

#ifndef RECORDER_NO_ENTRY
#define RECORDER_EXPORT extern "C" __attribute__((visibility("default")))
RECORDER_EXPORT const Recorder::Lifecycle* recorderLastClosed() { return &lastClosed; }
#ifndef RECORDER_MAIN_ONLY
RECORDER_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) { return createInstance(host); }
#endif
// The legacy entry name; a C++ function cannot be called main, so an asm label gives it the name.
RECORDER_EXPORT AEffect* recorderLegacyEntry(audioMasterCallback host) asm("main");
RECORDER_EXPORT AEffect* recorderLegacyEntry(audioMasterCallback host) { return createInstance(host); }
#else
extern "C" __attribute__((visibility("default"))) int recorderWithoutEntry() { return 0; }
#endif
