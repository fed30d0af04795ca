// Pitch of the built instrument, heard through the host: the played note's
// fundamental, pitch bend after its smoothing, the tune control in octaves and
// semitones, legato (pitch moves, envelopes do not restart) and the low-pass
// cutoff that follows the played pitch.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "instrument/ParameterTable.h"
#include "tests/instrument/sound_rig.h"
#include "tests/support/AudioAnalysis.h"

using namespace SoundRig;
using namespace Vst;

namespace {

// The design's pitch accuracy: 0.1 % of the expected frequency.
constexpr double kPitchTolerance = 0.001;
// Measurement window: 2^15 frames (0.74 s) gives bins of 1.35 Hz; the peak search
// resolves far below that, so the tolerance above is the only one that counts.
constexpr int64_t kWindow = 32768;

class SoundPitch : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

double measuredPitch(const std::vector<float>& x, int64_t begin) {
    return strongestFrequency(x, begin, kWindow, kRate, 20.0, 0.45 * kRate);
}

}  // namespace

// Every sound suite starts from this program and changes only what it measures.
TEST_F(SoundPitch, TheSuitesStartFromAProgramHoldingEveryDefault) {
    Rig rig;
    EXPECT_EQ(rig.plugin().programName(), "Init 76");
    for (int index = 0; index < kParameterCount; ++index)
        EXPECT_EQ(rig.plugin().getParameter(index), parameterInfo(index).defaultValue) << "index " << index;
}

TEST_F(SoundPitch, Note69SoundsAt440HzOnBothChannels) {
    Rig rig;
    const Take take = rig.play(Score().noteOn(0, 69), 22050 + kWindow);
    EXPECT_NEAR(measuredPitch(take.left, 22050), 440.0, 440.0 * kPitchTolerance);
    EXPECT_NEAR(measuredPitch(take.right, 22050), 440.0, 440.0 * kPitchTolerance);
}

class SoundPitchAtRate : public SoundPitch, public ::testing::WithParamInterface<double> {};

TEST_P(SoundPitchAtRate, Note69Is440HzAtEveryRate) {
    const double rate = GetParam();
    Rig rig(rate);
    const int64_t window = 65536;
    const Take take = rig.play(Score().noteOn(0, 69), 8192 + window);
    EXPECT_NEAR(strongestFrequency(take.left, 8192, window, rate, 20.0, 0.45 * rate), 440.0, 440.0 * kPitchTolerance);
}

INSTANTIATE_TEST_SUITE_P(Rates, SoundPitchAtRate, ::testing::Values(22050.0, 48000.0, 88200.0, 96000.0, 192000.0));

TEST_F(SoundPitch, NotesFollowEqualTemperament) {
    for (int note : {33, 57, 60, 81, 93}) {
        Rig rig;
        const Take take = rig.play(Score().noteOn(0, note), 8820 + kWindow);
        EXPECT_NEAR(measuredPitch(take.left, 8820), noteHz(note), noteHz(note) * kPitchTolerance) << "note " << note;
    }
}

// --- pitch bend --------------------------------------------------------------

struct BendCase {
    float bendRange;  // "Pitch: BEND"
    int wheel;        // 14-bit MIDI value
    double octaves;   // expected shift
};

class SoundBend : public SoundPitch, public ::testing::WithParamInterface<BendCase> {};

TEST_P(SoundBend, ShiftsByRangeTimesPositionOnceSmoothed) {
    const BendCase c = GetParam();
    Rig rig;
    rig.set(kPitchBend, c.bendRange);
    // The bend is smoothed over 50 ms (a third-order glide at the control rate,
    // time constant under 7 ms): 300 ms later it has settled to far below 0.1 %.
    const int64_t bendAt = 4410, settled = bendAt + 13230;
    const Take take = rig.play(Score().noteOn(0, 69).bend(bendAt, c.wheel), settled + kWindow);
    const double expected = 440.0 * std::pow(2.0, c.octaves);
    EXPECT_NEAR(measuredPitch(take.left, settled), expected, expected * kPitchTolerance);
    // Before the bend the note sits at its own pitch.
    EXPECT_NEAR(strongestFrequency(take.left, 0, 4096, kRate, 20.0, 0.45 * kRate), 440.0, 440.0 * 0.01);
}

INSTANTIATE_TEST_SUITE_P(RangeAndWheel, SoundBend,
                         ::testing::Values(BendCase{1.0f, 16383,
                                                    2.0 * 8191.0 / 8192.0},         // fully up: two octaves x 8191/8192
                                           BendCase{1.0f, 0, -2.0},                 // fully down
                                           BendCase{0.5f, 16383, 8191.0 / 8192.0},  // default range: about an octave
                                           BendCase{0.25f, 0, -0.5},     // a quarter range down: half an octave
                                           BendCase{0.0f, 16383, 0.0},   // no range: no bend
                                           BendCase{1.0f, 8192, 0.0}));  // centre

// --- tune --------------------------------------------------------------------

struct TuneCase {
    float value;
    double semitones;
};

class SoundTune : public SoundPitch, public ::testing::WithParamInterface<TuneCase> {};

TEST_P(SoundTune, MovesByWholeOctavesAndSnappedSemitones) {
    const TuneCase c = GetParam();
    Rig rig;
    rig.set(kPitchTune, c.value);
    const Take take = rig.play(Score().noteOn(0, 69), 4410 + kWindow);
    const double expected = 440.0 * std::pow(2.0, c.semitones / 12.0);
    EXPECT_NEAR(measuredPitch(take.left, 4410), expected, expected * kPitchTolerance) << "tune " << c.value;
}

// An octave is 1/20 of travel, a semitone 1/240.
INSTANTIATE_TEST_SUITE_P(Octaves, SoundTune,
                         ::testing::Values(TuneCase{0.5f - 2.0f / 20.0f, -24.0}, TuneCase{0.5f - 1.0f / 20.0f, -12.0},
                                           TuneCase{0.5f, 0.0}, TuneCase{0.5f + 1.0f / 20.0f, 12.0},
                                           TuneCase{0.5f + 2.0f / 20.0f, 24.0}));
INSTANTIATE_TEST_SUITE_P(Semitones, SoundTune,
                         ::testing::Values(TuneCase{0.5f - 7.0f / 240.0f, -7.0}, TuneCase{0.5f - 1.0f / 240.0f, -1.0},
                                           TuneCase{0.5f + 1.0f / 240.0f, 1.0}, TuneCase{0.5f + 5.0f / 240.0f, 5.0},
                                           TuneCase{0.5f + 11.0f / 240.0f, 11.0}));

// --- legato ------------------------------------------------------------------

// An envelope that is still moving when the second note comes: instant attack,
// decay from 1 to the sustain 0.5 over T(0.4) = 640 ms, release T(0.3) = 270 ms.
class SoundLegato : public SoundPitch {
protected:
    void shape(Rig& rig) {
        rig.set({{kAmpAtk, 0.0f}, {kAmpHld, 0.0f}, {kAmpDcy, 0.4f}, {kAmpSus, 0.5f}, {kAmpRel, 0.3f}});
    }
    static constexpr int64_t kSecond = 8820;      // second note at 200 ms, level 0.84 then
    static constexpr int64_t kSustained = 35280;  // 800 ms: both notes on the sustain
    static constexpr int64_t kFirstUp = 35280 + kWindow;
    static constexpr int64_t kLastUp = kFirstUp + 4410 + kWindow;
    static constexpr int64_t kRmsWindow = 2205;
};

TEST_F(SoundLegato, SecondNoteMovesThePitchWithoutRestartingTheEnvelope) {
    Rig legato, alone;
    shape(legato);
    shape(alone);
    const Take both = legato.play(Score().noteOn(0, 60).noteOn(kSecond, 64), kSustained + kWindow);
    // The same envelope timeline with only the second note's pitch: what the
    // legato note must sound like once the glide (portamento 0) has arrived.
    const Take reference = alone.play(Score().noteOn(0, 64), kSustained + kWindow);
    const int64_t after = kSecond + 2205;  // 50 ms after the second note, still decaying
    const double ratio = windowRms(both.left, after, kRmsWindow) / windowRms(reference.left, after, kRmsWindow);
    // A restarted (instant) attack would jump back to level 1: (0.96 / 0.80)^4, about twice as loud.
    EXPECT_NEAR(ratio, 1.0, 0.05);
    EXPECT_NEAR(measuredPitch(both.left, kSustained), noteHz(64), noteHz(64) * kPitchTolerance);
}

TEST_F(SoundLegato, ReleasingTheLastNoteReturnsToTheHeldOneAndOnlyThenReleases) {
    Rig legato, held;
    shape(legato);
    shape(held);
    const Score score = Score().noteOn(0, 60).noteOn(kSecond, 64).noteOff(kFirstUp, 64).noteOff(kLastUp, 60);
    const Take take = legato.play(score, kLastUp + 44100);
    const Take reference = held.play(Score().noteOn(0, 60), kLastUp + 44100);

    // Back on the first note, still at the sustain level (no release yet).
    const int64_t back = kFirstUp + 4410;
    EXPECT_NEAR(measuredPitch(take.left, back), noteHz(60), noteHz(60) * kPitchTolerance);
    EXPECT_NEAR(windowRms(take.left, back, kRmsWindow) / windowRms(reference.left, back, kRmsWindow), 1.0, 0.05);

    // The last note-off starts the release: 200 ms into 270 ms the level is
    // 0.5 x (1 - 200/270) of full, to the fourth power 47 dB below the sustain.
    const double sustain = windowRms(take.left, kLastUp - kRmsWindow, kRmsWindow);
    const double released = windowRms(take.left, kLastUp + 8820, 441);
    EXPECT_LT(TestSupport::toDb(released / sustain), -30.0);
}

TEST_F(SoundLegato, ReleasingTheFirstNoteKeepsTheSecondSounding) {
    Rig rig;
    shape(rig);
    const Score score = Score().noteOn(0, 60).noteOn(kSecond, 64).noteOff(kSustained, 60);
    const Take take = rig.play(score, kSustained + 4410 + kWindow);
    EXPECT_NEAR(measuredPitch(take.left, kSustained + 4410), noteHz(64), noteHz(64) * kPitchTolerance);
    const double before = windowRms(take.left, kSustained - kRmsWindow, kRmsWindow);
    const double after = windowRms(take.left, kSustained + 4410, kRmsWindow);
    EXPECT_NEAR(after / before, 1.0, 0.05);
}

TEST_F(SoundLegato, AllNotesOffReleasesWithoutMovingThePitch) {
    Rig rig;
    shape(rig);
    constexpr int kAllNotesOff = 123;
    const Take take =
        rig.play(Score().noteOn(0, 60).noteOn(kSecond, 64).controller(kSustained, kAllNotesOff, 0), kSustained + 13230);
    // Still on the last note's pitch while the release runs (its first 93 ms).
    EXPECT_NEAR(strongestFrequency(take.left, kSustained, 4096, kRate, 20.0, 0.45 * kRate), noteHz(64),
                noteHz(64) * kPitchTolerance);
    // 200 ms into the 270 ms release the level is far below the sustain.
    const double sustain = windowRms(take.left, kSustained - kRmsWindow, kRmsWindow);
    EXPECT_LT(TestSupport::toDb(windowRms(take.left, kSustained + 8820, 441) / sustain), -30.0);
}

// --- low-pass key tracking ---------------------------------------------------

namespace {

// The low-pass at resonance 0: two one-pole stages y += g (x - y), g = min(2 pi fc / fs, 0.97499).
double lowPassMagnitude(double cutoff, double frequency, double rate) {
    const double g = std::min(2.0 * std::numbers::pi * cutoff / rate, 0.97499);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * frequency / rate);
    return std::norm(g / (1.0 - (1.0 - g) * z1));
}

}  // namespace

class SoundCutoffTracking : public SoundPitch, public ::testing::WithParamInterface<int> {};

// "LPF: TUNE" at 0.55 puts the cutoff one octave above the played note. Each
// harmonic, against a render with the filter wide open (0.97499), must lose
// exactly what that filter takes at the note's own cutoff.
TEST_P(SoundCutoffTracking, HarmonicsLoseWhatTheKeyTrackedFilterTakes) {
    const int note = GetParam();
    const double f = noteHz(note);
    Rig filtered, open;
    filtered.set(kLpfTune, 0.55f);
    const Take a = filtered.play(Score().noteOn(0, note), 8820 + kWindow);
    const Take b = open.play(Score().noteOn(0, note), 8820 + kWindow);
    const auto hf = harmonics(a.left, 8820, kWindow, f, kRate, 6);
    const auto ho = harmonics(b.left, 8820, kWindow, f, kRate, 6);
    for (int h = 1; h <= 6; ++h) {
        const double expectedDb =
            TestSupport::toDb(lowPassMagnitude(2.0 * f, h * f, kRate) / lowPassMagnitude(1.0e9, h * f, kRate));
        // Both renders share every other gain, so only the filter remains;
        // 0.2 dB covers float rounding of the coefficient and the window's leakage.
        EXPECT_NEAR(TestSupport::toDb(hf[h - 1] / ho[h - 1]), expectedDb, 0.2) << "note " << note << " harmonic " << h;
    }
}

INSTANTIATE_TEST_SUITE_P(TwoNotes, SoundCutoffTracking, ::testing::Values(45, 69));
