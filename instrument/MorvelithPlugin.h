// The instrument: Morvelith's identity (zq4k, 100 programs of 181 parameters,
// no inputs, two outputs) on the frame's Synth, and its voice engine - one
// monophonic voice and its effects chain as a fixed graph of SPKit units,
// every unit a plain member, connected once when the plug-in opens.
// Sound is pulled: left output first, then right.
#pragma once

#include <cstdint>

#include "frame/Synth.h"
#include "spkit/Control.h"
#include "spkit/Delays.h"
#include "spkit/Envelopes.h"
#include "spkit/Filters.h"
#include "spkit/Framework.h"
#include "spkit/Gain.h"
#include "spkit/LFO.h"
#include "spkit/Oscillators.h"
#include "spkit/Oversampling.h"

namespace Vst {

class MorvelithEditor;

// A glide that can be re-timed without falling back to its initial value:
// the base class restarts from that value (0 Hz), which under a held note
// would sweep the pitch up from nothing.
class HeldPortamento : public SPKit::Portamento {
public:
    using Portamento::Portamento;

    // The output the glide has reached.
    double getCurrent() const { return output; }
    // setTime, then the glide rests where it was.
    void retime(double ms);
};

// A pass-through that keeps the largest magnitude it has passed: the
// instrument listens to its own signal through these to sleep when silent.
class LevelTap : public SPKit::Base {
public:
    void process(float* out, int count) override;
    // The peak since the last call; the next call starts afresh. Audio thread.
    float takePeak();
    // The largest of `from` and the magnitudes of x[0..count), NaNs passed
    // over; in vector lanes where the processor has them. Any thread (pure).
    static float peakOf(const float* x, int count, float from);

private:
    float peak = 0.0f;
};

class MorvelithPlugin : public Synth {
public:
    static constexpr VstInt32 kUniqueID = vstFourCC('z', 'q', '4', 'k');
    static constexpr VstInt32 kNumPrograms = 100;
    static constexpr VstInt32 kNumParams = 181;
    static constexpr VstInt32 kNumInputs = 0;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kVendorVersion = 1000;

    explicit MorvelithPlugin(audioMasterCallback audioMaster);
    ~MorvelithPlugin() override;

    // --- Host operations (host thread, not processing) ---------------------
    // The frame's open, names, display rules, defaults, wavetable, the graph
    // (once), programs, program 0 applied, then suspended.
    void open() override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;

    const char* getProductName() override;

    // --- Store operations (any thread; tables filled at open) ---------------
    ValueQuantizer getValueQuantizer(VstInt32 index) override;
    void initPrograms() override;
    void initParameterNames() override;
    void initDisplayFormatters() override;
    void getDefaults(float* values) override;

    // --- Audio thread -------------------------------------------------------
    void processBlock(float** inputs, float** outputs, VstInt32 frames) override;
    void noteOn(int note, int velocity) override;
    void noteOff(int note) override;
    void allNotesOff() override;
    void tempoChanged() override;
    void applyProgram(VstInt32 program) override;
    void parameterChanged(VstInt32 index, float value) override;
    void controllerChanged(int kind, float value) override;

    // --- The instrument's own operations, in slot order ---------------------
    // Any thread: 0 reserved, 1 continuous, 2 switch.
    virtual int getParameterType(VstInt32 index);
    // Any thread: the default value of one index (0 outside the table).
    virtual float getDefault(VstInt32 index);
    // Opening sequence: gives the oscillator its share of the global table set.
    virtual void acquireWavetable();
    // Opening sequence: every connection and wiring setting; runs once.
    virtual void buildGraph();
    // Opening sequence: the defaults of the parameter table.
    virtual void initDefaults();
    // Empties delay lines and filter memories; envelopes, modulators and the
    // held notes keep their state.
    virtual void resetState();

private:
    friend struct MorvelithPluginTestAccess;

    // stored(i): the value of parameter i in the current program.
    float stored(int index);
    bool isOn(int index) { return stored(index) == 1.0f; }
    bool isOff(int index) { return stored(index) == 0.0f; }
    // Re-applying parameter i: parameterChanged (i, stored(i)).
    void reapply(int index);
    void reapply(std::initializer_list<int> indices);

    // Rate-dependent wiring: the whole graph at rate, the pitch ceiling and
    // the drive pre-filter; the glide keeps its pitch.
    void applySampleRate(float rate);

    // The pure level stages ("Osc: TRIM", the delay sends, "Master: LEVEL",
    // and the phaser's wet level, "Phaser: DEPTH"):
    // moved during play they glide over this time at audio rate, so a knob
    // drag or automation does not click; a program applied jumps.
    static constexpr float kLevelGlideMs = 5.0f;
    // Ends every level glide at its gain (after a program is applied).
    void settleLevels();

    // Sleeping while silent (MorvelithSleep.cpp), all on the audio thread.
    // With no note held, the pitch steady, and everything after the amplitude
    // envelope below -120 dBFS for longer than the delay lines hold, it stops
    // computing: its output is exactly 0 and only the free-running phases move
    // on. Any event wakes it before the event applies.
    static constexpr float kSilenceLevel = 1.0e-6f;
    // Quiet beyond the longest delay before sleeping: the phaser, spread,
    // equaliser and drive filters ring out well within it.
    static constexpr float kSleepMarginMs = 100.0f;
    // On waking, the last stretch of the sleep is rendered and discarded, so
    // the filters ahead of the envelope and the control glides are where they
    // would be; the voice filters restart from rest under a fade-in of the
    // oscillator over its first kPreRollFadeMs.
    static constexpr float kPreRollMs = 200.0f;
    static constexpr float kPreRollFadeMs = 100.0f;
    static constexpr int kPreRollChunk = 256;
    // After a rendered block: counts quiet frames and falls asleep after enough.
    void observeSilence(VstInt32 frames);
    // A block while asleep: exact zeros, and the phases moved on.
    void sleepBlock(float** outputs, VstInt32 frames);
    // Called first by every event handler: catches up and renders the pre-roll.
    void wake();
    // Moves every free-running phase on by `frames` (a multiple of the
    // control-rate divisor, so the control grid stays where it would be).
    void advanceFreeRunning(int64_t frames);
    int64_t sleepHoldFrames();
    int64_t preRollFrames();

    // Parameter mappings by section (MorvelithParameters.cpp).
    void applyOscillatorParameter(int index, float v);
    void applyPitchParameter(int index, float v);
    void applyFilterParameter(int index, float v);
    void applyModulatorParameter(int index, float v);
    void applyEnvelopeParameter(int index, float v);
    void applyEffectParameter(int index, float v);
    void applyDelayLength(int channel);
    void applyDelayFeedback(SPKit::StereoDelay& delay, float v);

    // Per-modulator and per-envelope groups of indices and units.
    struct ModulatorGroup;
    struct EnvelopeGroup;
    void applyModulatorGroup(const ModulatorGroup& group, int index);
    void applyModulatorStages(const ModulatorGroup& group, bool synced);
    void applyEnvelopeGroup(const EnvelopeGroup& group, int index);
    void setEnvelopeStage(const EnvelopeGroup& group, float timeMs, float level, int stage);

    float defaults[kNumParams] = {};
    bool graphBuilt = false;
    // From a program's application until the next sub-block is rendered:
    // nothing has sounded at the levels since, so level moves made in between
    // (values a host sends with the resume or a chunk) apply at once too.
    bool levelsUnheard = false;
    // The editor, owned by the interface's base class; told of every change.
    MorvelithEditor* window = nullptr;

    // Sleep state.
    LevelTap envelopeTapLeft;
    LevelTap envelopeTapRight;
    LevelTap outputTapLeft;
    LevelTap outputTapRight;
    bool sleepAllowed = true;
    bool asleep = false;
    int64_t quietFrames = 0;
    float quietFrequency = 0.0f;
    int64_t asleepFrames = 0;
    int64_t advancedFrames = 0;
    float preRollLeft[kPreRollChunk] = {};
    float preRollRight[kPreRollChunk] = {};

    // ---- Pitch section (control rate) -------------------------------------
    SPKit::Unit notePitch{440.0f};
    HeldPortamento glide{1.0, 0.0f};
    SPKit::Unit bendValue{0.0f};
    SPKit::Portamento bendSmooth{1.0, 0.0f};
    SPKit::Octave bendRatio;
    SPKit::Unit tuneRatio{0.0f};
    SPKit::Gain lfoPitchDepth;
    SPKit::Octave lfoPitchRatio;
    SPKit::Octave vibratoRatio;
    SPKit::Octave trillRatio;
    SPKit::Mul pitchProduct;
    SPKit::CubicEnv pitchEnvelope;
    SPKit::Clip pitchClip;
    SPKit::Mux pitchBus;

    // ---- Modulators (control rate) -----------------------------------------
    SPKit::LFO lfo;
    SPKit::CubicEnv lfoEnvelope;
    SPKit::Mux lfoBus;
    SPKit::LFO vibratoLfo;
    SPKit::CubicEnv vibratoEnvelope;
    SPKit::Gain vibratoDepth;
    SPKit::Squarewave trillOscillator;
    SPKit::Linear trillShape;
    SPKit::CubicEnv trillEnvelope;

    // ---- Oscillator and filters ---------------------------------------------
    SPKit::MultiOscillator oscillator;
    SPKit::RampedGain trimLeft{0.6f, kLevelGlideMs};
    SPKit::RampedGain trimRight{0.6f, kLevelGlideMs};
    SPKit::Unit lpfEnvelopeSource{1.0f};
    SPKit::Envelope lpfEnvelope;
    SPKit::Linear lpfEnvelopeShape;
    SPKit::Gain lpfEnvelopeDepth;
    SPKit::Octave lpfEnvelopeRatio;
    SPKit::Gain lpfKeyTrack;
    SPKit::Gain lpfLfoDepth;
    SPKit::Octave lpfLfoRatio;
    SPKit::Mul lpfCutoff;
    SPKit::Mux lpfCutoffBus;
    SPKit::Mul lpfCutoffLeft;
    SPKit::Mul lpfCutoffRight;
    SPKit::ResonantLowPass lowPassLeft;
    SPKit::ResonantLowPass lowPassRight;
    SPKit::Unit hpfEnvelopeSource{1.0f};
    SPKit::Envelope hpfEnvelope;
    SPKit::Linear hpfEnvelopeShape;
    SPKit::Gain hpfEnvelopeDepth;
    SPKit::Octave hpfEnvelopeRatio;
    SPKit::Gain hpfKeyTrack;
    SPKit::Gain hpfLfoDepth;
    SPKit::Octave hpfLfoRatio;
    SPKit::Mul hpfCutoff;
    SPKit::Mux hpfCutoffBus;
    SPKit::ChamberlinHighPass highPassLeft;
    SPKit::ChamberlinHighPass highPassRight;

    // ---- Amplitude and drive --------------------------------------------------
    SPKit::Linear ampLfoShape;
    SPKit::Decibel ampLfoCurve;
    SPKit::Mux ampLfoBus;
    SPKit::ModGain tremoloLeft;
    SPKit::ModGain tremoloRight;
    SPKit::QuadEnv ampEnvelopeLeft;
    SPKit::QuadEnv ampEnvelopeRight;
    SPKit::Gain driveInLeft{1.0f};
    SPKit::Gain driveInRight{1.0f};
    SPKit::BiQuad driveFilterLeft;
    SPKit::BiQuad driveFilterRight;
    SPKit::HiirUpsampler upsamplerLeft;
    SPKit::HiirUpsampler upsamplerRight;
    SPKit::Tube tubeLeft;
    SPKit::Tube tubeRight;
    SPKit::HiirDownsampler downsamplerLeft;
    SPKit::HiirDownsampler downsamplerRight;
    SPKit::Bypass driveBypassLeft;
    SPKit::Bypass driveBypassRight;
    SPKit::Gain driveOutLeft{1.0f};
    SPKit::Gain driveOutRight{1.0f};
    SPKit::Log keyLevelLog;
    SPKit::Linear keyLevelShape;
    SPKit::Mux keyLevelBus;
    SPKit::ModGain keyLevelLeft;
    SPKit::ModGain keyLevelRight;
    SPKit::BiQuad dcBlockLeft;
    SPKit::BiQuad dcBlockRight;
    SPKit::Envelope velocityLeft;
    SPKit::Envelope velocityRight;

    // ---- Phaser, spread and delays --------------------------------------------
    SPKit::Phaser phaserLeft;
    SPKit::Phaser phaserRight;
    SPKit::Bypass phaserBypassLeft;
    SPKit::Bypass phaserBypassRight;
    SPKit::Mux dryBusLeft;
    SPKit::Mux dryBusRight;
    SPKit::LFO spreadLfo;
    SPKit::Mux spreadBus;
    SPKit::Clip spreadPositive;
    SPKit::Clip spreadNegative;
    SPKit::Mux spreadBusLeft;
    SPKit::Mux spreadBusRight;
    SPKit::Linear lpfSpreadLeft;
    SPKit::Linear lpfSpreadRight;
    SPKit::Gain spreadDelayDepthLeft;
    SPKit::Gain spreadDelayDepthRight;
    SPKit::ModDelay spreadDelayLeft;
    SPKit::ModDelay spreadDelayRight;
    SPKit::Gain spreadFilterDepthLeft;
    SPKit::Gain spreadFilterDepthRight;
    SPKit::BiQuad spreadFilterLeft;
    SPKit::BiQuad spreadFilterRight;
    SPKit::RampedGain hpfDelaySendLeft{1.0f, kLevelGlideMs};
    SPKit::RampedGain hpfDelaySendRight{1.0f, kLevelGlideMs};
    SPKit::Gain hpfDelayTune;
    SPKit::Mux hpfDelayCutoffBus;
    SPKit::ChamberlinHighPass hpfDelayFilterLeft;
    SPKit::ChamberlinHighPass hpfDelayFilterRight;
    SPKit::StereoDelay hpfDelay;
    SPKit::Gain hpfDelayFeedbackLeft{1.0f};
    SPKit::Gain hpfDelayFeedbackRight{1.0f};
    SPKit::Mute hpfDelayMuteLeft;
    SPKit::Mute hpfDelayMuteRight;
    SPKit::RampedGain bpfDelaySendLeft{1.0f, kLevelGlideMs};
    SPKit::RampedGain bpfDelaySendRight{1.0f, kLevelGlideMs};
    SPKit::Unit bpfDelayTune{0.0f};
    SPKit::LFO bpfDelayLfo;
    SPKit::Gain bpfDelayLfoDepth{1.0f};
    SPKit::Octave bpfDelayLfoRatio;
    SPKit::Mul bpfDelayCutoff;
    SPKit::Mux bpfDelayCutoffBus;
    SPKit::StereoDelay bpfDelay;
    SPKit::ChamberlinBandPass bpfDelayFilterLeft;
    SPKit::ChamberlinBandPass bpfDelayFilterRight;
    SPKit::Limiter bpfDelayLimiterLeft;
    SPKit::Limiter bpfDelayLimiterRight;
    SPKit::Mute bpfDelayMuteLeft;
    SPKit::Mute bpfDelayMuteRight;

    // ---- Mix, equaliser and output --------------------------------------------
    SPKit::Add mixLeft;
    SPKit::Add mixRight;
    SPKit::BiQuad eq1Left;
    SPKit::BiQuad eq1Right;
    SPKit::BiQuad eq2Left;
    SPKit::BiQuad eq2Right;
    SPKit::Bypass eqBypassLeft;
    SPKit::Bypass eqBypassRight;
    SPKit::RampedGain masterLeft{1.0f, kLevelGlideMs};
    SPKit::RampedGain masterRight{1.0f, kLevelGlideMs};
    SPKit::Gain outputLeft{1.0f};
    SPKit::Gain outputRight{1.0f};
};

}  // namespace Vst
