#pragma once

#include <QColor>
#include <cstdint>

namespace quillon {

// A colour value of the activity log and the panels (red in the low byte, green in the middle,
// blue in the high byte) as a QColor; `fallback` for -1 and other negative values, which name
// no colour.
inline QColor ToQColor(int32_t value, const QColor& fallback = QColor()) {
  if (value < 0) return fallback;
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace quillon
