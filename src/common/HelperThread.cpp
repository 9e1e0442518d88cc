#include "common/HelperThread.h"

namespace quillon {

HelperThread::~HelperThread() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void HelperThread::Start(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    task_ = std::move(task);
    busy_ = true;
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Main(); });
  changed_.notify_all();
}

void HelperThread::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void HelperThread::Main() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || quit_; });
    if (busy_) {
      std::function<void()> task = std::move(task_);
      lock.unlock();
      task();
      lock.lock();
      busy_ = false;
      changed_.notify_all();
      continue;
    }
    return;  // quit, nothing left to do
  }
}

}  // namespace quillon
