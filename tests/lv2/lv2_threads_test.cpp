// The LV2 plug-in under a live host's threading: the worker carries out UI
// requests on a thread of its own while the audio thread runs, and a third
// thread saves the state meanwhile (LV2 lets save run beside run). Also runs
// under ThreadSanitizer. The answers must still arrive whole and in the end
// describe the last request.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"
#include "lv2/Lv2Instrument.h"
#include "tests/lv2/Lv2TestHost.h"

using namespace MorvelithLv2;
using Lv2Test::Instance;
using Lv2Test::Worker;

namespace {

constexpr int kBlock = 128;
constexpr int kRounds = 60;

TEST(Lv2Threads, UiRequestsOnTheWorkerAndSavesBesideRunArriveWhole) {
    LV2_REQUIRE_BUNDLE();
    Instance lv2(44100.0, Worker::kThreaded);
    lv2.activate();
    const LV2_URID bankKey = Lv2Test::UridMap::instance().map(kBankKey);

    std::atomic<bool> playing{true};
    std::atomic<int> saves{0};
    std::atomic<int> badSaves{0};
    std::thread saver([&] {
        while (playing.load()) {
            const Lv2Test::StateBlob blob = lv2.save();
            const auto bank = blob.values.find(bankKey);
            if (bank == blob.values.end() || bank->second.bytes.size() != 100u * 1784u + 4096u) ++badSaves;
            ++saves;
        }
    });

    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    Host::BlockEvent note[2] = {{3, {{0x90, 60, 100}, 3}}, {90, {{0x80, 60, 0}, 3}}};
    int lastProgram = 0;
    int picturesWithEverything = 0;
    for (int round = 0; round < kRounds; ++round) {
        lastProgram = (round * 37) % kProgramCount;
        lv2.sendProgram(lastProgram);
        if (round % 3 == 0) lv2.sendRename("Round " + std::to_string(round));
        if (round % 5 == 0) lv2.sendCommand(kCommandCopy);
        if (round % 7 == 0) lv2.sendCommand(kCommandPaste);
        lv2.controls()[static_cast<size_t>(round % kControlPortCount)] = 0.5f;
        for (int block = 0; block < 4; ++block) {
            lv2.processBlock(note, 2, nullptr, outputs, kBlock);
            const Lv2Test::Picture& p = lv2.picture();
            if (p.program >= 0 && p.names.size() == static_cast<size_t>(kProgramCount) &&
                p.values.size() == static_cast<size_t>(kParameterCount))
                ++picturesWithEverything;
        }
    }
    playing = false;
    saver.join();
    lv2.waitForWorker();

    // After the last request has been carried out, one more picture tells it.
    lv2.sendGet();
    lv2.runSilent(kBlock);
    lv2.waitForWorker();
    lv2.runSilent(kBlock);
    EXPECT_EQ(lv2.picture().program, lastProgram);
    EXPECT_GT(picturesWithEverything, 0);
    EXPECT_GT(saves.load(), 0);
    EXPECT_EQ(badSaves.load(), 0);
}

TEST(Lv2Threads, WithoutAWorkerTheUiRequestsAreIgnoredAndTheSynthPlays) {
    LV2_REQUIRE_BUNDLE();
    Instance lv2(44100.0, Worker::kNone);
    lv2.activate();
    lv2.sendProgram(5);
    std::vector<float> left(4096), right(4096);
    float* outputs[2] = {left.data(), right.data()};
    Host::BlockEvent note{0, {{0x90, 57, 100}, 3}};
    lv2.processBlock(&note, 1, nullptr, outputs, 4096);
    float peak = 0.0f;
    for (float v : left) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.01f);
    EXPECT_EQ(lv2.notificationsSeen(), 0) << "no worker, no pictures";
    // The state still works: program 0 is current, the request was never carried out.
    const Lv2Test::StateBlob blob = lv2.save();
    const auto program = blob.values.find(Lv2Test::UridMap::instance().map(kCurrentProgramKey));
    ASSERT_NE(program, blob.values.end());
    EXPECT_EQ(*reinterpret_cast<const int32_t*>(program->second.bytes.data()), 0);
}

}  // namespace
