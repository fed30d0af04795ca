// State through the host's chunk: every parameter randomised, the program and
// bank chunks saved, the instance reset to other state, the chunks restored;
// every value and name must come back exactly, and an instance restored from
// the chunk must sound exactly like the one the values were set on.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "instrument/ParameterTable.h"
#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

class ChunkState : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override { VALIDATION_REQUIRE_PLUGIN(); }

    std::vector<float> randomValues() {
        std::vector<float> values(kParameterCount);
        for (float& v : values) v = unit(random);
        // The edges of the range too.
        values[static_cast<size_t>(random() % kParameterCount)] = 0.0f;
        values[static_cast<size_t>(random() % kParameterCount)] = 1.0f;
        return values;
    }

    // Sets the values through the host path and lets one block apply them.
    static void setAll(Host::HostedPlugin& plugin, const std::vector<float>& values) {
        for (int i = 0; i < kParameterCount; ++i) plugin.setParameter(i, values[static_cast<size_t>(i)]);
        render(plugin, {}, 64, {64});
    }

    static std::vector<float> readAll(Host::HostedPlugin& plugin) {
        std::vector<float> values(kParameterCount);
        for (int i = 0; i < kParameterCount; ++i) values[static_cast<size_t>(i)] = plugin.getParameter(i);
        return values;
    }

    // The same values reach the engine through setParameter on one instance and
    // through the chunk on another, at the same instant of otherwise identical
    // lives: both must render the phrase identically, for the bank and for the
    // program chunk.
    void expectRestoredSoundsLikeOriginal(const std::vector<float>& values) {
        const double rate = 48000.0;
        const Host::Timeline phrase = testPhrase(rate);
        const int64_t frames = phraseFrames(rate);

        Host::HostedPlugin original(pluginPath());
        original.open({rate, 512, 0});
        for (int i = 0; i < kParameterCount; ++i) original.setParameter(i, values[static_cast<size_t>(i)]);
        const Stereo reference = render(original, phrase, frames, {512});
        ASSERT_TRUE(allFinite(reference));
        ASSERT_EQ(readAll(original), values);
        const std::vector<uint8_t> bank = original.getChunk(false);
        const std::vector<uint8_t> program = original.getChunk(true);

        for (bool programOnly : {false, true}) {
            SCOPED_TRACE(programOnly ? "program chunk" : "bank chunk");
            Host::HostedPlugin restored(pluginPath());
            restored.open({rate, 512, 0});
            ASSERT_EQ(restored.setChunk(programOnly ? program : bank, programOnly), 1);
            EXPECT_EQ(readAll(restored), values);
            // The chunk is applied on the audio thread at the first block: without heap use.
            HeapUse heap;
            const Stereo audio = render(restored, phrase, frames, {512}, &heap);
            if (countsAllocations()) {
                EXPECT_EQ(heap.allocations, 0);
            }
            EXPECT_IDENTICAL_AUDIO(audio, reference);
        }
    }

    std::mt19937 random{GetParam()};
    std::uniform_real_distribution<float> unit{0.0f, 1.0f};
};

// Values and names of several programs, through the bank chunk and the
// program chunk, on one instance reset in between.
TEST_P(ChunkState, EveryValueAndNameComesBackExactly) {
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({44100.0, 256, 0});
    const std::vector<uint8_t> factory = plugin.getChunk(false);
    ASSERT_EQ(factory.size(), size_t(kBankBytes));

    // Three programs randomised, renamed, the last one left current.
    std::vector<std::vector<float>> set;
    for (int p : {3, 41, 97}) {
        plugin.selectProgram(p);
        render(plugin, {}, 512, {256});
        set.push_back(randomValues());
        setAll(plugin, set.back());
        plugin.setProgramName("Random " + std::to_string(p));
        ASSERT_EQ(readAll(plugin), set.back()) << "program " << p << " did not take the values";
    }
    const std::vector<uint8_t> bank = plugin.getChunk(false);
    const std::vector<uint8_t> program = plugin.getChunk(true);
    ASSERT_EQ(bank.size(), size_t(kBankBytes));
    ASSERT_EQ(program.size(), size_t(kRecordBytes));

    // Reset: the factory bank back, then the program set to other values.
    ASSERT_EQ(plugin.setChunk(factory, false), 1);
    setAll(plugin, randomValues());
    ASSERT_NE(plugin.getChunk(false), bank);

    ASSERT_EQ(plugin.setChunk(bank, false), 1);
    render(plugin, {}, 256, {256});
    EXPECT_EQ(plugin.getChunk(false), bank) << "the bank did not come back byte for byte";
    EXPECT_EQ(readAll(plugin), set.back());
    const int programs[] = {3, 41, 97};
    for (size_t k = 0; k < 3; ++k) {
        std::string name;
        ASSERT_TRUE(plugin.programNameIndexed(programs[k], name));
        EXPECT_EQ(name, "Random " + std::to_string(programs[k]));
        for (int i = 0; i < kParameterCount; ++i)
            EXPECT_EQ(bankValue(bank, programs[k], i), set[k][static_cast<size_t>(i)]) << "program " << programs[k];
    }

    // The program chunk alone, into the current program of a reset instance.
    ASSERT_EQ(plugin.setChunk(factory, false), 1);
    render(plugin, {}, 256, {256});
    ASSERT_NE(readAll(plugin), set.back());
    ASSERT_EQ(plugin.setChunk(program, true), 1);
    render(plugin, {}, 256, {256});
    EXPECT_EQ(readAll(plugin), set.back());
    EXPECT_EQ(plugin.programName(), "Random 97");
    EXPECT_EQ(plugin.getChunk(true), program);
}

// Switches set as hosts and the editor set them, on (1) or off (0).
TEST_P(ChunkState, AnInstanceRestoredFromTheChunkSoundsLikeTheOriginal) {
    std::vector<float> values = randomValues();
    for (int i = 0; i < kParameterCount; ++i)
        if (Vst::parameterInfo(i).type == Vst::kParameterSwitch)
            values[static_cast<size_t>(i)] = values[static_cast<size_t>(i)] < 0.5f ? 0.0f : 1.0f;
    expectRestoredSoundsLikeOriginal(values);
}

// Every value random, switches too: a switch is on only at exactly 1, and
// whatever it holds the sound must follow from the stored values alone.
TEST_P(ChunkState, AnInstanceRestoredFromTheChunkSoundsLikeTheOriginalWhateverTheSwitchesHold) {
    expectRestoredSoundsLikeOriginal(randomValues());
}

// Chunks of the wrong size are refused and change nothing.
TEST_P(ChunkState, AChunkOfTheWrongSizeChangesNothing) {
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({44100.0, 256, 0});
    const std::vector<uint8_t> before = plugin.getChunk(false);
    std::vector<uint8_t> junk(static_cast<size_t>(kRecordBytes - 1));
    for (auto& b : junk) b = static_cast<uint8_t>(random());
    EXPECT_EQ(plugin.setChunk(junk, true), 0);
    junk.resize(static_cast<size_t>(kBankBytes - 1));
    EXPECT_EQ(plugin.setChunk(junk, false), 0);
    junk.resize(static_cast<size_t>(kBankBytes + 1));
    EXPECT_EQ(plugin.setChunk(junk, false), 0);
    EXPECT_EQ(plugin.setChunk({}, false), 0);
    render(plugin, {}, 256, {256});
    EXPECT_EQ(plugin.getChunk(false), before);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ChunkState, ::testing::Values(1u, 2u, 3u));

}  // namespace
