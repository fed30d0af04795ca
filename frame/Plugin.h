// The generic instrument frame: identity and host dispatch, block processing
// with frame-exact events and the program-change fade, MIDI decoding, and the
// parameter and program store with its chunk. Instruments derive (through
// Synth) and override the hooks declared after the interface's operations.
//
// Threads: the host's audio thread runs processEvents and processReplacing
// and everything dispatched from the queues; every other operation runs on a
// host thread that is not the audio thread (the GUI thread) unless noted.
#pragma once

#include <atomic>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "frame/EventQueue.h"
#include "frame/Lock.h"
#include "frame/ProgramRecord.h"
#include "frame/Queue.h"
#include "frame/ValueRules.h"
#include "vst/AudioEffectX.h"

namespace Vst {

class Plugin;

// A preset or bank file that could not be written or read; what() is the
// text the editor shows the user.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The store answers the value rules (ValueRules.h) as their context.
class Plugin : public AudioEffectX, public RuleContext {
public:
    class Bank;

    // Event kinds carried by the two rings.
    enum EventKind : int {
        kNoteOn = 1,
        kNoteOff = 2,
        kAllNotesOff = 3,
        kPitchBend = 4,
        kProgramChange = 5,
        kParameterChange = 6,
    };
    static constexpr int kMaxSubBlock = 256;
    static constexpr float kFadeMs = 5.0f;
    static constexpr int kTimeInfoIntervalMs = 100;
    static constexpr VstInt32 kTimeInfoFilter = kVstPpqPosValid | kVstTempoValid;
    static constexpr double kPositionTolerance = 0.001;  // quarter notes
    static constexpr int kIdentityBytes = 1024;
    static constexpr int kDirectoryBytes = 4096;
    static constexpr int kDisplayTextBytes = ::Vst::kDisplayTextBytes;
    static constexpr int kPitchBendController = 224;

    Plugin(audioMasterCallback audioMaster, VstInt32 uniqueID, VstInt32 numPrograms, VstInt32 numParams,
           VstInt32 numInputs, VstInt32 numOutputs);
    ~Plugin() override;

    // --- The interface's operations the frame answers ---------------------
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    void open() override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;

    // Any thread: queued; stored and applied by the audio thread.
    void setParameter(VstInt32 index, float value) override;
    // Audio thread (a format whose controls arrive inside its process call):
    // setParameter's queueing without waiting. False when another thread holds
    // the lock; the caller offers the change again at its next block.
    bool offerParameter(VstInt32 index, float value);
    // Any thread: the current program's stored value.
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset = false) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false) override;

    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    VstPlugCategory getPlugCategory() override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;

    // Any thread: the value rules' context, answered from the store.
    float ruleParameter(int index) override { return getParameter(index); }
    float ruleSampleRate() override { return getSampleRate(); }
    double ruleTempo() override { return getTempo(); }

    // Audio thread.
    VstInt32 processEvents(VstEvents* events) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // --- The frame's hooks, in slot order ----------------------------------
    // Any thread: fixed answers and tables filled once at open.
    virtual VstInt32 getNumParams();
    virtual VstInt32 getNumPrograms();
    virtual VstInt32 getNumInputs();
    virtual VstInt32 getNumOutputs();
    virtual const char* getPluginDirectory();
    virtual ValueQuantizer getValueQuantizer(VstInt32 index);
    virtual DisplayFormatter getDisplayFormatter(VstInt32 index);
    // Any thread: the last host tempo in beats per minute.
    virtual double getTempo();
    // Stores at most 23 characters as the current program's name.
    virtual void renameProgram(const char* name);
    // The product's name for messages and captions.
    virtual const char* getProductName() = 0;
    // Audio thread: 1 to 256 frames, pointers already advanced. Base: silence.
    virtual void processBlock(float** inputs, float** outputs, VstInt32 frames);
    // Audio thread: dispatches one event of the rings.
    virtual void handleEvent(int kind, float a, float b, float c);
    // Opening sequence (host not processing); getDefaults also on the GUI
    // thread when a program is initialised.
    virtual void initPrograms();
    virtual void initParameterNames() {}
    virtual void initDisplayFormatters();
    virtual void getDefaults(float* values);
    // Audio thread (note and controller hooks, tempoChanged).
    virtual void noteOn(int note, int velocity) {}
    virtual void noteOff(int note) {}
    virtual void allNotesOff() {}
    virtual void tempoChanged() {}
    // Calls parameterChanged for every index of the (current) program. Audio
    // thread (fade end, after a chunk load or resume); the opening sequence
    // calls it directly while the host is not processing.
    virtual void applyProgram(VstInt32 program);
    // Stores value into the current program; the instrument applies it too.
    // Audio thread, like applyProgram.
    virtual void parameterChanged(VstInt32 index, float value);
    virtual void controllerChanged(int kind, float value) {}

    // --- Store operations for the instrument and the editor (GUI thread) ---
    void initProgram(VstInt32 program);
    void copyProgram(VstInt32 program);
    void pasteProgram(VstInt32 program);

    Bank& getBank() { return *bank; }
    ProgramRecord getScratchProgram() { return scratchProgram; }
    // Any thread: stored value of any program (0 outside the ranges).
    float getProgramValue(VstInt32 program, VstInt32 index);

    // --- Preset (.fxp) and bank (.fxb) files (editor thread) --------------
    // Each completes or throws FileError; after a failure the store is as it
    // was. A loaded file is stored at once and applied on the audio thread
    // through a faded program change.
    void writePresetFile(std::ostream& out, VstInt32 program);
    // program only supplies the expected record size; the file always lands
    // in the current program.
    void readPresetFile(std::istream& in, VstInt32 program);
    void writeBankFile(std::ostream& out);
    void readBankFile(std::istream& in);

protected:
    // Identity, written by the instrument's constructor.
    void setEffectName(const char* text);
    void setProductString(const char* text);
    void setVendorString(const char* text);
    void setVendorVersion(VstInt32 version) { vendorVersion = version; }
    // Gives the instrument a parameter-name table (one pointer per parameter,
    // all null) to fill in initParameterNames; the names must outlive it.
    void allocateParameterNames();
    void setParameterNameEntry(VstInt32 index, const char* name);
    // Sets the formatter of one index (after initDisplayFormatters).
    void setDisplayFormatter(VstInt32 index, DisplayFormatter formatter);

    void notifyProgramSelected(VstInt32 program);
    void notifyProgramDataChanged();

    // Audio thread: pending program application handed over by setChunk and
    // resume, run before the control queue at a sub-block start.
    void applyPendingProgram();

    Lock lock;
    std::unique_ptr<Queue> controlQueue;
    std::unique_ptr<EventQueue> midiQueue;

    // Block processing (audio thread).
    std::unique_ptr<float*[]> inputPointers;
    std::unique_ptr<float*[]> outputPointers;
    int timeInfoCountdown = 0;
    std::atomic<double> tempo{100.0};
    double positionEstimate = 0.0;
    float fadeGain = 1.0f;
    float fadeStep = 0.0f;
    bool programPending = false;

private:
    void trackTempo(VstInt32 frames);
    void applyFade(VstInt32 frames);
    void drainControlQueue();
    void dispatchDueEvents();
    // Runs applyProgram with the store writes switched off: the values come
    // from the store itself, and writing them back could undo a concurrent
    // chunk load.
    void applyProgramFromStore(VstInt32 program);
    static void defaultFormatter(float value, char* text, RuleContext* context);

    // The checks every chunk passes, from the host or from a file: each of the
    // records has this plug-in's parameter count and finite values. Clamps the
    // values into 0..1 and terminates the names; false refuses the chunk.
    bool acceptChunk(unsigned char* staged, int records) const;
    // Stores an accepted chunk: the current program's name and values for a
    // preset, the whole block for a bank.
    void storeChunk(unsigned char* staged, bool isPreset);

    std::unique_ptr<Bank> bank;
    std::unique_ptr<unsigned char[]> scratchStorage;
    ProgramRecord scratchProgram;
    // getChunk hands the host a pointer it copies from after the call: each
    // asking thread gets a snapshot of its own, so one thread's request never
    // rewrites the block another thread is still copying. Made on first use
    // (host threads only); past kChunkSnapshotThreads threads the oldest is reused.
    static constexpr size_t kChunkSnapshotThreads = 8;
    struct ChunkSnapshot {
        std::thread::id owner;
        std::unique_ptr<unsigned char[]> bytes;
    };
    unsigned char* chunkSnapshotForThisThread();  // under the lock
    std::vector<ChunkSnapshot> chunkSnapshots;
    size_t nextRecycledSnapshot = 0;

    std::unique_ptr<char[]> effectName;
    std::unique_ptr<char[]> productString;
    std::unique_ptr<char[]> vendorString;
    VstInt32 vendorVersion = 1000;
    char pluginDirectory[kDirectoryBytes];

    std::unique_ptr<const char*[]> parameterNames;
    std::unique_ptr<DisplayFormatter[]> formatters;

    bool opened = false;
    bool applyingProgram = false;
    std::atomic<bool> programApplyPending{false};
};

// All programs' records back to back in one block, then 4096 reserved bytes.
class Plugin::Bank {
public:
    static constexpr int kReservedBytes = 4096;

    Bank(int programCount, int parameterCount);

    ProgramRecord program(int index) const;
    unsigned char* data() const { return storage.get(); }
    int size() const { return programCount * recordSize + kReservedBytes; }
    // Copies size() bytes over the whole block.
    void set(const void* bytes);
    // Copies the whole block out (values read whole).
    void copyTo(void* out) const;

    const int programCount;
    const int parameterCount;
    const int valuesOffset;
    const int valuesLength;
    const int recordSize;

private:
    std::unique_ptr<unsigned char[]> storage;
};

}  // namespace Vst
