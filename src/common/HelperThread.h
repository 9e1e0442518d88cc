#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace quillon {

// A second pair of hands for one owner thread: Start hands over a task, Wait returns once it
// is done. The thread starts with the first task and ends with the object. A task that throws
// does not end the process: the exception is kept and Wait throws it on the owner's thread, as
// if the owner had run the task itself (a lane's guard then reports it like its own).
class HelperThread {
 public:
  HelperThread() = default;
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // At most one task at a time: Wait before the next Start.
  void Start(std::function<void()> task);
  // Rethrows what the task threw, once; the helper stays usable.
  void Wait();

 private:
  void Main();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  std::exception_ptr thrown_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace quillon
