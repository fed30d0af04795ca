// Sleeping while silent: after the last tail has died the output is exactly 0
// and nothing that still sounded in a never-sleeping instance was cut; a note
// after the sleep starts at its own frame at any block split, with the
// free-running phases where an instance that never slept has them (and the
// units' many-samples-at-once advances equal their sample-by-sample runs),
// exact where the voice filters forget quickly;
// the level taps' vector peak; and sleeping, waking and the pre-roll allocate nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "engine_support.h"
#include "spkit/Advance.h"
#include "spkit/OscillatorSpan.h"
#include "tests/support/AllocationCounter.h"

using EngineTest::Engine;
using Access = Vst::MorvelithPluginTestAccess;

namespace {

constexpr int kNote = 57;
constexpr float kSilence = 1.0e-6f;  // -120 dBFS

// An engine at 44.1 kHz on a program, with extra settings, that sleeps or not.
std::unique_ptr<Engine> makeEngine(int program, bool sleeps,
                                   std::initializer_list<std::pair<int, float>> settings = {}) {
    auto engine = std::make_unique<Engine>(true, program);
    engine->start();
    Access::allowSleep(*engine->plugin, sleeps);
    for (const auto& [index, value] : settings) engine->setParameter(index, value);
    return engine;
}

// A short note, then silence; `frames` in all, in blocks of `block`.
void playShortNote(Engine& e, int frames, int block = Engine::kBlock) {
    e.noteOn(kNote, 100);
    e.render(8820, block);
    e.noteOff(kNote);
    e.render(frames - 8820, block);
}

double peakOf(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) p = std::max(p, static_cast<double>(std::fabs(x[i])));
    return p;
}

struct TailCase {
    const char* name;
    int program;
    std::vector<std::pair<int, float>> settings;
    int seconds;
    // False where the tail never falls below the threshold (a drone, or a
    // loop that grows back from a whisper): then it must never sleep.
    bool sleeps;
};

class SleepTails : public ::testing::TestWithParam<TailCase> {};

// The sleeping instance against one that never sleeps, sample for sample: until
// it sleeps they are identical; once asleep it gives exact zeros, and the
// never-sleeping one is below -120 dBFS there (no tail above it was cut).
TEST_P(SleepTails, AsleepOnlyWhereTheNeverSleepingOutputIsBelowTheThreshold) {
    const TailCase& c = GetParam();
    auto sleeping = makeEngine(c.program, true);
    auto awake = makeEngine(c.program, false);
    for (const auto& [index, value] : c.settings) {
        sleeping->setParameter(index, value);
        awake->setParameter(index, value);
    }
    const int frames = c.seconds * 44100;
    playShortNote(*sleeping, frames);
    playShortNote(*awake, frames);
    EXPECT_FALSE(Access::isAsleep(*awake->plugin));
    if (!c.sleeps) {
        EXPECT_FALSE(Access::isAsleep(*sleeping->plugin));
        EXPECT_EQ(sleeping->left, awake->left);
        EXPECT_EQ(sleeping->right, awake->right);
        EXPECT_GT(peakOf(awake->left, awake->left.size() - 44100, awake->left.size()), kSilence);
        return;
    }
    ASSERT_TRUE(Access::isAsleep(*sleeping->plugin)) << "never fell asleep";

    // The first frame of the trailing run of exact zeros in both channels.
    size_t sleepStart = sleeping->left.size();
    while (sleepStart > 0 && sleeping->left[sleepStart - 1] == 0.0f && sleeping->right[sleepStart - 1] == 0.0f)
        --sleepStart;
    ASSERT_LT(sleepStart, sleeping->left.size());
    for (size_t i = 0; i < sleepStart; ++i) {
        ASSERT_EQ(sleeping->left[i], awake->left[i]) << "frame " << i;
        ASSERT_EQ(sleeping->right[i], awake->right[i]) << "frame " << i;
    }
    EXPECT_LT(peakOf(awake->left, sleepStart, awake->left.size()), kSilence);
    EXPECT_LT(peakOf(awake->right, sleepStart, awake->right.size()), kSilence);
    // The note itself was heard.
    EXPECT_GT(peakOf(awake->left, 0, sleepStart), 1.0e-3);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, SleepTails,
    ::testing::Values(TailCase{"defaults", Engine::kDefaultsProgram, {}, 3, true},
                      TailCase{"long_feedback_delays",
                               Engine::kDefaultsProgram,
                               {{Vst::kDelayEnable, 1.0f},
                                {Vst::kHpfDelayMix, 0.8f},
                                {Vst::kHpfDelayFb, 0.5f},
                                {Vst::kBpfDelayMix, 0.8f},
                                {Vst::kBpfDelayFb, 0.5f}},
                               40, true},
                      TailCase{"program15", 15, {}, 20, false}, TailCase{"program51", 51, {}, 20, false},
                      TailCase{"program66", 66, {}, 20, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Sleep, then a note at a frame inside a block; the note starts on its frame at
// every block split, the renders agree across splits, and after waking the
// free-running phases are where a never-sleeping instance has them.
TEST(SleepWake, NoteAfterSleepStartsOnItsFrameAtEveryBlockSplit) {
    constexpr int kSettle = 3 * 44100;
    constexpr int kWakeAt = kSettle + 12345;  // inside a block at every split
    constexpr int kAfter = 8820;
    std::vector<float> first;
    for (int block : {1, 7, 64, 256, 4096}) {
        SCOPED_TRACE(block);
        auto sleeping = makeEngine(Engine::kDefaultsProgram, true);
        auto awake = makeEngine(Engine::kDefaultsProgram, false);
        for (Engine* e : {sleeping.get(), awake.get()}) {
            playShortNote(*e, kSettle, block);
            e->render(kWakeAt - kSettle, block);
        }
        ASSERT_TRUE(Access::isAsleep(*sleeping->plugin));
        for (Engine* e : {sleeping.get(), awake.get()}) {
            // Delivered with the block that holds the wake frame, at its offset.
            e->noteOn(kNote, 100, 0);
            e->render(kAfter, block);
        }
        EXPECT_FALSE(Access::isAsleep(*sleeping->plugin));
        // Nothing before the note's frame, sound from it on.
        EXPECT_EQ(peakOf(sleeping->left, kWakeAt - 2000, kWakeAt), 0.0);
        EXPECT_EQ(peakOf(sleeping->right, kWakeAt - 2000, kWakeAt), 0.0);
        EXPECT_NE(sleeping->left[kWakeAt], 0.0f);
        EXPECT_NE(awake->left[kWakeAt], 0.0f);

        // Free-running state as if it had never slept.
        auto& os = Access::oscillator(*sleeping->plugin);
        auto& oa = Access::oscillator(*awake->plugin);
        for (int j = 0; j < SPKit::MultiOscillator::kVoices; ++j) EXPECT_EQ(os.voicePhase(j), oa.voicePhase(j)) << j;
        EXPECT_EQ(Access::lfo(*sleeping->plugin).state().x, Access::lfo(*awake->plugin).state().x);
        EXPECT_EQ(Access::lfo(*sleeping->plugin).state().y, Access::lfo(*awake->plugin).state().y);
        EXPECT_EQ(Access::vibratoLfo(*sleeping->plugin).state().x, Access::vibratoLfo(*awake->plugin).state().x);
        EXPECT_EQ(Access::spreadLfo(*sleeping->plugin).state().x, Access::spreadLfo(*awake->plugin).state().x);
        EXPECT_EQ(Access::bpfDelayLfo(*sleeping->plugin).state().x, Access::bpfDelayLfo(*awake->plugin).state().x);
        EXPECT_EQ(Access::trillOscillator(*sleeping->plugin).getPhase(),
                  Access::trillOscillator(*awake->plugin).getPhase());

        // Close to the never-sleeping note (the figure over every program is
        // the sleep bench's; the 1 Hz voice high-pass's long memory keeps it
        // from being exact, and the DC block grows what is left), and the
        // same at every split.
        double diff = 0.0;
        for (int i = kWakeAt; i < kWakeAt + kAfter; ++i)
            diff = std::max(diff, static_cast<double>(std::fabs(sleeping->left[i] - awake->left[i])));
        const double peak = peakOf(awake->left, kWakeAt, kWakeAt + kAfter);
        EXPECT_LT(diff, peak * 0.01) << "difference " << 20.0 * std::log10(diff / peak) << " dB";
        std::vector<float> note(sleeping->left.begin() + kWakeAt, sleeping->left.end());
        if (first.empty()) {
            first = note;
            continue;
        }
        double splitDiff = 0.0;
        for (size_t i = 0; i < note.size(); ++i)
            splitDiff = std::max(splitDiff, static_cast<double>(std::fabs(note[i] - first[i])));
        EXPECT_LT(splitDiff, peak * 0.01);
    }
}

// After a sleep long enough that only its last stretch is re-rendered, a
// program whose voice filters forget quickly wakes exact to the bit: program
// 4's tube answers silence with a small constant the DC block settles on (so
// the drive must run in the pre-roll), program 55's filters are resonant.
// A trim move during the note glides as in the never-sleeping instance, so
// the fade-in left the trim as it found it.
TEST(SleepWake, ForgetfulVoiceFiltersWakeExactAfterALongSleep) {
    for (int program : {4, 55}) {
        SCOPED_TRACE(program);
        auto sleeping = makeEngine(program, true);
        auto awake = makeEngine(program, false);
        for (Engine* e : {sleeping.get(), awake.get()}) playShortNote(*e, 5 * 44100);
        ASSERT_TRUE(Access::isAsleep(*sleeping->plugin));
        const size_t noteAt = sleeping->left.size() + 100;
        for (Engine* e : {sleeping.get(), awake.get()}) {
            e->noteOn(kNote, 100, 100);
            e->render(4410 + 100);
            e->setParameter(Vst::kOscTrim, 0.3f);
            e->render(4410);
        }
        EXPECT_FALSE(Access::isAsleep(*sleeping->plugin));
        EXPECT_EQ(Access::trimLeft(*sleeping->plugin).getRampLength(), Access::trimLeft(*awake->plugin).getRampLength());
        EXPECT_EQ(Access::trimRight(*sleeping->plugin).getCurrentGain(), Access::trimRight(*awake->plugin).getCurrentGain());
        EXPECT_GT(peakOf(awake->left, noteAt, awake->left.size()), 1.0e-2);
        for (size_t i = noteAt; i < awake->left.size(); ++i) {
            ASSERT_EQ(sleeping->left[i], awake->left[i]) << "frame " << i - noteAt << " of the note";
            ASSERT_EQ(sleeping->right[i], awake->right[i]) << "frame " << i - noteAt << " of the note";
        }
    }
}

// ---- The free-running phases moved on many samples at once ------------------

// Many phase steps at once against as many single-precision steps one at a
// time: over binade boundaries, wraps, increments that tie (an odd number of
// half spacings in some binade, from even and odd phases), increments too
// small to move the phase, and a table length that is no power of two.
TEST(PhaseAdvance, ManyStepsAtOnceEqualSingleSteps) {
    const auto single = [](float p, float inc, float n, int count) {
        for (int i = 0; i < count; ++i) p = SPKit::OscillatorSpan::wrapPhase(p + inc, n);
        return p;
    };
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (float n : {4096.0f, 3000.0f, 16.0f}) {
        SCOPED_TRACE(n);
        std::vector<float> increments = {
            n * 220.0f / 44100.0f, n * 1.0e-4f, n * 0.49f, 1.0f,
            0x1p-13f * 1.5f,          // 1.5 spacings in [1024, 2048): a tie there
            0x1p-14f * 3.0f,          // a tie in [2048, 4096)
            0x1p-14f, 0x1p-15f,       // half a spacing in [2048, 4096), and less: stuck or one step
            1.0e-30f, n * 0.999f};
        for (int i = 0; i < 12; ++i) increments.push_back(n * 0.05f * unit(random));
        std::vector<float> starts = {0.0f, 1.0f, n * 0.5f - 0x1p-12f, n - 0x1p-11f, n * 0.25f + 0x1p-20f,
                                     std::nextafter(2048.0f, 3000.0f), 1e-38f};
        for (int i = 0; i < 6; ++i) starts.push_back(std::min(n * unit(random), std::nextafter(n, 0.0f)));
        for (float inc : increments)
            for (float p : starts)
                for (int count : {1, 2, 7, 300, 20000}) {
                    if (!(p < n)) continue;
                    const float expected = single(p, inc, n, count);
                    const float fast = SPKit::Advance::stepPhase(p, inc, n, count);
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(fast), std::bit_cast<std::uint32_t>(expected))
                        << "p " << p << " inc " << inc << " count " << count;
                }
    }
    // Outside the fast path's ground (negative, non-finite, over-long) it is the single steps still.
    for (float inc : {-3.5f, 5000.0f, std::nanf("")})
        EXPECT_EQ(std::bit_cast<std::uint32_t>(SPKit::Advance::stepPhase(100.0f, inc, 4096.0f, 50)),
                  std::bit_cast<std::uint32_t>(single(100.0f, inc, 4096.0f, 50)));
}

// The five-voice oscillator moved on by advance() against one that renders
// the same stretch, phase for phase: unison phase locking (converging to a
// spread, then held, the gaps drifting under rounding), beating, a fixed
// detune, at block sizes that split the control updates.
TEST(PhaseAdvance, OscillatorAdvanceMatchesRendering) {
    struct Case {
        const char* name;
        float spread, detune, beat, frequency;
    };
    for (const Case& c : {Case{"unison", 0.0f, 0.0f, 0.0f, 220.0f}, Case{"locked_spread", 0.3f, 0.0f, 0.0f, 220.0f},
                          Case{"locked_spread_high", 0.7f, 0.0f, 0.0f, 1760.3f},
                          Case{"beating", 0.2f, 0.0f, 3.0f, 110.0f}, Case{"detuned", 0.1f, 0.013f, 0.0f, 440.0f}}) {
        SCOPED_TRACE(c.name);
        SPKit::Unit pitch(c.frequency);
        SPKit::MultiOscillator rendered, advanced;
        for (SPKit::MultiOscillator* o : {&rendered, &advanced}) {
            SPKit::Wavetable tables;
            SPKit::WavetableManager::global().getWavetable(tables);
            o->setWavetable(tables);
            o->setSampleRate(44100.0f);
            o->setControl(&pitch);
            o->setPhaseSpread(c.spread);
            o->setDetune(c.detune);
            o->setBeatRate(c.beat);
        }
        std::vector<float> a(SPKit::kMaxBlock), b(SPKit::kMaxBlock);
        const auto render = [&](SPKit::MultiOscillator& o, int frames, int block) {
            for (int done = 0; done < frames; done += block) {
                const int n = std::min(block, frames - done);
                o.process(a.data(), n);
                o.process(b.data(), n);
            }
        };
        // From the first block on, so the locking converges while advanced.
        render(rendered, 64, 64);
        render(advanced, 64, 64);
        for (int block : {256, 37, 4096, 1, 256}) {
            if (block == 1)  // a new spread: the voices run to their new offsets and resync
                for (SPKit::MultiOscillator* o : {&rendered, &advanced}) o->setPhaseSpread(c.spread + 0.15f);
            const int frames = block == 1 ? 2000 : 10 * 44100;
            render(rendered, frames, std::min(block, SPKit::kMaxBlock));
            for (int done = 0; done < frames; done += block) advanced.advance(std::min(block, frames - done));
            for (int j = 0; j < SPKit::MultiOscillator::kVoices; ++j)
                ASSERT_EQ(std::bit_cast<std::uint32_t>(advanced.voicePhase(j)),
                          std::bit_cast<std::uint32_t>(rendered.voicePhase(j)))
                    << "voice " << j << " block " << block;
        }
        // Undrifted, the drift LFOs were jumped rather than stepped: close,
        // not exact, which shows once the drift is turned up. (The old
        // squaring jump, like this one, stays about -55 dB from stepping.)
        for (SPKit::MultiOscillator* o : {&rendered, &advanced}) o->setDriftDepth(0.5f);
        std::vector<float> a2(512), b2(512);
        rendered.process(a2.data(), 512);
        advanced.process(b2.data(), 512);
        float worst = 0.0f, peak = 0.0f;
        for (int i = 0; i < 512; ++i) {
            worst = std::max(worst, std::fabs(a2[i] - b2[i]));
            peak = std::max(peak, std::fabs(a2[i]));
        }
        EXPECT_LT(worst, 1e-2f * peak);  // single-precision stepping itself drifts about this far in 10 s
        EXPECT_GT(peak, 0.1f);
    }
}

// The trill's square wave and the phaser's sweep moved on by advance()
// against the same units run: the square wave's phase (with and without a
// frequency control, whose updates must be counted as if asked), and the
// phaser's output once a signal arrives after a long silent stretch.
TEST(PhaseAdvance, SquareWaveAndPhaserSweepMatchRunning) {
    // Up to nearly half a turn per step, just past it, and from a phase of
    // exactly π (where setPhase and stepping disagree on the sign).
    for (auto [hz, controlled, start] : {std::tuple{7.3f, false, 0.0f}, {7.3f, true, 0.0f}, {2600.0f, true, 0.0f},
                                         {2850.0f, false, 0.0f}, {7.3f, false, 3.1415927f}}) {
        SCOPED_TRACE(testing::Message() << hz << " Hz, controlled " << controlled << ", from " << start);
        SPKit::Unit rate(hz);
        SPKit::Squarewave run, advanced;
        for (SPKit::Squarewave* o : {&run, &advanced}) {
            o->setSampleRate(44100.0f / 8.0f);
            o->setFrequency(hz);
            o->setPhase(start);
            if (controlled) o->setControl(&rate);
        }
        std::vector<float> out(4096);
        if (start != 0.0f) {
            advanced.advance(1);  // the sign the step leaves, not the one setPhase gave
            run.process(out.data(), 1);
        }
        if (controlled) {  // both past the control's first update
            run.process(out.data(), 64);
            advanced.process(out.data(), 64);
        }
        for (int block : {3, 32, 37, 512}) {
            for (int done = 0; done < 20000; done += block) {
                const int n = std::min(block, 20000 - done);
                run.process(out.data(), n);
                advanced.advance(n);
            }
            ASSERT_EQ(run.getPhase(), advanced.getPhase()) << block;
            // The counters agree too: at a new rate the next updates land alike.
            rate.setValue(rate.getValue() * 1.5f);
            run.process(out.data(), 11);
            advanced.process(out.data() + 11, 11);
            ASSERT_EQ(run.getPhase(), advanced.getPhase()) << block;
            ASSERT_TRUE(std::equal(out.begin(), out.begin() + 11, out.begin() + 11)) << block;  // the signs too
            rate.setValue(rate.getValue() / 1.5f);  // and back, both running, before the next stretch
            run.process(out.data(), 64);
            advanced.process(out.data(), 64);
        }
    }
    for (float hz : {0.05f, 0.5f, 9.7f}) {
        SCOPED_TRACE(hz);
        SPKit::Unit silence(0.0f), signal(0.3f);
        SPKit::Phaser run, advanced;
        for (SPKit::Phaser* p : {&run, &advanced}) {
            p->setSampleRate(44100.0f);
            p->setRate(hz);
            p->setFeedback(0.4f);
            p->setMix(0.5f);
            p->setInput(&silence);
        }
        std::vector<float> a(4096), b(4096);
        for (int done = 0; done < 10 * 44100; done += 256) {
            run.process(a.data(), 256);
            advanced.advance(256);
        }
        run.setInput(&signal);
        advanced.setInput(&signal);
        run.process(a.data(), 4096);
        advanced.process(b.data(), 4096);
        ASSERT_EQ(a, b);
    }
}

// The level taps' peak in vector lanes against the one-at-a-time maximum it
// replaced, at every length and alignment, with NaNs (passed over), infinities,
// negative zeros and denormals among the samples.
TEST(LevelTapPeak, EqualsTheSampleBySampleMaximum) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> level(-1.0f, 1.0f);
    std::vector<float> x(300);
    for (int round = 0; round < 200; ++round) {
        for (float& v : x) v = level(random) * std::pow(10.0f, -static_cast<float>(round % 40));
        if (round % 3 == 0) x[static_cast<size_t>(round) % x.size()] = std::nanf("");
        if (round % 7 == 0) x[static_cast<size_t>(round * 5) % x.size()] = -INFINITY;
        if (round % 5 == 0) x[static_cast<size_t>(round * 3) % x.size()] = -0.0f;
        if (round % 11 == 0) x[static_cast<size_t>(round * 7) % x.size()] = -1e-42f;
        const int offset = round % 4, count = (round * 13) % 280;
        const float from = round % 2 == 0 ? 0.0f : 1e-7f;
        float expected = from;
        for (int i = 0; i < count; ++i) expected = std::max(expected, std::fabs(x[static_cast<size_t>(offset + i)]));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(Vst::LevelTap::peakOf(x.data() + offset, count, from)),
                  std::bit_cast<std::uint32_t>(expected))
            << "round " << round;
    }
}

// A parameter change wakes it too, and the next block renders again.
TEST(SleepWake, ParameterChangeWakes) {
    auto e = makeEngine(Engine::kDefaultsProgram, true);
    playShortNote(*e, 3 * 44100);
    ASSERT_TRUE(Access::isAsleep(*e->plugin));
    e->setParameter(Vst::kMasterLevel, 0.5f);
    e->render(256);
    EXPECT_FALSE(Access::isAsleep(*e->plugin));
}

#if MORVELITH_COUNTS_ALLOCATIONS
// Falling asleep, sleeping, and waking with its pre-roll touch no heap (the
// rig's MIDI delivery is outside the counted stretches).
TEST(SleepRealtime, SleepAndWakeAllocateNothing) {
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    auto e = makeEngine(Engine::kDefaultsProgram, true);
    std::vector<float> l(256), r(256);
    long allocations = 0;
    const auto blocks = [&](int n) {
        TestSupport::AllocationScope scope;
        for (int i = 0; i < n; ++i) e->renderInto(l.data(), r.data(), 256);
        allocations += scope.stop().allocations;
    };
    e->noteOn(kNote, 100);
    e->deliverMidi();
    blocks(40);
    e->noteOff(kNote);
    e->deliverMidi();
    blocks(600);
    const bool slept = Access::isAsleep(*e->plugin);
    e->noteOn(kNote, 100);
    e->deliverMidi();
    blocks(10);
    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(slept);
    EXPECT_GT(peakOf(l, 0, l.size()), 0.0);
}
#endif

}  // namespace
