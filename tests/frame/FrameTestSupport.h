// Test doubles for the frame suites: a scriptable host callback, a test
// synthesizer that records every hook it receives (with the frame position
// at which it arrived) without allocating, and helpers to build MIDI lists.
#pragma once

#include <array>
#include <atomic>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "frame/Synth.h"
#include "vst/Editor.h"

namespace FrameTest {

// One host for the whole process; tests reset it in their fixtures.
struct FakeHost {
    std::atomic<VstIntPtr> version{2400};
    std::atomic<bool> answersTime{true};
    VstTimeInfo timeInfo{};
    std::atomic<int> timeRequests{0};
    std::atomic<VstIntPtr> lastTimeFilter{0};
    std::atomic<int> wantMidiCalls{0};
    std::atomic<int> updateDisplayCalls{0};
    std::atomic<int> automateCalls{0};

    void reset() {
        version = 2400;
        answersTime = true;
        timeInfo = VstTimeInfo{};
        timeInfo.tempo = 120.0;
        timeInfo.sampleRate = 44100.0;
        timeRequests = 0;
        lastTimeFilter = 0;
        wantMidiCalls = 0;
        updateDisplayCalls = 0;
        automateCalls = 0;
    }

    static FakeHost& instance() {
        static FakeHost host;
        return host;
    }

    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void*, float) {
        FakeHost& host = instance();
        switch (opcode) {
            case audioMasterVersion:
                return host.version;
            case audioMasterGetTime:
                ++host.timeRequests;
                host.lastTimeFilter = value;
                return host.answersTime ? reinterpret_cast<VstIntPtr>(&host.timeInfo) : 0;
            case audioMasterWantMidi:
                ++host.wantMidiCalls;
                return 1;
            case audioMasterUpdateDisplay:
                ++host.updateDisplayCalls;
                return 1;
            case audioMasterAutomate:
                ++host.automateCalls;
                return 0;
            default:
                return 0;
        }
    }
};

enum class Hook { Block, NoteOn, NoteOff, AllNotesOff, Controller, Parameter, ApplyProgram, Tempo };

struct Call {
    Hook hook;
    int a;
    float b;
    long frame;  // frames rendered by this instance before the hook arrived
};

class RecordingEditor : public Vst::Editor {
public:
    explicit RecordingEditor(AudioEffect* effect) : Editor(effect) {
        rect.right = 300;
        rect.bottom = 200;
    }
    void programSelected(VstInt32 program) override {
        ++selectedCount;
        lastSelected = program;
    }
    void programDataChanged() override { ++dataChangedCount; }
    std::atomic<int> selectedCount{0};
    std::atomic<int> lastSelected{-1};
    std::atomic<int> dataChangedCount{0};
};

// A synthesizer that records the hooks. Its block writes 1.0 on every output
// frame, so the output shows the fade gain directly.
class TestSynth : public Vst::Synth {
public:
    static constexpr VstInt32 kPrograms = 100;
    static constexpr VstInt32 kParams = 181;
    static constexpr int kLogCapacity = 16384;

    explicit TestSynth(audioMasterCallback host = FakeHost::callback, bool withEditor = true)
        : Synth(host, vstFourCC('t', 'e', 's', 't'), kPrograms, kParams, 0, 2) {
        setEffectName("Tester");
        setProductString("Tester Product");
        setVendorString("Test Vendor");
        if (withEditor) {
            recordingEditor = new RecordingEditor(this);
            setEditor(recordingEditor);
        }
        mirror.fill(-1.0f);
    }

    void open() override {
        Synth::open();
        ++openCount;
        initParameterNames();
        initDisplayFormatters();
        initPrograms();
        curProgram.store(0);
        applyProgram(0);
        suspend();
    }

    const char* getProductName() override { return "Tester Product"; }

    void getDefaults(float* values) override {
        for (VstInt32 i = 0; i < kParams; ++i) values[i] = defaultFor(i);
    }
    static float defaultFor(int index) { return static_cast<float>(index % 11) / 10.0f; }

    void processBlock(float** inputs, float** outputs, VstInt32 frames) override {
        log(Hook::Block, frames, 0.0f);
        for (int ch = 0; ch < 2; ++ch)
            for (VstInt32 i = 0; i < frames; ++i) outputs[ch][i] = 1.0f;
        framesRendered += frames;
        if (checkControlWord) controlWordInBlock = readControlWord();
    }
    void noteOn(int note, int velocity) override {
        Synth::noteOn(note, velocity);
        log(Hook::NoteOn, note, static_cast<float>(velocity));
    }
    void noteOff(int note) override {
        Synth::noteOff(note);
        log(Hook::NoteOff, note, 0.0f);
    }
    void allNotesOff() override {
        Synth::allNotesOff();
        log(Hook::AllNotesOff, 0, 0.0f);
    }
    void controllerChanged(int kind, float value) override { log(Hook::Controller, kind, value); }
    void parameterChanged(VstInt32 index, float value) override {
        Synth::parameterChanged(index, value);
        if (index >= 0 && index < kParams) mirror[static_cast<size_t>(index)] = value;
        if (logParameters) log(Hook::Parameter, index, value);
    }
    void applyProgram(VstInt32 program) override {
        ++applyCount;
        log(Hook::ApplyProgram, program, 0.0f);
        Synth::applyProgram(program);
    }
    void tempoChanged() override { log(Hook::Tempo, 0, static_cast<float>(getTempo())); }

    // Test access to frame internals.
    int heldCountValue() { return getHeldNoteCount(); }
    float fadeGainValue() const { return fadeGain; }
    int countdownValue() const { return timeInfoCountdown; }
    Vst::Queue& controlQueueRef() { return *controlQueue; }
    Vst::EventQueue& midiQueueRef() { return *midiQueue; }
    Vst::Lock& lockRef() { return lock; }
    void clearLog() { logCount = 0; }

    std::vector<Call> calls(Hook hook) const {
        std::vector<Call> out;
        for (int i = 0; i < logCount; ++i)
            if (callLog[static_cast<size_t>(i)].hook == hook) out.push_back(callLog[static_cast<size_t>(i)]);
        return out;
    }
    std::vector<Call> allCalls() const { return {callLog.begin(), callLog.begin() + logCount}; }

    static unsigned readControlWord() {
#if defined(__x86_64__) || defined(__i386__)
        return _mm_getcsr();
#else
        return 0;
#endif
    }

    RecordingEditor* recordingEditor = nullptr;
    std::array<float, kParams> mirror{};
    std::atomic<int> applyCount{0};
    int openCount = 0;
    long framesRendered = 0;
    bool logParameters = false;
    bool checkControlWord = false;
    unsigned controlWordInBlock = 0;

private:
    void log(Hook hook, int a, float b) {
        if (logCount < kLogCapacity) callLog[static_cast<size_t>(logCount++)] = Call{hook, a, b, framesRendered};
    }
    std::array<Call, kLogCapacity> callLog{};
    int logCount = 0;
};

// Drives one TestSynth through its record, as a host would.
class Instance {
public:
    explicit Instance(bool open = true, bool withEditor = true)
        : synth(new TestSynth(FakeHost::callback, withEditor)), effect(synth->getAeffect()) {
        if (open) dispatch(effOpen);
        left.assign(8192, 0.0f);
        right.assign(8192, 0.0f);
    }
    ~Instance() {
        if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void start(float rate = 44100.0f) {
        dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        dispatch(effSetBlockSize, 0, 4096);
        dispatch(effMainsChanged, 0, 1);
    }
    void process(int frames) {
        float* outs[2] = {left.data(), right.data()};
        effect->processReplacing(effect, nullptr, outs, frames);
    }

    TestSynth* synth;
    AEffect* effect;
    std::vector<float> left;
    std::vector<float> right;
};

// A host event list with room for any number of MIDI events.
class MidiList {
public:
    MidiList& add(int deltaFrames, int status, int data1, int data2) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = deltaFrames;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        events.push_back(e);
        return *this;
    }
    MidiList& addSysex(int deltaFrames) {
        VstMidiEvent e{};
        e.type = kVstSysExType;
        e.deltaFrames = deltaFrames;
        events.push_back(e);
        return *this;
    }
    VstEvents* list() {
        storage.assign(sizeof(VstEvents) + sizeof(VstEvent*) * events.size(), 0);
        auto* out = reinterpret_cast<VstEvents*>(storage.data());
        out->numEvents = static_cast<VstInt32>(events.size());
        for (size_t i = 0; i < events.size(); ++i) out->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
        return out;
    }
    void sendTo(Instance& instance) { instance.dispatch(effProcessEvents, 0, 0, list()); }
    void clear() { events.clear(); }

private:
    std::vector<VstMidiEvent> events;
    std::vector<unsigned char> storage;
};

}  // namespace FrameTest
