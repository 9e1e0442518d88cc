#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "transfer/TransferEvents.h"

namespace quillon {

// The owner thread's queue of a run without a window: lanes post their results from their
// threads; the owner takes them one by one in the order they arrived. A cancel request (from
// any thread: a signal watcher, a test) travels the same queue.
class TransferEventLoop : public TransferPoster {
 public:
  struct Event {
    enum Kind { Done, Cancel } kind = Done;
    int lane = 0;
    TransferResult code = TransferOk;
  };

  void PostTransferDone(int lane, TransferResult code) override;
  void PostCancel();

  // The next event, waiting at most `timeout`; nullopt when none came.
  std::optional<Event> Wait(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Event> events_;
};

}  // namespace quillon
