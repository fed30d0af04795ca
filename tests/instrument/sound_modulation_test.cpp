// Modulators heard through the built instrument: the main LFO as tremolo at
// R(v) or synced to the host's tempo (twins chosen both ways, re-timed by a
// tempo change); the vibrato's swing by the depth curve D at its rate; the
// trill's interval; the legato glide; the pitch envelope; and a note played
// again in its release (amplitude on from where it was, low-pass from 0).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "tests/instrument/sound_rig.h"
#include "tests/support/AudioAnalysis.h"

using namespace SoundRig;
using namespace Vst;

namespace {

// Note 93 tuned to 1764 Hz: exactly 25 frames per period, so a level per
// period is free of the tone's own ripple.
constexpr int kToneNote = 93;
constexpr int64_t kTonePeriod = 25;
const float kExactTune = static_cast<float>(0.5 + std::log2(1764.0 / 1760.0) / 20.0);

// The strongest rate in the level per period of x[begin, begin + frames).
double tremoloRate(const std::vector<float>& x, int64_t begin, int64_t frames) {
    std::vector<float> level;
    for (int64_t w = begin; w + kTonePeriod <= begin + frames; w += kTonePeriod)
        level.push_back(static_cast<float>(windowRms(x, w, kTonePeriod)));
    const double mean = std::accumulate(level.begin(), level.end(), 0.0) / static_cast<double>(level.size());
    for (float& v : level) v = static_cast<float>(v - mean);
    return strongestFrequency(level, 0, static_cast<int64_t>(level.size()), kRate / kTonePeriod, 0.5, 40.0);
}

}  // namespace

struct TremoloCase {
    const char* name;
    float sync;       // "LFO: SYNC ENABLE"
    bool toggleBack;  // switched on, then to `sync`
    double tempo;     // the host's tempo after the instance opened at 120 bpm
    double expectedHz;
};

class SoundTremolo : public ::testing::TestWithParam<TremoloCase> {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

// "LFO: RATE" 0.6 is e^1 Hz; "LFO: RATE SYNCED" 0.5 is one cycle per half beat.
TEST_P(SoundTremolo, RateFollowsTheSwitchAndTheHostTempo) {
    const TremoloCase c = GetParam();
    Rig rig;
    rig.play(Score().tempo(0, c.tempo), 8820);  // the frame reads the tempo about every 100 ms
    rig.set({{kPitchTune, kExactTune}, {kAmpLfo, 0.25f}, {kLfoRate, 0.6f}, {kLfoRateSynced, 0.5f}});
    if (c.toggleBack) rig.set(kLfoSyncEnable, 1.0f);
    rig.set(kLfoSyncEnable, c.sync);
    const int64_t window = 4096 * kTonePeriod;  // 2.3 s: several cycles at every rate tried
    const Take take = rig.play(Score().noteOn(0, kToneNote, 127), 4410 + window);
    // The LFO runs exactly at its frequency (a rotation at the control rate);
    // the refined spectral peak of 2.3 s of levels resolves far below 0.5 %.
    EXPECT_NEAR(tremoloRate(take.left, 4410, window), c.expectedHz, 0.005 * c.expectedHz);
}

INSTANTIATE_TEST_SUITE_P(SyncTwins, SoundTremolo,
                         ::testing::Values(TremoloCase{"Plain", 0.0f, false, 120.0, std::exp(1.0)},
                                           TremoloCase{"SyncedAt120", 1.0f, false, 120.0, 4.0},
                                           TremoloCase{"SyncedRetimedTo90", 1.0f, false, 90.0, 3.0},
                                           TremoloCase{"SyncedRetimedTo150", 1.0f, false, 150.0, 5.0},
                                           TremoloCase{"SyncOffChoosesPlainAgain", 0.0f, true, 120.0, std::exp(1.0)}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- vibrato --------------------------------------------------------------------

namespace {

// The tone's frequency period by period: interpolated upward zero crossings,
// each estimate spanning four periods (the band-limited saw crosses upward once
// per period).
struct LocalPitch {
    std::vector<double> seconds;  // the middle of each estimate's span
    std::vector<double> hz;
    double lowest() const { return *std::min_element(hz.begin(), hz.end()); }
    double highest() const { return *std::max_element(hz.begin(), hz.end()); }
};

LocalPitch localPitch(const std::vector<float>& x, int64_t begin, int64_t end) {
    std::vector<double> crossings;
    for (int64_t i = begin + 1; i < end; ++i) {
        const double a = x[static_cast<size_t>(i - 1)], b = x[static_cast<size_t>(i)];
        if (a < 0.0 && b >= 0.0) crossings.push_back(static_cast<double>(i - 1) + a / (a - b));
    }
    LocalPitch pitch;
    for (size_t k = 0; k + 4 < crossings.size(); ++k) {
        pitch.seconds.push_back(crossings[k + 2] / kRate);
        pitch.hz.push_back(4.0 * kRate / (crossings[k + 4] - crossings[k]));
    }
    return pitch;
}

// The local pitch on an even grid of `rate` points per second (linear
// interpolation between estimates), mean removed: the swing as a signal.
std::vector<float> swingSignal(const LocalPitch& pitch, double rate) {
    std::vector<float> out;
    size_t k = 0;
    for (double t = pitch.seconds.front(); t <= pitch.seconds.back(); t += 1.0 / rate) {
        while (k + 2 < pitch.seconds.size() && pitch.seconds[k + 1] < t) ++k;
        const double u = (t - pitch.seconds[k]) / (pitch.seconds[k + 1] - pitch.seconds[k]);
        out.push_back(static_cast<float>(pitch.hz[k] + u * (pitch.hz[k + 1] - pitch.hz[k])));
    }
    const double mean = std::accumulate(out.begin(), out.end(), 0.0) / static_cast<double>(out.size());
    for (float& v : out) v = static_cast<float>(v - mean);
    return out;
}

}  // namespace

struct VibratoCase {
    float depth;       // "Vibra: DEPTH"
    double semitones;  // 240 x D(depth), each way
};

class SoundVibratoDepth : public ::testing::TestWithParam<VibratoCase> {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

// The default vibrato runs at R(0.66) = e^1.6 Hz with no delay or fade.
TEST_P(SoundVibratoDepth, SwingsByTheDepthCurveEachWayAtItsRate) {
    const VibratoCase c = GetParam();
    Rig rig;
    rig.set({{kPitchTune, kExactTune}, {kVibraDepth, c.depth}});
    const int64_t frames = 4410 + 2 * 44100;
    const Take take = rig.play(Score().noteOn(0, kToneNote, 127), frames);
    const LocalPitch pitch = localPitch(take.left, 4410, frames);
    ASSERT_GT(pitch.hz.size(), 100u);
    // Averaging over four periods flattens the swing's peaks by well under
    // 0.1 % of a semitone at these rates; 0.02 semitone is the crossing jitter.
    EXPECT_NEAR(12.0 * std::log2(pitch.highest() / 1764.0), c.semitones, 0.02 + 0.01 * c.semitones);
    EXPECT_NEAR(12.0 * std::log2(1764.0 / pitch.lowest()), c.semitones, 0.02 + 0.01 * c.semitones);
    // The swing itself repeats at the vibrato rate.
    const std::vector<float> swing = swingSignal(pitch, 1000.0);
    EXPECT_NEAR(strongestFrequency(swing, 0, static_cast<int64_t>(swing.size()), 1000.0, 0.5, 40.0), std::exp(1.6),
                0.005 * std::exp(1.6));
}

// Linear in the middle (5 semitones per unit of travel, one semitone at 0.7),
// a cube outside it; below the middle the swing is inverted, not smaller.
INSTANTIATE_TEST_SUITE_P(DepthCurve, SoundVibratoDepth,
                         ::testing::Values(VibratoCase{0.6f, 0.5}, VibratoCase{0.4f, 0.5}, VibratoCase{0.7f, 1.0},
                                           VibratoCase{0.75f, 240.0 * (0.015625 / 0.2359664 - 0.02973647)}));

// --- trill -----------------------------------------------------------------------

struct TrillCase {
    float depth;       // "Trill: DEPTH"
    double semitones;  // the second pitch, from the note: 240 x (depth - 0.5)
};

class SoundTrill : public ::testing::TestWithParam<TrillCase> {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

// The default trill is synced at a quarter beat: 8 Hz at 120 bpm.
TEST_P(SoundTrill, AlternatesBetweenTheNoteAndTheDepthsInterval) {
    const TrillCase c = GetParam();
    Rig rig;
    rig.set({{kPitchTune, kExactTune}, {kTrillDepth, c.depth}});
    const int64_t frames = 4410 + 2 * 44100;
    const Take take = rig.play(Score().noteOn(0, kToneNote, 127), frames);
    const LocalPitch pitch = localPitch(take.left, 4410, frames);
    ASSERT_GT(pitch.hz.size(), 100u);
    // Each pitch is held for a sixteenth of a second: 110 periods, so the
    // four-period estimates sit exactly on both pitches most of the time.
    const double low = std::min(0.0, c.semitones), high = std::max(0.0, c.semitones);
    EXPECT_NEAR(12.0 * std::log2(pitch.lowest() / 1764.0), low, 0.02);
    EXPECT_NEAR(12.0 * std::log2(pitch.highest() / 1764.0), high, 0.02);
    const std::vector<float> swing = swingSignal(pitch, 1000.0);
    EXPECT_NEAR(strongestFrequency(swing, 0, static_cast<int64_t>(swing.size()), 1000.0, 0.5, 40.0), 8.0, 0.04);
}

INSTANTIATE_TEST_SUITE_P(Intervals, SoundTrill,
                         ::testing::Values(TrillCase{0.5f + 2.0f / 240.0f, 2.0}, TrillCase{0.5f + 12.0f / 240.0f, 12.0},
                                           TrillCase{0.5f - 3.0f / 240.0f, -3.0}));

// --- portamento, pitch envelope, retrigger ---------------------------------------------

namespace {

// Frames until the designed glide (three poles p, 0.999 p, 0.998001 p with
// weights t, -2t, t, run at the control rate) passes half of a unit step.
double glideHalfFrames(double ms) {
    const double rate = kRate / kControlPeriod;
    const double p1 = 1.0 - 2.4 / (rate * ms * 0.001 * 0.2857142857142857 + 10.0);
    const double p[3] = {p1, p1 * 0.999, p1 * 0.998001};
    const double m = std::log(p1), o = std::log(0.999);
    const double t = 1.0 / (2.0 / (o + m) - 1.0 / (2.0 * o + m) - 1.0 / m);
    double s[3] = {0, 0, 0};
    for (int n = 1;; ++n) {
        for (int k = 0; k < 3; ++k) s[k] = p[k] * s[k] + 1.0;
        if (t * s[0] - 2.0 * t * s[1] + t * s[2] >= 0.5) return n * static_cast<double>(kControlPeriod);
    }
}

}  // namespace

class SoundVoiceMotion : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
    // Mean local pitch over [from, from + frames).
    static double pitchAt(const Take& take, int64_t from, int64_t frames) {
        const LocalPitch pitch = localPitch(take.left, from, from + frames);
        return std::accumulate(pitch.hz.begin(), pitch.hz.end(), 0.0) / static_cast<double>(pitch.hz.size());
    }
};

// "Pitch: PORTA" at 0.21544 is T = 100 ms: a legato octave (882 -> 1764 Hz)
// glides, half-way after about 1000 frames and arrived (to 0.1 %) 150 ms in;
// a note after silence starts on its own pitch at once.
TEST_F(SoundVoiceMotion, LegatoNotesGlideOverThePortamentoTimeOthersJump) {
    Rig rig;
    rig.set({{kPitchTune, kExactTune}, {kPitchPorta, 0.21544f}});
    constexpr int64_t kSecond = 8820, kLoneNote = 44100;
    const Take take = rig.play(Score()
                                   .noteOn(0, kToneNote - 12, 127)
                                   .noteOn(kSecond, kToneNote, 127)
                                   .noteOff(kSecond + 13230, kToneNote - 12)
                                   .noteOff(kSecond + 13230, kToneNote)
                                   .noteOn(kLoneNote, kToneNote, 127),
                               kLoneNote + 4410);
    EXPECT_NEAR(pitchAt(take, kSecond - 2205, 2205), 882.0, 0.882);
    // The glide is S-shaped in Hz; it runs at the control rate, one step per
    // kControlPeriod frames. Half-way is where the designed three-pole glide
    // passes 0.5 of a unit step; the local pitch is stamped once per tone
    // period (at most about 40 frames late here) from four-period spans.
    const LocalPitch glide = localPitch(take.left, kSecond, kSecond + 4410);
    const auto half = std::find_if(glide.hz.begin(), glide.hz.end(), [](double hz) { return hz >= 1323.0; });
    ASSERT_NE(half, glide.hz.end());
    const double halfFrames = glide.seconds[static_cast<size_t>(half - glide.hz.begin())] * kRate - kSecond;
    EXPECT_NEAR(halfFrames, glideHalfFrames(100.0), 40.0 + kControlPeriod);
    EXPECT_NEAR(pitchAt(take, kSecond + 6615, 2205), 1764.0, 1.764);
    // The lone note's first 5 ms already sit on its pitch: no glide from the last one.
    EXPECT_NEAR(pitchAt(take, kLoneNote + 10, 220), 1764.0, 1.764);
}

// --- pitch envelope ----------------------------------------------------------------

// "Pitch: ENV DEPTH" 0.55 starts the note an octave up (O = 2); "Pitch: ENV
// TIME" 0.3 brings it back over T = 270 ms on a curve 0.75, which is three
// quarters of the way back at half the time: a factor of 1.25 at 135 ms.
TEST_F(SoundVoiceMotion, PitchEnvelopeStartsAtItsDepthAndReturnsOverItsTime) {
    Rig rig;
    rig.set({{kPitchTune, kExactTune}, {kPitchEnvDepth, 0.55f}, {kPitchEnvTime, 0.3f}});
    const Take take = rig.play(Score().noteOn(0, kToneNote - 12, 127), 22050);
    const LocalPitch pitch = localPitch(take.left, 0, 22050);
    ASSERT_GT(pitch.hz.size(), 100u);
    // The first estimate spans four periods (about 1.1 ms): the return moves
    // the factor by at most 2/240 of its range per ms at its fastest, the start.
    EXPECT_NEAR(pitch.hz.front() / 882.0, 2.0, 0.02);
    const double halfTime = 0.135;
    const auto at = std::lower_bound(pitch.seconds.begin(), pitch.seconds.end(), halfTime);
    ASSERT_NE(at, pitch.seconds.end());
    // Near the half time the factor falls by about 1/270 per ms; the estimate's
    // stamp is within one period (0.8 ms) of it.
    EXPECT_NEAR(pitch.hz[static_cast<size_t>(at - pitch.seconds.begin())] / 882.0, 1.25, 0.01);
    EXPECT_NEAR(pitchAt(take, 13230, 4410), 882.0, 0.882);  // 300 ms on: the note's own pitch
}

// --- a note during the release -------------------------------------------------------

// Retrigger mix 0: a new note in the release starts its attack from the level
// the release had reached, not from silence (and does not jump to full level).
TEST_F(SoundVoiceMotion, NewNoteDuringTheReleaseAttacksFromTheReachedLevel) {
    Rig rig;
    rig.set({{kPitchTune, kExactTune}, {kAmpAtk, 0.4f}, {kAmpSus, 1.0f}, {kAmpRel, 0.5f}});
    // Attack T(0.4) = 640 ms, release T(0.5) = 1250 ms; the note is released at
    // 700 ms (level 1) and played again at 1000 ms, when the release is at 0.76.
    constexpr int64_t kOff = 30870, kAgain = 44100;
    const Take take = rig.play(
        Score().noteOn(0, kToneNote, 127).noteOff(kOff, kToneNote).noteOn(kAgain, kToneNote, 127), kAgain + 4410);
    const double before = windowRms(take.left, kAgain - 400, 400);
    const double after = windowRms(take.left, kAgain, 400);
    // Over 400 frames either slope moves the level by under 2 %, its fourth power by under 8 %.
    EXPECT_NEAR(after / before, 1.0, 0.08);
    const double full = windowRms(take.left, kOff - 2205, 2205);
    EXPECT_NEAR(std::pow(after / full, 0.25), 0.76, 0.02);
}

// The low-pass envelope, unlike the amplitude's, restarts from 0 (retrigger
// mix 1). "LPF: TUNE" 0.35 puts the base cutoff at f / 8 and "LPF: ENV" 1 opens
// it by 2^(10 x envelope): at the envelope's top the cutoff is 128 f.
TEST_F(SoundVoiceMotion, LowPassEnvelopeRestartsFromZeroOnANoteInItsRelease) {
    Rig rig;
    rig.set({{kLpfTune, 0.35f},
             {kLpfEnv, 1.0f},
             {kLpfSyncEnable, 0.0f},
             {kLpfAtk, 0.3f},
             {kLpfHld, 0.0f},
             {kLpfSus, 1.0f},
             {kLpfRel, 0.5f},
             {kAmpAtk, 0.0f},
             {kAmpSus, 1.0f},
             {kAmpRel, 0.5f}});
    // Released at 500 ms, played again at 600 ms: the filter envelope has fallen
    // to 0.92 (cutoff about 73 f) and restarts at 0 (f / 8), rising over 270 ms.
    constexpr int64_t kOff = 22050, kAgain = 26460, kWindow = 441;
    const Take take = rig.play(Score().noteOn(0, 69, 127).noteOff(kOff, 69).noteOn(kAgain, 69, 127), kAgain + 8820);
    auto brightness = [&take](int64_t from) {
        const auto h = harmonics(take.left, from, kWindow, 440.0, kRate, 8);
        return TestSupport::toDb(h[7] / h[0]);  // eighth harmonic against the fundamental
    };
    // At f / 7 or so the eighth harmonic loses some 35 dB more than the fundamental.
    EXPECT_LT(brightness(kAgain) - brightness(kAgain - kWindow), -20.0);
    // ... and 200 ms on, the envelope at 0.74 has the cutoff back near 21 f.
    EXPECT_GT(brightness(kAgain + 8820 - kWindow) - brightness(kAgain), 20.0);
}
