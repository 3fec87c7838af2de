#include <gtest/gtest.h>

#include <thread>

#include "camera/error_queue.h"

namespace orvix {
namespace {

TEST(ErrorQueue, PopsNewestFirstThenZero) {
    ErrorQueue queue;
    EXPECT_EQ(queue.pop(), 0);
    EXPECT_EQ(queue.push(9), 1);
    EXPECT_EQ(queue.push(7), 1);
    EXPECT_EQ(queue.pop(), 7);
    EXPECT_EQ(queue.pop(), 9);
    EXPECT_EQ(queue.pop(), 0);
}

TEST(ErrorQueue, KeepsOnlyTheTwentyNewestCodes) {
    ErrorQueue queue;
    for (int code = 1; code <= 21; ++code) queue.push(code);
    for (int expected = 21; expected >= 2; --expected) EXPECT_EQ(queue.pop(), expected);
    EXPECT_EQ(queue.pop(), 0) << "the first code pushed is lost";
}

TEST(ErrorQueue, PopRefillsFromTheOldEndWithZeros) {
    ErrorQueue queue;
    for (int i = 0; i < ErrorQueue::kCapacity; ++i) queue.push(5);
    queue.pop();
    const auto entries = queue.snapshot();
    EXPECT_EQ(entries[ErrorQueue::kCapacity - 1], 0);
    EXPECT_EQ(entries[ErrorQueue::kCapacity - 2], 5);
}

TEST(ErrorQueue, WithoutAWindowNothingIsPostedAndPushStillSucceeds) {
    ErrorQueue queue;
    EXPECT_EQ(queue.notifyWindow(), 0u);
    EXPECT_EQ(queue.push(8), 1);
    EXPECT_EQ(queue.pop(), 8);
}

TEST(ErrorQueue, ConcurrentPushAndPopNeverInventCodes) {
    ErrorQueue queue;
    std::thread producer([&queue] {
        for (int i = 0; i < 20000; ++i) queue.push(13);
    });
    int popped = 0;
    for (int i = 0; i < 20000; ++i) {
        const int code = queue.pop();
        ASSERT_TRUE(code == 0 || code == 13);
        popped += code == 13;
    }
    producer.join();
    while (queue.pop() == 13) ++popped;
    EXPECT_GT(popped, 0);
}

} // namespace
} // namespace orvix
