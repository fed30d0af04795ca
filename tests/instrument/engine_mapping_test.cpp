// Parameter application of the voice engine: each mapping against its
// formula or its known figures, the re-application of
// dependent parameters, the free/synced twins, delay lengths and feedback,
// and the tempo. Values arrive as a host sends them (setParameter, then a block).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/instrument/engine_support.h"
#include "tests/support/AudioAnalysis.h"

using namespace EngineTest;
using Access = Vst::MorvelithPluginTestAccess;
namespace Curves = Vst::Curves;

namespace {

class EngineMapping : public ::testing::Test {
protected:
    void SetUp() override { Host::instance().reset(100.0); }

    // Sends a value and lets the audio thread apply it.
    static void apply(Engine& e, int index, float value) {
        e.setParameter(index, value);
        e.render(1);
    }
    static Vst::MorvelithPlugin& unitsOf(Engine& e) { return *e.plugin; }
};

TEST_F(EngineMapping, Note69PlaysA440) {
    Engine e;
    e.start();
    e.noteOn(69, 127);
    e.render(44100);
    ASSERT_TRUE(TestSupport::allFinite(e.left.data(), static_cast<int>(e.left.size())));
    EXPECT_GT(TestSupport::rms(e.left.data() + 22050, 22050), 0.01);
    EXPECT_GT(TestSupport::rms(e.right.data() + 22050, 22050), 0.01);
    // The oscillator is told 440 Hz within 0.1 %.
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[0], 440.0, 0.44);
}

// --- Oscillator ----------------------------------------------------------------

TEST_F(EngineMapping, DetuneAtZeroHalfAndFullTravel) {
    Engine e;
    e.start();
    auto& osc = Access::oscillator(*e.plugin);
    apply(e, Vst::kOscDetune, 0.0f);
    EXPECT_EQ(osc.getDetune(), 0.0f);
    apply(e, Vst::kOscDetune, 1.0f);
    EXPECT_FLOAT_EQ(osc.getDetune(), 0.01f);
    apply(e, Vst::kOscDetune, 0.5f);
    EXPECT_FLOAT_EQ(osc.getDetune(), 1.0f / 400.0f);
}

class DetuneSweep : public EngineMapping, public ::testing::WithParamInterface<float> {};

// Every detune is the reciprocal of a whole number, at least 0.01 v^2 (the
// whole number is rounded down) and less than one step above it.
TEST_P(DetuneSweep, IsTheReciprocalOfAWholeNumberJustAboveTheSquareLaw) {
    Engine e;
    e.start();
    const float v = GetParam();
    apply(e, Vst::kOscDetune, v);
    const double d = Access::oscillator(*e.plugin).getDetune();
    ASSERT_GT(d, 0.0);
    const double whole = 1.0 / d;
    EXPECT_NEAR(whole, std::round(whole), 1e-6 * whole);
    const double law = 0.01 * v * v;
    EXPECT_GE(d, law * (1.0 - 1e-6));
    EXPECT_LT(1.0 / d, 1.0 / law + 1.0 + 1e-6 * whole);
}

INSTANTIATE_TEST_SUITE_P(Values, DetuneSweep, ::testing::Values(0.01f, 0.05f, 0.1f, 0.3f, 0.333f, 0.7f, 0.9f, 0.99f));

TEST_F(EngineMapping, PhaseSpreadOnlyWhileDetuneIsExactlyZero) {
    Engine e;
    e.start();
    auto& osc = Access::oscillator(*e.plugin);
    apply(e, Vst::kOscDetune, 0.3f);
    apply(e, Vst::kOscPhase, 0.0f);
    const float before = osc.voiceOffset(1);
    apply(e, Vst::kOscPhase, 0.37f);
    EXPECT_EQ(osc.voiceOffset(1), before);

    apply(e, Vst::kOscDetune, 0.0f);
    apply(e, Vst::kOscPhase, 0.37f);
    EXPECT_NE(osc.voiceOffset(1), before);
}

TEST_F(EngineMapping, WaveformBlendsEvenHarmonicsOut) {
    // Saw at 0 has a strong second harmonic; the square at 1 has none.
    const auto secondToFirst = [](float waveform) {
        Engine e;
        e.start();
        for (int i : {Vst::kOscDetune, Vst::kOscMulti, Vst::kOscMassAmount}) e.setParameter(i, 0.0f);
        e.setParameter(Vst::kLpfTune, 1.0f);  // low-pass far above the partials
        e.setParameter(Vst::kOscWaveform, waveform);
        e.noteOn(57, 127);  // 220 Hz
        e.render(22050);
        const float* x = e.left.data() + 11025;
        return TestSupport::toneAmplitude(x, 8192, 440.0, 44100.0) / TestSupport::toneAmplitude(x, 8192, 220.0, 44100.0);
    };
    EXPECT_GT(secondToFirst(0.0f), 0.3);
    EXPECT_LT(secondToFirst(1.0f), 0.02);
}

// --- Levels --------------------------------------------------------------------

struct LevelCase {
    int index;
    float value;
    float gain;
};

class LevelCurve : public EngineMapping, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LevelCurve, TrimAndMasterFollowTheLevelCurve) {
    Engine e;
    e.start();
    const LevelCase c = GetParam();
    apply(e, c.index, c.value);
    auto& p = *e.plugin;
    const bool trim = c.index == Vst::kOscTrim;
    const float left = trim ? Access::trimLeft(p).getGain() : Access::masterLeft(p).getGain();
    const float right = trim ? Access::trimRight(p).getGain() : Access::masterRight(p).getGain();
    EXPECT_NEAR(left, c.gain, 1e-6f * std::max(1.0f, c.gain));
    EXPECT_EQ(left, right);
}

INSTANTIATE_TEST_SUITE_P(Figures, LevelCurve,
                         ::testing::Values(LevelCase{Vst::kOscTrim, 0.5f, 1.0f}, LevelCase{Vst::kOscTrim, 1.0f, 15.84893f},
                                           LevelCase{Vst::kOscTrim, 0.0f, 0.0f},
                                           LevelCase{Vst::kMasterLevel, 0.5f, 1.0f},
                                           LevelCase{Vst::kMasterLevel, 1.0f, 15.84893f},
                                           LevelCase{Vst::kMasterLevel, 0.0f, 0.0f}));

TEST_F(EngineMapping, MasterLevelScalesTheOutput) {
    const auto level = [](float master) {
        Engine e;
        e.start();
        e.setParameter(Vst::kMasterLevel, master);
        e.noteOn(60, 100);
        e.render(8192);
        return TestSupport::rms(e.left.data() + 4096, 4096);
    };
    // L(0.75) against L(0.5) = 1: 0.75^3.986314 x 15.84893.
    EXPECT_NEAR(level(0.75f) / level(0.5f), std::pow(0.75, 3.986314) * 15.84893, 1e-3);
}

// What a test sees of a gliding level: where it is, where it goes, whether
// it is under way and the rate its unit runs at.
struct GlideView {
    float current;
    float target;
    bool gliding;
    float rate;
};
template <SPKit::RampedGain& (*unit)(Vst::MorvelithPlugin&)>
GlideView rampedGain(Vst::MorvelithPlugin& p) {
    SPKit::RampedGain& u = unit(p);
    return {u.getCurrentGain(), u.getGain(), u.isGliding(), u.getSampleRate()};
}
template <SPKit::Phaser& (*unit)(Vst::MorvelithPlugin&)>
GlideView phaserMix(Vst::MorvelithPlugin& p) {
    SPKit::Phaser& u = unit(p);
    return {u.getCurrentMix(), u.getMix(), u.isMixGliding(), u.getSampleRate()};
}

// The pure level stages: each index with its pair of units and its curve.
struct LevelStage {
    int index;
    GlideView (*left)(Vst::MorvelithPlugin&);
    GlideView (*right)(Vst::MorvelithPlugin&);
    bool levelCurve;  // L(v); otherwise the value itself
};
const LevelStage kLevelStages[] = {
    {Vst::kOscTrim, rampedGain<Access::trimLeft>, rampedGain<Access::trimRight>, true},
    {Vst::kMasterLevel, rampedGain<Access::masterLeft>, rampedGain<Access::masterRight>, true},
    {Vst::kHpfDelayMix, rampedGain<Access::hpfDelaySendLeft>, rampedGain<Access::hpfDelaySendRight>, false},
    {Vst::kBpfDelayMix, rampedGain<Access::bpfDelaySendLeft>, rampedGain<Access::bpfDelaySendRight>, false},
    {Vst::kPhaserDepth, phaserMix<Access::phaserLeft>, phaserMix<Access::phaserRight>, false},
};
float stageGain(const LevelStage& stage, float v) { return stage.levelCurve ? Curves::level(v) : v; }

class LevelGlide : public EngineMapping, public ::testing::WithParamInterface<float> {};

// Moved during play, each level stage leaves its gain at once, glides along a
// monotone path at audio rate (5 ms in frames of the host's rate, however the
// control paths run) and lands on exactly the gain of its mapping.
TEST_P(LevelGlide, MovesGlideOverFiveMillisecondsAndLandOnTheMappedGain) {
    const float rate = GetParam();
    const int glide = static_cast<int>(std::lround(rate * 0.005));
    for (const LevelStage& stage : kLevelStages) {
        SCOPED_TRACE(stage.index);
        Engine e;
        e.start(rate);
        e.noteOn(57, 100);
        // The phaser runs (and so glides) only while it is switched in.
        apply(e, Vst::kPhaserEnable, 1.0f);
        apply(e, stage.index, 0.2f);
        e.render(2 * glide);
        const auto left = [&] { return stage.left(*e.plugin); };
        const auto right = [&] { return stage.right(*e.plugin); };
        const float from = stageGain(stage, 0.2f);
        const float to = stageGain(stage, 0.8f);
        ASSERT_EQ(left().current, from);
        // A smoothstep's steepest slope is 1.5 times the straight line's.
        const float steepest = 1.5f * (to - from) / static_cast<float>(glide) * 1.001f;
        e.setParameter(stage.index, 0.8f);
        float previous = from;
        for (int frame = 1; frame <= glide; ++frame) {
            e.render(1);
            const float now = left().current;
            ASSERT_EQ(right().current, now) << frame;
            ASSERT_GE(now, previous) << frame;
            ASSERT_LE(now - previous, steepest) << frame;
            ASSERT_EQ(left().gliding, frame < glide) << frame;
            if (frame < glide) {
                ASSERT_LT(now, to) << frame;
            }
            previous = now;
        }
        EXPECT_GT(previous - from, 0.0f);
        EXPECT_EQ(previous, to);
        EXPECT_EQ(left().target, to);
        EXPECT_EQ(left().rate, rate);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, LevelGlide, ::testing::Values(44100.0f, 96000.0f));

// A program applied (after a program change's fade-out, or a chunk set by the
// host) sets the levels at once: the output is silent or faded there, and a
// program must sound the same however it was reached. Values that arrive with
// it, before the next frame is rendered, apply at once as well.
TEST_F(EngineMapping, ProgramsSetTheLevelsAtOnce) {
    Engine e;
    e.start();
    e.noteOn(57, 100);
    e.render(512);
    // No level gliding, each at the gain of its value in the current program.
    const auto settled = [&e] {
        for (const LevelStage& stage : kLevelStages) {
            const GlideView left = stage.left(*e.plugin);
            if (left.gliding || stage.right(*e.plugin).gliding) return false;
            if (left.current != stageGain(stage, e.parameter(stage.index))) return false;
        }
        return true;
    };
    // Program 77 (the defaults) gets its levels moved to 0.9 during play.
    e.dispatch(effSetProgram, 0, 77);
    e.render(1024);
    for (const LevelStage& stage : kLevelStages) e.setParameter(stage.index, 0.9f);
    e.render(1024);
    ASSERT_TRUE(settled());
    ASSERT_EQ(e.parameter(Vst::kMasterLevel), 0.9f);
    void* data = nullptr;
    const VstIntPtr size = e.dispatch(effGetChunk, 1, 0, &data);
    ASSERT_GT(size, 0);
    std::vector<unsigned char> program77(static_cast<const unsigned char*>(data),
                                         static_cast<const unsigned char*>(data) + size);

    // Back to program 76 through the fade: at no block boundary is a level gliding.
    e.dispatch(effSetProgram, 0, 76);
    bool glided = false;
    for (int block = 0; block < 64; ++block) {
        e.render(16);
        for (const LevelStage& stage : kLevelStages) glided = glided || stage.left(*e.plugin).gliding;
    }
    EXPECT_FALSE(glided);
    EXPECT_TRUE(settled());
    EXPECT_EQ(e.parameter(Vst::kMasterLevel), 0.5f);

    // Program 77's values as a chunk into program 76: applied with the next
    // frame, and so is a level the host sends with it, before anything sounds.
    ASSERT_EQ(e.dispatch(effSetChunk, 1, size, program77.data()), 1);
    e.setParameter(Vst::kOscTrim, 0.3f);
    e.render(1);
    EXPECT_EQ(e.parameter(Vst::kMasterLevel), 0.9f);
    EXPECT_EQ(e.parameter(Vst::kOscTrim), 0.3f);
    EXPECT_TRUE(settled());
    // From then on a move glides again.
    e.setParameter(Vst::kOscTrim, 0.6f);
    e.render(1);
    EXPECT_TRUE(Access::trimLeft(*e.plugin).isGliding());
}

struct DriveCase {
    float value;
    bool bypassed;
    float in;
    float out;
};

class DriveGains : public EngineMapping, public ::testing::WithParamInterface<DriveCase> {};

TEST_P(DriveGains, FollowTheDriveCurve) {
    Engine e;
    e.start();
    const DriveCase c = GetParam();
    apply(e, Vst::kDriveAmount, c.value);
    auto& p = *e.plugin;
    EXPECT_EQ(BypassPeek::bypassedOf(Access::driveBypassLeft(p)), c.bypassed);
    EXPECT_NEAR(Access::driveInLeft(p).getGain(), c.in, 1e-4f * c.in);
    EXPECT_NEAR(Access::driveOutLeft(p).getGain(), c.out, 1e-4f * c.out);
    EXPECT_EQ(Access::driveInRight(p).getGain(), Access::driveInLeft(p).getGain());
    EXPECT_EQ(Access::driveOutRight(p).getGain(), Access::driveOutLeft(p).getGain());
}

// 0.05: g = (0.005 + 0.9 x 0.05^8) x 64 + 0.01 = 0.33; out = 0.5 / g.
INSTANTIATE_TEST_SUITE_P(Figures, DriveGains,
                         ::testing::Values(DriveCase{0.0f, true, 0.7f, 1.0f}, DriveCase{1.0f, false, 64.01f, 0.45f},
                                           DriveCase{0.05f, false, 0.33f, 0.5f / 0.33f}));

// --- Pitch ---------------------------------------------------------------------

TEST_F(EngineMapping, TuneMovesThePitchByItsOctaveRatio) {
    Engine e;
    e.start();
    apply(e, Vst::kPitchTune, 0.55f);  // one octave up
    EXPECT_FLOAT_EQ(Access::tuneRatio(*e.plugin).getValue(), 2.0f);
    e.noteOn(57, 100);
    e.render(4096);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[0], 440.0, 0.44);
}

TEST_F(EngineMapping, PitchCeilingAt44100Is21609Hz) {
    Engine e;
    e.start();
    apply(e, Vst::kPitchTune, 1.0f);  // ten octaves up
    e.noteOn(100, 100);
    e.render(2048);
    EXPECT_FLOAT_EQ(Access::oscillator(*e.plugin).getControlBuffer()[0], 21609.0f);
    apply(e, Vst::kPitchTune, 0.0f);  // ten down from note 0: below 1 Hz
    e.noteOn(0, 100);
    e.noteOff(100);
    e.render(4096);
    EXPECT_FLOAT_EQ(Access::oscillator(*e.plugin).getControlBuffer()[0], 1.0f);
}

TEST_F(EngineMapping, PitchEnvelopeStartsAtItsDepthAndReturnsOverItsTime) {
    Engine e;
    e.start();
    e.setParameter(Vst::kPitchEnvDepth, 0.55f);  // starts an octave up
    e.setParameter(Vst::kPitchEnvTime, 0.5f);    // 1250 ms
    e.render(256);
    auto& env = Access::pitchEnvelope(*e.plugin);
    EXPECT_FLOAT_EQ(CubicEnvPeek::targetOf(env, 0), 2.0f);
    EXPECT_NEAR(CubicEnvPeek::timeOf(env, 1), 1250.0f, 0.5f);
    EXPECT_FLOAT_EQ(CubicEnvPeek::shapeOf(env, 1), 0.75f);
    e.noteOn(57, 100);
    e.render(256);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[255], 440.0, 15.0);
    e.render(44100 * 3 / 2);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[0], 220.0, 0.22);
}

TEST_F(EngineMapping, PortaChangeUnderAHeldNoteKeepsThePitch) {
    // Re-timing the glide must not drop it to its initial value (0 Hz).
    Engine e;
    e.start();
    e.noteOn(69, 100);
    e.render(2048);
    apply(e, Vst::kPitchPorta, 0.8f);
    e.render(256);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[255], 440.0, 0.44);
}

TEST_F(EngineMapping, PortamentoGlidesBetweenLegatoNotesOverItsTime) {
    Engine e;
    e.start();
    e.setParameter(Vst::kPitchPorta, 0.3f);  // T = 270 ms
    e.noteOn(57, 100);
    e.render(4096);
    e.noteOn(69, 100);
    e.render(256);
    const double early = Access::oscillator(*e.plugin).getControlBuffer()[0];
    EXPECT_LT(early, 300.0);  // still near 220 Hz right after the new note
    e.render(44100);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[0], 440.0, 0.44);
}

// --- Filters -------------------------------------------------------------------

TEST_F(EngineMapping, FilterEnvelopeDepthInvertsBelowTheMiddle) {
    Engine e;
    e.start();
    auto& p = *e.plugin;
    apply(e, Vst::kLpfEnv, 0.2f);
    EXPECT_FLOAT_EQ(LinearPeek::scaleOf(Access::lpfEnvelopeShape(p)), -1.0f);
    EXPECT_FLOAT_EQ(LinearPeek::offsetOf(Access::lpfEnvelopeShape(p)), 1.0f);
    EXPECT_FLOAT_EQ(Access::lpfEnvelopeDepth(p).getGain(), 0.2f - 0.5f);
    apply(e, Vst::kLpfEnv, 0.5f);
    EXPECT_FLOAT_EQ(LinearPeek::scaleOf(Access::lpfEnvelopeShape(p)), 1.0f);
    EXPECT_FLOAT_EQ(LinearPeek::offsetOf(Access::lpfEnvelopeShape(p)), 0.0f);
    EXPECT_FLOAT_EQ(Access::lpfEnvelopeDepth(p).getGain(), 0.0f);
}

TEST_F(EngineMapping, LowPassSpreadPullsTheChannelsApart) {
    Engine e;
    e.start();
    auto& p = *e.plugin;
    apply(e, Vst::kLpfSpread, 0.4f);
    EXPECT_FLOAT_EQ(LinearPeek::scaleOf(Access::lpfSpreadLeft(p)), -0.4f);
    EXPECT_FLOAT_EQ(LinearPeek::scaleOf(Access::lpfSpreadRight(p)), 0.4f);
    EXPECT_FLOAT_EQ(LinearPeek::offsetOf(Access::lpfSpreadLeft(p)), 1.0f);
}

TEST_F(EngineMapping, LowPassCutoffFollowsThePlayedPitch) {
    // With key tracking at 1 (x 1024, clipped by the filter) lowered to 0.5 the
    // cutoff equals the note frequency: the 8th partial of a low note is cut
    // far more than that of a note two octaves higher relative to its own fundamental.
    const auto eighthToFirst = [](int note) {
        Engine e;
        e.start();
        for (int i : {Vst::kOscDetune, Vst::kOscMulti, Vst::kOscMassAmount}) e.setParameter(i, 0.0f);
        e.setParameter(Vst::kLpfTune, 0.5f);
        e.setParameter(Vst::kLpfEnv, 0.5f);
        e.noteOn(note, 127);
        e.render(16384);
        const double f = noteHz(note);
        const float* x = e.left.data() + 8192;
        return TestSupport::toneAmplitude(x, 8192, 8.0 * f, 44100.0) / TestSupport::toneAmplitude(x, 8192, f, 44100.0);
    };
    // Same relation to the cutoff at both pitches: the ratio barely moves.
    const double low = eighthToFirst(45);
    const double high = eighthToFirst(69);
    EXPECT_NEAR(TestSupport::toDb(low), TestSupport::toDb(high), 3.0);
    EXPECT_LT(low, 0.06);  // a saw's 8th partial is 1/8; the low-pass takes most of it
}

TEST_F(EngineMapping, ResonanceReachesBothChannels) {
    Engine e;
    e.start();
    apply(e, Vst::kLpfRes, 0.7f);
    apply(e, Vst::kHpfRes, 0.3f);
    EXPECT_FLOAT_EQ(LowPassPeek::resonanceOf(Access::lowPassLeft(*e.plugin)), 0.7f);
    EXPECT_FLOAT_EQ(LowPassPeek::resonanceOf(Access::lowPassRight(*e.plugin)), 0.7f);
    EXPECT_FLOAT_EQ(ChamberlinPeek::resonanceOf(Access::highPassLeft(*e.plugin)), 0.3f);
}

// --- Modulators ------------------------------------------------------------------

TEST_F(EngineMapping, LfoHoldAtExactlyOneKeepsFullDepth) {
    Engine e;
    e.start();
    auto& env = Access::lfoEnvelope(*e.plugin);
    apply(e, Vst::kLfoSyncEnable, 0.0f);
    apply(e, Vst::kLfoHold, 1.0f);
    EXPECT_EQ(CubicEnvPeek::targetOf(env, 4), 1.0f);
    apply(e, Vst::kLfoHold, 0.999f);
    EXPECT_EQ(CubicEnvPeek::targetOf(env, 4), 0.0f);
    // Fade and hold times: T(fade) for stages 2 and 4, T(hold) for stage 3.
    apply(e, Vst::kLfoFade, 0.2f);
    EXPECT_NEAR(CubicEnvPeek::timeOf(env, 2), 80.0f, 0.01f);
    EXPECT_NEAR(CubicEnvPeek::timeOf(env, 4), 80.0f, 0.01f);
    EXPECT_NEAR(CubicEnvPeek::timeOf(env, 3), 0.999f * 0.999f * 0.999f * 10000.0f, 0.5f);
}

TEST_F(EngineMapping, LfoHoldAtOneStaysAtFullDepthWhileTheNoteLasts) {
    Engine e;
    e.start();
    for (int i : {Vst::kLfoSyncEnable, Vst::kLfoDelay, Vst::kLfoFade}) e.setParameter(i, 0.0f);
    e.setParameter(Vst::kLfoHold, 1.0f);
    e.noteOn(60, 100);
    e.render(44100 * 12);  // longer than the 10 s hold
    EXPECT_FLOAT_EQ(Access::lfoEnvelope(*e.plugin).getLevel(), 1.0f);

    Engine f;
    f.start();
    for (int i : {Vst::kLfoSyncEnable, Vst::kLfoDelay, Vst::kLfoFade}) f.setParameter(i, 0.0f);
    f.setParameter(Vst::kLfoHold, 0.3f);  // 270 ms
    f.noteOn(60, 100);
    f.render(44100);
    EXPECT_FLOAT_EQ(Access::lfoEnvelope(*f.plugin).getLevel(), 0.0f);
}

TEST_F(EngineMapping, SyncSwitchChoosesTheTwinAndLeavesBothValues) {
    Host::instance().timeInfo.tempo = 120.0;
    Engine e;
    e.start();
    e.render(1);  // the tempo arrives
    auto& lfo = Access::lfo(*e.plugin);
    e.setParameter(Vst::kLfoRate, 0.6f);
    e.setParameter(Vst::kLfoRateSynced, 0.5f);  // index 10: 1/2 beat -> 4 Hz at 120 bpm
    apply(e, Vst::kLfoSyncEnable, 1.0f);
    EXPECT_NEAR(LfoPeek::frequencyOf(lfo), 4.0, 4e-3);
    apply(e, Vst::kLfoSyncEnable, 0.0f);
    EXPECT_NEAR(LfoPeek::frequencyOf(lfo), std::exp(1.0), 3e-3);
    EXPECT_FLOAT_EQ(e.parameter(Vst::kLfoRate), 0.6f);
    EXPECT_FLOAT_EQ(e.parameter(Vst::kLfoRateSynced), 0.5f);
    // While free, the synced value is stored but not heard.
    apply(e, Vst::kLfoRateSynced, 0.0f);
    EXPECT_NEAR(LfoPeek::frequencyOf(lfo), std::exp(1.0), 3e-3);
}

TEST_F(EngineMapping, SyncSwitchBetweenZeroAndOneCountsAsOff) {
    // Whatever path set the switch (automation after synced use, or a fresh
    // program), the group ends on its free values: the stored state decides.
    Host::instance().timeInfo.tempo = 120.0;
    Engine e;
    e.start();
    e.render(1);
    auto& p = *e.plugin;
    e.setParameter(Vst::kLfoRate, 0.6f);
    e.setParameter(Vst::kLfoRateSynced, 0.5f);
    e.setParameter(Vst::kAmpAtk, 0.2f);
    e.setParameter(Vst::kAmpAtkSynced, 0.0625f);
    e.setParameter(Vst::kLfoSyncEnable, 1.0f);
    e.setParameter(Vst::kAmpSyncEnable, 1.0f);
    e.render(1);
    ASSERT_NEAR(LfoPeek::frequencyOf(Access::lfo(p)), 4.0, 4e-3);
    ASSERT_NEAR(Access::ampEnvelopeLeft(p).getStageTime(0), 250.0f, 0.01f);
    e.setParameter(Vst::kLfoSyncEnable, 0.5f);
    e.setParameter(Vst::kAmpSyncEnable, 0.5f);
    e.render(1);
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::lfo(p)), std::exp(1.0), 3e-3);
    EXPECT_NEAR(Access::ampEnvelopeLeft(p).getStageTime(0), 80.0f, 0.01f);
    // A later free value is heard, a synced one is not.
    apply(e, Vst::kLfoRate, 0.5f);
    apply(e, Vst::kLfoRateSynced, 0.0f);
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::lfo(p)), 1.0, 1e-3);
}

TEST_F(EngineMapping, AmpSyncOffReappliesThePlainTimes) {
    Host::instance().timeInfo.tempo = 120.0;
    Engine e;
    e.start();
    e.render(1);
    auto& amp = Access::ampEnvelopeLeft(*e.plugin);
    e.setParameter(Vst::kAmpAtk, 0.2f);
    e.setParameter(Vst::kAmpHld, 0.1f);
    e.setParameter(Vst::kAmpDcy, 0.3f);
    e.setParameter(Vst::kAmpSus, 0.6f);
    e.setParameter(Vst::kAmpRel, 0.4f);
    e.setParameter(Vst::kAmpAtkSynced, 0.0625f);  // half a beat: 250 ms
    e.setParameter(Vst::kAmpRelSynced, 0.25f);    // two beats: 1000 ms
    apply(e, Vst::kAmpSyncEnable, 1.0f);
    EXPECT_NEAR(amp.getStageTime(0), 250.0f, 0.01f);
    EXPECT_NEAR(amp.getStageTime(4), 1000.0f, 0.05f);
    EXPECT_FLOAT_EQ(amp.getStageLevel(2), 0.6f);
    apply(e, Vst::kAmpSyncEnable, 0.0f);
    EXPECT_NEAR(amp.getStageTime(0), 80.0f, 0.01f);
    EXPECT_NEAR(amp.getStageTime(1), 10.0f, 0.01f);
    EXPECT_NEAR(amp.getStageTime(2), 270.0f, 0.02f);
    EXPECT_NEAR(amp.getStageTime(4), 640.0f, 0.05f);
    EXPECT_FLOAT_EQ(amp.getStageLevel(3), 0.6f);
    EXPECT_EQ(Access::ampEnvelopeRight(*e.plugin).getStageTime(4), amp.getStageTime(4));
}

TEST_F(EngineMapping, TempoChangeRetimesTheSyncedGroupsOnly) {
    Host::instance().timeInfo.tempo = 100.0;
    Engine e;
    e.start();
    e.setParameter(Vst::kLfoSyncEnable, 1.0f);
    e.setParameter(Vst::kLfoRateSynced, 0.5f);  // half a beat
    e.setParameter(Vst::kVibraSyncEnable, 0.0f);
    e.setParameter(Vst::kVibraRate, 0.7f);
    e.setParameter(Vst::kLpfSyncEnable, 1.0f);
    e.setParameter(Vst::kLpfRelSynced, 0.125f);  // one beat
    e.render(1);
    auto& p = *e.plugin;
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::lfo(p)), 100.0 / 30.0, 4e-3);
    EXPECT_NEAR(Access::lpfEnvelope(p).getStageTime(4), 600.0f, 0.05f);
    Host::instance().timeInfo.tempo = 150.0;
    e.render(44100 / 5);  // past the next tempo poll
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::lfo(p)), 5.0, 6e-3);
    EXPECT_NEAR(Access::lpfEnvelope(p).getStageTime(4), 400.0f, 0.05f);
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::vibratoLfo(p)), std::exp(2.0), 0.01);
    // The band-pass delay's LFO: one cycle per six beats.
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::bpfDelayLfo(p)), 150.0 / 360.0, 1e-3);
}

TEST_F(EngineMapping, VibratoDepthFollowsTheDepthCurve) {
    Engine e;
    e.start();
    apply(e, Vst::kVibraDepth, 0.7f);  // one semitone in units of 240
    EXPECT_NEAR(Access::vibratoDepth(*e.plugin).getGain(), 1.0f / 240.0f, 1e-6f);
    apply(e, Vst::kVibraDepth, 1.0f);
    EXPECT_NEAR(Access::vibratoDepth(*e.plugin).getGain(), 0.5f, 1e-5f);
    apply(e, Vst::kVibraDepth, 0.0f);
    EXPECT_NEAR(Access::vibratoDepth(*e.plugin).getGain(), -0.5f, 1e-5f);
}

TEST_F(EngineMapping, TrillSquareAlternatesBetweenUnisonAndItsDepth) {
    Engine e;
    e.start();
    apply(e, Vst::kTrillDepth, 0.55f);  // a whole octave: 2^(20 x 0.05)
    auto& shape = Access::trillShape(*e.plugin);
    const float a = LinearPeek::scaleOf(shape), b = LinearPeek::offsetOf(shape);
    EXPECT_NEAR(-a + b, 0.0f, 1e-7f);  // low half of the square
    EXPECT_NEAR(a + b, 0.05f, 1e-6f);  // high half: v - 0.5
}

TEST_F(EngineMapping, SpreadSetsDelayAndShelfDepthsPerChannel) {
    Engine e;
    e.start();
    apply(e, Vst::kSpreadSpread, 0.8f);
    auto& p = *e.plugin;
    EXPECT_FLOAT_EQ(Access::spreadDelayDepthLeft(p).getGain(), 0.0005f * 44100.0f * 0.8f);
    EXPECT_FLOAT_EQ(Access::spreadDelayDepthRight(p).getGain(), -0.0005f * 44100.0f * 0.8f);
    EXPECT_FLOAT_EQ(Access::spreadFilterDepthLeft(p).getGain(), -8.0f);
    EXPECT_FLOAT_EQ(Access::spreadFilterDepthRight(p).getGain(), 8.0f);
    apply(e, Vst::kSpreadRate, 0.5f);
    EXPECT_NEAR(LfoPeek::frequencyOf(Access::spreadLfo(p)), 1.0, 1e-3);
}

// --- Delays --------------------------------------------------------------------

struct DelayCase {
    double tempo;
    float rate;
    bool synced;
    float value;
    int expected;
};

class DelayLength : public EngineMapping, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayLength, FitsTheLineByHalving) {
    const DelayCase c = GetParam();
    Host::instance().timeInfo.tempo = c.tempo;
    Engine e;
    e.start(c.rate);
    e.render(1);  // the tempo arrives
    e.setParameter(Vst::kDelaySyncEnable, c.synced ? 1.0f : 0.0f);
    e.setParameter(c.synced ? Vst::kDelayLSynced : Vst::kDelayL, c.value);
    e.render(1);
    auto& p = *e.plugin;
    EXPECT_EQ(Access::hpfDelay(p).getChannel(0)->getDelay(), c.expected);
    EXPECT_EQ(Access::bpfDelay(p).getChannel(0)->getDelay(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, DelayLength,
    ::testing::Values(DelayCase{60.0, 96000.0f, true, 0.0f, 288000},     // 6 beats = 576000, halved once
                      DelayCase{120.0, 44100.0f, true, 0.5f, 11025},     // 1/2 beat
                      DelayCase{120.0, 44100.0f, false, 0.5f, 88200},    // 4 beats
                      DelayCase{30.0, 44100.0f, false, 1.0f, 352800},    // 8 beats = 705600, halved once
                      DelayCase{1.0, 44100.0f, false, 1.0f, 330750},     // 21168000, halved six times
                      DelayCase{120.0, 44100.0f, false, 0.0f, SPKit::kMaxBlock}));  // raised to a block

TEST_F(EngineMapping, LongerDelayGetsProportionallyLessFeedback) {
    Host::instance().timeInfo.tempo = 120.0;
    Engine e;
    e.start();
    e.render(1);
    e.setParameter(Vst::kDelaySyncEnable, 0.0f);
    e.setParameter(Vst::kDelayL, 0.5f);   // 88200 samples
    e.setParameter(Vst::kDelayR, 0.25f);  // 44100 samples
    e.setParameter(Vst::kHpfDelayFb, 0.6f);
    e.setParameter(Vst::kBpfDelayFb, 0.8f);
    e.render(1);
    auto& p = *e.plugin;
    EXPECT_FLOAT_EQ(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(0)), 0.3f);
    EXPECT_FLOAT_EQ(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(1)), 0.6f);
    EXPECT_FLOAT_EQ(FeedbackPeek::of(*Access::bpfDelay(p).getChannel(0)), 0.4f);
    EXPECT_FLOAT_EQ(FeedbackPeek::of(*Access::bpfDelay(p).getChannel(1)), 0.8f);
    EXPECT_FLOAT_EQ(StereoDelayPeek::crossFeedOf(Access::hpfDelay(p)), 0.2f);
    // A new length re-applies both feedbacks.
    e.setParameter(Vst::kDelayR, 1.0f);  // now the right one is longer
    e.render(1);
    EXPECT_FLOAT_EQ(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(0)), 0.6f);
    EXPECT_FLOAT_EQ(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(1)), 0.3f);
}

TEST_F(EngineMapping, FullHighPassDelayFeedbackStaysBelowTheCrossFedLoopLimit) {
    Engine e;
    e.start();
    apply(e, Vst::kHpfDelayFb, 1.0f);
    apply(e, Vst::kBpfDelayFb, 1.0f);
    auto& p = *e.plugin;
    const float limit = 1.0f / (1.0f + StereoDelayPeek::crossFeedOf(Access::hpfDelay(p)));
    EXPECT_LT(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(0)), limit);
    EXPECT_LT(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(1)), limit);
    EXPECT_GT(FeedbackPeek::of(*Access::hpfDelay(p).getChannel(0)), 0.99f * limit);
    // The band-pass delay keeps the full value: its limiter holds the loop.
    EXPECT_EQ(FeedbackPeek::of(*Access::bpfDelay(p).getChannel(0)), 1.0f);
}

TEST_F(EngineMapping, FullFeedbackOnTheShortestLinesDoesNotGrow) {
    Engine e;
    e.start();
    e.setParameter(Vst::kDelaySyncEnable, 1.0f);
    e.setParameter(Vst::kDelayLSynced, 1.0f);  // 1/24 beat: raised to the 4096-sample minimum
    e.setParameter(Vst::kDelayRSynced, 1.0f);
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.setParameter(Vst::kHpfDelayMix, 1.0f);
    e.setParameter(Vst::kHpfDelayFb, 1.0f);
    e.setParameter(Vst::kBpfDelayMix, 1.0f);
    e.setParameter(Vst::kBpfDelayFb, 1.0f);
    e.noteOn(57, 127);
    e.render(44100 * 6);
    const int second = 44100;
    const double early = TestSupport::rms(e.left.data() + second, second);
    const double late = TestSupport::rms(e.left.data() + 5 * second, second);
    ASSERT_TRUE(TestSupport::allFinite(e.left.data(), static_cast<int>(e.left.size())));
    EXPECT_LT(late, 2.0 * early);
}

TEST_F(EngineMapping, DelayEnableMutesAndClearsTheLines) {
    Host::instance().timeInfo.tempo = 120.0;
    Engine e;
    e.start();
    e.setParameter(Vst::kDelaySyncEnable, 0.0f);
    e.setParameter(Vst::kDelayL, 0.5f);
    e.setParameter(Vst::kHpfDelayMix, 1.0f);
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.noteOn(60, 127);
    e.render(8192);
    auto& p = *e.plugin;
    EXPECT_GT(DelayLinePeek::energyOf(*Access::hpfDelay(p).getChannel(0)), 0.0);
    apply(e, Vst::kDelayEnable, 0.0f);
    e.render(44100 / 5);  // the 0.1 s fade
    EXPECT_EQ(Access::hpfDelayMuteLeft(p).getFadeGain(), 0.0f);
    EXPECT_EQ(Access::bpfDelayMuteRight(p).getFadeGain(), 0.0f);
    // Switched on again (as the audio thread does between blocks): both lines empty.
    p.parameterChanged(Vst::kDelayEnable, 1.0f);
    EXPECT_EQ(DelayLinePeek::energyOf(*Access::hpfDelay(p).getChannel(0)), 0.0);
    EXPECT_EQ(DelayLinePeek::energyOf(*Access::bpfDelay(p).getChannel(1)), 0.0);
}

TEST_F(EngineMapping, EchoLandsAtTheLengthForTheHostTempo) {
    // One short click of a note; with only the high-pass delay (feedback 0)
    // the echo arrives 1/4 beat later: 0.125 s at 120 bpm.
    Host::instance().timeInfo.tempo = 120.0;
    Engine e;
    e.start();
    e.setParameter(Vst::kDelaySyncEnable, 1.0f);
    e.setParameter(Vst::kDelayLSynced, 0.65f);  // index 7: 1/4 beat
    e.setParameter(Vst::kDelayRSynced, 0.65f);
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.setParameter(Vst::kHpfDelayMix, 1.0f);
    e.setParameter(Vst::kHpfDelayFb, 0.0f);
    e.setParameter(Vst::kAmpRel, 0.0f);
    e.render(1024);
    e.noteOn(60, 127);
    e.render(256);
    e.noteOff(60);
    e.render(20000);
    const int length = Access::hpfDelay(*e.plugin).getChannel(0)->getDelay();
    EXPECT_EQ(length, 5512);
    // The dry note ends; the echo starts one delay after the note began.
    const int onset = 1024;
    const float* x = e.left.data();
    const double echo = TestSupport::peak(x + onset + length, 512);
    EXPECT_GT(echo, 0.01);
    EXPECT_LT(TestSupport::peak(x + onset + 2000, length - 2064), echo / 100.0);
    int first = onset + 2000;
    while (first < onset + length + 512 && std::fabs(x[first]) < echo / 100.0) ++first;
    EXPECT_GE(first, onset + length);
    EXPECT_LE(first, onset + length + 64);
}

// --- Phaser, equaliser -----------------------------------------------------------

TEST_F(EngineMapping, SwitchesCountOnlyAtExactlyOne) {
    Engine e;
    e.start();
    auto& p = *e.plugin;
    apply(e, Vst::kPhaserEnable, 1.0f);
    EXPECT_FALSE(BypassPeek::bypassedOf(Access::phaserBypassLeft(p)));
    apply(e, Vst::kPhaserEnable, 0.999f);
    EXPECT_TRUE(BypassPeek::bypassedOf(Access::phaserBypassLeft(p)));
    apply(e, Vst::kEqEnable, 1.0f);
    EXPECT_FALSE(BypassPeek::bypassedOf(Access::eqBypassLeft(p)));
    apply(e, Vst::kEqEnable, 0.5f);
    EXPECT_TRUE(BypassPeek::bypassedOf(Access::eqBypassLeft(p)));
}

struct EqTypeCase {
    float value;
    int type;
};

class EqType : public EngineMapping, public ::testing::WithParamInterface<EqTypeCase> {};

TEST_P(EqType, IsTruncOfSixTimesTheValue) {
    Engine e;
    e.start();
    apply(e, Vst::kEq1Type, GetParam().value);
    apply(e, Vst::kEq2Type, GetParam().value);
    EXPECT_EQ(Access::eq1Left(*e.plugin).getType(), GetParam().type);
    EXPECT_EQ(Access::eq1Right(*e.plugin).getType(), GetParam().type);
    EXPECT_EQ(Access::eq2Left(*e.plugin).getType(), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Figures, EqType,
                         ::testing::Values(EqTypeCase{0.0f, 0}, EqTypeCase{1.0f / 6.0f, 1}, EqTypeCase{0.5f, 3},
                                           EqTypeCase{0.9999f, 5}, EqTypeCase{1.0f, 6}));

TEST_F(EngineMapping, EqualiserFrequencyGainAndWidth) {
    Engine e;
    e.start();
    auto& eq = Access::eq1Left(*e.plugin);
    apply(e, Vst::kEq1Frq, 0.5f);
    EXPECT_NEAR(eq.getFrequency(), Curves::pitchFrequency(0.5f), 1e-3f);
    apply(e, Vst::kEq1Gain, 0.62f);
    EXPECT_NEAR(eq.getGain(), 12.0f, 1e-4f);
    apply(e, Vst::kEq1Q, 0.3f);
    EXPECT_FLOAT_EQ(eq.getWidth(), 0.3f);
}

TEST_F(EngineMapping, DelayFilterTuningIsTenOctavesAcrossTheRange) {
    Engine e;
    e.start();
    apply(e, Vst::kHpfDelayTune, 0.1f);
    apply(e, Vst::kBpfDelayTune, 0.3f);
    EXPECT_FLOAT_EQ(Access::hpfDelayTune(*e.plugin).getGain(), 2.0f);
    EXPECT_FLOAT_EQ(Access::bpfDelayTune(*e.plugin).getValue(), 8.0f);
}

}  // namespace
