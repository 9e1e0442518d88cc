#include "common/WriteBehindQueue.h"

#include <utility>

namespace quillon {

WriteBehindQueue::WriteBehindQueue(Consumer consume, size_t depth, uint64_t inlineBytes)
    : consume_(std::move(consume)),
      depth_(depth < 1 ? 1 : depth),
      half_(depth_ / 2 < 1 ? 1 : depth_ / 2),
      inlineLeft_(inlineBytes) {}

WriteBehindQueue::~WriteBehindQueue() {
  {
    std::lock_guard lock(mutex_);
    queued_.clear();
  }
  Stop();
}

bool WriteBehindQueue::Push(std::vector<uint8_t>& piece) {
  if (piece.empty()) {
    std::lock_guard lock(mutex_);
    RethrowFromHelper();
    return !failed_;
  }
  if (!thread_.joinable() && !stop_) {  // no helper yet: this thread alone uses the state
    if (failed_) return false;
    if (piece.size() <= inlineLeft_) {
      inlineLeft_ -= piece.size();
      failed_ = !consume_(piece.data(), piece.size());
      piece.clear();
      return !failed_;
    }
    inlineLeft_ = 0;
    thread_ = std::thread([this] { Consume(); });
  }
  std::vector<uint8_t> next;
  {
    std::unique_lock lock(mutex_);
    if (queued_.size() >= depth_) {
      callerWaits_ = true;
      drained_.wait(lock, [this] { return failed_ || queued_.size() + half_ <= depth_; });
      callerWaits_ = false;
    }
    RethrowFromHelper();
    if (failed_ || stop_) return false;
    queued_.push_back(std::move(piece));
    if (helperWaits_ && queued_.size() >= half_) filled_.notify_one();
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  next.clear();
  piece = std::move(next);
  return true;
}

bool WriteBehindQueue::Finish() {
  {
    std::unique_lock lock(mutex_);
    finishing_ = true;
    if (helperWaits_) filled_.notify_one();
    callerWaits_ = true;
    drained_.wait(lock, [this] { return failed_ || (queued_.empty() && !busy_); });
    callerWaits_ = false;
  }
  Stop();
  std::lock_guard lock(mutex_);
  RethrowFromHelper();
  return !failed_;
}

void WriteBehindQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  filled_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void WriteBehindQueue::Consume() {
  for (;;) {
    std::vector<uint8_t> piece;
    {
      std::unique_lock lock(mutex_);
      auto ready = [this] {
        return stop_ || queued_.size() >= half_ || (finishing_ && !queued_.empty());
      };
      if (!ready()) {
        helperWaits_ = true;
        filled_.wait(lock, ready);
        helperWaits_ = false;
      }
      if (queued_.empty() || failed_) return;
      piece = std::move(queued_.front());
      queued_.pop_front();
      busy_ = true;
    }
    bool ok = false;
    std::exception_ptr thrown;
    try {
      ok = consume_(piece.data(), piece.size());
    } catch (...) {
      thrown = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
      if (thrown) thrown_ = thrown;
      if (!ok) {
        failed_ = true;
        queued_.clear();
      }
      spare_.push_back(std::move(piece));
      if (callerWaits_ &&
          (!ok || (finishing_ ? queued_.empty() : queued_.size() + half_ <= depth_)))
        drained_.notify_one();
    }
    if (!ok) return;
  }
}

void WriteBehindQueue::RethrowFromHelper() {
  if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
}

}  // namespace quillon
