// The instrument's wiring step: every connection and fixed setting of the
// voice and its effects chain, made once when the plug-in opens. Each
// setInput / setControl hands the consumer's rate to its source; the last
// step re-rates the whole graph from its outputs at the frame's rate.
#include <cmath>

#include "instrument/Curves.h"
#include "instrument/MorvelithPlugin.h"

namespace Vst {

namespace {

constexpr float kSustainMs = 10000000.0f;
constexpr float kModulatorFadeMs = 30.0f;
constexpr float kBendSmoothingMs = 50.0f;
// 2 x 24 semitones / 12: a bend position of x gives 2^(2x).
constexpr float kBendOctaves = 4.0f;
// An Octave of 40 turns +-0.5 into +-10 octaves.
constexpr float kModulationOctaves = 40.0f;
constexpr float kPitchCeilingFraction = 0.49f;
constexpr float kDriveFilterFraction = 0.4f;
constexpr float kDcBlockHz = 10.0f;
constexpr float kSpreadShelfPosition = 0.63f;  // F(0.63), about 1566 Hz
constexpr float kBpfDelayLfoHz = 0.5f;
constexpr float kBpfDelayResonance = 0.75f;
constexpr float kLimiterAttackMs = 10.0f;
constexpr float kLimiterReleaseMs = 50.0f;
constexpr float kLimiterThreshold = 0.5f;
constexpr float kVelocityStageMs = 10.0f;

// Attack, hold, decay, sustain, release: the amplitude and filter envelopes.
void addHoldStageEnvelope(SPKit::Envelope& envelope) {
    envelope.addStage(0.0f, 1.0f);
    envelope.addStage(0.0f, 1.0f);
    envelope.addStage(0.0f, 1.0f);
    envelope.addStage(kSustainMs, 1.0f);
    envelope.addStage(100.0f, 0.0f);
}

// Start, delay, fade in, hold, fade out: the modulator envelopes.
void addModulatorEnvelope(SPKit::CubicEnv& envelope) {
    envelope.addStage(0.0f, 0.0f, 0.5f);
    envelope.addStage(0.0f, 0.0f, 0.5f);
    envelope.addStage(kModulatorFadeMs, 1.0f, 0.25f);
    envelope.addStage(0.0f, 1.0f, 0.5f);
    envelope.addStage(kModulatorFadeMs, 1.0f, 0.25f);
}

}  // namespace

void MorvelithPlugin::buildGraph() {
    if (graphBuilt) return;  // connected once; a second wiring would double every consumer count
    graphBuilt = true;

    // Filter envelopes and their shaping chains (control rate).
    addHoldStageEnvelope(lpfEnvelope);
    lpfEnvelope.setRetriggerMix(1.0f);
    lpfEnvelope.setInput(&lpfEnvelopeSource);
    lpfEnvelopeShape.setScaleOffset(1.0f, 0.0f);
    lpfEnvelopeShape.setInput(&lpfEnvelope);
    lpfEnvelopeDepth.setInput(&lpfEnvelopeShape);
    lpfEnvelopeRatio.setOctaves(kModulationOctaves);
    lpfEnvelopeRatio.setInput(&lpfEnvelopeDepth);

    addHoldStageEnvelope(hpfEnvelope);
    hpfEnvelope.setRetriggerMix(1.0f);
    hpfEnvelope.setInput(&hpfEnvelopeSource);
    hpfEnvelopeShape.setScaleOffset(1.0f, 0.0f);
    hpfEnvelopeShape.setInput(&hpfEnvelope);
    hpfEnvelopeDepth.setInput(&hpfEnvelopeShape);
    hpfEnvelopeRatio.setOctaves(kModulationOctaves);
    hpfEnvelopeRatio.setInput(&hpfEnvelopeDepth);

    // Amplitude envelopes' stages (retrigger mix stays 0: a new note starts
    // from the level the release had reached).
    addHoldStageEnvelope(ampEnvelopeLeft);
    addHoldStageEnvelope(ampEnvelopeRight);

    // Pitch section (control rate).
    glide.setInput(&notePitch);
    glide.setCurrent(notePitch.getValue());
    bendSmooth.setTime(kBendSmoothingMs);
    bendSmooth.setCurrent(0.0);
    bendSmooth.setInput(&bendValue);
    bendRatio.setOctaves(kBendOctaves);
    bendRatio.setInput(&bendSmooth);
    lfoPitchDepth.setInput(&lfoBus);
    lfoPitchRatio.setOctaves(kModulationOctaves);
    lfoPitchRatio.setInput(&lfoPitchDepth);
    vibratoRatio.setOctaves(kModulationOctaves);
    vibratoRatio.setInput(&vibratoDepth);
    trillRatio.setOctaves(kModulationOctaves);
    trillRatio.setInput(&trillEnvelope);
    pitchProduct.addInput(&tuneRatio);
    pitchProduct.addInput(&glide);
    pitchProduct.addInput(&bendRatio);
    pitchProduct.addInput(&lfoPitchRatio);
    pitchProduct.addInput(&vibratoRatio);
    pitchProduct.addInput(&trillRatio);
    pitchEnvelope.addStage(0.0f, 1.0f, 0.5f);
    pitchEnvelope.addStage(0.0f, 1.0f, 0.75f);
    pitchEnvelope.setInput(&pitchProduct);
    pitchClip.setLimits(1.0f, kPitchCeilingFraction * getSampleRate());
    pitchClip.setInput(&pitchEnvelope);
    pitchBus.setInput(&pitchClip);

    // Modulators (control rate).
    lfo.setFrequency(1.0f);
    addModulatorEnvelope(lfoEnvelope);
    lfoEnvelope.setInput(&lfo);
    lfoBus.setInput(&lfoEnvelope);
    vibratoLfo.setFrequency(10.0f);
    addModulatorEnvelope(vibratoEnvelope);
    vibratoEnvelope.setInput(&vibratoLfo);
    vibratoDepth.setInput(&vibratoEnvelope);
    trillOscillator.setFrequency(10.0f);
    trillShape.setScaleOffset(0.5f, 0.5f);
    trillShape.setInput(&trillOscillator);
    addModulatorEnvelope(trillEnvelope);
    trillEnvelope.setInput(&trillShape);

    // Oscillator and its trims: output A feeds the left chain, B the right.
    oscillator.setControl(&pitchBus);
    trimLeft.setInput(&oscillator);
    trimRight.setInput(&oscillator);

    // Cutoff products (control rate).
    lpfKeyTrack.setInput(&pitchBus);
    lpfLfoDepth.setInput(&lfoBus);
    lpfLfoRatio.setOctaves(kModulationOctaves);
    lpfLfoRatio.setInput(&lpfLfoDepth);
    lpfCutoff.addInput(&lpfKeyTrack);
    lpfCutoff.addInput(&lpfEnvelopeRatio);
    lpfCutoff.addInput(&lpfLfoRatio);
    lpfCutoffBus.setInput(&lpfCutoff);
    lpfCutoffLeft.addInput(&lpfCutoffBus);
    lpfCutoffLeft.addInput(&lpfSpreadLeft);
    lpfCutoffRight.addInput(&lpfCutoffBus);
    lpfCutoffRight.addInput(&lpfSpreadRight);

    hpfKeyTrack.setInput(&pitchBus);
    hpfLfoDepth.setInput(&lfoBus);
    hpfLfoRatio.setOctaves(kModulationOctaves);
    hpfLfoRatio.setInput(&hpfLfoDepth);
    hpfCutoff.addInput(&hpfKeyTrack);
    hpfCutoff.addInput(&hpfEnvelopeRatio);
    hpfCutoff.addInput(&hpfLfoRatio);
    hpfCutoffBus.setInput(&hpfCutoff);

    // Filters.
    lowPassLeft.setInput(&trimLeft);
    lowPassLeft.setControl(&lpfCutoffLeft);
    lowPassRight.setInput(&trimRight);
    lowPassRight.setControl(&lpfCutoffRight);
    highPassLeft.setInput(&lowPassLeft);
    highPassLeft.setControl(&hpfCutoffBus);
    highPassRight.setInput(&lowPassRight);
    highPassRight.setControl(&hpfCutoffBus);
    // Each voice filter's channels run in one two-lane kernel.
    lowPassLeft.pairWith(lowPassRight);
    highPassLeft.pairWith(highPassRight);

    // Amplitude and drive.
    ampLfoShape.setScaleOffset(0.0f, 1.0f);
    ampLfoShape.setInput(&lfoBus);
    ampLfoCurve.setInput(&ampLfoShape);
    ampLfoBus.setInput(&ampLfoCurve);
    tremoloLeft.setInput(&highPassLeft);
    tremoloLeft.setControl(&ampLfoBus);
    tremoloRight.setInput(&highPassRight);
    tremoloRight.setControl(&ampLfoBus);
    ampEnvelopeLeft.setInput(&tremoloLeft);
    ampEnvelopeRight.setInput(&tremoloRight);
    envelopeTapLeft.setInput(&ampEnvelopeLeft);
    envelopeTapRight.setInput(&ampEnvelopeRight);
    driveInLeft.setInput(&envelopeTapLeft);
    driveInRight.setInput(&envelopeTapRight);
    for (SPKit::BiQuad* filter : {&driveFilterLeft, &driveFilterRight}) {
        filter->setType(SPKit::BiQuad::kLowPass);
        filter->setFrequency(kDriveFilterFraction * getSampleRate());
    }
    driveFilterLeft.setInput(&driveInLeft);
    driveFilterRight.setInput(&driveInRight);
    driveFilterLeft.pairWith(driveFilterRight);
    upsamplerLeft.setInput(&driveFilterLeft);
    upsamplerRight.setInput(&driveFilterRight);
    tubeLeft.setInput(&upsamplerLeft);
    tubeRight.setInput(&upsamplerRight);
    downsamplerLeft.setInput(&tubeLeft);
    downsamplerRight.setInput(&tubeRight);
    // Both chains run in one vector kernel (the bypasses switch together).
    downsamplerLeft.pairWith(downsamplerRight);
    driveBypassLeft.setBypassSource(&driveInLeft);
    driveBypassLeft.setBypassed(false);
    driveBypassLeft.setInput(&downsamplerLeft);
    driveBypassRight.setBypassSource(&driveInRight);
    driveBypassRight.setBypassed(false);
    driveBypassRight.setInput(&downsamplerRight);
    driveOutLeft.setInput(&driveBypassLeft);
    driveOutRight.setInput(&driveBypassRight);

    // Key level: 2 - 2 ln(f) / ln(20000) of the oscillator frequency.
    keyLevelLog.setInput(&pitchBus);
    keyLevelShape.setScaleOffset(-2.0f / std::log(20000.0f), 2.0f);
    keyLevelShape.setInput(&keyLevelLog);
    keyLevelBus.setInput(&keyLevelShape);
    keyLevelLeft.setInput(&driveOutLeft);
    keyLevelLeft.setControl(&keyLevelBus);
    keyLevelRight.setInput(&driveOutRight);
    keyLevelRight.setControl(&keyLevelBus);

    // DC block.
    for (SPKit::BiQuad* filter : {&dcBlockLeft, &dcBlockRight}) {
        filter->setType(SPKit::BiQuad::kHighPass);
        filter->setFrequency(kDcBlockHz);
    }
    dcBlockLeft.setInput(&keyLevelLeft);
    dcBlockRight.setInput(&keyLevelRight);
    dcBlockLeft.pairWith(dcBlockRight);

    // Velocity: one stage holding the note velocity as a level.
    velocityLeft.addStage(kVelocityStageMs, 1.0f);
    velocityRight.addStage(kVelocityStageMs, 1.0f);
    velocityLeft.setInput(&dcBlockLeft);
    velocityRight.setInput(&dcBlockRight);

    // Phaser.
    phaserLeft.setInput(&velocityLeft);
    phaserRight.setInput(&velocityRight);
    phaserLeft.setMixGlide(kLevelGlideMs);
    phaserRight.setMixGlide(kLevelGlideMs);
    phaserLeft.pairWith(phaserRight);
    phaserBypassLeft.setBypassSource(&velocityLeft);
    phaserBypassLeft.setBypassed(false);
    phaserBypassLeft.setInput(&phaserLeft);
    phaserBypassRight.setBypassSource(&velocityRight);
    phaserBypassRight.setBypassed(false);
    phaserBypassRight.setInput(&phaserRight);
    dryBusLeft.setInput(&phaserBypassLeft);
    dryBusRight.setInput(&phaserBypassRight);

    // Spread: the positive half-wave of its LFO moves the left channel, the
    // negative half the right one.
    spreadBus.setInput(&spreadLfo);
    spreadPositive.setLimits(0.0f, 1.0f);
    spreadPositive.setInput(&spreadBus);
    spreadNegative.setLimits(-1.0f, 0.0f);
    spreadNegative.setInput(&spreadBus);
    spreadBusLeft.setInput(&spreadPositive);
    spreadBusRight.setInput(&spreadNegative);
    lpfSpreadLeft.setScaleOffset(1.0f, 1.0f);
    lpfSpreadLeft.setInput(&spreadBusLeft);
    lpfSpreadRight.setScaleOffset(1.0f, 1.0f);
    lpfSpreadRight.setInput(&spreadBusRight);
    spreadDelayDepthLeft.setInput(&spreadBusLeft);
    spreadDelayDepthRight.setInput(&spreadBusRight);
    spreadDelayLeft.setInput(&dryBusLeft);
    spreadDelayLeft.setControl(&spreadDelayDepthLeft);
    spreadDelayRight.setInput(&dryBusRight);
    spreadDelayRight.setControl(&spreadDelayDepthRight);
    spreadFilterDepthLeft.setInput(&spreadBusLeft);
    spreadFilterDepthRight.setInput(&spreadBusRight);
    for (SPKit::BiQuad* filter : {&spreadFilterLeft, &spreadFilterRight}) {
        filter->setType(SPKit::BiQuad::kHighShelf);
        filter->setFrequency(Curves::pitchFrequency(kSpreadShelfPosition));
    }
    spreadFilterLeft.setInput(&spreadDelayLeft);
    spreadFilterLeft.setControl(&spreadFilterDepthLeft);
    spreadFilterRight.setInput(&spreadDelayRight);
    spreadFilterRight.setControl(&spreadFilterDepthRight);

    // High-pass delay: the filter sits in the send, the loop is unity gain.
    hpfDelaySendLeft.setInput(&dryBusLeft);
    hpfDelaySendRight.setInput(&dryBusRight);
    hpfDelayTune.setInput(&pitchBus);
    hpfDelayCutoffBus.setInput(&hpfDelayTune);
    hpfDelayFilterLeft.setInput(&hpfDelaySendLeft);
    hpfDelayFilterLeft.setControl(&hpfDelayCutoffBus);
    hpfDelayFilterRight.setInput(&hpfDelaySendRight);
    hpfDelayFilterRight.setControl(&hpfDelayCutoffBus);
    // The send filters and the loop filters below run as left / right pairs:
    // the stereo delay pulls both channels' inputs and loops in one block.
    hpfDelayFilterLeft.pairWith(hpfDelayFilterRight);
    hpfDelay.getChannel(0)->setInput(&hpfDelayFilterLeft);
    hpfDelay.getChannel(1)->setInput(&hpfDelayFilterRight);
    hpfDelay.getChannel(0)->setLoop(&hpfDelayFeedbackLeft, &hpfDelayFeedbackLeft);
    hpfDelay.getChannel(1)->setLoop(&hpfDelayFeedbackRight, &hpfDelayFeedbackRight);
    hpfDelayMuteLeft.setKeepAlive(&dryBusLeft);
    hpfDelayMuteLeft.setControlledUnit(&hpfDelayFilterLeft);
    hpfDelayMuteLeft.setInput(hpfDelay.getChannel(0));
    hpfDelayMuteRight.setKeepAlive(&dryBusRight);
    hpfDelayMuteRight.setControlledUnit(&hpfDelayFilterRight);
    hpfDelayMuteRight.setInput(hpfDelay.getChannel(1));

    // Band-pass delay: a pitch-tracking band-pass and a limiter in the loop.
    bpfDelaySendLeft.setInput(&dryBusLeft);
    bpfDelaySendRight.setInput(&dryBusRight);
    bpfDelayLfo.setFrequency(kBpfDelayLfoHz);
    bpfDelayLfoDepth.setInput(&bpfDelayLfo);
    bpfDelayLfoRatio.setInput(&bpfDelayLfoDepth);
    bpfDelayCutoff.addInput(&pitchBus);
    bpfDelayCutoff.addInput(&bpfDelayTune);
    bpfDelayCutoff.addInput(&bpfDelayLfoRatio);
    bpfDelayCutoffBus.setInput(&bpfDelayCutoff);
    bpfDelay.getChannel(0)->setInput(&bpfDelaySendLeft);
    bpfDelay.getChannel(1)->setInput(&bpfDelaySendRight);
    for (SPKit::ChamberlinBandPass* filter : {&bpfDelayFilterLeft, &bpfDelayFilterRight}) {
        filter->setResonance(kBpfDelayResonance);
        filter->setControl(&bpfDelayCutoffBus);
    }
    for (SPKit::Limiter* limiter : {&bpfDelayLimiterLeft, &bpfDelayLimiterRight}) {
        limiter->setAttack(kLimiterAttackMs);
        limiter->setRelease(kLimiterReleaseMs);
        limiter->setThreshold(kLimiterThreshold);
    }
    bpfDelayLimiterLeft.setInput(&bpfDelayFilterLeft);
    bpfDelayLimiterRight.setInput(&bpfDelayFilterRight);
    bpfDelay.getChannel(0)->setLoop(&bpfDelayFilterLeft, &bpfDelayLimiterLeft);
    bpfDelay.getChannel(1)->setLoop(&bpfDelayFilterRight, &bpfDelayLimiterRight);
    bpfDelayFilterLeft.pairWith(bpfDelayFilterRight);
    bpfDelayMuteLeft.setKeepAlive(&dryBusLeft);
    bpfDelayMuteLeft.setControlledUnit(&bpfDelayFilterLeft);
    bpfDelayMuteLeft.setInput(bpfDelay.getChannel(0));
    bpfDelayMuteRight.setKeepAlive(&dryBusRight);
    bpfDelayMuteRight.setControlledUnit(&bpfDelayFilterRight);
    bpfDelayMuteRight.setInput(bpfDelay.getChannel(1));

    // Mix: the dry path through the spread, plus the two wet signals.
    mixLeft.addInput(&spreadFilterLeft);
    mixLeft.addInput(&hpfDelayMuteLeft);
    mixLeft.addInput(&bpfDelayMuteLeft);
    mixRight.addInput(&spreadFilterRight);
    mixRight.addInput(&hpfDelayMuteRight);
    mixRight.addInput(&bpfDelayMuteRight);

    // Equaliser.
    eq1Left.setInput(&mixLeft);
    eq1Right.setInput(&mixRight);
    eq2Left.setInput(&eq1Left);
    eq2Right.setInput(&eq1Right);
    // Both bands of the equaliser run their channels in one kernel (the
    // bypasses switch together).
    eq1Left.pairWith(eq1Right);
    eq2Left.pairWith(eq2Right);
    eqBypassLeft.setBypassSource(&mixLeft);
    eqBypassLeft.setBypassed(false);
    eqBypassLeft.setInput(&eq2Left);
    eqBypassRight.setBypassSource(&mixRight);
    eqBypassRight.setBypassed(false);
    eqBypassRight.setInput(&eq2Right);

    // Output.
    outputTapLeft.setInput(&eqBypassLeft);
    outputTapRight.setInput(&eqBypassRight);
    masterLeft.setInput(&outputTapLeft);
    masterRight.setInput(&outputTapRight);
    outputLeft.setInput(&masterLeft);
    outputRight.setInput(&masterRight);

    // Units are constructed at 44100 Hz; whatever rate the host set before
    // opening, the whole graph now runs at the frame's rate.
    applySampleRate(getSampleRate());
}

}  // namespace Vst
