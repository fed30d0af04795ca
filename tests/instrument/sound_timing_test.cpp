// Timing and level of the built instrument, heard through the host: a note
// starts on its exact frame, velocity scales the level by velocity / 128, a
// program change fades out to silence on the 221st frame and back in with the
// new program, and the amplitude envelope's attack and release last T(v) (or
// their tempo-synced twins); the audio thread never reaches the heap.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>

#include "tests/instrument/sound_rig.h"
#include "tests/support/AudioAnalysis.h"

#if MORVELITH_COUNTS_ALLOCATIONS
#include "tests/support/AllocationCounter.h"
#endif

using namespace SoundRig;
using namespace Vst;

namespace {

class SoundTiming : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

double timeMs(double v) { return v * v * v * 10000.0; }
double levelGain(double v) { return std::pow(v, 3.986314) * 15.84893; }

// The key-level stage's logarithm: a second-order fit of log2 on the float's bits.
double fastLog(float x) {
    const auto bits = std::bit_cast<int32_t>(x);
    const float m = std::bit_cast<float>((bits & static_cast<int32_t>(0x807FFFFF)) + 0x3F800000);
    const int e = ((bits >> 23) & 0xFF) - 128;
    return (e + (2.0f - m * 0.33333334f) * m - 0.6666667f) * 0.6931472f;
}

}  // namespace

// --- a note's first frame ------------------------------------------------------

TEST_F(SoundTiming, NoteAtOffsetTenLeavesTheFirstTenFramesExactlySilent) {
    Rig rig;
    const Take take = rig.play(Score().noteOn(10, 69, 127), 64, 64);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(take.left[i], 0.0f) << "frame " << i;
        EXPECT_EQ(take.right[i], 0.0f) << "frame " << i;
    }
    EXPECT_GT(TestSupport::peak(take.left.data() + 10, 54), 0.0);
    EXPECT_GT(TestSupport::peak(take.right.data() + 10, 54), 0.0);
}

TEST_F(SoundTiming, NoteStartsOnItsFrameWhateverTheBlockSize) {
    // With an instant attack the first sounding frame is the note's own.
    for (int block : {1, 7, 64, 256}) {
        Rig rig;
        rig.set({{kAmpAtk, 0.0f}, {kOscTrig, 1.0f}, {kOscPhase, 0.0f}});
        const Take take = rig.play(Score().noteOn(300, 69, 127), 600, block);
        EXPECT_EQ(TestSupport::peak(take.left.data(), 300), 0.0) << "block " << block;
        const int64_t first = onset(take.left, 0, 0.0f);
        EXPECT_GE(first, 300) << "block " << block;
        EXPECT_LE(first, 301) << "block " << block;  // a sine read at phase 0 may give 0 on the first frame
    }
}

// --- velocity ------------------------------------------------------------------

class SoundVelocity : public SoundTiming, public ::testing::WithParamInterface<int> {};

TEST_P(SoundVelocity, LevelIsProportionalToVelocity) {
    const int velocity = GetParam();
    Rig rig, full;
    const Take take = rig.play(Score().noteOn(0, 69, velocity), 22050);
    const Take reference = full.play(Score().noteOn(0, 69, 127), 22050);
    // Velocity is a plain gain on a linear chain: the ratio is exact up to float rounding.
    const double ratio = windowRms(take.left, 4410, 16384) / windowRms(reference.left, 4410, 16384);
    EXPECT_NEAR(ratio, velocity / 127.0, 1e-4 * velocity / 127.0);
}

INSTANTIATE_TEST_SUITE_P(Velocities, SoundVelocity, ::testing::Values(1, 32, 64, 100, 126));

// The fundamental's amplitude is the product of the designed gains: the
// oscillator's sine at 0.5, trim and master at unity, drive bypass 0.7, the
// key-level compensation 2 - 2 ln(f) / ln 20000 (with its fast logarithm),
// and velocity / 128. The open low-pass (g = 0.97499) takes 0.01 % at 440 Hz;
// the DC blocker and the high-pass (one to a few octaves below the note
// ... at most 0.05 %): together well inside 0.3 %, while velocity / 127 would be 0.8 % off.
TEST_F(SoundTiming, FundamentalLevelIsVelocityOver128TimesTheDesignedGains) {
    Rig rig;
    const Take take = rig.play(Score().noteOn(0, 69, 100), 8820 + 32768);
    const double measured = TestSupport::toneAmplitude(take.left.data() + 8820, 32768, 440.0, kRate);
    const double g = 0.97499;
    const double lowPass = std::norm(g / (1.0 - (1.0 - g) * std::polar(1.0, -2.0 * std::numbers::pi * 440.0 / kRate)));
    const double keyLevel = 2.0 - 2.0 * fastLog(440.0f) / std::log(20000.0);
    const double expected = 0.5 * 0.7 * keyLevel * lowPass * (100.0 / 128.0);
    EXPECT_NEAR(measured / expected, 1.0, 0.003);
}

// --- program change fade ------------------------------------------------------

TEST_F(SoundTiming, ProgramChangeFadesToZeroOnThe221stFrameThenSoundsTheNewProgram) {
    // Program 77 holds the defaults; give it a louder master (L(0.6), +6.3 dB)
    // so the new program is heard, then start both instances on program 76.
    auto prepare = [](Rig& rig) {
        rig.set(kMasterLevel, 0.6f);
        rig.plugin().selectProgram(kDefaultsProgram);
        rig.settle(2048);
    };
    Rig changed(kRate, kDefaultsProgram + 1), steady(kRate, kDefaultsProgram + 1);
    prepare(changed);
    prepare(steady);
    constexpr int64_t kChange = 22016;  // a block boundary: the fade starts with that frame
    const Take a = changed.play(Score().noteOn(0, 69).program(kChange, kDefaultsProgram + 1), kChange + 16384);
    const Take b = steady.play(Score().noteOn(0, 69), kChange + 16384);

    for (int64_t i = kChange - 1024; i < kChange; ++i)
        ASSERT_EQ(a.left[i], b.left[i]) << "renders differ before the change";

    // Falls by 1/220.5 per frame from the first frame, 0 exactly on the 221st
    // (index 220), rises by 1/220.5 per frame after it; the rest of that
    // 256-frame sub-block was rendered by the old program.
    const double step = 1000.0 / (5.0 * kRate);
    for (int i = 0; i < 256; ++i) {
        const double gain = i < 220 ? 1.0 - (i + 1) * step : i == 220 ? 0.0 : (i - 220) * step;
        const size_t k = static_cast<size_t>(kChange + i);
        EXPECT_NEAR(a.left[k], b.left[k] * gain, 1e-4 * std::fabs(b.left[k]) + 1e-7) << "frame " << i;
        EXPECT_NEAR(a.right[k], b.right[k] * gain, 1e-4 * std::fabs(b.right[k]) + 1e-7) << "frame " << i;
    }
    EXPECT_EQ(a.left[kChange + 220], 0.0f);
    EXPECT_EQ(a.right[kChange + 220], 0.0f);

    // Once faded in, the new program's master level is heard.
    const double ratio = windowRms(a.left, kChange + 4410, 8192) / windowRms(b.left, kChange + 4410, 8192);
    EXPECT_NEAR(ratio, levelGain(0.6), 0.01 * levelGain(0.6));
}

// --- amplitude envelope durations ---------------------------------------------

namespace {

// The envelope's level over [begin, end): the take projected onto a reference
// whose envelope sits at 1, four periods of a 1764 Hz tone at a time, to the
// quarter power (the amplitude envelope applies level^4). Whole periods cancel
// what the DC blocker makes of the oscillator's small offset while the level
// moves; the line is fitted where the level is between 0.2 and 0.95.
struct LevelLine {
    double slope = 0, intercept = 0;
    double frameAt(double level) const { return (level - intercept) / slope; }
};

LevelLine fitLevel(const Take& take, const Take& reference, int64_t begin, int64_t end) {
    constexpr int64_t kPeriod = 100;  // four periods of the 1764 Hz tone
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int64_t w = begin; w + kPeriod <= end; w += kPeriod) {
        double ab = 0, bb = 0;
        for (int64_t i = w; i < w + kPeriod; ++i) {
            ab += double(take.left[static_cast<size_t>(i)]) * reference.left[static_cast<size_t>(i)];
            bb += double(reference.left[static_cast<size_t>(i)]) * reference.left[static_cast<size_t>(i)];
        }
        if (!(bb > 0.0) || !(ab > 0.0)) continue;
        const double level = std::pow(ab / bb, 0.25);
        if (level < 0.2 || level > 0.95) continue;
        const double x = w + 0.5 * (kPeriod - 1);
        n += 1, sx += x, sy += level, sxx += x * x, sxy += x * level;
    }
    LevelLine line;
    if (n < 10) return line;
    line.slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    line.intercept = (sy - line.slope * sx) / n;
    return line;
}

}  // namespace

// Envelope timing is measured on note 93 tuned up to 1764 Hz, whose period is
// exactly 25 frames at 44100 Hz: every window of four periods then holds the
// same stretch of the (periodic) waveform, and is short against every stage.
constexpr int kEnvelopeNote = 93;
const float kExactTune = static_cast<float>(0.5 + std::log2(1764.0 / 1760.0) / 20.0);

// The envelope moves by a float step added once per sample: inside each binade
// of the level the step is rounded to the level's ulp (2^-24 just below 1), so
// a stage of D samples can run long or short by up to D x D x 2^-25 samples
// beyond the control period the design allows.
double stageTolerance(double frames) { return kControlPeriod + frames * frames * std::ldexp(1.0, -25); }

struct AttackCase {
    const char* name;
    float sync;       // "Amp: SYNC ENABLE"
    double tempo;     // host tempo, bpm
    bool toggleBack;  // sync switched on and then off again before the note
    double expectedMs;
};

class SoundAttack : public SoundTiming, public ::testing::WithParamInterface<AttackCase> {};

// Plain attack T(0.3) = 270 ms; synced attack S(0.0625) = half a beat.
TEST_P(SoundAttack, LastsItsDesignedTimeWithinOneControlPeriod) {
    const AttackCase c = GetParam();
    // Both instances take the same steps (the same frames pass), so their
    // oscillators stay in phase; the reference has an instant plain attack.
    Rig rig, reference;
    for (Rig* r : {&rig, &reference}) {
        r->plugin().transport().setTempo(c.tempo);
        r->settle(8820);  // the frame asks the host for its tempo about every 100 ms
        r->set({{kAmpHld, 0.0f}, {kAmpSus, 1.0f}, {kAmpAtkSynced, 0.0625f}, {kPitchTune, kExactTune}});
    }
    rig.set(kAmpAtk, 0.3f);
    reference.set(kAmpAtk, 0.0f);
    rig.set(kAmpSyncEnable, c.toggleBack ? 1.0f : c.sync);
    reference.set(kAmpSyncEnable, 0.0f);
    rig.set(kAmpSyncEnable, c.sync);
    reference.set(kAmpSyncEnable, 0.0f);

    const int64_t length = static_cast<int64_t>(c.expectedMs * kRate / 1000.0) + 4410;
    const Take take = rig.play(Score().noteOn(0, kEnvelopeNote, 127), length);
    const Take full = reference.play(Score().noteOn(0, kEnvelopeNote, 127), length);
    const LevelLine line = fitLevel(take, full, 0, length);
    ASSERT_GT(line.slope, 0.0) << "no rising envelope found";
    // The level starts its climb with the note's frame and reaches 1 after the stage's samples.
    const double expectedFrames = c.expectedMs * kRate / 1000.0;
    EXPECT_NEAR(line.frameAt(1.0) + 1.0, expectedFrames, stageTolerance(expectedFrames));
    EXPECT_NEAR(line.frameAt(0.0) + 1.0, 0.0, stageTolerance(expectedFrames));
}

INSTANTIATE_TEST_SUITE_P(PlainAndSynced, SoundAttack,
                         ::testing::Values(AttackCase{"Plain", 0.0f, 120.0, false, 270.0},
                                           AttackCase{"SyncedAt120", 1.0f, 120.0, false, 250.0},
                                           AttackCase{"SyncedAt90", 1.0f, 90.0, false, 1000.0 / 3.0},
                                           AttackCase{"SyncOffChoosesPlainAgain", 0.0f, 120.0, true, 270.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundTiming, SyncedAttackFollowsATempoChangeWhileOpen) {
    Rig rig, reference;
    for (Rig* r : {&rig, &reference})
        r->set({{kAmpHld, 0.0f}, {kAmpSus, 1.0f}, {kAmpAtk, 0.0f}, {kPitchTune, kExactTune}});
    rig.set({{kAmpAtkSynced, 0.0625f}, {kAmpSyncEnable, 1.0f}});
    reference.set(kAmpSyncEnable, 0.0f);
    // 120 bpm at first; the host moves to 60 bpm, where half a beat is 500 ms.
    rig.play(Score().tempo(0, 60.0), 8820);
    reference.settle(8820);
    const Take take = rig.play(Score().noteOn(0, kEnvelopeNote, 127), 26460);
    const Take full = reference.play(Score().noteOn(0, kEnvelopeNote, 127), 26460);
    const LevelLine line = fitLevel(take, full, 0, 26460);
    ASSERT_GT(line.slope, 0.0);
    EXPECT_NEAR(line.frameAt(1.0) + 1.0, 0.5 * kRate, stageTolerance(0.5 * kRate));
}

class SoundRelease : public SoundTiming, public ::testing::WithParamInterface<float> {};

TEST_P(SoundRelease, StartsAtTheNoteOffAndLastsTOfTheSetting) {
    const float value = GetParam();
    Rig rig, held;
    for (Rig* r : {&rig, &held})
        r->set({{kAmpAtk, 0.0f}, {kAmpHld, 0.0f}, {kAmpSus, 1.0f}, {kAmpRel, value}, {kPitchTune, kExactTune}});
    constexpr int64_t kOff = 11025 + 100;  // not on a block boundary
    const double expectedFrames = timeMs(value) * kRate / 1000.0;
    const int64_t length = kOff + static_cast<int64_t>(expectedFrames) + 4410;
    const Take take = rig.play(Score().noteOn(0, kEnvelopeNote, 127).noteOff(kOff, kEnvelopeNote), length);
    const Take reference = held.play(Score().noteOn(0, kEnvelopeNote, 127), length);
    const LevelLine line = fitLevel(take, reference, kOff, length);
    ASSERT_LT(line.slope, 0.0) << "no falling envelope found";
    EXPECT_NEAR(line.frameAt(1.0) + 1.0, kOff, stageTolerance(expectedFrames));
    EXPECT_NEAR(line.frameAt(0.0) + 1.0, kOff + expectedFrames, stageTolerance(expectedFrames));
    // Sustained up to the note-off.
    EXPECT_NEAR(windowRms(take.left, kOff - 2205, 2205) / windowRms(reference.left, kOff - 2205, 2205), 1.0, 1e-4);
}

// T(0.2) = 80 ms, T(0.3) = 270 ms, T(0.35) = 428.75 ms.
INSTANTIATE_TEST_SUITE_P(Times, SoundRelease, ::testing::Values(0.2f, 0.3f, 0.35f));

// --- the audio thread stays off the heap ----------------------------------------

#if MORVELITH_COUNTS_ALLOCATIONS
TEST_F(SoundTiming, ProcessingNeverAllocatesThroughNotesParametersProgramsAndTempo) {
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    Rig rig;
    Host::HostedPlugin& plugin = rig.plugin();
    plugin.reserveEvents(8);
    std::vector<float> left(256), right(256);
    float* outputs[2] = {left.data(), right.data()};
    long allocations = 0;
    auto block = [&](std::vector<Host::BlockEvent> events) {
        TestSupport::AllocationScope scope;
        plugin.processBlock(events.data(), static_cast<int>(events.size()), nullptr, outputs, 256);
        allocations += scope.stop().allocations;
    };
    auto midi = [](uint8_t s, uint8_t a, uint8_t b) {
        Host::MidiMessage m;
        m.bytes[0] = s, m.bytes[1] = a, m.bytes[2] = b, m.size = 3;
        return m;
    };
    // Every parameter at both ends of its range, each pushed while a note plays.
    block({{0, midi(0x90, 60, 100)}});
    for (int index = 0; index < kParameterCount; ++index) {
        for (float v : {1.0f, 0.0f, 0.5f}) {
            plugin.setParameter(index, v);
            block({});
        }
    }
    block({{3, midi(0x90, 64, 90)}, {100, midi(0xE0, 0x7F, 0x7F)}, {200, midi(0x80, 64, 0)}});
    plugin.transport().setTempo(73.0);
    for (int i = 0; i < 40; ++i) block({});
    plugin.selectProgram(75);
    for (int i = 0; i < 8; ++i) block({});
    block({{0, midi(0xB0, 123, 0)}, {10, midi(0x80, 60, 0)}});
    EXPECT_EQ(allocations, 0);
}
#endif
