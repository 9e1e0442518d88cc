#pragma once

#include <QTimer>
#include <chrono>
#include <cstdio>

namespace quillon::test {

// Measures how long the GUI thread's event loop went without turning: a short timer ticks,
// and the largest gap between two ticks, beyond the timer's own interval, is the longest stall.
// Time the thread spent waiting for a processor (a loaded machine; read from the kernel's
// schedstat of the thread) is not counted: a stall is time the thread spent in our code or
// blocked in a call, not time the system kept it from running. Construct it on the GUI thread.
class StallMeter {
 public:
  explicit StallMeter(std::chrono::milliseconds interval = std::chrono::milliseconds(10))
      : interval_(interval) {
    timer_.setInterval(interval);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    Restart();
    timer_.start();
  }

  // Forgets what was measured so far.
  void Restart() {
    last_ = std::chrono::steady_clock::now();
    lastWaiting_ = Waiting();
    longest_ = {};
    ticks_ = 0;
  }

  std::chrono::milliseconds Longest() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest_);
  }
  int Ticks() const { return ticks_; }

 private:
  // Nanoseconds this thread spent runnable but waiting for a processor.
  static std::chrono::nanoseconds Waiting() {
    unsigned long long running = 0, waiting = 0, slices = 0;
    if (std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r")) {
      if (std::fscanf(file, "%llu %llu %llu", &running, &waiting, &slices) != 3) waiting = 0;
      std::fclose(file);
    }
    return std::chrono::nanoseconds(waiting);
  }

  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    const auto waiting = Waiting();
    const auto gap = (now - last_) - (waiting - lastWaiting_) - interval_;
    if (gap > longest_) longest_ = gap;
    last_ = now;
    lastWaiting_ = waiting;
    ++ticks_;
  }

  const std::chrono::milliseconds interval_;
  QTimer timer_;
  std::chrono::steady_clock::time_point last_;
  std::chrono::nanoseconds lastWaiting_{};
  std::chrono::steady_clock::duration longest_{};
  int ticks_ = 0;
};

}  // namespace quillon::test
