#include "common/RateMeter.h"

#include <cmath>
#include <cstdio>

#include "common/FileRows.h"

namespace quillon {

void RateMeter::Add(uint64_t total, Clock::time_point now) {
  samples_.emplace_back(now, total);
  // The oldest sample kept is the last one at least a window old, so the span stays whole.
  while (samples_.size() > 2 && now - samples_[1].first >= window_) samples_.pop_front();
}

std::optional<double> RateMeter::BytesPerSecond() const {
  if (samples_.size() < 2) return std::nullopt;
  const auto& [firstTime, firstBytes] = samples_.front();
  const auto& [lastTime, lastBytes] = samples_.back();
  const double seconds = std::chrono::duration<double>(lastTime - firstTime).count();
  if (seconds < 0.5 || lastBytes < firstBytes) return std::nullopt;
  return static_cast<double>(lastBytes - firstBytes) / seconds;
}

std::string SpeedText(double bytesPerSecond) {
  return HumanSizeText(static_cast<uint64_t>(std::llround(std::max(0.0, bytesPerSecond)))) + "/s";
}

std::string TimeLeftText(uint64_t bytes, std::optional<double> bytesPerSecond) {
  if (!bytesPerSecond || *bytesPerSecond < 1.0) return "--:--:--";
  const double seconds = std::ceil(static_cast<double>(bytes) / *bytesPerSecond);
  if (seconds >= 100.0 * 3600) return "--:--:--";
  const auto whole = static_cast<long>(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

}  // namespace quillon
