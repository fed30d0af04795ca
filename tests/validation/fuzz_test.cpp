// Parameter fuzzing: for every program, random values for all 181 indices
// (the range's edges among them) arrive between blocks of random length, so
// at random frames, while notes and pitch bend play; the output must stay
// finite, with no heap use inside the plug-in's audio calls. Values out of
// range, infinite or not a number must be refused or clamped, never stored.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <random>

#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

constexpr int kProgramsPerShard = 10;
constexpr int kShards = kProgramCount / kProgramsPerShard;
constexpr int kRoundsPerProgram = 12;  // each round sets every index once, in random order
constexpr double kRate = 44100.0;
// No factory sound may leave more than +12 dB over full scale.
constexpr double kPeakBound = 4.0;

// Notes, releases, legato and bends at random offsets inside one block.
std::vector<Host::BlockEvent> randomEvents(std::mt19937& random, int frames) {
    std::vector<Host::BlockEvent> events;
    std::uniform_int_distribution<int> offset(0, std::max(frames - 1, 0));
    std::uniform_int_distribution<int> note(24, 96);
    std::uniform_int_distribution<int> byte(0, 127);
    const int count = static_cast<int>(random() % 4);
    for (int k = 0; k < count; ++k) {
        Host::BlockEvent e;
        e.deltaFrames = offset(random);
        const auto note7 = static_cast<uint8_t>(note(random));
        const auto data1 = static_cast<uint8_t>(byte(random));
        const auto data2 = static_cast<uint8_t>(byte(random));
        switch (random() % 4) {
            case 0: e.message = {{0x90, note7, static_cast<uint8_t>(1 + data2 % 127)}, 3}; break;
            case 1: e.message = {{0x80, note7, 0}, 3}; break;
            case 2: e.message = {{0xE0, data1, data2}, 3}; break;
            default: e.message = {{0xB0, 123, 0}, 3}; break;
        }
        events.push_back(e);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Host::BlockEvent& a, const Host::BlockEvent& b) {
                         return a.deltaFrames < b.deltaFrames;
                     });
    return events;
}

float randomValue(std::mt19937& random) {
    switch (random() % 8) {
        case 0: return 0.0f;
        case 1: return 1.0f;
        case 2: return std::nextafter(1.0f, 0.0f);
        case 3: return std::numeric_limits<float>::denorm_min();
        default: return std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
    }
}

class ParameterFuzz : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { VALIDATION_REQUIRE_PLUGIN(); }
};

TEST_P(ParameterFuzz, EveryIndexAtRandomFramesStaysFiniteForEveryProgram) {
    std::mt19937 random(static_cast<unsigned>(1000 + GetParam()));
    std::uniform_int_distribution<int> blockLength(1, 700);
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({kRate, kLargestBlock, 0});
    const std::vector<uint8_t> factory = plugin.getChunk(false);
    std::vector<float> left(kLargestBlock), right(kLargestBlock);
    float* outputs[2] = {left.data(), right.data()};
    plugin.reserveEvents(8);

    HeapUse heap;
    long values = 0;
    double loudest = 0.0;
    for (int p = GetParam() * kProgramsPerShard; p < (GetParam() + 1) * kProgramsPerShard; ++p) {
        plugin.selectProgram(p);
        std::vector<int> order(kParameterCount);
        for (int i = 0; i < kParameterCount; ++i) order[static_cast<size_t>(i)] = i;
        for (int round = 0; round < kRoundsPerProgram; ++round) {
            std::shuffle(order.begin(), order.end(), random);
            size_t next = 0;
            while (next < order.size()) {
                // A few values, then a block of random length: they land at random frames.
                const int burst = 1 + static_cast<int>(random() % 24);
                for (int k = 0; k < burst && next < order.size(); ++k, ++values)
                    plugin.setParameter(order[next++], randomValue(random));
                const int frames = blockLength(random);
                const std::vector<Host::BlockEvent> events = randomEvents(random, frames);
                std::fill(left.begin(), left.end(), NAN);
                std::fill(right.begin(), right.end(), NAN);
                processCounted(plugin, events.data(), static_cast<int>(events.size()), outputs, frames, &heap);
                for (size_t i = 0; i < static_cast<size_t>(frames); ++i) {
                    ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]))
                        << "program " << p << " round " << round << " frame " << i << " of a " << frames
                        << "-frame block after " << values << " values";
                    loudest = std::max({loudest, static_cast<double>(std::fabs(left[i])),
                                        static_cast<double>(std::fabs(right[i]))});
                }
            }
        }
    }
    // Afterwards the factory bank back through the chunk: every program of the
    // shard plays a note finite and within the factory bound again, so nothing
    // the fuzzing drove the engine into outlives a program change.
    ASSERT_EQ(plugin.setChunk(factory, false), 1);
    for (int p = GetParam() * kProgramsPerShard; p < (GetParam() + 1) * kProgramsPerShard; ++p) {
        plugin.selectProgram(p);
        render(plugin, {}, 512, {256});
        const Stereo note = renderHeldNote(plugin, 57, static_cast<int>(kRate / 4), 256, &heap);
        ASSERT_TRUE(allFinite(note)) << "program " << p << " after fuzzing";
        EXPECT_LE(peak(note), kPeakBound) << "program " << p << " after fuzzing";
        Host::Timeline release;
        release.events.push_back({0, {{0xB0, 123, 0}, 3}});
        render(plugin, release, 256, {256});
    }
    std::cout << "[fuzz] programs " << GetParam() * kProgramsPerShard << ".."
              << (GetParam() + 1) * kProgramsPerShard - 1 << ": " << values << " values over " << heap.blocks
              << " blocks, loudest sample " << loudest << std::endl;
    RecordProperty("fuzzed_values", std::to_string(values));
    EXPECT_EQ(values, long(kProgramsPerShard) * kRoundsPerProgram * kParameterCount);
    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0) << "over " << heap.blocks << " blocks";
        EXPECT_EQ(heap.releases, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, ParameterFuzz, ::testing::Range(0, kShards));

// A host may send anything: what is stored stays a number from 0 to 1.
TEST(ParameterFuzzEdges, ValuesOutsideTheRangeAreNeverStored) {
    VALIDATION_REQUIRE_PLUGIN();
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({kRate, 512, 0});
    const float hostile[] = {-1.0f, 2.0f, 1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    for (float v : hostile) {
        for (int i = 0; i < kParameterCount; ++i) plugin.setParameter(i, v);
        const Stereo audio = renderHeldNote(plugin, 60, 2048, 512);
        ASSERT_TRUE(allFinite(audio)) << "after every index set to " << v;
        for (int i = 0; i < kParameterCount; ++i) {
            const float stored = plugin.getParameter(i);
            ASSERT_TRUE(std::isfinite(stored) && stored >= 0.0f && stored <= 1.0f)
                << "index " << i << " holds " << stored << " after " << v;
        }
    }
}

}  // namespace
