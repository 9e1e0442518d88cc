#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quillon {

// A second pair of hands for one owner thread: Start hands over a task, Wait returns once it
// is done. The thread starts with the first task and ends with the object.
class HelperThread {
 public:
  HelperThread() = default;
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // At most one task at a time: Wait before the next Start.
  void Start(std::function<void()> task);
  void Wait();

 private:
  void Main();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace quillon
