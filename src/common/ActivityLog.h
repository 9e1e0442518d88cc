#pragma once

#include <cstdint>
#include <string_view>

namespace quillon {

// Colour values of activity lines: red in the low byte, green in the middle, blue in the high
// byte. kNeutral lines take the list's normal text colour.
namespace colour {
inline constexpr int32_t kNeutral = -1;
inline constexpr int32_t kBlack = 0;
inline constexpr int32_t kRed = 255;
inline constexpr int32_t kDarkRed = 170;
inline constexpr int32_t kGreen = 0x008800;
inline constexpr int32_t kBlue = 0xFF0000;
}  // namespace colour

// Where activity lines go (the main window's log, a task's stderr, a test recorder).
// AddLine may be called from any thread and returns once the line is taken.
class ActivityLog {
 public:
  virtual ~ActivityLog() = default;
  virtual void AddLine(std::string_view text, int32_t colour) = 0;
};

// Drops every line; for runs that have no activity log.
class NullActivityLog : public ActivityLog {
 public:
  void AddLine(std::string_view, int32_t) override {}
};

}  // namespace quillon
