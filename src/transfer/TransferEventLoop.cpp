#include "transfer/TransferEventLoop.h"

namespace quillon {

void TransferEventLoop::PostTransferDone(int lane, TransferResult code) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back({Event::Done, lane, code});
  }
  arrived_.notify_one();
}

void TransferEventLoop::PostCancel() {
  {
    std::lock_guard lock(mutex_);
    events_.push_back({Event::Cancel, 0, TransferOk});
  }
  arrived_.notify_one();
}

std::optional<TransferEventLoop::Event> TransferEventLoop::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, timeout, [this] { return !events_.empty(); })) return std::nullopt;
  Event event = events_.front();
  events_.pop_front();
  return event;
}

}  // namespace quillon
