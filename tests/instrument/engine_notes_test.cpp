// The voice's note and controller handlers: last-note priority with legato,
// velocity level, release on the last note-off, all-notes-off, pitch bend and
// its smoothing, envelope retriggering and the oscillator phase reset.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/instrument/engine_support.h"
#include "tests/support/AudioAnalysis.h"

using namespace EngineTest;
using Access = Vst::MorvelithPluginTestAccess;

namespace {

class EngineNotes : public ::testing::Test {
protected:
    void SetUp() override { Host::instance().reset(); }

    static float pitchNow(Engine& e) { return Access::oscillator(*e.plugin).getControlBuffer()[0]; }
};

TEST_F(EngineNotes, LegatoChangesOnlyThePitchAndReleaseWaitsForTheLastNote) {
    Engine e;
    e.start();
    e.setParameter(Vst::kAmpSyncEnable, 0.0f);
    e.setParameter(Vst::kAmpAtk, 0.3f);  // 270 ms attack: still rising when the second note comes
    auto& p = *e.plugin;
    auto& amp = Access::ampEnvelopeLeft(p);
    auto& lpf = Access::lpfEnvelope(p);
    e.noteOn(60, 100);
    e.render(4096);
    ASSERT_EQ(amp.getStage(), 0);
    const float levelBefore = amp.getLevel();

    e.noteOn(64, 100);
    e.render(256);
    EXPECT_EQ(amp.getStage(), 0);
    EXPECT_GT(amp.getLevel(), levelBefore);  // the attack carried on
    EXPECT_FLOAT_EQ(Access::notePitch(p).getValue(), static_cast<float>(noteHz(64)));
    e.render(4096);
    EXPECT_NEAR(pitchNow(e), noteHz(64), noteHz(64) * 1e-3);

    e.noteOff(64);
    e.render(4096);
    EXPECT_NEAR(pitchNow(e), noteHz(60), noteHz(60) * 1e-3);
    EXPECT_LT(amp.getStage(), 4);
    EXPECT_LT(lpf.getStage(), 4);

    e.noteOff(60);
    e.render(1);
    EXPECT_EQ(amp.getStage(), 4);
    EXPECT_EQ(Access::ampEnvelopeRight(p).getStage(), 4);
    EXPECT_EQ(lpf.getStage(), 4);
    EXPECT_EQ(Access::hpfEnvelope(p).getStage(), 4);
    // The pitch stays on the last note through the release.
    e.render(2048);
    EXPECT_NEAR(pitchNow(e), noteHz(60), noteHz(60) * 1e-3);
}

TEST_F(EngineNotes, ReleasingAnOlderHeldNoteKeepsTheNewestPitch) {
    Engine e;
    e.start();
    e.noteOn(60, 100);
    e.noteOn(64, 100, 10);
    e.noteOn(67, 100, 20);
    e.render(256);
    e.noteOff(64);
    e.render(4096);
    EXPECT_NEAR(pitchNow(e), noteHz(67), noteHz(67) * 1e-3);
    e.noteOff(67);
    e.render(4096);
    EXPECT_NEAR(pitchNow(e), noteHz(60), noteHz(60) * 1e-3);
}

class VelocityLevel : public EngineNotes, public ::testing::WithParamInterface<int> {};

TEST_P(VelocityLevel, IsVelocityOver128) {
    Engine e;
    e.start();
    e.noteOn(60, GetParam());
    e.render(256);
    EXPECT_FLOAT_EQ(Access::velocityLeft(*e.plugin).getLevel(), GetParam() / 128.0f);
}

INSTANTIATE_TEST_SUITE_P(Values, VelocityLevel, ::testing::Values(1, 64, 100, 127));

TEST_F(EngineNotes, OutputScalesWithVelocity) {
    const auto level = [](int velocity) {
        Engine e;
        e.start();
        e.noteOn(60, velocity);
        e.render(16384);
        return TestSupport::rms(e.left.data() + 8192, 8192);
    };
    EXPECT_NEAR(level(32) / level(128 - 1), 32.0 / 127.0, 1e-4);
}

TEST_F(EngineNotes, LegatoNoteKeepsTheFirstVelocity) {
    Engine e;
    e.start();
    e.noteOn(60, 100);
    e.render(256);
    e.noteOn(62, 20);
    e.render(256);
    EXPECT_FLOAT_EQ(Access::velocityLeft(*e.plugin).getLevel(), 100.0f / 128.0f);
}

TEST_F(EngineNotes, AllNotesOffReleasesWithoutMovingThePitch) {
    Engine e;
    e.start();
    e.noteOn(62, 100);
    e.noteOn(65, 100, 5);
    e.render(4096);
    e.midi(0, 0xB0, 123, 0);
    e.render(2048);
    auto& p = *e.plugin;
    EXPECT_EQ(Access::heldCount(p), 0);
    EXPECT_GE(Access::ampEnvelopeLeft(p).getStage(), 4);  // released (or done)
    EXPECT_GE(Access::lpfEnvelope(p).getStage(), 4);
    EXPECT_NEAR(pitchNow(e), noteHz(65), noteHz(65) * 1e-3);
}

TEST_F(EngineNotes, BendFullyUpRaisesByTwoOctavesTimesItsPosition) {
    Engine e;
    e.start();
    e.setParameter(Vst::kPitchBend, 1.0f);
    e.noteOn(57, 100);
    e.render(2048);
    e.bend(16383);
    e.render(256);
    auto& p = *e.plugin;
    EXPECT_FLOAT_EQ(Access::bendValue(p).getValue(), 8191.0f / 8192.0f);
    // Smoothed over 50 ms: not there after 5 ms, there after 300 ms.
    EXPECT_LT(pitchNow(e), 220.0 * 2.0);
    e.render(44100 * 3 / 10);
    EXPECT_NEAR(pitchNow(e), 220.0 * std::exp2(2.0 * 8191.0 / 8192.0), 880.0 * 1e-3);
}

TEST_F(EngineNotes, BendAtTheDefaultRangeIsAboutAnOctave) {
    Engine e;
    e.start();
    e.noteOn(57, 100);
    e.bend(0);  // fully down
    e.render(44100 / 2);
    EXPECT_NEAR(pitchNow(e), 110.0, 110.0 * 1e-3);
}

TEST_F(EngineNotes, NewNoteInTheReleaseRestartsFilterEnvelopesFromZeroButNotTheAmplitude) {
    Engine e;
    e.start();
    e.setParameter(Vst::kAmpSyncEnable, 0.0f);
    e.setParameter(Vst::kLpfSyncEnable, 0.0f);
    e.setParameter(Vst::kAmpRel, 0.8f);  // 5 s releases
    e.setParameter(Vst::kLpfRel, 0.8f);
    e.noteOn(60, 100);
    e.render(8192);
    e.noteOff(60);
    e.render(8192);
    auto& p = *e.plugin;
    const float ampLevel = Access::ampEnvelopeLeft(p).getLevel();
    ASSERT_GT(ampLevel, 0.5f);
    ASSERT_GT(Access::lpfEnvelope(p).getLevel(), 0.5f);
    // Straight on the handler, so the levels are read before any sample runs.
    p.noteOn(62, 100);
    EXPECT_EQ(Access::lpfEnvelope(p).getLevel(), 0.0f);
    EXPECT_EQ(Access::hpfEnvelope(p).getLevel(), 0.0f);
    EXPECT_EQ(Access::ampEnvelopeLeft(p).getLevel(), ampLevel);
    EXPECT_EQ(Access::ampEnvelopeLeft(p).getStage(), 0);
}

TEST_F(EngineNotes, FilterEnvelopeAttackRunsAtTheControlRateForItsTime) {
    // "LPF: ATK" 0.6 is T = 2160 ms. The envelope runs at fs / 8: its level
    // rises in a straight line and reaches 1 after 2160 ms, not 8 times sooner.
    Engine e;
    e.start();
    e.setParameter(Vst::kLpfSyncEnable, 0.0f);
    e.setParameter(Vst::kLpfAtk, 0.6f);
    e.render(256);
    e.noteOn(60, 100);
    auto& env = Access::lpfEnvelope(*e.plugin);
    const int block = 64;
    e.render(block, block);  // the note arrives at the block's first frame
    int frames = block;
    ASSERT_EQ(env.getStage(), 0);
    float atHalf = -1.0f;
    while (env.getStage() == 0 && frames < 4 * 44100) {
        e.render(block, block);
        frames += block;
        if (atHalf < 0.0f && frames >= 1080 * 441 / 10) atHalf = env.getLevel();
    }
    EXPECT_NEAR(frames / 44.1, 2160.0, 2.0 * block / 44.1);
    EXPECT_NEAR(atHalf, 0.5f, 0.01f);
}

TEST_F(EngineNotes, OscillatorTriggerSpreadsVoicePhasesByDetuneSteps) {
    Engine e;
    e.start();
    e.setParameter(Vst::kOscTrig, 1.0f);
    e.setParameter(Vst::kOscDetune, 1.0f);  // detune 0.01
    e.setParameter(Vst::kOscPhase, 0.25f);
    e.render(256);
    auto& p = *e.plugin;
    auto& osc = Access::oscillator(p);
    p.noteOn(60, 100);
    const float n = 4096.0f;
    // Voice 1 runs at 1 + d: it starts p cycles (a quarter table) ahead of voice 0.
    const float apart = std::fmod(osc.voicePhase(1) - osc.voicePhase(0) + 2.0f * n, n);
    EXPECT_NEAR(apart, 0.25f * n, 2.0f);
    // Voice 3 runs at 1 + 2d: two steps.
    const float twoSteps = std::fmod(osc.voicePhase(3) - osc.voicePhase(0) + 2.0f * n, n);
    EXPECT_NEAR(twoSteps, 0.5f * n, 2.0f);
}

TEST_F(EngineNotes, OscillatorTriggerWithoutDetuneBorrowsOneEighthAndRestoresZero) {
    Engine e;
    e.start();
    e.setParameter(Vst::kOscTrig, 1.0f);
    e.setParameter(Vst::kOscDetune, 0.0f);
    e.setParameter(Vst::kOscPhase, 0.5f);
    e.render(256);
    auto& p = *e.plugin;
    auto& osc = Access::oscillator(p);
    p.noteOn(60, 100);
    EXPECT_EQ(osc.getDetune(), 0.0f);
    // p / 2 cycles per step of detune 0.125: voice 1 a quarter table ahead.
    const float n = 4096.0f;
    EXPECT_NEAR(std::fmod(osc.voicePhase(1) - osc.voicePhase(0) + 2.0f * n, n), 0.25f * n, 2.0f);
}

TEST_F(EngineNotes, OscillatorTriggerAtPhaseZeroRestartsEveryVoice) {
    Engine e;
    e.start();
    e.setParameter(Vst::kOscTrig, 1.0f);
    e.setParameter(Vst::kOscPhase, 0.0f);
    e.setParameter(Vst::kOscDetune, 0.4f);
    e.noteOn(60, 100);
    e.render(3000);
    e.noteOff(60);
    e.render(100);
    auto& p = *e.plugin;
    p.noteOn(64, 100);
    for (int j = 0; j < SPKit::MultiOscillator::kVoices; ++j) EXPECT_EQ(Access::oscillator(p).voicePhase(j), 0.0f);
}

TEST_F(EngineNotes, TrillTriggerRestartsTheSquareAndVibratoTriggerTheLfo) {
    Engine e;
    e.start();
    e.setParameter(Vst::kTrillTrig, 1.0f);
    e.setParameter(Vst::kVibraTrig, 1.0f);
    e.noteOn(60, 100);
    e.render(3001);
    e.noteOff(60);
    e.render(7);
    auto& p = *e.plugin;
    p.noteOn(60, 100);
    EXPECT_EQ(Access::trillOscillator(p).getPhase(), 0.0f);
    float first[4];
    Access::vibratoLfo(p).process(first, 4);
    EXPECT_FLOAT_EQ(first[0], 1.0f);  // the LFO starts at its cosine peak
}

TEST_F(EngineNotes, LfoRunsFreelyAcrossNotesWhenNotTriggered) {
    Engine e;
    e.start();
    e.setParameter(Vst::kLfoTrig, 0.0f);
    e.noteOn(60, 100);
    e.render(3001);
    e.noteOff(60);
    e.render(7);
    auto& p = *e.plugin;
    p.noteOn(60, 100);
    float first[4];
    Access::lfo(p).process(first, 4);
    EXPECT_LT(first[0], 0.99f);
}

}  // namespace
