#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace quillon {

// How fast bytes move, over the last few seconds: fed the running count of bytes moved, it
// answers bytes per second once it has seen enough time to say. Not thread-safe.
class RateMeter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RateMeter(std::chrono::milliseconds window = std::chrono::seconds(3))
      : window_(window) {}

  // `total` bytes moved so far (never less than before, unless Reset).
  void Add(uint64_t total, Clock::time_point now);
  void Reset() { samples_.clear(); }

  // Bytes per second over the window; nothing until half a second has been seen.
  std::optional<double> BytesPerSecond() const;

 private:
  std::chrono::milliseconds window_;
  std::deque<std::pair<Clock::time_point, uint64_t>> samples_;
};

// "1.5 MB/s", "820 KB/s" (the units of HumanSizeText).
std::string SpeedText(double bytesPerSecond);

// The time `bytes` take at `bytesPerSecond`, "%02d:%02d:%02d"; "--:--:--" when not known.
std::string TimeLeftText(uint64_t bytes, std::optional<double> bytesPerSecond);

}  // namespace quillon
