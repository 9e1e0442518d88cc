#include "common/HelperThread.h"

#include <utility>

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
  std::exception_ptr thrown;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    thrown = std::exchange(thrown_, nullptr);
  }
  if (thrown) std::rethrow_exception(thrown);
}

void HelperThread::Main() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || quit_; });
    if (busy_) {
      std::function<void()> task = std::move(task_);
      lock.unlock();
      std::exception_ptr thrown;
      try {
        task();
      } catch (...) {
        thrown = std::current_exception();
      }
      lock.lock();
      thrown_ = thrown;
      busy_ = false;
      changed_.notify_all();
      continue;
    }
    return;  // quit, nothing left to do
  }
}

}  // namespace quillon
