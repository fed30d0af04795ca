// One contract over the unit library: every unit stays finite at the
// extremes of its settings, a unit with reset / clear is afterwards as good as
// fresh, no unit allocates inside process, and units whose design is sample by
// sample give the same output whatever the block split (1, 7, 64, 256).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "spkit/Control.h"
#include "spkit/Delays.h"
#include "spkit/Envelopes.h"
#include "spkit/Filters.h"
#include "spkit/Framework.h"
#include "spkit/Gain.h"
#include "spkit/LFO.h"
#include "spkit/Oscillators.h"
#include "spkit/Oversampling.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;

namespace {

enum class Setting { Low, Typical, High };

// A unit under test with everything it needs around it. Audio comes from
// `input` (if the unit has one); the rig owns every part.
struct Rig {
    Processor* output = nullptr;
    InputAdapter* input = nullptr;
    std::function<void()> reset;  // empty when the unit has no reset or clear
    int multiple = 1;             // block sizes are multiples of this

    template <class T, class... Args>
    T* make(Args&&... args) {
        auto part = std::make_shared<T>(std::forward<Args>(args)...);
        parts.push_back(part);
        return part.get();
    }
    InputAdapter* feed() { return input = make<InputAdapter>(); }

private:
    std::vector<std::shared_ptr<void>> parts;
};

struct UnitCase {
    std::string name;
    std::function<void(Rig&, Setting)> build;
    bool splitInvariant;
};

template <class T>
T pick(Setting s, T low, T typical, T high) {
    return s == Setting::Low ? low : s == Setting::High ? high : typical;
}

// A unit that pulls `input` in and has no settings worth varying.
template <class T>
UnitCase plain(const std::string& name, bool splitInvariant = true) {
    return {name, [](Rig& r, Setting) { auto* u = r.make<T>(); u->setInput(r.feed()); r.output = u; }, splitInvariant};
}

// Configures a BiQuad of the given type.
UnitCase biquad(const std::string& name, int type) {
    return {name,
            [type](Rig& r, Setting s) {
                auto* u = r.make<BiQuad>(type);
                u->setInput(r.feed());
                u->setSampleRate(44100.0f);
                u->setFrequency(pick(s, 1.0f, 1000.0f, 1e6f));
                u->setGain(pick(s, -60.0f, 6.0f, 60.0f));
                u->setWidth(pick(s, 0.0f, 0.0f, 0.99f));
                r.output = u;
                r.reset = [u] { u->reset(); };
            },
            true};
}

std::vector<UnitCase> allCases() {
    std::vector<UnitCase> cases;
    // ---- gain and saturation
    cases.push_back({"Gain", [](Rig& r, Setting s) {
        auto* u = r.make<Gain>();
        u->setInput(r.feed());
        u->setGain(pick(s, 0.0f, 0.7f, 1e6f));
        r.output = u; }, true});
    cases.push_back({"RampedGain", [](Rig& r, Setting s) {
        auto* u = r.make<RampedGain>(pick(s, 1e6f, 0.7f, 0.0f));
        u->setInput(r.feed());
        u->glideTo(pick(s, 0.0f, 2.0f, 1e6f));  // the glide runs while the contract is checked
        r.output = u; }, true});
    cases.push_back({"ModGain", [](Rig& r, Setting s) {
        auto* u = r.make<ModGain>();
        u->setInput(r.feed());
        u->setControl(r.make<Unit>(pick(s, -1e3f, 0.5f, 1e3f)));
        r.output = u; }, true});
    cases.push_back({"Limiter", [](Rig& r, Setting s) {
        auto* u = r.make<Limiter>();
        u->setInput(r.feed());
        u->setSampleRate(44100.0f);
        u->setAttack(pick(s, 0.0f, 10.0f, 1e5f));
        u->setRelease(pick(s, 0.0f, 50.0f, 1e5f));
        u->setThreshold(pick(s, -1.0f, 0.5f, 1e6f));
        r.output = u; }, true});
    cases.push_back(plain<Tube>("Tube"));
    // ---- oversampling
    cases.push_back({"HiirUpsampler", [](Rig& r, Setting) {
        auto* u = r.make<HiirUpsampler>();
        u->setInput(r.feed());
        r.output = u;
        r.multiple = 16;
        r.reset = [u] { u->clear(); }; }, true});
    cases.push_back({"HiirDownsampler", [](Rig& r, Setting) {
        auto* u = r.make<HiirDownsampler>();
        u->setInput(r.feed());
        r.output = u;
        r.reset = [u] { u->clear(); }; }, true});
    cases.push_back({"DriveSection", [](Rig& r, Setting s) {
        auto* drive = r.make<Gain>(pick(s, 0.01f, 6.4f, 64.0f));
        auto* up = r.make<HiirUpsampler>();
        auto* tube = r.make<Tube>();
        auto* down = r.make<HiirDownsampler>();
        drive->setInput(r.feed());
        up->setInput(drive);
        tube->setInput(up);
        down->setInput(tube);
        down->setSampleRate(48000.0f);
        r.output = down;
        r.reset = [up, down] { up->clear(); down->clear(); }; }, true});
    // ---- control arithmetic
    for (int which = 0; which < 3; ++which) {
        static const char* names[] = {"Add", "Mul", "Switch"};
        cases.push_back({names[which], [which](Rig& r, Setting s) {
            Add* list = which == 0 ? r.make<Add>() : which == 1 ? static_cast<Add*>(r.make<Mul>()) : static_cast<Add*>(r.make<Switch>());
            auto* audio = r.make<Gain>();
            audio->setInput(r.feed());
            list->addInput(audio);
            list->addInput(r.make<Unit>(pick(s, -1e3f, 0.25f, 1e3f)));
            if (which == 2) dynamic_cast<Switch*>(list)->select(pick(s, 5, 0, 1));
            r.output = list; }, true});
    }
    cases.push_back({"Octave", [](Rig& r, Setting s) {
        auto* u = r.make<Octave>(pick(s, -40.0f, 2.0f, 40.0f));
        u->setInput(r.feed());
        r.output = u; }, true});
    cases.push_back({"Power", [](Rig& r, Setting s) {
        auto* u = r.make<Power>(pick(s, 1e-3f, 2.0f, 1e3f));
        u->setInput(r.feed());
        r.output = u; }, true});
    cases.push_back({"Offset", [](Rig& r, Setting s) {
        auto* u = r.make<Offset>(pick(s, -1e6f, 0.5f, 1e6f));
        u->setInput(r.feed());
        r.output = u; }, true});
    cases.push_back({"Linear", [](Rig& r, Setting s) {
        auto* u = r.make<Linear>();
        u->setScaleOffset(pick(s, -1e6f, 0.5f, 1e6f), pick(s, -1e6f, 0.5f, 1e6f));
        u->setInput(r.feed());
        r.output = u; }, true});
    cases.push_back({"Clip", [](Rig& r, Setting s) {
        auto* u = r.make<Clip>();
        u->setLimits(pick(s, 1.0f, -0.5f, -1e30f), pick(s, -1.0f, 0.5f, 1e30f));
        u->setInput(r.feed());
        r.output = u; }, true});
    cases.push_back(plain<Smooth>("Smooth"));
    cases.push_back(plain<Decibel>("Decibel"));
    cases.push_back(plain<Log>("Log"));
    cases.push_back({"MuxWithTwoConsumers", [](Rig& r, Setting) {
        auto* mux = r.make<Mux>();
        mux->setInput(r.feed());
        auto* sum = r.make<Add>();
        for (int i = 0; i < 2; ++i) {
            auto* consumer = r.make<Gain>();
            consumer->setInput(mux);
            sum->addInput(consumer);
        }
        r.output = sum; }, true});
    cases.push_back({"Bypass", [](Rig& r, Setting s) {
        auto* u = r.make<Bypass>();
        u->setInput(r.feed());
        u->setBypassSource(r.make<Unit>(0.5f));
        u->setBypassed(s == Setting::Low);
        r.output = u; }, true});
    cases.push_back({"Mute", [](Rig& r, Setting s) {
        auto* u = r.make<Mute>();
        u->setInput(r.feed());
        u->setKeepAlive(r.make<Unit>(0.5f));
        auto* filter = r.make<Controlled>();
        filter->setControl(r.make<Unit>(1.0f));
        u->setControlledUnit(filter);
        u->setSampleRate(pick(s, 8000.0f, 44100.0f, 192000.0f));
        u->setMuted(s != Setting::Low);
        r.output = u; }, true});
    // ---- filters
    const char* types[] = {"LowPass", "HighPass", "BandPass", "Notch", "PeakEq", "LowShelf", "HighShelf"};
    for (int t = 0; t < 7; ++t) cases.push_back(biquad(std::string("BiQuad") + types[t], t));
    cases.push_back({"ResonantLowPass", [](Rig& r, Setting s) {
        auto* u = r.make<ResonantLowPass>();
        u->setInput(r.feed());
        u->setSampleRate(44100.0f);
        u->setFrequency(pick(s, 0.0f, 800.0f, 1e6f));
        u->setResonance(pick(s, 0.0f, 0.5f, 1.0f));
        r.output = u;
        r.reset = [u] { u->reset(); }; }, true});
    for (int band = 0; band < 2; ++band) {
        cases.push_back({band ? "ChamberlinBandPass" : "ChamberlinHighPass", [band](Rig& r, Setting s) {
            ChamberlinFilter* u = band ? static_cast<ChamberlinFilter*>(r.make<ChamberlinBandPass>())
                                       : static_cast<ChamberlinFilter*>(r.make<ChamberlinHighPass>());
            u->setInput(r.feed());
            u->setSampleRate(44100.0f);
            u->setFrequency(pick(s, 0.0f, 500.0f, 1e6f));
            u->setResonance(pick(s, 0.0f, 0.5f, 1.0f));
            r.output = u;
            r.reset = [u] { u->reset(); }; }, true});
    }
    cases.push_back({"ButterworthBandPass", [](Rig& r, Setting s) {
        auto* u = r.make<ButterworthBandPass>();
        u->setInput(r.feed());
        u->setSampleRate(44100.0f);
        u->setBand(pick(s, 0.0f, 1000.0f, 20000.0f), pick(s, 0.0f, 200.0f, 20000.0f));
        r.output = u;
        r.reset = [u] { u->reset(); }; }, true});
    cases.push_back(plain<DCRemover>("DCRemover"));
    // ---- delays and phaser
    cases.push_back({"BasicDelay", [](Rig& r, Setting s) {
        auto* u = r.make<BasicDelay>();
        u->setInput(r.feed());
        u->setDelay(pick(s, 0, 1000, kMaxDelaySamples));
        r.output = u;
        r.reset = [u] { u->clear(); }; }, true});
    cases.push_back({"ModDelay", [](Rig& r, Setting s) {
        auto* u = r.make<ModDelay>();
        u->setInput(r.feed());
        u->setDelay(pick(s, 0.0f, 123.4f, static_cast<float>(kMaxDelaySamples - 1)));
        r.output = u;
        r.reset = [u] { u->clear(); }; }, true});
    cases.push_back({"FeedbackDelay", [](Rig& r, Setting s) {
        auto* u = r.make<FeedbackDelay>();
        u->setInput(r.feed());
        auto* loop = r.make<Gain>();
        u->setLoop(loop, loop);
        u->setDelay(pick(s, 0, 5000, kMaxDelaySamples));
        u->setFeedback(pick(s, 0.0f, 0.5f, 1.0f));
        r.output = u;
        r.reset = [u] { u->clear(); }; }, false});
    cases.push_back({"StereoDelay", [](Rig& r, Setting s) {
        auto* stereo = r.make<StereoDelay>();
        auto* sum = r.make<Add>();
        for (int c = 0; c < 2; ++c) {
            auto* channel = stereo->getChannel(c);
            if (c == 0) channel->setInput(r.feed()); else channel->setInput(r.make<Unit>(0.25f));
            auto* loop = r.make<Limiter>();
            loop->setSampleRate(44100.0f);
            loop->setAttack(10.0f);
            loop->setThreshold(0.5f);
            channel->setLoop(loop, loop);
            channel->setFeedback(pick(s, 0.0f, 0.6f, 1.0f));
            sum->addInput(channel);  // channel 0 then channel 1 in every block
        }
        stereo->setCrossFeed(pick(s, 0.0f, 0.25f, 1.0f));
        r.output = sum;
        r.reset = [stereo] { stereo->clear(); }; }, false});
    cases.push_back({"Phaser", [](Rig& r, Setting s) {
        auto* u = r.make<Phaser>();
        u->setInput(r.feed());
        u->setRange(pick(s, 1.0f, 440.0f, 1e6f), pick(s, 1.0f, 1600.0f, 1e6f));
        u->setRate(pick(s, 0.0f, 0.5f, 1000.0f));
        u->setFeedback(pick(s, 0.0f, 0.7f, 1.0f));
        u->setMix(pick(s, 0.0f, 1.0f, 1.0f));
        r.output = u; }, false});
    // ---- sources
    cases.push_back({"LFO", [](Rig& r, Setting s) {
        auto* u = r.make<LFO>();
        u->setSampleRate(44100.0f);
        u->setFrequency(pick(s, 0.0f, 5.0f, 22050.0f));
        u->restart();
        r.output = u;
        r.reset = [u] { u->restart(); }; }, true});
    cases.push_back({"Squarewave", [](Rig& r, Setting s) {
        auto* u = r.make<Squarewave>();
        u->setSampleRate(44100.0f);
        u->setFrequency(pick(s, 0.0f, 440.0f, 22050.0f));
        r.output = u; }, true});
    cases.push_back({"Noise", [](Rig& r, Setting) { r.output = r.make<Noise>(); }, true});
    cases.push_back({"MultiOscillatorBothOutputs", [](Rig& r, Setting s) {
        auto* osc = r.make<MultiOscillator>();
        Wavetable share;
        WavetableManager::global().getWavetable(share);
        osc->setWavetable(share);
        osc->setSampleRate(44100.0f);
        osc->setFrequency(pick(s, 0.0f, 110.0f, 1e6f));
        auto* sum = r.make<Add>();
        sum->addInput(osc);  // the first pull computes output A,
        sum->addInput(osc);  // the second replays output B
        r.output = sum; }, true});
    // ---- envelopes and glides
    for (int kind = 0; kind < 2; ++kind) {
        cases.push_back({kind ? "QuadEnv" : "Envelope", [kind](Rig& r, Setting s) {
            Envelope* u = kind ? static_cast<Envelope*>(r.make<QuadEnv>()) : r.make<Envelope>();
            u->setInput(r.feed());
            const float t = pick(s, 0.0f, 20.0f, 1e7f);
            u->addStage(t, 1.0f);
            u->addStage(t, 0.3f);
            u->addStage(t, 0.0f);
            u->startStage(0);
            r.output = u; }, true});
    }
    cases.push_back({"CubicEnv", [](Rig& r, Setting s) {
        auto* u = r.make<CubicEnv>();
        u->setInput(r.feed());
        const float t = pick(s, 0.0f, 20.0f, 1e7f);
        const float z = pick(s, 0.0f, 0.5f, 1.0f);
        u->addStage(t, 1.0f, z);
        u->addStage(t, 0.3f, z);
        u->addStage(t, 0.0f, z);
        u->startStage(0);
        r.output = u; }, true});
    cases.push_back({"Ramp", [](Rig& r, Setting s) {
        auto* u = r.make<Ramp>(pick(s, 0.0f, 10.0f, 1e7f));
        u->setInput(r.feed());
        r.output = u; }, true});
    cases.push_back({"Portamento", [](Rig& r, Setting s) {
        auto* u = r.make<Portamento>(pick(s, 0.0, 50.0, 1e7), 0.0f);
        u->setInput(r.feed());
        r.output = u; }, true});
    return cases;
}

// Noise, a full-scale Nyquist burst, a DC step and silence: enough to excite
// resonances, rectifiers, followers and decays. Long enough for 16x inputs.
const std::vector<float>& testSignal() {
    static const std::vector<float> signal = [] {
        std::vector<float> x(16 * 8192 + 16);
        unsigned seed = 2024u;
        for (size_t i = 0; i < x.size(); ++i) {
            const size_t phase = i % 6000;
            if (phase < 3000) {
                seed = seed * 1664525u + 1013904223u;
                x[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
            } else if (phase < 4000) {
                x[i] = (i % 2) ? 1.0f : -1.0f;
            } else if (phase < 5000) {
                x[i] = 1.0f;
            } else {
                x[i] = 0.0f;
            }
        }
        return x;
    }();
    return signal;
}

void feedSignal(Rig& rig, size_t offset = 0) {
    const auto& x = testSignal();
    if (rig.input != nullptr) rig.input->setSource(x.data() + offset, static_cast<int>(x.size() - offset));
}

// Pulls `frames` blocks' worth (times the rig's multiple) in blocks of `block`.
void render(Rig& rig, float* out, int frames, int block) {
    for (int done = 0; done < frames;) {
        const int n = std::min(block, frames - done);
        rig.output->process(out + done * rig.multiple, n * rig.multiple);
        done += n;
    }
}

std::vector<float> render(Rig& rig, int frames, int block) {
    std::vector<float> out(static_cast<size_t>(frames * rig.multiple));
    render(rig, out.data(), frames, block);
    return out;
}

std::string caseName(const ::testing::TestParamInfo<UnitCase>& info) { return info.param.name; }

class EveryUnit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(EveryUnit, StaysFiniteAtTheExtremesOfItsSettings) {
    for (Setting s : {Setting::Low, Setting::Typical, Setting::High}) {
        Rig rig;
        GetParam().build(rig, s);
        feedSignal(rig);
        const auto y = render(rig, 8192, 256);
        EXPECT_TRUE(TestSupport::allFinite(y.data(), static_cast<int>(y.size())))
            << "setting " << static_cast<int>(s);
    }
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST_P(EveryUnit, ProcessDoesNotAllocate) {
    Rig rig;
    GetParam().build(rig, Setting::Typical);
    feedSignal(rig);
    std::vector<float> out(static_cast<size_t>(kMaxBlock));
    TestSupport::AllocationScope scope;
    for (int n : {1, 7, 64, 256}) rig.output->process(out.data(), n * rig.multiple);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

INSTANTIATE_TEST_SUITE_P(Library, EveryUnit, ::testing::ValuesIn(allCases()), caseName);

class ResettableUnit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(ResettableUnit, AfterResetItIsAsGoodAsFresh) {
    Rig used, fresh;
    GetParam().build(used, Setting::Typical);
    GetParam().build(fresh, Setting::Typical);
    ASSERT_TRUE(used.reset);
    feedSignal(used, 777);
    render(used, 3000, 64);
    used.reset();
    feedSignal(used);
    feedSignal(fresh);
    const auto a = render(used, 6000, 64);
    const auto b = render(fresh, 6000, 64);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << "sample " << i;
}

std::vector<UnitCase> resettableCases() {
    std::vector<UnitCase> r;
    for (auto& c : allCases()) {
        Rig probe;
        c.build(probe, Setting::Typical);
        if (probe.reset) r.push_back(c);
    }
    return r;
}

INSTANTIATE_TEST_SUITE_P(Library, ResettableUnit, ::testing::ValuesIn(resettableCases()), caseName);

class SampleByUnit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(SampleByUnit, SameOutputWhateverTheBlockSplit) {
    constexpr int kFrames = 3000;
    Rig reference;
    GetParam().build(reference, Setting::Typical);
    feedSignal(reference);
    const auto expected = render(reference, kFrames, 256);
    for (int block : {1, 7, 64}) {
        Rig rig;
        GetParam().build(rig, Setting::Typical);
        feedSignal(rig);
        const auto got = render(rig, kFrames, block);
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "block " << block << ", sample " << i;
    }
}

std::vector<UnitCase> splitInvariantCases() {
    std::vector<UnitCase> r;
    for (auto& c : allCases())
        if (c.splitInvariant) r.push_back(c);
    return r;
}

INSTANTIATE_TEST_SUITE_P(Library, SampleByUnit, ::testing::ValuesIn(splitInvariantCases()), caseName);

}  // namespace
