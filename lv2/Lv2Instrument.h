// The LV2 front door: one MorvelithPlugin driven the way the VST build is
// driven, by a thin adapter that turns atom MIDI into the frame's VstEvents,
// control-port changes into setParameter, time:Position into what the frame
// reads through audioMasterGetTime, and the state extension into the bank
// chunk. The engine never learns it is inside an LV2 host.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include "frame/Plugin.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Protocol.h"

namespace MorvelithLv2 {

// State keys. The bank and the port shadow are atom:Chunk (the bank is the
// VST bank chunk's bytes, so the two formats share one refusal path); a
// factory preset carries only kFactoryProgramKey.
inline constexpr const char* kBankKey = "urn:morvelith:instrument#bank";
inline constexpr const char* kCurrentProgramKey = "urn:morvelith:instrument#currentProgram";
inline constexpr const char* kPortValuesKey = "urn:morvelith:instrument#portValues";
inline constexpr const char* kFactoryProgramKey = "urn:morvelith:instrument#factoryProgram";

struct Uris {
    explicit Uris(const LV2_URID_Map* map);
    LV2_URID atomBlank, atomObject, atomUrid, atomChunk, atomInt, atomLong, atomFloat, atomDouble, atomString, atomTuple,
        atomVector, atomSequence, atomEventTransfer;
    LV2_URID midiEvent;
    LV2_URID timePosition, timeBar, timeBarBeat, timeBeat, timeBeatUnit, timeBeatsPerBar, timeBeatsPerMinute,
        timeSpeed;
    LV2_URID patchGet, patchSet, patchProperty, patchValue;
    LV2_URID program, programName, command, programNames, parameterValues;
    LV2_URID bankKey, currentProgramKey, portValuesKey, factoryProgramKey;
    LV2_URID maxBlockLength, nominalBlockLength;
};

class Lv2Instrument {
public:
    // The most MIDI events one run hands the frame; further ones in the same
    // run are dropped, as the frame's own event ring would drop them.
    static constexpr int kMaxEventsPerRun = 1024;
    // A control port moved by no more than this since it was last applied is
    // taken as unchanged: session files round the values they keep.
    static constexpr float kPortTolerance = 1e-6f;

    // Instantiation thread. Null when a required feature (urid:map) is missing.
    static Lv2Instrument* create(double sampleRate, const LV2_Feature* const* features);
    ~Lv2Instrument();
    Lv2Instrument(const Lv2Instrument&) = delete;
    Lv2Instrument& operator=(const Lv2Instrument&) = delete;

    // Audio thread (connect_port may also come from the instantiation thread).
    void connectPort(uint32_t port, void* data);
    // Instantiation thread: resume / suspend the engine.
    void activate();
    void deactivate();
    // Audio thread: one host block of any length.
    void run(uint32_t frames);

    // State: save may run beside run(); restore never does (the plug-in does
    // not declare state:threadSafeRestore).
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // Worker thread: carries out a UI request or builds the full picture.
    LV2_Worker_Status work(const void* data, uint32_t size);

    Vst::Plugin& engine() { return *plugin; }

private:
    Lv2Instrument(double sampleRate, const LV2_URID_Map* map);

    // What the UI is told (the "full picture"), handed from a writer thread
    // to the audio thread through pictureState; never waited on by the audio thread.
    struct Picture {
        int32_t program = 0;
        char names[kProgramCount][Vst::ProgramRecord::kNameBytes] = {};
        float values[kParameterCount] = {};
    };
    enum PictureState : int { kPictureFree, kPictureWriting, kPictureReady, kPictureReading };
    enum WorkKind : uint32_t { kWorkPicture = 1, kWorkMessage = 2 };

    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);
    VstTimeInfo* timeInfoForEngine();

    // Audio thread.
    void applyControlPorts();
    int collectEvents(uint32_t frames);
    void readPosition(const LV2_Atom_Object* position);
    void requestWork(WorkKind kind, const LV2_Atom* message);
    void writeNotifications();
    // Worker or restore thread.
    void handleMessage(const LV2_Atom_Object* message);
    void publishPicture();
    bool restoreFactoryProgram(int program);

    Uris uris;
    double sampleRate;
    std::unique_ptr<Vst::Plugin> plugin;
    const LV2_Worker_Schedule* schedule = nullptr;

    const LV2_Atom_Sequence* midiIn = nullptr;
    LV2_Atom_Sequence* notify = nullptr;
    std::array<float*, 2> outputs{};
    std::array<const float*, kControlPortCount> controls{};
    // The value each control port had when last applied: a port is applied
    // only when the host changes it, so a program changed inside the DSP is
    // not undone by stale port values. Atomic because save reads it beside run.
    std::array<std::atomic<float>, kControlPortCount> portShadow;

    std::array<VstMidiEvent, kMaxEventsPerRun> midiEvents{};
    std::unique_ptr<unsigned char[]> eventListStorage;  // VstEvents header + pointers

    // Transport as the last time:Position told it, moved on by each run.
    VstTimeInfo timeInfo{};
    bool positionKnown = false;
    double tempo = 120.0;
    double quarterNotes = 0.0;
    double speed = 1.0;
    int64_t samplePosition = 0;

    int notifiedProgram = -1;
    bool pictureRequested = false;
    std::atomic<int> pictureState{kPictureFree};
    Picture picture;
    LV2_Atom_Forge forge{};

    bool active = false;
};

}  // namespace MorvelithLv2
