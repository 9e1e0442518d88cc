#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/WriteBehindQueue.h"

namespace quillon {
namespace {

std::vector<uint8_t> Piece(const std::string& text) { return {text.begin(), text.end()}; }

// The consumer sees every piece in order, on the caller's thread for the first bytes and on
// the helper after them; Push leaves the caller an empty piece to fill.
TEST(WriteBehindQueueTest, ConsumesEveryPieceInOrderInlineThenBehind) {
  std::string consumed;
  std::vector<std::thread::id> threads;
  WriteBehindQueue queue(
      [&](const uint8_t* data, size_t size) {
        consumed.append(reinterpret_cast<const char*>(data), size);
        threads.push_back(std::this_thread::get_id());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a slow disk
        return true;
      },
      2, 7);
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    std::string text = "piece" + std::to_string(i) + ";";
    expected += text;
    std::vector<uint8_t> piece = Piece(text);
    ASSERT_TRUE(queue.Push(piece));
    EXPECT_TRUE(piece.empty());
  }
  ASSERT_TRUE(queue.Finish());
  EXPECT_EQ(consumed, expected);
  ASSERT_EQ(threads.size(), 20u);
  EXPECT_EQ(threads[0], std::this_thread::get_id());  // "piece0;" fits in the first 7 bytes
  EXPECT_NE(threads[1], std::this_thread::get_id());
  std::vector<uint8_t> late = Piece("late");
  EXPECT_FALSE(queue.Push(late));  // finished
}

TEST(WriteBehindQueueTest, AFailedConsumerStopsEverything) {
  for (uint64_t inlineBytes : {uint64_t{0}, uint64_t{1000}}) {
    int calls = 0;
    WriteBehindQueue queue([&](const uint8_t*, size_t) { return ++calls < 3; }, 4, inlineBytes);
    bool refused = false;
    for (int i = 0; i < 50 && !refused; ++i) {
      std::vector<uint8_t> piece = Piece("x");
      refused = !queue.Push(piece);
    }
    EXPECT_FALSE(queue.Finish()) << inlineBytes;
    EXPECT_EQ(calls, 3) << inlineBytes;  // nothing after the failure
  }
}

// A consumer that throws on the helper must not end the process: the caller gets the
// exception at its next call, as if it had consumed the piece itself, and nothing more is
// consumed.
TEST(WriteBehindQueueTest, AConsumerThatThrowsOnTheHelperReachesTheCaller) {
  std::atomic<int> calls = 0;
  WriteBehindQueue queue(
      [&](const uint8_t*, size_t) -> bool {
        if (++calls == 2) throw std::runtime_error("disk driver gave up");
        return true;
      },
      1, 0);
  bool thrown = false;
  for (int i = 0; i < 50 && !thrown; ++i) {
    std::vector<uint8_t> piece = Piece("x");
    try {
      static_cast<void>(queue.Push(piece));
    } catch (const std::runtime_error&) {
      thrown = true;
    }
  }
  if (!thrown) {
    try {
      static_cast<void>(queue.Finish());
    } catch (const std::runtime_error&) {
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_FALSE(queue.Finish());  // failed, and the exception was handed over once
  EXPECT_EQ(calls, 2);
}

TEST(WriteBehindQueueTest, DroppedQueueLeavesTheRestUnconsumed) {
  std::atomic<int> calls = 0;
  {
    WriteBehindQueue queue(
        [&](const uint8_t*, size_t) {
          ++calls;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          return true;
        },
        8, 0);
    for (int i = 0; i < 8; ++i) {
      std::vector<uint8_t> piece = Piece("x");
      ASSERT_TRUE(queue.Push(piece));
    }
  }  // waits only for the piece in hand
  EXPECT_LT(calls.load(), 8);
}

}  // namespace
}  // namespace quillon
