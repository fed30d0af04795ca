// One instance of a VST 2.4 plug-in driven the way a host drives it: created
// through the library's entry point, opened, resumed, fed MIDI through
// effProcessEvents and rendered through processReplacing; it answers the host
// callbacks itself. As in a real host, processBlock may run on one thread while
// another makes the other calls; state both threads' callbacks touch is atomic.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/PluginLibrary.h"
#include "host/Timeline.h"
#include "host/Transport.h"
#include "vst/AEffect.h"

namespace Host {

struct OpenSettings {
    double sampleRate = 44100.0;
    int maxBlockSize = 512;
    int program = -1;  // selected before the resume when 0 or more
};

// A MIDI message placed at a frame offset inside the block being processed.
struct BlockEvent {
    int deltaFrames = 0;
    MidiMessage message;
};

class HostedPlugin {
public:
    // Every string the plug-in writes lands in a buffer this large, far above
    // the interface's limits, so a plug-in that overshoots them cannot overrun us.
    static constexpr int kStringBufferBytes = 256;
    static constexpr VstIntPtr kHostVersion = 2400;
    static constexpr int kCallbackOpcodes = 64;

    // Loads the library and creates an instance. Throws HostError.
    explicit HostedPlugin(const std::string& path);
    // A further instance of an already loaded library. Throws HostError.
    explicit HostedPlugin(std::shared_ptr<PluginLibrary> library);
    // Suspends if resumed, closes the instance (effClose) and releases the library.
    ~HostedPlugin();
    HostedPlugin(const HostedPlugin&) = delete;
    HostedPlugin& operator=(const HostedPlugin&) = delete;

    AEffect* effect() const { return aeffect; }
    const PluginLibrary& library() const { return *lib; }

    // --- lifecycle ---------------------------------------------------------
    // effOpen, sample rate, block size, optional program, resume.
    void open(const OpenSettings& settings = {});
    void openOnly();                       // effOpen alone
    void setSampleRate(double sampleRate); // effSetSampleRate, also the transport's rate
    void setBlockSize(int maxFrames);      // effSetBlockSize
    void resume();                         // effMainsChanged 1
    void suspend();                        // effMainsChanged 0
    void close();                          // effClose; the instance is gone afterwards
    bool isOpen() const { return opened; }
    bool isResumed() const { return resumed; }
    bool isClosed() const { return aeffect == nullptr; }
    double sampleRate() const { return transportState.getSampleRate(); }
    int maxBlockSize() const { return blockSize; }
    // The destructor will then unload without effClose, as some scanners do.
    void leaveUnclosed() { closeOnDestroy = false; }

    // --- the record and the dispatcher --------------------------------------
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    void setParameter(int index, float value);
    float getParameter(int index);

    // --- identity ----------------------------------------------------------
    std::string effectName();
    std::string vendorString();
    std::string productString();
    VstIntPtr vendorVersion();
    VstIntPtr vstVersion();
    VstIntPtr category();
    VstIntPtr canDo(const std::string& feature);
    VstInt32 uniqueID() const;
    VstInt32 numParams() const;
    VstInt32 numPrograms() const;
    VstInt32 numInputs() const;
    VstInt32 numOutputs() const;
    VstInt32 flags() const;
    bool hasFlag(VstInt32 flag) const { return (flags() & flag) == flag; }

    // --- parameters and programs -------------------------------------------
    std::string parameterName(int index);
    std::string parameterDisplay(int index);
    std::string parameterLabel(int index);
    void selectProgram(int program);
    int currentProgram();
    std::string programName();
    void setProgramName(const std::string& name);
    bool programNameIndexed(int program, std::string& name);

    // --- chunks --------------------------------------------------------------
    // A copy of the plug-in's chunk (bank, or the current program); empty if none.
    std::vector<uint8_t> getChunk(bool programOnly);
    // Hands the bytes to the plug-in; answers what the plug-in answered.
    VstIntPtr setChunk(const std::vector<uint8_t>& chunk, bool programOnly);

    // --- processing -------------------------------------------------------------
    // One host block: effProcessEvents with the events (if any; offsets are
    // clamped into the block, and events with an empty block are refused),
    // then processReplacing, then the transport moves on by `frames`. A plug-in
    // without processReplacing gets the accumulating `process` instead, which adds
    // onto `outputs`: clear them first. `inputs` may be null when the plug-in has no inputs.
    void processBlock(const BlockEvent* events, int count, float** inputs, float** outputs, int frames);
    // Grows the event storage up front so processBlock does not allocate.
    void reserveEvents(int count);
    Transport& transport() { return transportState; }

    // Thread CPU time spent inside effProcessEvents and processReplacing, less
    // what reading the clock itself costs.
    double pluginCpuSeconds() const { return cpuSeconds; }
    void resetPluginCpu() { cpuSeconds = 0.0; }

    // --- what the plug-in asked of the host ---------------------------------
    int callbackCount(VstInt32 opcode) const;
    int lastAutomatedIndex() const { return automatedIndex.load(std::memory_order_relaxed); }
    float lastAutomatedValue() const { return automatedValue.load(std::memory_order_relaxed); }
    VstIntPtr lastTimeRequest() const { return timeRequest.load(std::memory_order_relaxed); }

private:
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void create();
    void requireInstance(const char* what) const;
    std::string dispatchString(VstInt32 opcode, VstInt32 index = 0);

    std::shared_ptr<PluginLibrary> lib;
    AEffect* aeffect = nullptr;
    bool opened = false;
    bool resumed = false;
    bool closeOnDestroy = true;
    int blockSize = 512;
    Transport transportState;
    double cpuSeconds = 0.0;

    std::vector<VstMidiEvent> midiEvents;
    std::vector<VstIntPtr> eventListStorage;  // a VstEvents header followed by room for the pointers

    std::array<std::atomic<int>, kCallbackOpcodes> callbackCounts{};
    std::atomic<int> automatedIndex{-1};
    std::atomic<float> automatedValue{0.0f};
    std::atomic<VstIntPtr> timeRequest{0};
};

}  // namespace Host
