// The note and controller handlers of the monophonic voice: last-note
// priority with legato (only the first held note restarts the envelopes and
// modulators), release on the last note-off, and the smoothed pitch bend.
// Audio thread.
#include <cmath>
#include <numbers>

#include "instrument/MorvelithPlugin.h"
#include "instrument/ParameterIndex.h"

namespace Vst {

namespace {

constexpr int kReleaseStage = 4;
constexpr float kVelocityScale = 1.0f / 128.0f;
// The detune that spreads the voices' start phases when detune itself is 0.
constexpr float kPhaseSpreadDetune = 0.125f;

float noteFrequency(int note) { return static_cast<float>(440.0 * std::exp2((note - 69) / 12.0)); }

}  // namespace

void MorvelithPlugin::noteOn(int note, int velocity) {
    wake();
    Synth::noteOn(note, velocity);
    notePitch.setValue(noteFrequency(note));
    // Another note still held: legato, the glide slides to the new pitch.
    if (heldCount != 1) return;

    const float level = static_cast<float>(velocity) * kVelocityScale;
    for (SPKit::Envelope* velocityLevel : {&velocityLeft, &velocityRight}) {
        velocityLevel->setStage(0.0f, level, 0);
        velocityLevel->startStage(0);
    }
    ampEnvelopeLeft.startStage(0);
    ampEnvelopeRight.startStage(0);
    lpfEnvelope.startStage(0);
    hpfEnvelope.startStage(0);
    pitchEnvelope.startStage(0);
    lfoEnvelope.startStage(0);
    vibratoEnvelope.startStage(0);
    trillEnvelope.startStage(0);
    // No portamento from the previous, released note.
    glide.setCurrent(notePitch.getValue());

    if (isOn(kLfoTrig)) lfo.restart();
    if (isOn(kVibraTrig)) vibratoLfo.restart();
    if (isOn(kTrillTrig)) trillOscillator.setPhase(0.0f);

    if (!isOn(kOscTrig)) return;
    const float p = stored(kOscPhase);
    const float d = stored(kOscDetune);
    const float detune = oscillator.getDetune();
    if (p == 0.0f) {
        oscillator.setPhase(0.0f);
    } else if (d > 0.0f && detune > 0.0f) {
        // The voices' phases scale with their detune ratios: p cycles per detune step.
        oscillator.setPhase(2.0f * std::numbers::pi_v<float> * p / detune);
    } else if (d >= 0.0f) {
        // No detune (or one too small to divide by): spread by p / 2 cycles
        // per step of a borrowed detune, then detune as before.
        oscillator.setDetune(kPhaseSpreadDetune);
        oscillator.setPhase(std::numbers::pi_v<float> * p / kPhaseSpreadDetune);
        oscillator.setDetune(detune);
    }
}

void MorvelithPlugin::noteOff(int note) {
    wake();
    Synth::noteOff(note);
    if (heldCount == 0) {
        lpfEnvelope.startStage(kReleaseStage);
        hpfEnvelope.startStage(kReleaseStage);
        ampEnvelopeLeft.startStage(kReleaseStage);
        ampEnvelopeRight.startStage(kReleaseStage);
        return;
    }
    // Back to the most recently pressed of the notes still held.
    notePitch.setValue(noteFrequency(heldNotes[heldCount - 1]));
}

void MorvelithPlugin::allNotesOff() {
    wake();
    Synth::allNotesOff();
    lpfEnvelope.startStage(kReleaseStage);
    hpfEnvelope.startStage(kReleaseStage);
    ampEnvelopeLeft.startStage(kReleaseStage);
    ampEnvelopeRight.startStage(kReleaseStage);
}

void MorvelithPlugin::controllerChanged(int kind, float value) {
    wake();
    if (kind != kPitchBendController) return;
    // Qualified: inside the class kPitchBend names the frame's event kind (4).
    bendValue.setValue(stored(ParameterIndex::kPitchBend) * value);
}

}  // namespace Vst
