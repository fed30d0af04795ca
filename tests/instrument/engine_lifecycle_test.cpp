// The instrument's lifecycle: the graph connected once whatever the host's
// order of open and sample rate, every unit at the frame's rate, re-rating,
// what setSampleRate, suspend / resume and program changes reset and keep,
// and program 0 applied by open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "editor/MorvelithEditor.h"
#include "gui/CControl.h"
#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"
#include "tests/instrument/engine_support.h"
#include "tests/support/AudioAnalysis.h"

using namespace EngineTest;
using Access = Vst::MorvelithPluginTestAccess;
namespace Curves = Vst::Curves;

namespace {

class EngineLifecycle : public ::testing::Test {
protected:
    void SetUp() override { Host::instance().reset(); }

    // A phrase that touches the voice, the spread and both delays.
    static void playPhrase(Engine& e) {
        e.setParameter(Vst::kDelayEnable, 1.0f);
        e.setParameter(Vst::kHpfDelayMix, 0.7f);
        e.setParameter(Vst::kBpfDelayMix, 0.7f);
        e.setParameter(Vst::kHpfDelayFb, 0.5f);
        e.setParameter(Vst::kBpfDelayFb, 0.5f);
        e.setParameter(Vst::kSpreadSpread, 0.6f);
        e.setParameter(Vst::kDriveAmount, 0.4f);
        e.noteOn(60, 110);
        e.render(6000);
        e.noteOn(67, 90, 100);
        e.render(3000);
        e.noteOff(67);
        e.noteOff(60, 50);
        e.render(9000);
    }
    static void expectSameAudio(const Engine& a, const Engine& b) {
        ASSERT_EQ(a.left.size(), b.left.size());
        EXPECT_GT(TestSupport::rms(a.left.data(), static_cast<int>(a.left.size())), 1e-3);
        for (size_t i = 0; i < a.left.size(); ++i) {
            ASSERT_EQ(a.left[i], b.left[i]) << "left frame " << i;
            ASSERT_EQ(a.right[i], b.right[i]) << "right frame " << i;
        }
    }
};

TEST_F(EngineLifecycle, OpeningTwiceGivesTheInstrumentOfOneOpen) {
    Engine once;
    Engine twice;
    twice.dispatch(effOpen);
    twice.plugin->open();  // even a direct second call connects nothing again
    auto& p = *twice.plugin;
    // Oscillator, two key trackers, key level, both delay filters' tunings.
    EXPECT_EQ(Access::pitchBus(p).getConsumerCount(), 6);
    EXPECT_EQ(Access::lfoBus(p).getConsumerCount(), 4);
    EXPECT_EQ(Access::dryBusLeft(p).getConsumerCount(), 3);
    EXPECT_EQ(Access::spreadBusLeft(p).getConsumerCount(), 3);
    once.start();
    twice.start();
    playPhrase(once);
    playPhrase(twice);
    expectSameAudio(once, twice);
}

TEST_F(EngineLifecycle, AudioAskedBeforeOpenIsSilence) {
    Engine e(false);
    e.setRate(44100.0f);
    e.resume();
    e.noteOn(60, 100);
    float left[64], right[64];
    std::fill(left, left + 64, 1.0f);
    std::fill(right, right + 64, 1.0f);
    e.deliverMidi();
    e.renderInto(left, right, 64);
    EXPECT_EQ(TestSupport::peak(left, 64), 0.0);
    EXPECT_EQ(TestSupport::peak(right, 64), 0.0);
}

TEST_F(EngineLifecycle, RateBeforeOpenGivesTheInstrumentOfRateAfterOpen) {
    Engine early(false);
    early.setRate(96000.0f);
    early.dispatch(effOpen);
    early.dispatch(effSetProgram, 0, Engine::kDefaultsProgram);
    Engine late;
    early.start(96000.0f);
    late.start(96000.0f);
    playPhrase(early);
    playPhrase(late);
    expectSameAudio(early, late);
}

struct RateCase {
    bool rateBeforeOpen;
    float rate;
};

class EveryUnitAtTheFrameRate : public EngineLifecycle, public ::testing::WithParamInterface<RateCase> {};

TEST_P(EveryUnitAtTheFrameRate, AfterOpenAndRate) {
    const RateCase c = GetParam();
    Engine e(false);
    if (c.rateBeforeOpen) e.setRate(c.rate);
    e.dispatch(effOpen);
    if (!c.rateBeforeOpen) e.setRate(c.rate);
    auto& p = *e.plugin;
    const float fs = c.rate, control = c.rate / 8.0f;
    EXPECT_EQ(Access::outputLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::outputRight(p).getSampleRate(), fs);
    EXPECT_EQ(Access::oscillator(p).getSampleRate(), fs);
    EXPECT_EQ(Access::lowPassLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::ampEnvelopeLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::ampEnvelopeRight(p).getSampleRate(), fs);
    EXPECT_EQ(Access::velocityLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::driveFilterLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::upsamplerLeft(p).getOutputRate(), 16.0f * fs);
    EXPECT_EQ(Access::tubeLeft(p).getSampleRate(), 16.0f * fs);
    EXPECT_EQ(Access::downsamplerLeft(p).getOutputRate(), fs);
    EXPECT_EQ(Access::phaserLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::spreadDelayLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::spreadFilterLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::hpfDelay(p).getChannel(0)->getSampleRate(), fs);
    EXPECT_EQ(Access::bpfDelay(p).getChannel(1)->getSampleRate(), fs);
    EXPECT_EQ(Access::hpfDelayFilterLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::bpfDelayFilterLeft(p).getSampleRate(), fs);
    EXPECT_EQ(Access::eq2Left(p).getSampleRate(), fs);
    EXPECT_EQ(Access::pitchBus(p).getSampleRate(), control);
    EXPECT_EQ(Access::glide(p).getSampleRate(), control);
    EXPECT_EQ(Access::lfo(p).getSampleRate(), control);
    EXPECT_EQ(Access::vibratoLfo(p).getSampleRate(), control);
    EXPECT_EQ(Access::trillOscillator(p).getSampleRate(), control);
    EXPECT_EQ(Access::lfoEnvelope(p).getSampleRate(), control);
    EXPECT_EQ(Access::pitchEnvelope(p).getSampleRate(), control);
    EXPECT_EQ(Access::lpfEnvelope(p).getSampleRate(), control);
    EXPECT_EQ(Access::hpfEnvelope(p).getSampleRate(), control);
    EXPECT_EQ(Access::lpfCutoffBus(p).getSampleRate(), control);
    EXPECT_EQ(Access::lpfSpreadLeft(p).getSampleRate(), control);
    EXPECT_EQ(Access::keyLevelBus(p).getSampleRate(), control);
    EXPECT_EQ(Access::spreadLfo(p).getSampleRate(), control);
    EXPECT_EQ(Access::bpfDelayLfo(p).getSampleRate(), control);
    EXPECT_EQ(Access::hpfDelayTune(p).getSampleRate(), control);
    EXPECT_EQ(Access::ampLfoShape(p).getSampleRate(), control);
    // Rate-dependent wiring settings.
    EXPECT_FLOAT_EQ(ClipPeek::highOf(Access::pitchClip(p)), 0.49f * fs);
    EXPECT_FLOAT_EQ(ClipPeek::lowOf(Access::pitchClip(p)), 1.0f);
    EXPECT_FLOAT_EQ(Access::driveFilterLeft(p).getFrequency(), 0.4f * fs);
    EXPECT_FLOAT_EQ(Access::driveFilterRight(p).getFrequency(), 0.4f * fs);
}

INSTANTIATE_TEST_SUITE_P(Orders, EveryUnitAtTheFrameRate,
                         ::testing::Values(RateCase{false, 44100.0f}, RateCase{true, 44100.0f}, RateCase{false, 96000.0f},
                                           RateCase{true, 96000.0f}, RateCase{true, 22050.0f}, RateCase{false, 48000.0f}));

TEST_F(EngineLifecycle, Rate96000MovesTheCeilingAndDriveFilterAndEmptiesTheDelays) {
    Engine e;
    e.start(44100.0f);
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.setParameter(Vst::kHpfDelayMix, 1.0f);
    e.setParameter(Vst::kBpfDelayMix, 1.0f);
    e.noteOn(60, 100);
    e.render(8192);
    auto& p = *e.plugin;
    ASSERT_GT(DelayLinePeek::energyOf(*Access::hpfDelay(p).getChannel(0)), 0.0);
    e.suspend();
    e.setRate(96000.0f);
    EXPECT_EQ(DelayLinePeek::energyOf(*Access::hpfDelay(p).getChannel(0)), 0.0);
    EXPECT_EQ(DelayLinePeek::energyOf(*Access::bpfDelay(p).getChannel(1)), 0.0);
    EXPECT_EQ(ModDelayPeek::energyOf(Access::spreadDelayLeft(p)), 0.0);
    EXPECT_FLOAT_EQ(ClipPeek::highOf(Access::pitchClip(p)), 47040.0f);
    EXPECT_FLOAT_EQ(Access::driveFilterLeft(p).getFrequency(), 38400.0f);
    // The ceiling, heard: ten octaves up from a high note stops at 47040 Hz.
    e.resume();
    e.setParameter(Vst::kPitchTune, 1.0f);
    e.noteOn(110, 100);
    e.render(4096);
    EXPECT_FLOAT_EQ(Access::oscillator(p).getControlBuffer()[0], 47040.0f);
}

TEST_F(EngineLifecycle, SameRateAgainResetsNothing) {
    Engine reference;
    Engine touched;
    reference.start();
    touched.start();
    for (Engine* e : {&reference, &touched}) {
        e->setParameter(Vst::kDelayEnable, 1.0f);
        e->setParameter(Vst::kHpfDelayMix, 0.8f);
        e->setParameter(Vst::kHpfDelayFb, 0.6f);
        e->noteOn(60, 100);
        e->render(8192);
    }
    touched.setRate(44100.0f);
    for (Engine* e : {&reference, &touched}) {
        e->noteOff(60);
        e->render(30000);
    }
    expectSameAudio(reference, touched);
}

TEST_F(EngineLifecycle, ResumeClearsFiltersAndDelaysButNotEnvelopes) {
    Engine e;
    e.start();
    e.setParameter(Vst::kAmpSyncEnable, 0.0f);
    e.setParameter(Vst::kAmpRel, 0.8f);  // a 5 s release
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.setParameter(Vst::kHpfDelayMix, 1.0f);
    e.setParameter(Vst::kSpreadSpread, 1.0f);
    e.noteOn(60, 100);
    e.render(8192);
    e.noteOff(60);
    e.render(4096);
    auto& p = *e.plugin;
    ASSERT_EQ(Access::ampEnvelopeLeft(p).getStage(), 4);
    ASSERT_GT(LowPassPeek::stateOf(Access::lowPassLeft(p)), 0.0f);
    ASSERT_GT(ChamberlinPeek::stateOf(Access::highPassLeft(p)), 0.0f);
    ASSERT_GT(BiQuadPeek::stateOf(Access::dcBlockLeft(p)), 0.0f);
    e.suspend();
    const float level = Access::ampEnvelopeLeft(p).getLevel();
    const float lpfLevel = Access::lpfEnvelope(p).getLevel();
    ASSERT_GT(level, 0.1f);
    e.resume();
    EXPECT_EQ(LowPassPeek::stateOf(Access::lowPassLeft(p)), 0.0f);
    EXPECT_EQ(LowPassPeek::stateOf(Access::lowPassRight(p)), 0.0f);
    EXPECT_EQ(ChamberlinPeek::stateOf(Access::highPassLeft(p)), 0.0f);
    EXPECT_EQ(BiQuadPeek::stateOf(Access::dcBlockLeft(p)), 0.0f);
    EXPECT_EQ(BiQuadPeek::stateOf(Access::driveFilterLeft(p)), 0.0f);
    EXPECT_EQ(BiQuadPeek::stateOf(Access::spreadFilterLeft(p)), 0.0f);
    EXPECT_EQ(BiQuadPeek::stateOf(Access::eq1Left(p)), 0.0f);
    EXPECT_EQ(DelayLinePeek::energyOf(*Access::hpfDelay(p).getChannel(0)), 0.0);
    EXPECT_EQ(ModDelayPeek::energyOf(Access::spreadDelayLeft(p)), 0.0);
    EXPECT_EQ(Access::ampEnvelopeLeft(p).getLevel(), level);
    EXPECT_EQ(Access::ampEnvelopeLeft(p).getStage(), 4);
    EXPECT_EQ(Access::lpfEnvelope(p).getLevel(), lpfLevel);
    // The release carries on from there.
    e.render(1024);
    EXPECT_LT(Access::ampEnvelopeLeft(p).getLevel(), level);
    EXPECT_GT(Access::ampEnvelopeLeft(p).getLevel(), 0.5f * level);
}

TEST_F(EngineLifecycle, PitchIsRightAfterRateChangeAndResume) {
    // Re-rating re-designs the glide, which would drop it to 0 Hz; the note
    // still sounding must keep its pitch.
    Engine e;
    e.start(44100.0f);
    e.noteOn(69, 100);
    e.render(4096);
    e.setRate(48000.0f);
    e.render(2048);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[0], 440.0, 0.44);
    e.suspend();
    e.resume();
    e.render(2048);
    EXPECT_NEAR(Access::oscillator(*e.plugin).getControlBuffer()[0], 440.0, 0.44);
    EXPECT_NEAR(GlidePeek::outputOf(Access::glide(*e.plugin)), 440.0, 0.44);
}

TEST_F(EngineLifecycle, PhaserRateReturnsToHalfAHertzAfterARateChangeUntilReapplied) {
    Engine e;
    e.start(44100.0f);
    e.setParameter(Vst::kPhaserRate, 0.9f);
    e.render(1);
    auto& phaser = Access::phaserLeft(*e.plugin);
    EXPECT_NEAR(PhaserPeek::rateOf(phaser), 0.9, 1e-4);
    e.setRate(96000.0f);
    EXPECT_NEAR(PhaserPeek::rateOf(phaser), 0.5, 1e-4);
    // The next program application sets "Phaser: RATE" again, at the new rate.
    e.dispatch(effSetProgram, 0, Engine::kDefaultsProgram);
    e.render(2048);
    EXPECT_NEAR(PhaserPeek::rateOf(phaser), 0.9, 1e-4);
}

TEST_F(EngineLifecycle, OpenLeavesProgramZeroApplied) {
    Engine e(true, -1);
    auto& p = *e.plugin;
    const auto stored = [&](int i) { return e.parameter(i); };
    EXPECT_EQ(p.getProgram(), 0);
    EXPECT_FLOAT_EQ(Access::masterLeft(p).getGain(), Curves::level(stored(Vst::kMasterLevel)));
    EXPECT_FLOAT_EQ(Access::trimLeft(p).getGain(), Curves::level(stored(Vst::kOscTrim)));
    EXPECT_FLOAT_EQ(Access::tuneRatio(p).getValue(), Curves::octaveRatio(stored(Vst::kPitchTune)));
    EXPECT_FLOAT_EQ(Access::lpfKeyTrack(p).getGain(), Curves::octaveRatio(stored(Vst::kLpfTune)));
    EXPECT_EQ(Access::eq1Left(p).getType(), Curves::filterTypeIndex(stored(Vst::kEq1Type)));
    EXPECT_EQ(Access::eq2Left(p).getType(), Curves::filterTypeIndex(stored(Vst::kEq2Type)));
    EXPECT_EQ(BypassPeek::bypassedOf(Access::eqBypassLeft(p)), stored(Vst::kEqEnable) != 1.0f);
    EXPECT_EQ(BypassPeek::bypassedOf(Access::driveBypassLeft(p)), stored(Vst::kDriveAmount) == 0.0f);
    EXPECT_FLOAT_EQ(Access::ampEnvelopeLeft(p).getStageLevel(2), stored(Vst::kAmpSus));
    // Opened suspended: nothing held, envelopes in their release.
    EXPECT_EQ(Access::heldCount(p), 0);
    EXPECT_EQ(Access::ampEnvelopeLeft(p).getStage(), 4);
}

TEST_F(EngineLifecycle, StoreOperationsAnswerFromTheParameterTable) {
    Engine e;
    auto& p = *e.plugin;
    std::vector<float> defaults(Vst::MorvelithPlugin::kNumParams, -1.0f);
    p.getDefaults(defaults.data());
    for (int i = 0; i < Vst::MorvelithPlugin::kNumParams; ++i) {
        EXPECT_EQ(defaults[i], Vst::parameterInfo(i).defaultValue) << i;
        EXPECT_EQ(p.getDefault(i), defaults[i]) << i;
        EXPECT_EQ(p.getParameterType(i), Vst::parameterInfo(i).type) << i;
        EXPECT_EQ(p.getValueQuantizer(i), Vst::parameterSnapRule(i)) << i;
        char name[kVstMaxNameLen + 1] = {};
        p.getParameterName(i, name);
        EXPECT_STREQ(name, Vst::parameterInfo(i).name) << i;
        if (Vst::parameterDisplayRule(i) != nullptr)
            EXPECT_EQ(p.getDisplayFormatter(i), Vst::parameterDisplayRule(i)) << i;
        else
            EXPECT_NE(p.getDisplayFormatter(i), nullptr) << i;
    }
    EXPECT_EQ(p.getDefault(-1), 0.0f);
    EXPECT_EQ(p.getDefault(181), 0.0f);
}

TEST_F(EngineLifecycle, EditorFollowsEveryAppliedChange) {
    Engine e;
    e.start();
    ASSERT_EQ(e.dispatch(effEditOpen, 0, 0, nullptr), 1);  // an offscreen window
    auto* window = dynamic_cast<Vst::MorvelithEditor*>(e.plugin->getEditor());
    ASSERT_NE(window, nullptr);
    e.setParameter(Vst::kMasterLevel, 0.125f);
    e.setParameter(Vst::kLfoSyncEnable, 0.0f);
    e.render(1);
    e.dispatch(effEditIdle);
    ASSERT_NE(window->getControl(Vst::kMasterLevel), nullptr);
    EXPECT_FLOAT_EQ(window->getControl(Vst::kMasterLevel)->getValue(), 0.125f);
    EXPECT_FLOAT_EQ(window->getControl(Vst::kLfoSyncEnable)->getValue(), 0.0f);
    e.dispatch(effEditClose);
}

TEST_F(EngineLifecycle, OpenInstallsTheFactoryBank) {
    Engine e(true, -1);
    auto& p = *e.plugin;
    for (int program = 0; program < Vst::MorvelithPlugin::kNumPrograms; ++program) {
        char name[64] = {};
        p.getProgramNameIndexed(0, program, name);
        EXPECT_STREQ(name, Vst::factoryProgramName(program)) << program;
        const float* values = Vst::factoryProgramValues(program);
        for (int i = 0; i < Vst::MorvelithPlugin::kNumParams; ++i)
            ASSERT_EQ(p.getProgramValue(program, i), values[i]) << program << " / " << i;
    }
    char name[64] = {};
    p.getProgramNameIndexed(0, 75, name);
    EXPECT_STREQ(name, "Basic Reso Delay");
    p.getProgramNameIndexed(0, 99, name);
    EXPECT_STREQ(name, "Init 99");
}

TEST_F(EngineLifecycle, ProgramChangeSilencesTheDelayTails) {
    Engine e;
    e.start();
    e.setParameter(Vst::kDelayEnable, 1.0f);
    e.setParameter(Vst::kHpfDelayMix, 1.0f);
    e.setParameter(Vst::kHpfDelayFb, 0.9f);
    e.noteOn(60, 100);
    e.render(4096);
    e.noteOff(60);
    e.render(256);
    auto& line = *Access::hpfDelay(*e.plugin).getChannel(0);
    const double before = DelayLinePeek::energyOf(line);
    ASSERT_GT(before, 1.0);
    e.dispatch(effSetProgram, 0, Engine::kDefaultsProgram + 1);
    e.render(2048);  // the 5 ms fade, then the program
    // Only what the delay's own send filter still rings out has entered since.
    EXPECT_LT(DelayLinePeek::energyOf(line), before * 1e-3);
}

}  // namespace
