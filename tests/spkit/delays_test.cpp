// The delays and the phaser measured as audio processors: impulses come out at
// exactly the designed sample (up to full-length lines), fractional and ramped
// delays interpolate as designed, loops shape what is heard and fed back, the
// stereo pair exchanges exactly its cross-feed, and the phaser is an all-pass
// chain whose notch follows its sweep and which vanishes at mix 0; the modulated
// delay's copy of runs at delay 0 matches its per-sample loop bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include "spkit/Cpu.h"
#include "spkit/Delays.h"
#include "spkit/Filters.h"
#include "spkit/simd/Tanh.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::render;
using UnitTestSupport::Tone;

namespace {

constexpr double kRate = 44100.0;

// The delay suites' noise starts from seed 5.
class Noise : public UnitTestSupport::Noise {
public:
    explicit Noise(unsigned seed = 5) : UnitTestSupport::Noise(seed) {}
};

// Plays its samples once, then silence; counts what it is asked for.
class Samples : public Unit {
public:
    Samples() = default;
    explicit Samples(std::vector<float> data) : data(std::move(data)) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i, ++pulled) out[i] = pulled < static_cast<long>(data.size()) ? data[pulled] : 0.0f;
    }
    std::vector<float> data;
    long pulled = 0;
};

Samples impulse(float height = 1.0f) { return Samples({height}); }

class Ramp : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = static_cast<float>(n++);
    }
    long n = 0;
};

// Loop stage: scales what it reads; counts its pulls.
class Scale : public Base {
public:
    explicit Scale(float k) : k(k) {}
    void process(float* out, int count) override {
        input->process(out, count);
        for (int i = 0; i < count; ++i) out[i] *= k;
        ++pulls;
    }
    float k;
    int pulls = 0;
};

// Loop stage with memory, so processing order matters.
class Smoother : public Base {
public:
    void process(float* out, int count) override {
        input->process(out, count);
        for (int i = 0; i < count; ++i) out[i] = state = 0.7f * state + 0.3f * out[i];
    }
    float state = 0.0f;
};

// Every nonzero sample of x, by index.
std::map<long, float> nonzero(const std::vector<float>& x) {
    std::map<long, float> found;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i] != 0.0f) found[static_cast<long>(i)] = x[i];
    return found;
}

}  // namespace

// ------------------------------------------------------------------ BasicDelay

TEST(BasicDelay, DelaysBySamplesExactly) {
    Samples input({1, 2, 3, 4, 5});
    BasicDelay delay;
    delay.setInput(&input);
    delay.setDelay(3);
    delay.clear();
    EXPECT_EQ(render(delay, 5, 5), (std::vector<float>{0, 0, 0, 1, 2}));
}

TEST(BasicDelay, ZeroDelayPassesThroughAndTheLineIsBounded) {
    Ramp ramp;
    BasicDelay delay;
    delay.setInput(&ramp);
    EXPECT_EQ(render(delay, 4, 4), (std::vector<float>{0, 1, 2, 3}));
    delay.setDelay(kMaxDelaySamples + 1);
    EXPECT_EQ(delay.getDelay(), delay.getMaxDelay());
    delay.setDelay(-3);
    EXPECT_EQ(delay.getDelay(), 0);
}

struct DelayCase {
    int delay;
    int block;
};

class DelayImpulse : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelayImpulse, BasicDelayImpulseArrivesAtTheDesignedSample) {
    const auto [length, block] = GetParam();
    Samples input = impulse();
    BasicDelay delay;
    delay.setInput(&input);
    delay.setDelay(length);
    const auto out = nonzero(render(delay, length + 300, block));
    EXPECT_EQ(out, (std::map<long, float>{{length, 1.0f}}));
}

TEST_P(DelayImpulse, FeedbackDelayImpulseArrivesAtTheDesignedSample) {
    const auto [length, block] = GetParam();
    Samples input = impulse();
    FeedbackDelay delay;
    delay.setInput(&input);
    delay.setDelay(length);
    const long expected = std::max(length, kMaxBlock);
    const auto out = nonzero(render(delay, expected + 300, block));
    EXPECT_EQ(out, (std::map<long, float>{{expected, 1.0f}}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, DelayImpulse,
                         ::testing::Values(DelayCase{1, 1}, DelayCase{3, 7}, DelayCase{4095, 64}, DelayCase{4096, 256},
                                           DelayCase{4097, 7}, DelayCase{10000, 4096}, DelayCase{kMaxDelaySamples, 1},
                                           DelayCase{kMaxDelaySamples, 256}));

// ------------------------------------------------------------------ ModDelay

TEST(ModDelay, ZeroDelayPassesInputUnchangedWhileRecordingIt) {
    Ramp ramp;
    ModDelay delay;
    delay.setInput(&ramp);
    const auto head = render(delay, 100, 32);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(head[i], static_cast<float>(i));
    delay.setDelay(5.0f);
    const auto tail = render(delay, 10, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(tail[i], static_cast<float>(95 + i));
}

TEST(ModDelay, IntegerAndFractionalDelays) {
    for (float length : {1.0f, 10.0f, static_cast<float>(kMaxDelaySamples - 1)}) {
        Samples input = impulse();
        ModDelay delay;
        delay.setInput(&input);
        delay.setDelay(length);
        EXPECT_EQ(nonzero(render(delay, static_cast<long>(length) + 50, 256)),
                  (std::map<long, float>{{static_cast<long>(length), 1.0f}}))
            << length;
    }
    Samples input = impulse();
    ModDelay delay;
    delay.setInput(&input);
    delay.setDelay(2.25f);
    EXPECT_EQ(nonzero(render(delay, 20, 20)), (std::map<long, float>{{2, 0.75f}, {3, 0.25f}}));
}

// Control 64 samples: taken on samples 0, 8, 16 ... (the first ramp starts at
// 0) and reached by the delay's own 8-sample ramp; a ramp input shows d exactly.
TEST(ModDelay, ControlSetsTheDelayThroughAnEightSampleRamp) {
    Ramp ramp;
    Unit sixtyFour(64.0f);
    ModDelay delay;
    delay.setInput(&ramp);
    render(delay, 200, 200);
    delay.setControl(&sixtyFour);
    const auto out = render(delay, 64, 64);
    for (int i = 0; i < 64; ++i) {
        const int d = i < 8 ? 0 : std::min(64, 8 * (i - 7));
        EXPECT_EQ(out[i], static_cast<float>(200 + i - d)) << i;
    }
    EXPECT_FLOAT_EQ(delay.getDelay(), 64.0f);
}

// setDelay moves the current delay at once; the 8-sample ramp toward the
// control's target goes on from there and stops at the target.
TEST(ModDelay, SetDelayDuringARampMovesItAndTheRampCarriesOn) {
    Ramp ramp;
    Unit sixtyFour(64.0f);
    ModDelay delay;
    delay.setInput(&ramp);
    render(delay, 200, 200);  // record 0 .. 199
    delay.setControl(&sixtyFour);
    float out[8];
    delay.process(out, 8);  // the control ramp rises 0 .. 56: target 0 at its first sample
    delay.process(out, 1);  // the ninth takes target 64: step 8
    EXPECT_EQ(delay.getDelay(), 8.0f);
    delay.setDelay(40.5f);
    EXPECT_EQ(delay.getDelay(), 40.5f);
    delay.process(out, 1);
    EXPECT_EQ(delay.getDelay(), 48.5f);
    EXPECT_EQ(out[0], 209.0f - 48.5f);  // halfway between the recorded 160 and 161
    delay.process(out, 2);  // 56.5, then 64.5 stops at 64
    EXPECT_EQ(delay.getDelay(), 64.0f);
}

// At delay 0 with no ramp under way the delay copies whole runs into its line
// instead of stepping sample by sample. Against the per-sample loop it always
// ran (kept here), output, line and state must agree to the bit: through runs
// at 0, ramps away and back, a negative and a NaN control (both held at 0),
// setDelay and clear between blocks, and writes across the line's wrap.
class PerSampleModDelay : public ModDelay {
public:
    void process(float* out, int count) override {
        input->process(out, count);
        updateControl(count);
        double cur = delayCurrent, stp = delayStep, tgt = delayTarget;
        int w = writePos;
        for (int i = 0; i < count; ++i) {
            const float x = out[i];
            if (needsUpdate()) {
                const double samples = controlBuffer[i];
                tgt = !(samples > 0.0) ? 0.0 : std::min(samples, static_cast<double>(kMaxDelaySamples - 1));
                stp = (tgt - cur) * 0.125;
            }
            cur += stp;
            if (cur == 0.0) {
                line[w] = x;
                if (++w == kMaxDelaySamples) w = 0;
                continue;
            }
            if ((stp > 0.0 && cur >= tgt) || (stp < 0.0 && cur <= tgt)) {
                cur = tgt;
                stp = 0.0;
            }
            double g = w - cur;
            if (g < 0.0) g += kMaxDelaySamples;
            int k0 = static_cast<int>(g);
            const double frac = g - k0;
            if (k0 >= kMaxDelaySamples) k0 -= kMaxDelaySamples;
            const int k1 = k0 + 1 == kMaxDelaySamples ? 0 : k0 + 1;
            line[w] = x;
            if (++w == kMaxDelaySamples) w = 0;
            out[i] = static_cast<float>(line[k1] * frac + line[k0] * (1.0 - frac));
        }
        delayCurrent = cur;
        delayStep = stp;
        delayTarget = tgt;
        writePos = w;
    }
};

class ModDelayRuns : public ::testing::TestWithParam<int> {};

TEST_P(ModDelayRuns, SameBitsAsThePerSampleLoop) {
    const int block = GetParam();
    Noise in1, in2;
    Unit depth1(0.0f), depth2(0.0f);
    ModDelay fast;
    PerSampleModDelay slow;
    fast.setInput(&in1);
    slow.setInput(&in2);
    fast.setControl(&depth1);
    slow.setControl(&depth2);
    static constexpr float kSchedule[] = {0.0f, 0.0f, 37.25f, 37.25f, 0.0f, 0.0f, 0.0f, -5.0f, 0.0f, 3.0e6f, 0.0f, 0.0f};
    std::vector<float> a(static_cast<size_t>(block)), b = a;
    long total = 0;
    for (int step = 0; total < 3L * kMaxDelaySamples; ++step) {
        float value = kSchedule[step % 12];
        if (step % 29 == 28) value = std::nanf("");
        depth1.setValue(value);
        depth2.setValue(value);
        if (step % 17 == 16) {
            fast.setDelay(12.5f);
            slow.setDelay(12.5f);
        }
        if (step == 40) {
            fast.clear();
            slow.clear();
        }
        for (int repeat = 0; repeat < std::max(1, 2048 / block); ++repeat) {
            fast.process(a.data(), block);
            slow.process(b.data(), block);
            ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << "step " << step;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(fast.getDelay())),
                      std::bit_cast<std::uint64_t>(static_cast<double>(slow.getDelay())));
            total += block;
        }
    }
    // The recorded lines agree too: read them back at a long delay.
    depth1.setValue(kMaxDelaySamples - 10.0f);
    depth2.setValue(kMaxDelaySamples - 10.0f);
    fast.setDelay(kMaxDelaySamples - 10.0f);
    slow.setDelay(kMaxDelaySamples - 10.0f);
    for (int i = 0; i < 4; ++i) {
        fast.process(a.data(), block);
        slow.process(b.data(), block);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, ModDelayRuns, ::testing::Values(1, 7, 64, 256, 4096));

TEST(ModDelay, ControlOutsideTheLineIsHeldInside) {
    for (float wanted : {1e9f, -50.0f}) {
        Noise noise;
        Unit control(wanted);
        ModDelay delay;
        delay.setInput(&noise);
        delay.setControl(&control);
        const auto out = render(delay, 5000, 256);
        EXPECT_TRUE(TestSupport::allFinite(out.data(), 5000));
        EXPECT_GE(delay.getDelay(), 0.0f);
        EXPECT_LT(delay.getDelay(), delay.getMaxDelay());
    }
}

// ------------------------------------------------------------------ FeedbackDelay

TEST(FeedbackDelay, LengthIsAtLeastOneBlockAndAtMostTheLine) {
    FeedbackDelay delay;
    delay.setDelay(100);
    EXPECT_EQ(delay.getDelay(), 4096);
    delay.setDelay(500000);
    EXPECT_EQ(delay.getDelay(), 441000);
    EXPECT_EQ(delay.getMaxDelay(), 441000);
}

TEST(FeedbackDelay, BeforeItsFirstLengthItPassesTheInputOn) {
    Ramp ramp;
    FeedbackDelay delay;
    delay.setInput(&ramp);
    EXPECT_EQ(render(delay, 4, 4), (std::vector<float>{0, 1, 2, 3}));
}

// The output is the line; the loop shapes only what goes back into it.
TEST(FeedbackDelay, LoopOutputTimesFeedbackMakesTheRepeats) {
    Samples input = impulse();
    Scale invert(-0.5f);
    FeedbackDelay delay;
    delay.setInput(&input);
    delay.setDelay(5000);
    delay.setLoop(&invert, &invert);
    delay.setFeedback(0.5f);
    EXPECT_EQ(nonzero(render(delay, 15001, 256)),
              (std::map<long, float>{{5000, 1.0f}, {10000, -0.25f}, {15000, 0.0625f}}));
}

TEST(FeedbackDelay, LoopOfSeveralUnitsRunsHeadToTail) {
    Samples input = impulse();
    Scale head(2.0f), tail(0.5f);
    tail.setInput(&head);
    FeedbackDelay delay;
    delay.setInput(&input);
    delay.setDelay(4096);
    delay.setLoop(&head, &tail);
    delay.setFeedback(0.75f);
    EXPECT_EQ(nonzero(render(delay, 3 * 4096 + 1, 64)),
              (std::map<long, float>{{4096, 1.0f}, {8192, 0.75f}, {12288, 0.5625f}}));
    EXPECT_EQ(head.pulls, tail.pulls);
}

// The floor applies to what the loop returns, before the feedback scales it.
TEST(FeedbackDelay, LoopSamplesAtOrBelowTheFloorAreNotFedBack) {
    for (auto [height, amount] : {std::pair{1e-16f, 1.0f}, std::pair{1e-15f, 1.0f}, std::pair{1e-13f, 1.0f},
                                  std::pair{1e-13f, 1e-3f}, std::pair{1e-16f, 1e3f}}) {
        Samples input = impulse(height);
        Scale unity(1.0f);
        FeedbackDelay delay;
        delay.setInput(&input);
        delay.setDelay(4096);
        delay.setLoop(&unity, &unity);
        delay.setFeedback(amount);
        const auto out = render(delay, 8193, 256);
        EXPECT_EQ(out[4096], height);
        EXPECT_EQ(out[8192], height > 1e-15f ? height * amount : 0.0f) << height << " x " << amount;
    }
}

TEST(FeedbackDelay, SampleRateReachesTheWholeLoop) {
    Scale head(1.0f), tail(1.0f);
    tail.setInput(&head);
    FeedbackDelay delay;
    delay.setLoop(&head, &tail);
    delay.setSampleRate(96000.0f);
    EXPECT_EQ(tail.getSampleRate(), 96000.0f);
    EXPECT_EQ(head.getSampleRate(), 96000.0f);
}

// ------------------------------------------------------------------ StereoDelay

namespace {

struct StereoRig {
    Samples dryLeft, dryRight;
    Scale loopLeft{1.0f}, loopRight{1.0f};
    StereoDelay delay;
    std::vector<float> left, right;

    StereoRig(int lengthLeft, int lengthRight, float feedback, float crossFeed) {
        Samples* dry[2] = {&dryLeft, &dryRight};
        Scale* loops[2] = {&loopLeft, &loopRight};
        for (int c = 0; c < 2; ++c) {
            StereoDelay::Channel* channel = delay.getChannel(c);
            channel->setInput(dry[c]);
            channel->setLoop(loops[c], loops[c]);
            channel->setFeedback(feedback);
        }
        delay.getChannel(0)->setDelay(lengthLeft);
        delay.getChannel(1)->setDelay(lengthRight);
        delay.setCrossFeed(crossFeed);
    }

    void run(long total, int block, bool rightFirst = false) {
        left.assign(total, 0.0f);
        right.assign(total, 0.0f);
        for (long done = 0; done < total; done += block) {
            const int n = static_cast<int>(std::min<long>(block, total - done));
            if (rightFirst) delay.getChannel(1)->process(right.data() + done, n);
            delay.getChannel(0)->process(left.data() + done, n);
            if (!rightFirst) delay.getChannel(1)->process(right.data() + done, n);
        }
    }
};

}  // namespace

TEST(StereoDelay, StartsAtOneBlockOfDelayWithAQuarterCrossFeed) {
    StereoDelay delay;
    EXPECT_TRUE(delay.isValid());
    EXPECT_EQ(delay.getChannel(0)->getDelay(), 4096);
    EXPECT_EQ(delay.getChannel(1)->getDelay(), 4096);
    StereoRig rig(4096, 4096, 0.0f, 0.25f);
    rig.dryLeft.data = {1.0f};
    rig.run(5000, 256);
    EXPECT_EQ(nonzero(rig.left), (std::map<long, float>{{4096, 1.0f}}));
    EXPECT_EQ(nonzero(rig.right), (std::map<long, float>{{4096, 0.25f}}));
}

class StereoDelayBlocks : public ::testing::TestWithParam<int> {};

// Left 5000, right 7000 samples, feedback 0.5, cross-feed 0.25, an impulse into
// the left only. Each channel hears its delayed line plus a quarter of the
// other's, and feeds back half of what it heard.
TEST_P(StereoDelayBlocks, CrossFeedAndFeedbackEchoesLandExactly) {
    StereoRig rig(5000, 7000, 0.5f, 0.25f);
    rig.dryLeft.data = {1.0f};
    rig.run(15001, GetParam());
    EXPECT_EQ(nonzero(rig.left), (std::map<long, float>{{5000, 1.0f}, {10000, 0.5f}, {12000, 0.03125f}, {15000, 0.25f}}));
    EXPECT_EQ(nonzero(rig.right), (std::map<long, float>{{5000, 0.25f}, {10000, 0.125f}, {12000, 0.125f}, {15000, 0.0625f}}));
    EXPECT_EQ(rig.dryLeft.pulled, 15001);  // each dry input pulled once per block
    EXPECT_EQ(rig.dryRight.pulled, 15001);
    EXPECT_EQ(rig.loopLeft.pulls, rig.loopRight.pulls);
}

TEST_P(StereoDelayBlocks, EitherChannelMayBePulledFirst) {
    StereoRig leftFirst(4500, 6100, 0.6f, 0.25f), rightFirst(4500, 6100, 0.6f, 0.25f);
    std::vector<float> burst(300);
    Noise noise;
    noise.process(burst.data(), 300);
    leftFirst.dryLeft.data = rightFirst.dryLeft.data = burst;
    leftFirst.dryRight.data = rightFirst.dryRight.data = std::vector<float>(burst.rbegin(), burst.rend());
    leftFirst.run(20000, GetParam());
    rightFirst.run(20000, GetParam(), true);
    EXPECT_EQ(leftFirst.left, rightFirst.left);
    EXPECT_EQ(leftFirst.right, rightFirst.right);
}

INSTANTIATE_TEST_SUITE_P(Blocks, StereoDelayBlocks, ::testing::Values(1, 7, 64, 256, 4096));

// Only the second pull of a block may replay it: a channel pulled on its own,
// block after block, still runs the pair forward every time.
TEST(StereoDelay, AChannelPulledAloneKeepsThePairRunning) {
    StereoRig rig(5000, 6000, 0.0f, 0.25f);
    rig.dryLeft.data = {1.0f};
    std::vector<float> left(7000);
    for (long done = 0; done < 7000; done += 256) rig.delay.getChannel(0)->process(left.data() + done, static_cast<int>(std::min<long>(256, 7000 - done)));
    EXPECT_EQ(nonzero(left), (std::map<long, float>{{5000, 1.0f}}));
    EXPECT_EQ(rig.dryRight.pulled, 7000);
}

TEST(StereoDelay, WithoutCrossFeedTheChannelsStayApart) {
    StereoRig rig(4096, 6000, 0.5f, 0.0f);
    rig.dryLeft.data = {1.0f};
    rig.run(3 * 4096 + 1, 128);
    EXPECT_EQ(nonzero(rig.left), (std::map<long, float>{{4096, 1.0f}, {8192, 0.5f}, {12288, 0.25f}}));
    EXPECT_TRUE(nonzero(rig.right).empty());
}

// A loop of gain 0.5 halves what is heard and what goes back alike.
TEST(StereoDelay, LoopShapesBothWhatIsHeardAndWhatIsFedBack) {
    StereoRig rig(4096, 4096, 0.5f, 0.0f);
    Scale doubler(2.0f), quarter(0.25f);
    quarter.setInput(&doubler);
    rig.delay.getChannel(0)->setLoop(&doubler, &quarter);
    rig.dryLeft.data = {1.0f};
    rig.run(3 * 4096 + 1, 256);
    EXPECT_EQ(nonzero(rig.left), (std::map<long, float>{{4096, 0.5f}, {8192, 0.125f}, {12288, 0.03125f}}));
}

TEST(StereoDelay, FullLengthLinesAndClear) {
    StereoRig rig(kMaxDelaySamples + 5, 1, 0.5f, 0.0f);
    EXPECT_EQ(rig.delay.getChannel(0)->getDelay(), kMaxDelaySamples);
    rig.dryLeft.data = {1.0f};
    rig.dryRight.data = {1.0f};
    rig.run(kMaxDelaySamples + 1, 256);
    EXPECT_EQ(nonzero(rig.left), (std::map<long, float>{{kMaxDelaySamples, 1.0f}}));
    EXPECT_EQ(rig.right[4096], 1.0f);
    rig.delay.clear();  // the right channel's repeats are gone as well
    rig.run(3 * 4096, 256);
    EXPECT_TRUE(nonzero(rig.left).empty());
    EXPECT_TRUE(nonzero(rig.right).empty());
}

TEST(StereoDelay, ChannelRateReachesItsLoopAndInput) {
    StereoRig rig(5000, 5000, 0.5f, 0.25f);
    rig.delay.getChannel(1)->setSampleRate(48000.0f);
    EXPECT_EQ(rig.loopRight.getSampleRate(), 48000.0f);
    EXPECT_EQ(rig.dryRight.getSampleRate(), 48000.0f);
}

namespace {

// A cutoff in hertz that climbs and falls back, different for each channel.
class Cutoff : public Unit {
public:
    explicit Cutoff(float base) : base(base) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i, ++n) out[i] = base + static_cast<float>(n % 700);
    }
    float base;
    long n = 0;
};

// As the instrument wires its delays: a high-pass in each send and a
// band-pass heading each loop, the two channels' filters optionally paired.
struct FilteredStereoRig {
    Noise dry[2]{Noise(7), Noise(11)};
    Cutoff sendCutoff[2]{Cutoff(300.0f), Cutoff(900.0f)}, loopCutoff[2]{Cutoff(1200.0f), Cutoff(500.0f)};
    ChamberlinHighPass send[2];
    ChamberlinBandPass loop[2];
    Scale loopGain[2]{Scale(0.9f), Scale(0.8f)};
    StereoDelay delay;
    bool paired = false;

    explicit FilteredStereoRig(bool pair) {
        for (int c = 0; c < 2; ++c) {
            send[c].setInput(&dry[c]);
            send[c].setControl(&sendCutoff[c]);
            loop[c].setControl(&loopCutoff[c]);
            loop[c].setResonance(0.75f);
            loopGain[c].setInput(&loop[c]);
            StereoDelay::Channel* channel = delay.getChannel(c);
            channel->setInput(&send[c]);
            channel->setLoop(&loop[c], &loopGain[c]);
            channel->setFeedback(0.7f);
        }
        loop[1].setUpdateInterval(5);
        delay.getChannel(0)->setDelay(4500);
        delay.getChannel(1)->setDelay(5200);
        if (pair) paired = send[0].pairWith(send[1]) && loop[0].pairWith(loop[1]);
    }

    std::vector<float> run(long total, int block, bool rightFirst) {
        std::vector<float> out(2 * static_cast<size_t>(total));
        for (long done = 0; done < total; done += block) {
            const int n = static_cast<int>(std::min<long>(block, total - done));
            for (int k = 0; k < 2; ++k) {
                const int c = rightFirst ? 1 - k : k;
                delay.getChannel(c)->process(out.data() + c * total + done, n);
            }
        }
        return out;
    }
};

}  // namespace

// The stereo delay hands both loops their blocks before pulling either, so a
// paired loop filter finds its second channel's input; paired send and loop
// filters change no sample, whichever channel is pulled first.
TEST(StereoDelay, PairedSendAndLoopFiltersMatchTheOneByOnePathBitForBit) {
    if (simdLevel() == SimdLevel::Scalar) GTEST_SKIP() << "no SSE2: nothing pairs";
    constexpr long kFrames = 16000;  // three trips round either line
    FilteredStereoRig reference(false);
    const std::vector<float> expected = reference.run(kFrames, 4096, false);
    EXPECT_GT(std::fabs(expected[kFrames - 1]), 0.0f);  // the repeats are still sounding
    for (const bool rightFirst : {false, true}) {
        for (const int block : {1, 7, 64, 256, 4096}) {
            FilteredStereoRig rig(true);
            ASSERT_TRUE(rig.paired);
            const std::vector<float> got = rig.run(kFrames, block, rightFirst);
            EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << "block " << block << (rightFirst ? ", right first" : ", left first");
        }
    }
}

// Loops with memory: processing in any block size gives the same signal.
TEST(FeedbackDelays, SameOutputWhateverTheBlockSplit) {
    auto runMono = [](int block) {
        Noise noise;
        Smoother loop;
        FeedbackDelay delay;
        delay.setInput(&noise);
        delay.setDelay(4500);
        delay.setLoop(&loop, &loop);
        delay.setFeedback(0.9f);
        return render(delay, 20000, block);
    };
    const auto expected = runMono(4096);
    for (int block : {1, 7, 64, 256}) EXPECT_EQ(runMono(block), expected) << block;

    auto runModulated = [](int block) {
        class Wander : public Unit {
        public:
            void process(float* out, int count) override {
                for (int i = 0; i < count; ++i) out[i] = 20.0f + 15.0f * static_cast<float>(std::sin(0.07 * n++));
            }
            long n = 0;
        } wander;
        Noise noise;
        ModDelay delay;
        delay.setInput(&noise);
        delay.setControl(&wander);
        return render(delay, 6000, block);
    };
    const auto modulated = runModulated(4096);
    for (int block : {1, 7, 64, 256}) EXPECT_EQ(runModulated(block), modulated) << block;
}

// ------------------------------------------------------------------ Phaser

namespace {

struct PhaserProbe : Phaser {
    using Phaser::high;
    using Phaser::low;
    using Phaser::stages;
    using Phaser::sweepIncrement;
};

// Steady-state gain of a static phaser (rate 0) at hz.
double phaserGain(double hz, float offset, float mix, float feedback) {
    Tone tone(hz);
    Phaser phaser;
    phaser.setInput(&tone);
    phaser.setRate(0.0f);
    phaser.setPhaseOffset(offset);
    phaser.setMix(mix);
    phaser.setFeedback(feedback);
    render(phaser, 8192, 256);
    const auto out = render(phaser, 8192, 256);
    return TestSupport::toneAmplitude(out.data(), 8192, hz, kRate);
}

}  // namespace

TEST(Phaser, MixZeroIsExactlyTheInput) {
    Noise source, reference;
    Phaser phaser;
    phaser.setInput(&source);
    phaser.setMix(0.0f);
    phaser.setFeedback(1.0f);
    phaser.setRate(1.0f);
    EXPECT_EQ(render(phaser, 20000, 256), render(reference, 20000, 256));
}

// Without feedback the wet chain is all-pass: x + v has |v| = |x| everywhere,
// and at DC the wet signal is in phase, doubling the input.
TEST(Phaser, WetChainIsAllPass) {
    for (double hz : {60.0, 700.0, 3000.0, 12000.0}) {
        Tone tone(hz);
        Tone same(hz);
        Phaser phaser;
        phaser.setInput(&tone);
        phaser.setRate(0.0f);
        phaser.setFeedback(0.0f);
        render(phaser, 8192, 256);
        auto out = render(phaser, 8192, 256);
        render(same, 8192, 256);
        const auto dry = render(same, 8192, 256);
        for (int i = 0; i < 8192; ++i) out[i] -= dry[i];
        EXPECT_NEAR(TestSupport::toneAmplitude(out.data(), 8192, hz, kRate), 1.0, 0.01) << hz;
    }
    Unit dc(1.0f);
    Phaser phaser;
    phaser.setInput(&dc);
    phaser.setFeedback(0.0f);
    phaser.setRate(0.0f);
    EXPECT_NEAR(render(phaser, 8192, 256).back(), 2.0f, 1e-5f);
}

// The sweep moves the notches: the first one lies several times higher with
// the sine at +1 than at -1.
TEST(Phaser, NotchFollowsTheSweep) {
    auto firstNotch = [](float offset) {
        for (double hz = 100.0; hz < 16000.0; hz *= 1.01)
            if (phaserGain(hz, offset, 1.0f, 0.0f) < 0.3) return hz;
        return 0.0;
    };
    const float half = static_cast<float>(std::numbers::pi / 2);
    const double lowSweep = firstNotch(-half), highSweep = firstNotch(half);
    ASSERT_GT(lowSweep, 0.0);
    EXPECT_GT(highSweep, 3.0 * lowSweep);
    EXPECT_GT(phaserGain(lowSweep, half, 1.0f, 0.0f), 1.0);  // no notch there once swept up
}

// The swept stages span 2 x low .. 2 x low x (high / low)^1.25 once per period.
TEST(Phaser, SweepSpansItsRangeOncePerPeriod) {
    Noise noise;
    PhaserProbe phaser;
    phaser.setInput(&noise);
    phaser.setSampleRate(48000.0f);
    phaser.setRange(300.0f, 2000.0f);
    phaser.setRate(3.0f);  // 16000 samples: 1000 sweep steps
    std::vector<double> swept;
    float block[16];
    for (int i = 0; i < 2000; ++i) {
        phaser.process(block, 16);
        const double c = phaser.stages[0].coefficient;
        swept.push_back((1.0 - c) / (1.0 + c) * 24000.0);
    }
    for (int i = 0; i < 1000; ++i) ASSERT_NEAR(swept[i], swept[i + 1000], 0.01 * swept[i]) << i;
    EXPECT_NEAR(*std::min_element(swept.begin(), swept.end()), 600.0, 1.0);
    EXPECT_NEAR(*std::max_element(swept.begin(), swept.end()), 600.0 * std::pow(2000.0 / 300.0, 1.25), 20.0);
    for (int s = Phaser::kSweptStages; s < Phaser::kStages; ++s) EXPECT_EQ(phaser.stages[s].coefficient, 0.0f);
}

TEST(Phaser, RateReturnsToHalfHertzWithANewSampleRateAndRangeStaysBelowNyquist) {
    PhaserProbe phaser;
    phaser.setRate(3.0f);
    phaser.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(phaser.sweepIncrement, 0.5f / 48000.0f * 6.2831855f);
    phaser.setRange(30000.0f, 40000.0f);
    EXPECT_EQ(phaser.low, 24000.0f);
    EXPECT_EQ(phaser.high, 24000.0f);
}

TEST(Phaser, SameOutputForBlocksOnItsSixteenSampleGrid) {
    auto run = [](int block) {
        Noise noise;
        Phaser phaser;
        phaser.setInput(&noise);
        phaser.setRate(1.0f);
        return render(phaser, 8192, block);
    };
    const auto expected = run(4096);
    for (int block : {16, 64, 256}) EXPECT_EQ(run(block), expected) << block;
}

// The wet level's glide: a move leaves the old level at once, crosses along
// a monotone path in 5 ms and lands exactly on the new level; the loop does
// not depend on the level, so from the glide's last sample on the output is
// bit for bit that of a phaser set to the new level at once. Any block split
// on the sweep's 16-sample grid gives the same samples.
TEST(Phaser, MixGlideLandsExactlyOnTheJumpedOutputWhateverTheBlocks) {
    constexpr int kBefore = 1000, kAfter = 2000;
    const int glide = static_cast<int>(std::lround(kRate * 0.005));
    const auto run = [&](int block, bool glides) {
        Noise noise;
        Phaser phaser;
        phaser.setInput(&noise);
        phaser.setRate(1.0f);
        phaser.setFeedback(0.5f);
        phaser.setMix(0.2f);
        std::vector<float> out = render(phaser, kBefore, block);
        if (glides) {
            phaser.glideMixTo(0.8f);
            EXPECT_TRUE(phaser.isMixGliding());
            EXPECT_EQ(phaser.getMix(), 0.8f);
            EXPECT_FLOAT_EQ(phaser.getCurrentMix(), 0.2f);
        } else {
            phaser.setMix(0.8f);
        }
        const std::vector<float> rest = render(phaser, kAfter, block);
        EXPECT_FALSE(phaser.isMixGliding());
        EXPECT_EQ(phaser.getCurrentMix(), 0.8f);
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    };
    const auto jumped = run(256, false);
    const auto glided = run(4096, true);
    ASSERT_EQ(glided.size(), jumped.size());
    for (int i = 0; i < kBefore; ++i) ASSERT_EQ(glided[i], jumped[i]) << i;
    EXPECT_NE(glided[kBefore], jumped[kBefore]);
    EXPECT_NE(glided[kBefore + glide - 2], jumped[kBefore + glide - 2]);
    for (size_t i = kBefore + glide - 1; i < glided.size(); ++i) ASSERT_EQ(glided[i], jumped[i]) << i;
    for (int block : {16, 64, 256}) EXPECT_EQ(run(block, true), glided) << block;
}

TEST(Phaser, MixGlidePathIsMonotoneAndFollowsTheRate) {
    for (float rate : {44100.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        const int glide = static_cast<int>(std::lround(rate * 0.005));
        Noise noise;
        Phaser phaser;
        phaser.setInput(&noise);
        phaser.setSampleRate(rate);
        phaser.setMix(1.0f);
        phaser.glideMixTo(0.25f);
        float previous = 1.0f, out = 0.0f;
        for (int i = 1; i <= glide; ++i) {
            phaser.process(&out, 1);
            const float now = phaser.getCurrentMix();
            ASSERT_LE(now, previous) << i;
            ASSERT_EQ(phaser.isMixGliding(), i < glide) << i;
            previous = now;
        }
        EXPECT_EQ(previous, 0.25f);
        // A second move in mid-glide starts from where the first one was; setMix ends it.
        phaser.glideMixTo(1.0f);
        phaser.process(&out, 1);
        phaser.glideMixTo(0.0f);
        EXPECT_GT(phaser.getCurrentMix(), 0.25f);
        EXPECT_LT(phaser.getCurrentMix(), 0.26f);
        phaser.setMix(0.5f);
        EXPECT_FALSE(phaser.isMixGliding());
        EXPECT_EQ(phaser.getCurrentMix(), 0.5f);
    }
}

TEST(Phaser, FullFeedbackAndExtremeRangesStayFinite) {
    for (auto [lowHz, highHz] : {std::pair{20000.0f, 20000.0f}, std::pair{0.0f, 0.0f}, std::pair{20.0f, 20000.0f}}) {
        Noise noise;
        Phaser phaser;
        phaser.setInput(&noise);
        phaser.setRange(lowHz, highHz);
        phaser.setFeedback(1.0f);
        phaser.setRate(1.0f);
        const auto out = render(phaser, 88200, 256);
        EXPECT_TRUE(TestSupport::allFinite(out.data(), 88200)) << lowHz << " " << highHz;
        EXPECT_LT(TestSupport::peak(out.data(), 88200), 20.0);
    }
}

// ------------------------------------------------------------------ no allocation

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(Delays, ProcessDoesNotAllocate) {
    Noise noise;
    Unit control(30.0f);
    BasicDelay basic;
    basic.setInput(&noise);
    basic.setDelay(1000);
    ModDelay modulated;
    modulated.setInput(&noise);
    modulated.setControl(&control);
    Scale loop(0.5f);
    FeedbackDelay feedback;
    feedback.setInput(&noise);
    feedback.setDelay(5000);
    feedback.setLoop(&loop, &loop);
    StereoRig stereo(5000, 6000, 0.5f, 0.25f);
    Phaser phaser;
    phaser.setInput(&noise);
    std::vector<float> out(kMaxBlock), other(kMaxBlock);
    TestSupport::AllocationScope scope;
    for (int block : {1, 7, 64, 256, kMaxBlock}) {
        basic.process(out.data(), block);
        modulated.process(out.data(), block);
        feedback.process(out.data(), block);
        stereo.delay.getChannel(0)->process(out.data(), block);
        stereo.delay.getChannel(1)->process(other.data(), block);
        phaser.process(out.data(), block);
    }
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

// ---- Paired phasers: the two-lane kernel against the one-by-one path --------

namespace {

struct StereoPhaser {
    UnitTestSupport::Noise source[2]{UnitTestSupport::Noise(9, 0.9f), UnitTestSupport::Noise(4, 0.6f)};
    Phaser phaser[2];
    bool paired = false;

    // By default left with strong feedback, right without (no tanh); the
    // kernel also has cases for both and neither fed back. Different sweeps.
    StereoPhaser(bool pair, float rate, float feedbackLeft = 0.93f, float feedbackRight = 0.0f) {
        for (int c = 0; c < 2; ++c) {
            phaser[c].setInput(&source[c]);
            phaser[c].setSampleRate(rate);
            phaser[c].setMixGlide(3.0f);
        }
        phaser[0].setFeedback(feedbackLeft);
        phaser[1].setFeedback(feedbackRight);
        phaser[0].setRate(5.5f);
        phaser[1].setRate(0.7f);
        phaser[1].setRange(200.0f, 5000.0f);
        phaser[1].setPhaseOffset(1.3f);
        if (pair) paired = phaser[0].pairWith(phaser[1]);
    }

    // Glides each channel's wet level at its own moments mid-render.
    std::vector<float> render(int total, int block) {
        std::vector<float> out(2 * static_cast<size_t>(total));
        int nextGlide = 300;
        for (int done = 0; done < total; done += block) {
            if (done >= nextGlide) {
                phaser[0].glideMixTo(done % 2 ? 0.3f : 0.9f);
                if (done % 3 == 0) phaser[1].glideMixTo(done % 2 ? 0.5f : 0.1f);
                nextGlide += 777;
            }
            const int n = std::min(block, total - done);
            for (int c = 0; c < 2; ++c) phaser[c].process(out.data() + c * total + done, n);
        }
        return out;
    }
};

}  // namespace

TEST(PhaserPair, MatchesTheOneByOnePathBitForBitAtEveryBlockSplitAndRate) {
    if (simdLevel() == SimdLevel::Scalar) GTEST_SKIP() << "no SSE2: nothing pairs";
    constexpr int kFrames = 8000;
    for (const float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        for (const int block : {1, 7, 64, 256, 4096}) {
            // Glides land on block starts, so the reference shares the split.
            StereoPhaser reference(false, rate), stereo(true, rate);
            ASSERT_TRUE(stereo.paired);
            const std::vector<float> expected = reference.render(kFrames, block), got = stereo.render(kFrames, block);
            EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << "block " << block << " rate " << rate;
            EXPECT_EQ(stereo.phaser[0].getCurrentMix(), reference.phaser[0].getCurrentMix());
            EXPECT_EQ(stereo.phaser[1].getCurrentMix(), reference.phaser[1].getCurrentMix());
        }
    }
    // Both channels fed back, and neither: the kernel's other two cases.
    for (const auto& [left, right] : {std::pair{0.6f, 0.97f}, std::pair{0.0f, 0.0f}}) {
        for (const int block : {1, 64, 4096}) {
            StereoPhaser reference(false, 48000.0f, left, right), stereo(true, 48000.0f, left, right);
            ASSERT_TRUE(stereo.paired);
            const std::vector<float> expected = reference.render(kFrames, block), got = stereo.render(kFrames, block);
            EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << "feedback " << left << " / " << right << ", block " << block;
        }
    }
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(PhaserPair, ProcessDoesNotAllocate) {
    StereoPhaser stereo(true, 44100.0f);
    std::vector<float> out(4096);
    TestSupport::AllocationScope scope;
    for (int n : {256, 1, 17, 4096, 64})
        for (int c = 0; c < 2; ++c) stereo.phaser[c].process(out.data(), n);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

// The feedback's vector tanh gives the C library's tanhf to the bit: over a
// stride through every float (both signs, zeros, subnormals, infinities,
// NaNs) and densely around each of its branch points.
TEST(PhaserTanh, MatchesTheLibraryBitForBit) {
    const auto check = [](std::uint32_t first, std::uint32_t count, std::uint32_t stride) {
        int differing = 0;
        for (std::uint64_t n = 0; n < count; n += 4) {
            alignas(16) float in[4], out[4];
            for (int j = 0; j < 4; ++j) in[j] = std::bit_cast<float>(static_cast<std::uint32_t>(first + (n + j) * stride));
            _mm_store_ps(out, simd::tanh(_mm_load_ps(in)));
            for (int j = 0; j < 4; ++j) {
                const float expected = std::tanh(in[j]);
                if (std::bit_cast<std::uint32_t>(out[j]) != std::bit_cast<std::uint32_t>(expected) && ++differing <= 5)
                    ADD_FAILURE() << std::hexfloat << "tanh(" << in[j] << ") = " << expected << ", got " << out[j];
            }
        }
        return differing;
    };
    EXPECT_EQ(check(0u, 1u << 22, 1021u), 0);  // the whole range, both signs
    // |x| around 2^-55, ln2 / 4, 3 ln2 / 4, 1, 23 ln2 / 2, 27 ln2 / 2, 57 ln2 / 2 and 22.
    for (const float edge : {0x1p-55f, 0.1732868f, 0.5198604f, 1.0f, 7.9711924f, 9.3573007f, 19.7537f, 22.0f}) {
        for (const float signedEdge : {edge, -edge}) {
            const std::uint32_t centre = std::bit_cast<std::uint32_t>(signedEdge);
            EXPECT_EQ(check(centre - 4096u, 8192u, 1u), 0) << signedEdge;
        }
    }
}
