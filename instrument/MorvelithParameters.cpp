// Parameter application: how each stored value becomes unit settings, with
// the re-application of dependent parameters, the free/synced twins of the
// modulators and envelopes, the delay lengths and feedback, and the tempo.
// Audio thread (or the opening sequence, while the host is not processing).
#include <algorithm>
#include <cmath>
#include <cstdint>

#if MORVELITH_HAS_EDITOR
#include "editor/MorvelithEditor.h"
#endif
#include "instrument/Curves.h"
#include "instrument/MorvelithPlugin.h"
#include "instrument/ParameterIndex.h"

namespace Vst {

namespace {

constexpr float kSustainMs = 10000000.0f;
constexpr float kDelayCrossFeed = 0.2f;
constexpr float kMaxLoopGain = 0.999f;
constexpr float kDriveBypassInGain = 0.7f;
constexpr float kDriveOutFloor = 0.45f;
constexpr float kSpreadShelfDb = 10.0f;
constexpr float kSpreadDelaySeconds = 0.0005f;
constexpr float kEqGainRangeDb = 100.0f;
constexpr double kPlainDelayBeats = 8.0;
constexpr double kBeatsPerBpfLfoCycle = 6.0;

float T(float v) { return Curves::timeMs(v); }
float R(float v) { return Curves::rateHz(v); }
float L(float v) { return Curves::level(v); }
float O(float v) { return Curves::octaveRatio(v); }
float F(float v) { return Curves::pitchFrequency(v); }

// 2^(10 v): the delay filters' tuning above the played pitch.
float delayTuneRatio(float v) { return static_cast<float>(std::exp2(10.0 * static_cast<double>(v))); }

// The reciprocal of a whole number, 0.01 at v = 1; 0 at v = 0.
float detuneAmount(float v) {
    if (v == 0.0f) return 0.0f;
    const double x = static_cast<double>(v);
    return static_cast<float>(1.0 / std::trunc(1.0 / (0.01 * x * x)));
}

}  // namespace

// The indices and units of one modulator (main LFO, vibrato, trill).
struct MorvelithPlugin::ModulatorGroup {
    int sync, rate, delay, fade, hold, rateSynced, delaySynced, fadeSynced, holdSynced;
    SPKit::Oscillator* source;
    SPKit::CubicEnv* envelope;
};

// The indices and units of one hold-stage envelope (amplitude, low-pass, high-pass).
struct MorvelithPlugin::EnvelopeGroup {
    int sync, attack, hold, decay, sustain, release, attackSynced, holdSynced, decaySynced, releaseSynced;
    SPKit::Envelope* first;
    SPKit::Envelope* second;  // the right-hand amplitude envelope, or null
};

float MorvelithPlugin::stored(int index) { return getProgramValue(getProgram(), index); }

void MorvelithPlugin::reapply(int index) { parameterChanged(index, stored(index)); }

void MorvelithPlugin::reapply(std::initializer_list<int> indices) {
    for (int index : indices) reapply(index);
}

void MorvelithPlugin::parameterChanged(VstInt32 index, float value) {
    wake();
    Synth::parameterChanged(index, value);
    if (graphBuilt) {  // nothing to set before the graph exists
        if (index == kDriveAmount) applyEffectParameter(index, value);
        else if (index <= kOscTrim) applyOscillatorParameter(index, value);
        else if (index <= kPitchLfoDepth) applyPitchParameter(index, value);
        else if (index <= kHpfRes) applyFilterParameter(index, value);
        else if (index <= kAmpLfo) applyModulatorParameter(index, value);
        else if (index <= kHpfRelSynced) applyEnvelopeParameter(index, value);
        else applyEffectParameter(index, value);
    }
#if MORVELITH_HAS_EDITOR
    // Only leaves a mark for the editor's next idle: safe on the audio thread.
    window->setParameter(index, value);
#endif
}

void MorvelithPlugin::applyProgram(VstInt32 program) {
    wake();
    resetState();
    Synth::applyProgram(program);
    // The output is faded out or not yet running here: the new levels apply
    // at once, as they always have, so program switches and renders of a
    // program sound exactly as without the glide.
    settleLevels();
    levelsUnheard = true;
}

void MorvelithPlugin::settleLevels() {
    for (SPKit::RampedGain* level : {&trimLeft, &trimRight, &hpfDelaySendLeft, &hpfDelaySendRight, &bpfDelaySendLeft,
                                     &bpfDelaySendRight, &masterLeft, &masterRight})
        level->settle();
    phaserLeft.settleMix();
    phaserRight.settleMix();
}

// --- Oscillator, pitch, filters ---------------------------------------------------

void MorvelithPlugin::applyOscillatorParameter(int index, float v) {
    switch (index) {
        case kOscPhase:
            if (isOff(kOscDetune)) oscillator.setPhaseSpread(v);
            break;
        case kOscDetune:
            oscillator.setDetune(detuneAmount(v));
            break;
        case kOscMulti:
            oscillator.setVoiceLevel(v);
            break;
        case kOscSpread:
            oscillator.setStereoSpread(v);
            break;
        case kOscLow:
            oscillator.setFundamentalLevel(v);
            break;
        case kOscWaveform:
            oscillator.setOddLevel(1.0f);
            oscillator.setEvenLevel(1.0f - v);
            break;
        case kOscMassAmount:
            oscillator.setDriftDepth(v);
            break;
        case kOscMassRate:
            oscillator.setDriftRate(v);
            break;
        case kOscMassVari:
            oscillator.setDriftSpread(v);
            break;
        case kOscTrim:
            trimLeft.glideTo(L(v));
            trimRight.glideTo(L(v));
            break;
        default:
            break;
    }
}

void MorvelithPlugin::applyPitchParameter(int index, float v) {
    switch (index) {
        case kPitchPorta:
            glide.retime(T(v));
            break;
        case kPitchTune:
            tuneRatio.setValue(O(v));
            break;
        case kPitchEnvTime:
        case kPitchEnvDepth:
            pitchEnvelope.setStage(0.0f, O(stored(kPitchEnvDepth)), 0.5f, 0);
            pitchEnvelope.setStage(T(stored(kPitchEnvTime)), 1.0f, 0.75f, 1);
            break;
        case kPitchLfoDepth:
            lfoPitchDepth.setGain(v - 0.5f);
            break;
        default:
            break;
    }
}

void MorvelithPlugin::applyFilterParameter(int index, float v) {
    // Below the middle the envelope is inverted and the depth negative.
    const auto setEnvelopeDepth = [v](SPKit::Linear& shape, SPKit::Gain& depth) {
        if (v >= 0.5f) shape.setScaleOffset(1.0f, 0.0f);
        else shape.setScaleOffset(-1.0f, 1.0f);
        depth.setGain(v - 0.5f);
    };
    switch (index) {
        case kLpfTune:
            lpfKeyTrack.setGain(O(v));
            break;
        case kLpfEnv:
            setEnvelopeDepth(lpfEnvelopeShape, lpfEnvelopeDepth);
            break;
        case kLpfLfo:
            lpfLfoDepth.setGain(v - 0.5f);
            break;
        case kLpfRes:
            lowPassLeft.setResonance(v);
            lowPassRight.setResonance(v);
            break;
        case kLpfSpread:
            lpfSpreadLeft.setScaleOffset(-v, 1.0f);
            lpfSpreadRight.setScaleOffset(v, 1.0f);
            break;
        case kHpfTune:
            hpfKeyTrack.setGain(O(v));
            break;
        case kHpfEnv:
            setEnvelopeDepth(hpfEnvelopeShape, hpfEnvelopeDepth);
            break;
        case kHpfLfo:
            hpfLfoDepth.setGain(v - 0.5f);
            break;
        case kHpfRes:
            highPassLeft.setResonance(v);
            highPassRight.setResonance(v);
            break;
        default:
            break;
    }
}

// --- Modulators ---------------------------------------------------------------------

void MorvelithPlugin::applyModulatorParameter(int index, float v) {
    const ModulatorGroup groups[] = {
        {kLfoSyncEnable, kLfoRate, kLfoDelay, kLfoFade, kLfoHold, kLfoRateSynced, kLfoDelaySynced, kLfoFadeSynced,
         kLfoHoldSynced, &lfo, &lfoEnvelope},
        {kVibraSyncEnable, kVibraRate, kVibraDelay, kVibraFade, kVibraHold, kVibraRateSynced, kVibraDelaySynced,
         kVibraFadeSynced, kVibraHoldSynced, &vibratoLfo, &vibratoEnvelope},
        {kTrillSyncEnable, kTrillRate, kTrillDelay, kTrillFade, kTrillHold, kTrillRateSynced, kTrillDelaySynced,
         kTrillFadeSynced, kTrillHoldSynced, &trillOscillator, &trillEnvelope},
    };
    switch (index) {
        case kSpreadRate:
            spreadLfo.setFrequency(R(v));
            break;
        case kSpreadSpread: {
            const float samples = kSpreadDelaySeconds * getSampleRate() * v;
            spreadFilterDepthLeft.setGain(-kSpreadShelfDb * v);
            spreadFilterDepthRight.setGain(kSpreadShelfDb * v);
            spreadDelayDepthLeft.setGain(samples);
            spreadDelayDepthRight.setGain(-samples);
            break;
        }
        case kVibraDepth:
            vibratoDepth.setGain(Curves::depthCurve(v));
            break;
        case kTrillDepth:
            // The square's low half gives 0, its high half v - 0.5.
            trillShape.setScaleOffset(0.5f * (v - 0.5f), 0.5f * (v - 0.5f));
            break;
        case kMasterLevel:
            masterLeft.glideTo(L(v));
            masterRight.glideTo(L(v));
            break;
        case kAmpLfo:
            ampLfoShape.setScaleOffset(v, 1.0f);
            break;
        default:
            // The depths (63, 78) lie inside their groups' index ranges but
            // have cases of their own above.
            for (const ModulatorGroup& group : groups) {
                if (index >= group.sync && index <= group.holdSynced) {
                    applyModulatorGroup(group, index);
                    return;
                }
            }
            break;
    }
}

void MorvelithPlugin::applyModulatorGroup(const ModulatorGroup& group, int index) {
    const float v = stored(index);
    // A switch is on only at exactly 1; any other value (automation or a
    // chunk may hold one between 0 and 1) selects the free values, as the
    // switch handler itself does. Otherwise neither set would act and the
    // group would keep whatever an earlier history left in it.
    const bool synced = isOn(group.sync);
    const bool free = !synced;
    const double tempoNow = getTempo();
    if (index == group.sync) {
        if (v == 1.0f) reapply({group.rateSynced, group.delaySynced, group.fadeSynced});
        else reapply({group.rate, group.delay, group.fade});
    } else if (index == group.rate) {
        if (free) group.source->setFrequency(R(v));
    } else if (index == group.rateSynced) {
        if (synced) group.source->setFrequency(static_cast<float>(Curves::syncedRateHz(v, tempoNow)));
    } else if (index == group.delay) {
        if (free) group.envelope->setStage(T(v), 0.0f, 0.5f, 1);
    } else if (index == group.delaySynced) {
        if (synced) group.envelope->setStage(static_cast<float>(Curves::syncedTimeMs(v, tempoNow)), 0.0f, 0.5f, 1);
    } else if (index == group.fade || index == group.hold) {
        if (free) applyModulatorStages(group, false);
    } else if (index == group.fadeSynced || index == group.holdSynced) {
        if (synced) applyModulatorStages(group, true);
    }
}

void MorvelithPlugin::applyModulatorStages(const ModulatorGroup& group, bool synced) {
    const int fadeIndex = synced ? group.fadeSynced : group.fade;
    const int holdIndex = synced ? group.holdSynced : group.hold;
    const double tempoNow = getTempo();
    const auto time = [synced, tempoNow](float v) {
        return synced ? static_cast<float>(Curves::syncedTimeMs(v, tempoNow)) : T(v);
    };
    const float fade = time(stored(fadeIndex));
    const float hold = time(stored(holdIndex));
    // A hold at exactly 1 keeps the modulation at full depth until the next note.
    const float finalLevel = isOn(holdIndex) ? 1.0f : 0.0f;
    group.envelope->setStage(fade, 1.0f, 0.25f, 2);
    group.envelope->setStage(hold, 1.0f, 0.25f, 3);
    group.envelope->setStage(fade, finalLevel, 0.25f, 4);
}

// --- Envelopes ---------------------------------------------------------------------

void MorvelithPlugin::applyEnvelopeParameter(int index, float) {
    const EnvelopeGroup groups[] = {
        {kAmpSyncEnable, kAmpAtk, kAmpHld, kAmpDcy, kAmpSus, kAmpRel, kAmpAtkSynced, kAmpHldSynced, kAmpDcySynced,
         kAmpRelSynced, &ampEnvelopeLeft, &ampEnvelopeRight},
        {kLpfSyncEnable, kLpfAtk, kLpfHld, kLpfDcy, kLpfSus, kLpfRel, kLpfAtkSynced, kLpfHldSynced, kLpfDcySynced,
         kLpfRelSynced, &lpfEnvelope, nullptr},
        {kHpfSyncEnable, kHpfAtk, kHpfHld, kHpfDcy, kHpfSus, kHpfRel, kHpfAtkSynced, kHpfHldSynced, kHpfDcySynced,
         kHpfRelSynced, &hpfEnvelope, nullptr},
    };
    for (const EnvelopeGroup& group : groups) {
        if (index >= group.sync && index <= group.releaseSynced) {
            applyEnvelopeGroup(group, index);
            return;
        }
    }
}

void MorvelithPlugin::setEnvelopeStage(const EnvelopeGroup& group, float timeMs, float level, int stage) {
    group.first->setStage(timeMs, level, stage);
    if (group.second != nullptr) group.second->setStage(timeMs, level, stage);
}

void MorvelithPlugin::applyEnvelopeGroup(const EnvelopeGroup& group, int index) {
    const float v = stored(index);
    const bool synced = isOn(group.sync);
    const bool free = !synced;  // as for the modulators: anything but 1 is free
    const double tempoNow = getTempo();
    const auto S = [tempoNow](float x) { return static_cast<float>(Curves::syncedTimeMs(x, tempoNow)); };
    if (index == group.sync) {
        if (v == 1.0f) reapply({group.attackSynced, group.holdSynced, group.decaySynced, group.releaseSynced});
        else reapply({group.attack, group.hold, group.decay, group.release});
    } else if (index == group.attack) {
        if (free) setEnvelopeStage(group, T(v), 1.0f, 0);
    } else if (index == group.attackSynced) {
        if (synced) setEnvelopeStage(group, S(v), 1.0f, 0);
    } else if (index == group.hold) {
        if (free) setEnvelopeStage(group, T(v), 1.0f, 1);
    } else if (index == group.holdSynced) {
        if (synced) setEnvelopeStage(group, S(v), 1.0f, 1);
    } else if (index == group.decay || index == group.sustain || index == group.decaySynced) {
        // One handler serves both decay values and the sustain level.
        const float decay = synced ? S(stored(group.decaySynced)) : T(stored(group.decay));
        const float sustain = stored(group.sustain);
        setEnvelopeStage(group, decay, sustain, 2);
        setEnvelopeStage(group, kSustainMs, sustain, 3);
    } else if (index == group.release) {
        if (free) setEnvelopeStage(group, T(v), 0.0f, 4);
    } else if (index == group.releaseSynced) {
        if (synced) setEnvelopeStage(group, S(v), 0.0f, 4);
    }
}

// --- Drive, phaser, delays, equaliser --------------------------------------------

void MorvelithPlugin::applyEffectParameter(int index, float v) {
    switch (index) {
        case kDriveAmount: {
            const bool bypassed = !(v > 0.0f);
            float in = kDriveBypassInGain;
            float out = 1.0f;
            if (!bypassed) {
                in = (0.1f * v + 0.9f * std::pow(v, 8.0f)) * 64.0f + 0.01f;
                out = std::max(0.5f / in, kDriveOutFloor);
            }
            driveBypassLeft.setBypassed(bypassed);
            driveBypassRight.setBypassed(bypassed);
            driveInLeft.setGain(in);
            driveInRight.setGain(in);
            driveOutLeft.setGain(out);
            driveOutRight.setGain(out);
            break;
        }
        case kPhaserEnable:
            phaserBypassLeft.setBypassed(v != 1.0f);
            phaserBypassRight.setBypassed(v != 1.0f);
            // A switched-out phaser is not run, so a glide would stall there.
            phaserLeft.settleMix();
            phaserRight.settleMix();
            break;
        case kPhaserDepth:
            // Switched out, the wet level is not heard: it applies at once.
            if (isOn(kPhaserEnable)) {
                phaserLeft.glideMixTo(v);
                phaserRight.glideMixTo(v);
            } else {
                phaserLeft.setMix(v);
                phaserRight.setMix(v);
            }
            break;
        case kPhaserRate:
            phaserLeft.setRate(v);
            phaserRight.setRate(v);
            break;
        case kPhaserRangeMin:
        case kPhaserRangeMax: {
            const float low = F(stored(kPhaserRangeMin));
            const float high = F(stored(kPhaserRangeMax));
            phaserLeft.setRange(low, high);
            phaserRight.setRange(low, high);
            break;
        }
        case kPhaserFb:
            phaserLeft.setFeedback(v);
            phaserRight.setFeedback(v);
            break;
        case kDelayEnable:
            for (SPKit::Mute* mute : {&hpfDelayMuteLeft, &hpfDelayMuteRight, &bpfDelayMuteLeft, &bpfDelayMuteRight})
                mute->setMuted(v != 1.0f);
            if (v == 1.0f) {
                hpfDelay.clear();
                bpfDelay.clear();
            }
            break;
        case kDelaySyncEnable:
            if (v == 1.0f) reapply({kDelayLSynced, kDelayRSynced});
            else reapply({kDelayL, kDelayR});
            break;
        case kDelayL:
        case kDelayLSynced:
            applyDelayLength(0);
            break;
        case kDelayR:
        case kDelayRSynced:
            applyDelayLength(1);
            break;
        case kHpfDelayMix:
            hpfDelaySendLeft.glideTo(v);
            hpfDelaySendRight.glideTo(v);
            break;
        case kHpfDelayFb:
            applyDelayFeedback(hpfDelay, v);
            break;
        case kHpfDelayTune:
            hpfDelayTune.setGain(delayTuneRatio(v));
            break;
        case kBpfDelayMix:
            bpfDelaySendLeft.glideTo(v);
            bpfDelaySendRight.glideTo(v);
            break;
        case kBpfDelayFb:
            applyDelayFeedback(bpfDelay, v);
            break;
        case kBpfDelayTune:
            bpfDelayTune.setValue(delayTuneRatio(v));
            break;
        case kEqEnable:
            eqBypassLeft.setBypassed(v != 1.0f);
            eqBypassRight.setBypassed(v != 1.0f);
            break;
        case kEq1Type:
        case kEq2Type:
        case kEq1Frq:
        case kEq2Frq:
        case kEq1Q:
        case kEq2Q:
        case kEq1Gain:
        case kEq2Gain: {
            const bool first = index < kEq2Type;
            SPKit::BiQuad& left = first ? eq1Left : eq2Left;
            SPKit::BiQuad& right = first ? eq1Right : eq2Right;
            const int setting = index - (first ? kEq1Type : kEq2Type);
            for (SPKit::BiQuad* eq : {&left, &right}) {
                if (setting == 0) eq->setType(Curves::filterTypeIndex(v));
                else if (setting == 1) eq->setFrequency(F(v));
                else if (setting == 2) eq->setWidth(v);
                else eq->setGain((v - 0.5f) * kEqGainRangeDb);
            }
            break;
        }
        default:
            break;
    }
}

void MorvelithPlugin::applyDelayLength(int channel) {
    SPKit::StereoDelay::Channel* hpf = hpfDelay.getChannel(channel);
    SPKit::StereoDelay::Channel* bpf = bpfDelay.getChannel(channel);
    const double fs = getSampleRate();
    const double beatsPerSecond = getTempo() / 60.0;
    const double beats = isOn(kDelaySyncEnable)
                             ? Curves::kNoteLengthBeats[Curves::noteValueIndex(stored(kDelayLSynced + channel))]
                             : stored(kDelayL + channel) * kPlainDelayBeats;
    // Held below 2^62 before the conversion so that a tempo near zero cannot
    // overflow it; halving then brings it within the line.
    const double exact = std::min(std::trunc(beats * fs / beatsPerSecond), 4.0e18);
    std::int64_t n = static_cast<std::int64_t>(exact);
    const std::int64_t maxDelay = hpf->getMaxDelay();
    while (n > maxDelay) n /= 2;
    hpf->setDelay(static_cast<int>(n));
    bpf->setDelay(static_cast<int>(n));
    reapply({kHpfDelayFb, kBpfDelayFb});
}

void MorvelithPlugin::applyDelayFeedback(SPKit::StereoDelay& delay, float v) {
    delay.setCrossFeed(kDelayCrossFeed);
    const float fs = getSampleRate();
    const float left = static_cast<float>(delay.getChannel(0)->getDelay()) * 1000.0f / fs;
    const float right = static_cast<float>(delay.getChannel(1)->getDelay()) * 1000.0f / fs;
    // The longer delay gets proportionally less feedback, so both channels
    // lose level at about the same rate per second.
    float feedbackLeft = right >= left ? v : v * right / left;
    float feedbackRight = left >= right ? v : v * left / right;
    if (&delay == &hpfDelay) {
        // Each line takes back feedback x (own + cross-feed x other). The
        // high-pass delay's loop is a unity gain, so above 1 / (1 + cross-feed)
        // its echoes would grow without bound; its feedback stops just below.
        // (The band-pass delay's limiter holds its own loop.)
        const float ceiling = kMaxLoopGain / (1.0f + kDelayCrossFeed);
        feedbackLeft = std::min(feedbackLeft, ceiling);
        feedbackRight = std::min(feedbackRight, ceiling);
    }
    delay.getChannel(0)->setFeedback(feedbackLeft);
    delay.getChannel(1)->setFeedback(feedbackRight);
}

void MorvelithPlugin::tempoChanged() {
    wake();
    reapply({kTrillRateSynced, kTrillDelaySynced, kTrillFadeSynced, kVibraRateSynced, kVibraDelaySynced,
             kVibraFadeSynced, kLfoRateSynced, kLfoDelaySynced, kLfoFadeSynced, kAmpAtkSynced, kAmpHldSynced,
             kAmpDcySynced, kAmpRelSynced, kLpfAtkSynced, kLpfHldSynced, kLpfDcySynced, kLpfRelSynced,
             kHpfAtkSynced, kHpfHldSynced, kHpfDcySynced, kHpfRelSynced, kDelayLSynced, kDelayRSynced});
    bpfDelayLfo.setFrequency(static_cast<float>(getTempo() / (60.0 * kBeatsPerBpfLfoCycle)));
}

}  // namespace Vst
