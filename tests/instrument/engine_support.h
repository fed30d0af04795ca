// Test rig for the voice engine's white-box suites: a host callback with a
// settable tempo, an instance driven through its plug-in record as a host
// would (open, rate, resume, MIDI, parameters, blocks), the friend seam that
// reaches the instrument's units, and readers for a few protected unit states.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "instrument/Curves.h"
#include "instrument/MorvelithPlugin.h"
#include "instrument/ParameterIndex.h"

namespace EngineTest {

// One host for the process; fixtures reset it.
struct Host {
    VstTimeInfo timeInfo{};
    bool answersTime = true;

    void reset(double tempo = 100.0) {
        timeInfo = VstTimeInfo{};
        timeInfo.tempo = tempo;
        timeInfo.sampleRate = 44100.0;
        timeInfo.flags = kVstTempoValid | kVstPpqPosValid;
        answersTime = true;
    }
    static Host& instance() {
        static Host host;
        return host;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
        Host& host = instance();
        switch (opcode) {
            case audioMasterVersion:
                return 2400;
            case audioMasterGetTime:
                return host.answersTime ? reinterpret_cast<VstIntPtr>(&host.timeInfo) : 0;
            case audioMasterWantMidi:
                return 1;
            default:
                return 0;
        }
    }
};

// One instrument driven through its record.
class Engine {
public:
    static constexpr int kBlock = 256;
    // Programs 76 to 80 of the factory bank hold exactly the parameter defaults.
    static constexpr int kDefaultsProgram = 76;

    // Opened instruments select `program` (none when negative); it is applied
    // when the host resumes.
    explicit Engine(bool open = true, int program = kDefaultsProgram)
        : plugin(new Vst::MorvelithPlugin(Host::callback)), effect(plugin->getAeffect()) {
        if (!open) return;
        dispatch(effOpen);
        if (program >= 0) dispatch(effSetProgram, 0, program);
    }
    ~Engine() { dispatch(effClose); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void setRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }
    void start(float rate = 44100.0f) {
        setRate(rate);
        dispatch(effSetBlockSize, 0, kBlock);
        resume();
    }

    // Queues MIDI for the next block (deltaFrames within it).
    void midi(int deltaFrames, int status, int data1, int data2) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = deltaFrames;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        pending.push_back(e);
    }
    void noteOn(int note, int velocity = 100, int delta = 0) { midi(delta, 0x90, note, velocity); }
    void noteOff(int note, int delta = 0) { midi(delta, 0x80, note, 0); }
    // 14-bit bend: 0 down, 8192 centre, 16383 up.
    void bend(int value, int delta = 0) { midi(delta, 0xE0, value & 0x7F, (value >> 7) & 0x7F); }

    void setParameter(int index, float value) { effect->setParameter(effect, index, value); }
    float parameter(int index) { return effect->getParameter(effect, index); }

    // Renders frames in host blocks of `block`, delivering queued MIDI with the
    // first block; the output is appended to left / right.
    void render(int frames, int block = kBlock) {
        for (int done = 0; done < frames;) {
            const int n = std::min(block, frames - done);
            deliverMidi();
            scratchLeft.assign(static_cast<size_t>(n), 0.0f);
            scratchRight.assign(static_cast<size_t>(n), 0.0f);
            float* outs[2] = {scratchLeft.data(), scratchRight.data()};
            effect->processReplacing(effect, nullptr, outs, n);
            left.insert(left.end(), scratchLeft.begin(), scratchLeft.end());
            right.insert(right.end(), scratchRight.begin(), scratchRight.end());
            done += n;
        }
    }
    // Renders into caller memory without touching the heap (allocation tests).
    void renderInto(float* l, float* r, int n) {
        float* outs[2] = {l, r};
        effect->processReplacing(effect, nullptr, outs, n);
    }
    void deliverMidi() {
        if (pending.empty()) return;
        const size_t count = pending.size();
        storage.assign(sizeof(VstEvents) + count * sizeof(VstEvent*), 0);
        auto* list = reinterpret_cast<VstEvents*>(storage.data());
        list->numEvents = static_cast<VstInt32>(count);
        for (size_t i = 0; i < count; ++i) list->events[i] = reinterpret_cast<VstEvent*>(&pending[i]);
        effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
        delivered = pending;  // the host keeps the list alive for the block
        list = reinterpret_cast<VstEvents*>(storage.data());
        for (size_t i = 0; i < count; ++i) list->events[i] = reinterpret_cast<VstEvent*>(&delivered[i]);
        pending.clear();
    }
    void clearOutput() {
        left.clear();
        right.clear();
    }

    Vst::MorvelithPlugin* plugin;
    AEffect* effect;
    std::vector<float> left;
    std::vector<float> right;

private:
    std::vector<VstMidiEvent> pending;
    std::vector<VstMidiEvent> delivered;
    std::vector<unsigned char> storage;
    std::vector<float> scratchLeft;
    std::vector<float> scratchRight;
};

inline double noteHz(int note) { return 440.0 * std::exp2((note - 69) / 12.0); }

// Readers of protected unit state, through a derived class naming the member
// (a pointer to member formed in the derived class is allowed to read it).
struct FeedbackPeek : SPKit::FeedbackDelay {
    static float of(SPKit::FeedbackDelay& d) { return d.*(&FeedbackPeek::feedback); }
};
struct StereoDelayPeek : SPKit::StereoDelay {
    static float crossFeedOf(SPKit::StereoDelay& d) { return d.*(&StereoDelayPeek::crossFeed); }
};
struct ClipPeek : SPKit::Clip {
    static float lowOf(SPKit::Clip& c) { return c.*(&ClipPeek::low); }
    static float highOf(SPKit::Clip& c) { return c.*(&ClipPeek::high); }
};
struct LinearPeek : SPKit::Linear {
    static float scaleOf(SPKit::Linear& l) { return l.*(&LinearPeek::scale); }
    static float offsetOf(SPKit::Linear& l) { return l.*(&LinearPeek::offset); }
};
struct BypassPeek : SPKit::Bypass {
    static bool bypassedOf(SPKit::Bypass& b) { return b.*(&BypassPeek::bypassed); }
};
struct LowPassPeek : SPKit::ResonantLowPass {
    static float stateOf(SPKit::ResonantLowPass& f) {
        return std::fabs(f.*(&LowPassPeek::s1)) + std::fabs(f.*(&LowPassPeek::s2));
    }
    static float resonanceOf(SPKit::ResonantLowPass& f) { return f.*(&LowPassPeek::resonance); }
};
struct ChamberlinPeek : SPKit::ChamberlinFilter {
    static float stateOf(SPKit::ChamberlinFilter& f) {
        return std::fabs(f.*(&ChamberlinPeek::low)) + std::fabs(f.*(&ChamberlinPeek::band));
    }
    static float resonanceOf(SPKit::ChamberlinFilter& f) { return f.*(&ChamberlinPeek::resonance); }
};
struct BiQuadPeek : SPKit::BiQuad {
    static float stateOf(SPKit::BiQuad& f) {
        return std::fabs(f.*(&BiQuadPeek::x1)) + std::fabs(f.*(&BiQuadPeek::x2)) + std::fabs(f.*(&BiQuadPeek::y1)) +
               std::fabs(f.*(&BiQuadPeek::y2));
    }
};
struct CubicEnvPeek : SPKit::CubicEnv {
    static float targetOf(SPKit::CubicEnv& e, int stage) { return (e.*(&CubicEnvPeek::stages))[stage].target; }
    static float shapeOf(SPKit::CubicEnv& e, int stage) { return (e.*(&CubicEnvPeek::stages))[stage].shape; }
    static float durationOf(SPKit::CubicEnv& e, int stage) {
        return (e.*(&CubicEnvPeek::stages))[stage].duration;
    }
    static float msPerSampleOf(SPKit::CubicEnv& e) { return e.*(&CubicEnvPeek::msPerSample); }
    // Stage time in milliseconds at the envelope's rate.
    static float timeOf(SPKit::CubicEnv& e, int stage) { return durationOf(e, stage) * msPerSampleOf(e); }
};
struct LfoPeek {
    // Frequency from the rotation coefficient k = 2 sin(pi f / rate).
    static double frequencyOf(SPKit::LFO& lfo) {
        return std::asin(lfo.coefficient() / 2.0) / M_PI * lfo.getSampleRate();
    }
};
struct PhaserPeek : SPKit::Phaser {
    // The sweep rate in Hz, from its per-sample phase increment.
    static double rateOf(SPKit::Phaser& ph) {
        return ph.*(&PhaserPeek::sweepIncrement) * ph.getSampleRate() / (2.0 * M_PI);
    }
};
struct GlidePeek : SPKit::Portamento {
    static double outputOf(SPKit::Portamento& p) { return p.*(&GlidePeek::output); }
};

// Sum of |x| over a delay's line (is anything stored in it?).
struct DelayLinePeek : SPKit::FeedbackDelay {
    static double energyOf(SPKit::FeedbackDelay& d) {
        const float* line = d.*(&DelayLinePeek::line);
        double sum = 0.0;
        for (int i = 0; i < SPKit::kMaxDelaySamples; ++i) sum += std::fabs(line[i]);
        return sum;
    }
};
struct ModDelayPeek : SPKit::ModDelay {
    static double energyOf(SPKit::ModDelay& d) {
        const float* line = d.*(&ModDelayPeek::line);
        double sum = 0.0;
        for (int i = 0; i < SPKit::kMaxDelaySamples; ++i) sum += std::fabs(line[i]);
        return sum;
    }
};

}  // namespace EngineTest

namespace Vst {

// The friend seam: the suites' view of the instrument's units.
struct MorvelithPluginTestAccess {
    using P = MorvelithPlugin;
    static SPKit::MultiOscillator& oscillator(P& p) { return p.oscillator; }
    static SPKit::Unit& notePitch(P& p) { return p.notePitch; }
    static SPKit::Portamento& glide(P& p) { return p.glide; }
    static SPKit::Unit& bendValue(P& p) { return p.bendValue; }
    static SPKit::Unit& tuneRatio(P& p) { return p.tuneRatio; }
    static SPKit::Clip& pitchClip(P& p) { return p.pitchClip; }
    static SPKit::Mux& pitchBus(P& p) { return p.pitchBus; }
    static SPKit::CubicEnv& pitchEnvelope(P& p) { return p.pitchEnvelope; }
    static SPKit::Gain& lfoPitchDepth(P& p) { return p.lfoPitchDepth; }
    static SPKit::LFO& lfo(P& p) { return p.lfo; }
    static SPKit::CubicEnv& lfoEnvelope(P& p) { return p.lfoEnvelope; }
    static SPKit::CubicEnv& vibratoEnvelope(P& p) { return p.vibratoEnvelope; }
    static SPKit::CubicEnv& trillEnvelope(P& p) { return p.trillEnvelope; }
    static SPKit::LFO& vibratoLfo(P& p) { return p.vibratoLfo; }
    static SPKit::Gain& vibratoDepth(P& p) { return p.vibratoDepth; }
    static SPKit::Linear& trillShape(P& p) { return p.trillShape; }
    static SPKit::Squarewave& trillOscillator(P& p) { return p.trillOscillator; }
    static SPKit::RampedGain& trimLeft(P& p) { return p.trimLeft; }
    static SPKit::RampedGain& trimRight(P& p) { return p.trimRight; }
    static SPKit::Envelope& lpfEnvelope(P& p) { return p.lpfEnvelope; }
    static SPKit::Envelope& hpfEnvelope(P& p) { return p.hpfEnvelope; }
    static SPKit::Linear& lpfEnvelopeShape(P& p) { return p.lpfEnvelopeShape; }
    static SPKit::Gain& lpfEnvelopeDepth(P& p) { return p.lpfEnvelopeDepth; }
    static SPKit::Gain& lpfKeyTrack(P& p) { return p.lpfKeyTrack; }
    static SPKit::Linear& lpfSpreadLeft(P& p) { return p.lpfSpreadLeft; }
    static SPKit::Linear& lpfSpreadRight(P& p) { return p.lpfSpreadRight; }
    static SPKit::ResonantLowPass& lowPassLeft(P& p) { return p.lowPassLeft; }
    static SPKit::ResonantLowPass& lowPassRight(P& p) { return p.lowPassRight; }
    static SPKit::ChamberlinHighPass& highPassLeft(P& p) { return p.highPassLeft; }
    static SPKit::Linear& ampLfoShape(P& p) { return p.ampLfoShape; }
    static SPKit::QuadEnv& ampEnvelopeLeft(P& p) { return p.ampEnvelopeLeft; }
    static SPKit::QuadEnv& ampEnvelopeRight(P& p) { return p.ampEnvelopeRight; }
    static SPKit::Envelope& velocityLeft(P& p) { return p.velocityLeft; }
    static SPKit::Gain& driveInLeft(P& p) { return p.driveInLeft; }
    static SPKit::Gain& driveOutLeft(P& p) { return p.driveOutLeft; }
    static SPKit::Gain& driveInRight(P& p) { return p.driveInRight; }
    static SPKit::Gain& driveOutRight(P& p) { return p.driveOutRight; }
    static SPKit::Bypass& driveBypassLeft(P& p) { return p.driveBypassLeft; }
    static SPKit::BiQuad& driveFilterLeft(P& p) { return p.driveFilterLeft; }
    static SPKit::BiQuad& driveFilterRight(P& p) { return p.driveFilterRight; }
    static SPKit::BiQuad& dcBlockLeft(P& p) { return p.dcBlockLeft; }
    static SPKit::Tube& tubeLeft(P& p) { return p.tubeLeft; }
    static SPKit::HiirUpsampler& upsamplerLeft(P& p) { return p.upsamplerLeft; }
    static SPKit::HiirDownsampler& downsamplerLeft(P& p) { return p.downsamplerLeft; }
    static SPKit::Bypass& phaserBypassLeft(P& p) { return p.phaserBypassLeft; }
    static SPKit::Phaser& phaserLeft(P& p) { return p.phaserLeft; }
    static SPKit::Phaser& phaserRight(P& p) { return p.phaserRight; }
    static SPKit::LFO& spreadLfo(P& p) { return p.spreadLfo; }
    static SPKit::Gain& spreadDelayDepthLeft(P& p) { return p.spreadDelayDepthLeft; }
    static SPKit::Gain& spreadDelayDepthRight(P& p) { return p.spreadDelayDepthRight; }
    static SPKit::Gain& spreadFilterDepthLeft(P& p) { return p.spreadFilterDepthLeft; }
    static SPKit::Gain& spreadFilterDepthRight(P& p) { return p.spreadFilterDepthRight; }
    static SPKit::ModDelay& spreadDelayLeft(P& p) { return p.spreadDelayLeft; }
    static SPKit::BiQuad& spreadFilterLeft(P& p) { return p.spreadFilterLeft; }
    static SPKit::StereoDelay& hpfDelay(P& p) { return p.hpfDelay; }
    static SPKit::StereoDelay& bpfDelay(P& p) { return p.bpfDelay; }
    static SPKit::RampedGain& hpfDelaySendLeft(P& p) { return p.hpfDelaySendLeft; }
    static SPKit::RampedGain& hpfDelaySendRight(P& p) { return p.hpfDelaySendRight; }
    static SPKit::RampedGain& bpfDelaySendLeft(P& p) { return p.bpfDelaySendLeft; }
    static SPKit::RampedGain& bpfDelaySendRight(P& p) { return p.bpfDelaySendRight; }
    static SPKit::Gain& hpfDelayTune(P& p) { return p.hpfDelayTune; }
    static SPKit::Unit& bpfDelayTune(P& p) { return p.bpfDelayTune; }
    static SPKit::LFO& bpfDelayLfo(P& p) { return p.bpfDelayLfo; }
    static SPKit::Mute& hpfDelayMuteLeft(P& p) { return p.hpfDelayMuteLeft; }
    static SPKit::Mute& bpfDelayMuteRight(P& p) { return p.bpfDelayMuteRight; }
    static SPKit::ChamberlinHighPass& hpfDelayFilterLeft(P& p) { return p.hpfDelayFilterLeft; }
    static SPKit::ChamberlinBandPass& bpfDelayFilterLeft(P& p) { return p.bpfDelayFilterLeft; }
    static SPKit::BiQuad& eq1Left(P& p) { return p.eq1Left; }
    static SPKit::BiQuad& eq1Right(P& p) { return p.eq1Right; }
    static SPKit::BiQuad& eq2Left(P& p) { return p.eq2Left; }
    static SPKit::Bypass& eqBypassLeft(P& p) { return p.eqBypassLeft; }
    static SPKit::RampedGain& masterLeft(P& p) { return p.masterLeft; }
    static SPKit::RampedGain& masterRight(P& p) { return p.masterRight; }
    static SPKit::Gain& outputLeft(P& p) { return p.outputLeft; }
    static SPKit::Gain& outputRight(P& p) { return p.outputRight; }
    static SPKit::Mux& lfoBus(P& p) { return p.lfoBus; }
    // Sleeping while silent: allowed (the default) or not, and whether it sleeps now.
    static void allowSleep(P& p, bool allowed) { p.sleepAllowed = allowed; }
    static bool isAsleep(P& p) { return p.asleep; }
    static SPKit::Mux& dryBusLeft(P& p) { return p.dryBusLeft; }
    static SPKit::Mux& spreadBusLeft(P& p) { return p.spreadBusLeft; }
    static SPKit::Mux& lpfCutoffBus(P& p) { return p.lpfCutoffBus; }
    static SPKit::Mux& keyLevelBus(P& p) { return p.keyLevelBus; }
    static SPKit::ModGain& keyLevelLeft(P& p) { return p.keyLevelLeft; }
    static SPKit::Mul& lpfCutoffLeft(P& p) { return p.lpfCutoffLeft; }
    static int heldCount(P& p) { return p.heldCount; }
    static void setTempo(P& p, double bpm) { p.tempo.store(bpm); }
};

}  // namespace Vst
