// Concurrency: one thread drives the store (parameters, program selection,
// chunks both ways, rename, copy and paste) while another processes events
// and audio. Built with ThreadSanitizer in the concurrency configuration; it
// must run clean, and the store must end consistent: every record well
// formed, and the instrument holding exactly the current program's values.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "tests/frame/FrameTestSupport.h"

using namespace FrameTest;

namespace {

constexpr int kRecordSize = 1784;

TEST(Stress, StoreOperationsRaceBlockProcessingSafely) {
    FakeHost::instance().reset();
    Instance plugin;
    plugin.start();
    plugin.process(64);

    // Two bank chunks with different names and values to alternate between.
    void* data = nullptr;
    const auto bankSize = plugin.dispatch(effGetChunk, 0, 0, &data);
    std::vector<unsigned char> bankA(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + bankSize);
    std::vector<unsigned char> bankB = bankA;
    for (int p = 0; p < 100; ++p) {
        std::memset(bankB.data() + p * kRecordSize, 0, 24);
        std::memcpy(bankB.data() + p * kRecordSize, "Bank B", 6);
        for (int i = 0; i < 181; ++i) {
            const float v = static_cast<float>((p + i) % 7) / 7.0f;
            std::memcpy(bankB.data() + p * kRecordSize + 1060 + 4 * i, &v, 4);
        }
    }

    std::atomic<bool> stop{false};
    std::atomic<long> audioBlocks{0};
    std::thread audio([&] {
        std::vector<float> left(512), right(512);
        float* outs[2] = {left.data(), right.data()};
        MidiList notes;
        notes.add(0, 0x90, 60, 100).add(100, 0x90, 64, 100).add(200, 0x80, 60, 0).add(300, 0xE0, 0, 80);
        VstEvents* list = notes.list();
        while (!stop.load()) {
            plugin.effect->dispatcher(plugin.effect, effProcessEvents, 0, 0, list, 0.0f);
            plugin.effect->processReplacing(plugin.effect, nullptr, outs, 512);
            for (float v : left) ASSERT_TRUE(std::isfinite(v));
            ++audioBlocks;
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    long rounds = 0;
    std::vector<unsigned char> copied;
    while (std::chrono::steady_clock::now() < deadline || rounds < 200) {
        const int r = static_cast<int>(rounds);
        plugin.effect->setParameter(plugin.effect, r % 181, static_cast<float>(r % 100) / 99.0f);
        if (r % 5 == 0) plugin.dispatch(effSetProgram, 0, r % 100);
        if (r % 7 == 0) {
            auto& bank = (r / 7) % 2 == 0 ? bankA : bankB;
            EXPECT_EQ(plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data()), 1);
        }
        if (r % 11 == 0) {
            void* preset = nullptr;
            const auto size = plugin.dispatch(effGetChunk, 1, 0, &preset);
            copied.assign(static_cast<unsigned char*>(preset), static_cast<unsigned char*>(preset) + size);
            EXPECT_EQ(plugin.dispatch(effSetChunk, 1, size, copied.data()), 1);
        }
        void* chunk = nullptr;
        const auto size = plugin.dispatch(effGetChunk, 0, 0, &chunk);
        copied.assign(static_cast<unsigned char*>(chunk), static_cast<unsigned char*>(chunk) + size);
        char name[32];
        std::snprintf(name, sizeof name, "Round %ld with a long tail", rounds);
        plugin.dispatch(effSetProgramName, 0, 0, name);
        plugin.synth->copyProgram(r % 100);
        plugin.synth->pasteProgram((r + 1) % 100);
        (void)plugin.effect->getParameter(plugin.effect, r % 181);
        char text[64];
        plugin.dispatch(effGetParamDisplay, r % 181, 0, text);
        ++rounds;
        if (rounds > 200000) break;
    }
    stop = true;
    audio.join();
    EXPECT_GT(audioBlocks.load(), 10);

    // Let the last fade, chunk application and queued changes finish.
    for (int i = 0; i < 8; ++i) plugin.process(512);

    void* chunk = nullptr;
    const auto size = plugin.dispatch(effGetChunk, 0, 0, &chunk);
    ASSERT_EQ(size, 182496);
    const auto* bank = static_cast<const unsigned char*>(chunk);
    for (int p = 0; p < 100; ++p) {
        const unsigned char* record = bank + p * kRecordSize;
        EXPECT_NE(std::memchr(record, 0, 24), nullptr) << p;
        int32_t count;
        std::memcpy(&count, record + 32, 4);
        EXPECT_EQ(count, 181) << p;
        for (int i = 0; i < 181; ++i) {
            float v;
            std::memcpy(&v, record + 1060 + 4 * i, 4);
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << p << " " << i;
        }
    }
    const int current = static_cast<int>(plugin.dispatch(effGetProgram));
    for (int i = 0; i < 181; ++i)
        EXPECT_EQ(plugin.synth->mirror[static_cast<size_t>(i)], plugin.synth->getProgramValue(current, i)) << i;
}

}  // namespace
