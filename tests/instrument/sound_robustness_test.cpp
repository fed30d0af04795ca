// Robustness of the built instrument: every program of the bank under seeded
// random automation of all 181 parameters across their whole range, with
// notes, bends, tempo changes and uneven host blocks, must only ever output
// finite samples; so must every parameter held at either end of its range,
// and the delays at full feedback over a long held note.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <sstream>

#include "tests/instrument/sound_rig.h"
#include "tests/support/AudioAnalysis.h"

using namespace SoundRig;
using namespace Vst;

namespace {

class SoundRobustness : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

Host::MidiMessage midi(uint8_t status, int a, int b) {
    Host::MidiMessage m;
    m.bytes[0] = status;
    m.bytes[1] = static_cast<uint8_t>(a & 0x7F);
    m.bytes[2] = static_cast<uint8_t>(b & 0x7F);
    m.size = 3;
    return m;
}

// Drives one instance block by block, remembering every value it set so a
// failure can say which settings were in force.
class Driver {
public:
    explicit Driver(Rig& rig) : rig(rig) {
        for (int i = 0; i < kParameterCount; ++i) values[i] = rig.plugin().getParameter(i);
        rig.plugin().reserveEvents(16);
    }

    void set(int index, float value) {
        rig.plugin().setParameter(index, value);
        values[index] = value;
        changes.push_back({index, value});
        if (changes.size() > 24) changes.erase(changes.begin());
    }

    // Renders one block; false (with a message) at the first non-finite sample.
    bool block(const std::vector<Host::BlockEvent>& events, int frames, std::string& why) {
        left.resize(static_cast<size_t>(frames));
        right.resize(static_cast<size_t>(frames));
        float* outputs[2] = {left.data(), right.data()};
        rig.plugin().processBlock(events.data(), static_cast<int>(events.size()), nullptr, outputs, frames);
        peakSeen =
            std::max({peakSeen, TestSupport::peak(left.data(), frames), TestSupport::peak(right.data(), frames)});
        const bool finite = TestSupport::allFinite(left.data(), frames) && TestSupport::allFinite(right.data(), frames);
        if (!finite) why = describe();
        position += frames;
        return finite;
    }

    double peak() const { return peakSeen; }

private:
    std::string describe() const {
        std::ostringstream text;
        text << "non-finite output in the block ending at frame " << position << "; settings:";
        for (int i = 0; i < kParameterCount; ++i) text << ' ' << i << '=' << values[i];
        text << "\nlast changes:";
        for (const auto& [index, value] : changes) text << ' ' << index << '=' << value;
        return text.str();
    }

    Rig& rig;
    std::array<float, kParameterCount> values{};
    std::vector<std::pair<int, float>> changes;
    std::vector<float> left, right;
    int64_t position = 0;
    double peakSeen = 0;
};

}  // namespace

// --- every program under random automation -------------------------------------------

class SoundRandomAutomation : public SoundRobustness, public ::testing::WithParamInterface<int> {};

constexpr int kProgramsPerCase = 10;
constexpr int64_t kSecondsPerProgram = 3;

TEST_P(SoundRandomAutomation, OutputStaysFiniteForEveryProgram) {
    const int first = GetParam();
    for (int program = first; program < first + kProgramsPerCase; ++program) {
        Rig rig(kRate, program);
        Driver driver(rig);
        std::mt19937 random(static_cast<uint32_t>(0x5EED0000u + program));
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        // Switches count only at exactly 0 or 1, and the ends of every range matter most.
        const std::array<float, 6> edges = {0.0f, 1.0f, 0.5f, 1e-7f, 0.99999994f, 0.25f};
        auto value = [&] { return random() % 3 == 0 ? edges[random() % edges.size()] : unit(random); };
        const std::array<int, 6> blockSizes = {1, 17, 64, 256, 300, 1024};

        std::vector<Host::BlockEvent> events;
        events.reserve(8);
        int sweep = 0;  // every index is set at least once per 181 blocks
        std::vector<int> held;
        std::string why;
        for (int64_t frame = 0; frame < kSecondsPerProgram * static_cast<int64_t>(kRate);) {
            const int frames = blockSizes[random() % blockSizes.size()];
            driver.set(sweep, value());
            sweep = (sweep + 1) % kParameterCount;
            for (int k = static_cast<int>(random() % 4); k > 0; --k)
                driver.set(static_cast<int>(random() % kParameterCount), value());
            if (random() % 50 == 0) rig.plugin().transport().setTempo(30.0 + random() % 270);

            events.clear();
            const auto offset = [&] { return static_cast<int>(random() % static_cast<unsigned>(frames)); };
            if (random() % 6 == 0) {
                const int note = 12 + static_cast<int>(random() % 108);
                events.push_back({offset(), midi(0x90, note, 1 + static_cast<int>(random() % 127))});
                held.push_back(note);
            }
            if (!held.empty() && random() % 8 == 0) {
                const size_t which = random() % held.size();
                events.push_back({offset(), midi(0x80, held[which], 0)});
                held.erase(held.begin() + static_cast<long>(which));
            }
            if (random() % 10 == 0) {
                const int bend = static_cast<int>(random() % 16384);
                events.push_back({offset(), midi(0xE0, bend & 0x7F, bend >> 7)});
            }
            if (random() % 200 == 0) {
                events.push_back({offset(), midi(0xB0, 123, 0)});
                held.clear();
            }
            std::stable_sort(events.begin(), events.end(),
                             [](const auto& a, const auto& b) { return a.deltaFrames < b.deltaFrames; });
            ASSERT_TRUE(driver.block(events, frames, why)) << "program " << program << ": " << why;
            frame += frames;
        }
        RecordProperty("peak_program_" + std::to_string(program), std::to_string(driver.peak()));
    }
}

INSTANTIATE_TEST_SUITE_P(ProgramRanges, SoundRandomAutomation, ::testing::Range(0, 100, kProgramsPerCase),
                         [](const auto& info) {
                             return "Programs" + std::to_string(info.param) + "To" +
                                    std::to_string(info.param + kProgramsPerCase - 1);
                         });

// --- each parameter at the ends of its range -----------------------------------------

class SoundParameterExtremes : public SoundRobustness, public ::testing::WithParamInterface<int> {};

constexpr int kIndicesPerCase = 31;

// One parameter at 0 or 1 (every other at its default) while notes play and bend.
TEST_P(SoundParameterExtremes, EachEndOfEachRangeStaysFinite) {
    const int first = GetParam();
    for (int index = first; index < std::min(first + kIndicesPerCase, static_cast<int>(kParameterCount)); ++index) {
        for (float end : {0.0f, 1.0f}) {
            Rig rig;
            Driver driver(rig);
            driver.set(index, end);
            std::string why;
            const std::vector<Host::BlockEvent> start = {{0, midi(0x90, 48, 127)}, {100, midi(0x90, 96, 64)}};
            const std::vector<Host::BlockEvent> bend = {{0, midi(0xE0, 0x7F, 0x7F)}, {200, midi(0x80, 96, 0)}};
            const std::vector<Host::BlockEvent> stop = {{5, midi(0x80, 48, 0)}};
            bool ok = driver.block(start, 256, why);
            for (int b = 0; ok && b < 120; ++b)
                ok = driver.block(b == 40 ? bend : b == 100 ? stop : std::vector<Host::BlockEvent>{}, 256, why);
            EXPECT_TRUE(ok) << "index " << index << " at " << end << ": " << why;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(IndexRanges, SoundParameterExtremes,
                         ::testing::Range(0, static_cast<int>(kParameterCount), kIndicesPerCase),
                         [](const auto& info) { return "From" + std::to_string(info.param); });

// --- the delays at full feedback -------------------------------------------------------

struct FeedbackCase {
    const char* name;
    int feedback;  // "HPF Delay: FB" or "BPF Delay: FB"
    int mix;       // its send
};

class SoundFullFeedback : public SoundRobustness, public ::testing::WithParamInterface<FeedbackCase> {};

// Both channels at the shortest line (4096 samples, about 93 ms) so that a
// minute is some 640 round trips: any loop gain above 1 overflows long before.
TEST_P(SoundFullFeedback, LongHeldNoteStaysFinite) {
    const FeedbackCase c = GetParam();
    Rig rig;
    Driver driver(rig);
    for (auto [index, value] : std::initializer_list<std::pair<int, float>>{{kDelayEnable, 1.0f},
                                                                            {kDelaySyncEnable, 1.0f},
                                                                            {kDelayLSynced, 1.0f},
                                                                            {kDelayRSynced, 1.0f},
                                                                            {c.mix, 1.0f},
                                                                            {c.feedback, 1.0f}})
        driver.set(index, value);
    std::string why;
    bool ok = driver.block({{0, midi(0x90, 57, 127)}}, 256, why);
    for (int b = 0; ok && b < 60 * 44100 / 256; ++b) ok = driver.block({}, 256, why);
    EXPECT_TRUE(ok) << why;
    RecordProperty("peak", std::to_string(driver.peak()));
}

INSTANTIATE_TEST_SUITE_P(BothDelays, SoundFullFeedback,
                         ::testing::Values(FeedbackCase{"HpfDelay", kHpfDelayFb, kHpfDelayMix},
                                           FeedbackCase{"BpfDelay", kBpfDelayFb, kBpfDelayMix}),
                         [](const auto& info) { return std::string(info.param.name); });
