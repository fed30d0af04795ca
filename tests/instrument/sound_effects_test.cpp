// Effects, sample rate and resume of the built instrument, through the host:
// echoes land at the lengths of the host's tempo (plain or synced, re-timed by
// a tempo change); the equaliser's peak gain; the phaser's depth; a new rate
// moves the pitch ceiling to 0.49 x the rate and empties the delays; resume
// clears filters and delays, but a releasing envelope goes on where it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/instrument/sound_rig.h"
#include "tests/support/AudioAnalysis.h"

using namespace SoundRig;
using namespace Vst;

namespace {

class SoundEffects : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

constexpr int64_t kBurst = 441;  // a 10 ms note

// Instant attack and release, oscillator phase reset on every note: the dry
// signal is a sharp 10 ms burst that starts with its note's frame.
void burstVoice(Rig& rig) { rig.set({{kAmpAtk, 0.0f}, {kAmpRel, 0.0f}, {kOscTrig, 1.0f}, {kOscPhase, 0.0f}}); }

// Only the high-pass delay, at full send and no feedback; the mutes take 0.1 s to open.
void plainEcho(Rig& rig) {
    rig.set(
        {{kDelayEnable, 1.0f}, {kHpfDelayMix, 1.0f}, {kBpfDelayMix, 0.0f}, {kHpfDelayFb, 0.0f}, {kBpfDelayFb, 0.0f}});
    rig.settle(8820);
}

struct Arrival {
    int64_t frame = -1;
    double peak = 0;
};

// The first two arrivals after the dry burst of a channel (its own echo and the
// other channel's, cross-fed at 0.2), each with its peak level.
std::vector<Arrival> arrivals(const std::vector<float>& x, int64_t from, float threshold) {
    std::vector<Arrival> found;
    int64_t start = from;
    while (found.size() < 2) {
        const int64_t at = onset(x, start, threshold);
        if (at < 0) break;
        const int64_t span = std::min<int64_t>(kBurst, static_cast<int64_t>(x.size()) - at);
        found.push_back({at, TestSupport::peak(x.data() + at, static_cast<int>(span))});
        start = at + kBurst + 4410;  // past the burst and its filter tails
    }
    return found;
}

}  // namespace

// --- echo lengths ---------------------------------------------------------------

struct EchoCase {
    const char* name;
    float sync;    // "Delay: SYNC ENABLE"
    double tempo;  // host tempo, bpm
    int64_t left;  // expected lengths in samples at 44100 Hz
    int64_t right;
};

class SoundEcho : public SoundEffects, public ::testing::WithParamInterface<EchoCase> {};

// Synced: "Delay: L SYNCED" 0.325 is one beat, "Delay: R SYNCED" 0.275 one and a half.
// Plain: "Delay: L" 0.25 is two beats, "Delay: R" 0.125 one (0 ... 8 beats).
TEST_P(SoundEcho, EchoesLandAtTheLengthsOfTheHostTempo) {
    const EchoCase c = GetParam();
    Rig rig;
    rig.plugin().transport().setTempo(c.tempo);
    rig.settle(8820);  // the tempo is read about every 100 ms
    burstVoice(rig);
    rig.set({{kDelayLSynced, 0.325f},
             {kDelayRSynced, 0.275f},
             {kDelayL, 0.25f},
             {kDelayR, 0.125f},
             {kDelaySyncEnable, c.sync}});
    plainEcho(rig);

    const int64_t length = std::max(c.left, c.right) + 2 * kBurst + 4410;
    const Take take = rig.play(Score().noteOn(0, 69, 127).noteOff(kBurst, 69), length);
    const float threshold = static_cast<float>(0.01 * TestSupport::peak(take.left.data(), kBurst));
    ASSERT_GT(threshold, 0.0f);
    const int64_t dry = onset(take.left, 0, threshold);
    ASSERT_GE(dry, 0);
    ASSERT_LE(dry, 2);  // the band-limited saw rises from its reset phase within two frames

    const int64_t after = kBurst + 4410;
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float>& x = channel == 0 ? take.left : take.right;
        const int64_t own = channel == 0 ? c.left : c.right, other = channel == 0 ? c.right : c.left;
        const auto found = arrivals(x, after, threshold);
        ASSERT_EQ(found.size(), 2u) << "channel " << channel;
        // Each echo starts with the same saw edge as the dry burst: the same frame
        // offset from its note, to within the two frames of that edge.
        const Arrival& ownEcho = own < other ? found[0] : found[1];
        const Arrival& crossFed = own < other ? found[1] : found[0];
        EXPECT_NEAR(ownEcho.frame - dry, own, 2) << "channel " << channel;
        EXPECT_NEAR(crossFed.frame - dry, other, 2) << "channel " << channel;
        // The cross-feed is 0.2 of the other channel's echo.
        EXPECT_GT(ownEcho.peak, 2.0 * crossFed.peak) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(SyncAndTempo, SoundEcho,
                         ::testing::Values(EchoCase{"SyncedAt120", 1.0f, 120.0, 22050, 33075},
                                           EchoCase{"SyncedAt90", 1.0f, 90.0, 29400, 44100},
                                           EchoCase{"PlainAt120", 0.0f, 120.0, 44100, 22050},
                                           EchoCase{"PlainAt90", 0.0f, 90.0, 58800, 29400}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundEffects, SyncSwitchChoosesItsTwinsBothWays) {
    Rig rig;
    burstVoice(rig);
    // Left: synced one beat (22050), plain half a beat (11025). Right: two beats
    // either way (44100), so its cross-fed echo comes after the left's own.
    rig.set({{kDelayLSynced, 0.325f}, {kDelayL, 0.0625f}, {kDelayRSynced, 0.2f}, {kDelayR, 0.25f}});
    plainEcho(rig);
    auto leftEcho = [&rig](float sync) {
        rig.set(kDelaySyncEnable, sync);
        const Take take = rig.play(Score().noteOn(0, 69, 127).noteOff(kBurst, 69), 22050 + 2 * kBurst + 4410);
        const float threshold = static_cast<float>(0.01 * TestSupport::peak(take.left.data(), kBurst));
        const int64_t dry = onset(take.left, 0, threshold);
        const int64_t echo = onset(take.left, kBurst + 4410, threshold);
        rig.settle(2 * 44100 + 8820);  // let every echo of this note pass
        return echo < 0 || dry < 0 ? int64_t{-1} : echo - dry;
    };
    EXPECT_NEAR(static_cast<double>(leftEcho(0.0f)), 11025.0, 2.0);
    EXPECT_NEAR(static_cast<double>(leftEcho(1.0f)), 22050.0, 2.0);
    EXPECT_NEAR(static_cast<double>(leftEcho(0.0f)), 11025.0, 2.0);
}

TEST_F(SoundEffects, TempoChangeWhilePlayingRetimesTheSyncedEchoes) {
    Rig rig;
    burstVoice(rig);
    rig.set({{kDelayLSynced, 0.325f}, {kDelayRSynced, 0.275f}, {kDelaySyncEnable, 1.0f}});
    plainEcho(rig);
    // The host slows to 80 bpm; a note 0.2 s later (two tempo polls) echoes a beat of 80 bpm later.
    constexpr int64_t kNote = 8820;
    const Take take = rig.play(Score().tempo(0, 80.0).noteOn(kNote, 69, 127).noteOff(kNote + kBurst, 69),
                               kNote + 33075 + 2 * kBurst + 4410);
    const float threshold = static_cast<float>(0.01 * TestSupport::peak(take.left.data() + kNote, kBurst));
    const int64_t dry = onset(take.left, kNote, threshold);
    const auto found = arrivals(take.left, kNote + kBurst + 4410, threshold);
    ASSERT_FALSE(found.empty());
    EXPECT_NEAR(found.front().frame - dry, 33075, 2);  // 60/80 s
}

// --- sample rate --------------------------------------------------------------------

struct CeilingCase {
    const char* name;
    double rate;
    bool changedWhileOpen;  // opened at 44100 and moved to the rate, as a host does
};

class SoundCeiling : public SoundEffects, public ::testing::WithParamInterface<CeilingCase> {};

// "Pitch: TUNE" at 1 raises the note 10 octaves; the clip holds it at 0.49 x the rate.
TEST_P(SoundCeiling, PitchStopsAt049TimesTheRate) {
    const CeilingCase c = GetParam();
    Rig rig(c.changedWhileOpen ? kRate : c.rate);
    if (c.changedWhileOpen) {
        rig.plugin().suspend();
        rig.plugin().setSampleRate(c.rate);
        rig.plugin().resume();
    }
    rig.set(kPitchTune, 1.0f);
    const int64_t window = 65536;
    const Take take = rig.play(Score().noteOn(0, 69, 127), 8192 + window);
    const double ceiling = 0.49 * c.rate;
    EXPECT_NEAR(strongestFrequency(take.left, 8192, window, c.rate, 1000.0, 0.5 * c.rate), ceiling, ceiling * 0.001);
}

INSTANTIATE_TEST_SUITE_P(Rates, SoundCeiling,
                         ::testing::Values(CeilingCase{"At44100", 44100.0, false},
                                           CeilingCase{"At96000", 96000.0, false},
                                           CeilingCase{"MovedTo96000", 96000.0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundEffects, NewSampleRateEmptiesTheDelays) {
    // A pending echo, one beat (22050 samples) after the burst; the rate changes half-way.
    for (bool change : {false, true}) {
        Rig rig;
        burstVoice(rig);
        rig.set({{kDelayLSynced, 0.325f}, {kDelayRSynced, 0.325f}, {kDelaySyncEnable, 1.0f}});
        plainEcho(rig);
        Score score;
        score.noteOn(0, 69, 127).noteOff(kBurst, 69);
        if (change) score.at(11025, [](Host::HostedPlugin& p) { p.setSampleRate(96000.0); });
        const Take take = rig.play(score, 88200);
        const double dry = TestSupport::peak(take.left.data(), kBurst);
        const double later = std::max(TestSupport::peak(take.left.data() + 11025, 88200 - 11025),
                                      TestSupport::peak(take.right.data() + 11025, 88200 - 11025));
        if (change)
            EXPECT_LT(TestSupport::toDb(later / dry), -80.0) << "an echo survived the rate change";
        else
            EXPECT_GT(TestSupport::toDb(later / dry), -20.0) << "no echo to lose: the test would prove nothing";
    }
}

// --- resume ------------------------------------------------------------------------

TEST_F(SoundEffects, ResumeEmptiesTheDelays) {
    for (bool cycle : {false, true}) {
        Rig rig;
        burstVoice(rig);
        rig.set({{kDelayLSynced, 0.325f}, {kDelayRSynced, 0.325f}, {kDelaySyncEnable, 1.0f}});
        plainEcho(rig);
        Score score;
        score.noteOn(0, 69, 127).noteOff(kBurst, 69);
        if (cycle)
            score.at(11025, [](Host::HostedPlugin& p) {
                p.suspend();
                p.resume();
            });
        const Take take = rig.play(score, 44100);
        const double dry = TestSupport::peak(take.left.data(), kBurst);
        const double later = TestSupport::peak(take.left.data() + 11025, 44100 - 11025);
        if (cycle)
            EXPECT_LT(TestSupport::toDb(later / dry), -80.0) << "an echo survived resume";
        else
            EXPECT_GT(TestSupport::toDb(later / dry), -20.0) << "no echo to lose: the test would prove nothing";
    }
}

TEST_F(SoundEffects, ResumeClearsTheFilterTails) {
    // After a burst the closed envelope feeds silence; what still sounds is the
    // ringing of the filters behind it (the DC blocker's 10 Hz tail, the
    // spread shelf). Resume clears them: silence at once.
    for (bool cycle : {false, true}) {
        Rig rig;
        burstVoice(rig);
        constexpr int64_t kResume = kBurst + 441;
        Score score;
        score.noteOn(0, 69, 127).noteOff(kBurst, 69);
        if (cycle)
            score.at(kResume, [](Host::HostedPlugin& p) {
                p.suspend();
                p.resume();
            });
        const Take take = rig.play(score, kResume + 2205);
        const double tail = TestSupport::peak(take.left.data() + kResume, 2205);
        if (cycle)
            EXPECT_LT(tail, 1e-9) << "filter state survived resume";
        else
            EXPECT_GT(tail, 1e-6) << "no tail to clear: the test would prove nothing";
    }
}

TEST_F(SoundEffects, ResumeLetsAReleasingEnvelopeGoOnFromWhereItWas) {
    // Release T(0.6) = 2160 ms; suspend and resume 100 ms into it.
    constexpr int64_t kOff = 4410, kCycle = 8820;
    Rig rig, reference;
    for (Rig* r : {&rig, &reference}) r->set({{kAmpAtk, 0.0f}, {kAmpSus, 1.0f}, {kAmpRel, 0.6f}});
    const Take take = rig.play(Score()
                                   .noteOn(0, 69, 127)
                                   .noteOff(kOff, 69)
                                   .at(kCycle,
                                       [](Host::HostedPlugin& p) {
                                           p.suspend();
                                           p.resume();
                                       }),
                               kCycle + 8820);
    const Take ref = reference.play(Score().noteOn(0, 69, 127).noteOff(kOff, 69), kCycle + 8820);
    // The level (to the fourth power) after resume matches the uninterrupted
    // release; an envelope reset to 0 or restarted would be silent or 1.2x louder.
    const double ratio = windowRms(take.left, kCycle + 441, 4410) / windowRms(ref.left, kCycle + 441, 4410);
    EXPECT_NEAR(ratio, 1.0, 0.02);
    EXPECT_GT(windowRms(take.left, kCycle, 441), 0.5 * windowRms(ref.left, kCycle, 441));
}

// --- equaliser ------------------------------------------------------------------------

// "Eq 1" as a peak (type trunc(0.7 x 6) = 4) centred on the note by F(v) with
// +20 dB ((0.7 - 0.5) x 100): at its centre a peak filter gains exactly that.
TEST_F(SoundEffects, EqualiserPeakRaisesTheNoteBy20Db) {
    constexpr int64_t kSettle = 8820, kMeasure = 32768;
    const float centre = static_cast<float>((std::log(440.0 / 8.17742) / 0.05732507 - 16.0) / 120.103);
    Rig equalised, flat;
    for (Rig* r : {&equalised, &flat}) r->set({{kEq1Type, 0.7f}, {kEq1Frq, centre}, {kEq1Q, 0.0f}, {kEq1Gain, 0.7f}});
    equalised.set(kEqEnable, 1.0f);
    flat.set(kEqEnable, 0.0f);
    const Take a = equalised.play(Score().noteOn(0, 69, 127), kSettle + kMeasure);
    const Take b = flat.play(Score().noteOn(0, 69, 127), kSettle + kMeasure);
    const double gain = TestSupport::toDb(TestSupport::toneAmplitude(a.left.data() + kSettle, kMeasure, 440.0, kRate) /
                                          TestSupport::toneAmplitude(b.left.data() + kSettle, kMeasure, 440.0, kRate));
    EXPECT_NEAR(gain, 20.0, 0.1);
    // Four octaves up the one-octave-wide peak has all but gone.
    const double far =
        TestSupport::toDb(TestSupport::toneAmplitude(a.left.data() + kSettle, kMeasure, 16 * 440.0, kRate) /
                          TestSupport::toneAmplitude(b.left.data() + kSettle, kMeasure, 16 * 440.0, kRate));
    EXPECT_LT(far, 1.0);
}

// --- phaser ---------------------------------------------------------------------------

// Switched on at depth 0 the phaser passes its input unchanged; at depth 1
// with feedback its notches sweep through the harmonics.
TEST_F(SoundEffects, PhaserAtDepthZeroIsTransparentAndAtFullDepthColours) {
    constexpr int64_t kFrames = 44100;
    Rig bypassed, transparent, coloured;
    for (Rig* r : {&bypassed, &transparent, &coloured}) r->set(kPhaserDepth, 0.0f);
    transparent.set(kPhaserEnable, 1.0f);
    coloured.set({{kPhaserEnable, 1.0f}, {kPhaserDepth, 1.0f}, {kPhaserFb, 0.5f}});
    bypassed.set(kPhaserEnable, 0.0f);
    const Take a = bypassed.play(Score().noteOn(0, 57, 127), kFrames);
    const Take b = transparent.play(Score().noteOn(0, 57, 127), kFrames);
    const Take c = coloured.play(Score().noteOn(0, 57, 127), kFrames);
    for (int64_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(b.left[static_cast<size_t>(i)], a.left[static_cast<size_t>(i)]) << "frame " << i;
        ASSERT_EQ(b.right[static_cast<size_t>(i)], a.right[static_cast<size_t>(i)]) << "frame " << i;
    }
    // Somewhere among the first harmonics the sweep moves a harmonic by several dB.
    double largest = 0;
    for (int h = 1; h <= 8; ++h) {
        const double withPhaser = TestSupport::toneAmplitude(c.left.data() + 4410, 8192, h * 220.0, kRate);
        const double without = TestSupport::toneAmplitude(a.left.data() + 4410, 8192, h * 220.0, kRate);
        largest = std::max(largest, std::fabs(TestSupport::toDb(withPhaser / without)));
    }
    EXPECT_GT(largest, 3.0);
}
