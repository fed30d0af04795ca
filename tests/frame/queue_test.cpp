// The two rings on their own: due-order insertion with delta times, equal
// times in push order, advance, and silent loss beyond 1024 records.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "frame/EventQueue.h"
#include "frame/Queue.h"

namespace {

// Pops every record, returning (due time, a) pairs measured from now.
std::vector<std::pair<int, float>> drain(Vst::EventQueue& queue) {
    std::vector<std::pair<int, float>> out;
    int due = 0;
    while (!queue.isEmpty()) {
        due += queue.front().delta;
        out.emplace_back(due, queue.front().a);
        queue.pop();
    }
    return out;
}

TEST(EventQueue, OutOfOrderPushesComeOutInDueOrderWithTiesInPushOrder) {
    Vst::EventQueue queue;
    const int times[] = {10, 0, 10, 5, 30, 5, 0, 29};
    for (int i = 0; i < 8; ++i) queue.push(1, times[i], static_cast<float>(i), 0.0f, 0.0f);
    EXPECT_EQ(queue.totalDelay(), 30);
    const auto out = drain(queue);
    const std::vector<std::pair<int, float>> expected = {{0, 1.0f},  {0, 6.0f},  {5, 3.0f},  {5, 5.0f},
                                                         {10, 0.0f}, {10, 2.0f}, {29, 7.0f}, {30, 4.0f}};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(queue.totalDelay(), 0);
}

TEST(EventQueue, RandomPushesMatchAStableSortAcrossTheWrap) {
    std::mt19937 random(7);
    Vst::EventQueue queue;
    // Move the indices near the end of the storage first, so inserts wrap.
    for (int i = 0; i < 1000; ++i) queue.push(1, 0, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 1000; ++i) queue.pop();
    std::vector<std::pair<int, float>> expected;
    for (int i = 0; i < 200; ++i) {
        const int time = static_cast<int>(random() % 50);
        queue.push(2, time, static_cast<float>(i), 0.0f, 0.0f);
        expected.emplace_back(time, static_cast<float>(i));
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    EXPECT_EQ(queue.totalDelay(), expected.back().first);
    EXPECT_EQ(drain(queue), expected);
}

TEST(EventQueue, AdvanceMovesNowTowardTheFrontRecord) {
    Vst::EventQueue queue;
    queue.push(1, 100, 1.0f, 0.0f, 0.0f);
    queue.push(1, 120, 2.0f, 0.0f, 0.0f);
    queue.advance(64);
    EXPECT_EQ(queue.front().delta, 36);
    EXPECT_EQ(queue.totalDelay(), 56);
    queue.push(1, 10, 3.0f, 0.0f, 0.0f);  // before both
    queue.push(1, 56, 4.0f, 0.0f, 0.0f);  // ties with the newest: after it
    const auto out = drain(queue);
    const std::vector<std::pair<int, float>> expected = {{10, 3.0f}, {36, 1.0f}, {56, 2.0f}, {56, 4.0f}};
    EXPECT_EQ(out, expected);
}

TEST(EventQueue, NegativeTimeCountsAsNow) {
    Vst::EventQueue queue;
    queue.push(1, 20, 1.0f, 0.0f, 0.0f);
    queue.push(1, -5, 2.0f, 0.0f, 0.0f);
    EXPECT_EQ(queue.front().a, 2.0f);
    EXPECT_EQ(queue.front().delta, 0);
}

TEST(EventQueue, PushesBeyond1024AreLost) {
    Vst::EventQueue queue;
    for (int i = 0; i < 1030; ++i) queue.push(1, i, static_cast<float>(i), 0.0f, 0.0f);
    EXPECT_EQ(queue.size(), 1024);
    EXPECT_EQ(queue.totalDelay(), 1023);
    queue.push(1, 0, -1.0f, 0.0f, 0.0f);  // an early one is lost as well
    EXPECT_EQ(queue.front().a, 0.0f);
    const auto out = drain(queue);
    EXPECT_EQ(out.back().second, 1023.0f);
    queue.push(1, 3, 9.0f, 0.0f, 0.0f);
    EXPECT_EQ(queue.size(), 1);
    queue.clear();
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(queue.totalDelay(), 0);
}

TEST(ControlQueue, KeepsPushOrderAndLosesPushesBeyond1024) {
    Vst::Queue queue;
    for (int i = 0; i < 1030; ++i) queue.push(6, static_cast<float>(i), 0.5f, 0.0f);
    EXPECT_EQ(queue.size(), 1024);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_FALSE(queue.isEmpty());
        EXPECT_EQ(queue.front().a, static_cast<float>(i));
        queue.pop();
    }
    EXPECT_TRUE(queue.isEmpty());
    queue.pop();  // popping an empty ring changes nothing
    EXPECT_EQ(queue.size(), 0);
    queue.push(5, 1.0f, 0.0f, 0.0f);
    queue.clear();
    EXPECT_TRUE(queue.isEmpty());
}

}  // namespace
