#pragma once

#include <cstdint>

namespace quillon {

struct Rect {
  int x, y, width, height;
  bool operator==(const Rect&) const = default;
};

// Where the main window's controls go for a client area of `width` x `height` pixels. Each
// side's browser panel covers its toolbar, its combo and its list.
struct MainWindowLayout {
  Rect localToolbar, localCombo, localList, localPanel;
  Rect connect;            // "Connect", "Cancel" (while connecting) and "Disconnect" share it
  Rect connectionManager;  // below it
  Rect encrypt, upload, download, decrypt;
  Rect remoteToolbar, remoteCombo, remoteList, remotePanel;
  Rect schedule, exit, logText, options, indicator, activityLog;

  static MainWindowLayout For(int width, int height);
};

// The smallest client area the window opens with: "WinW"/"WinH" below it are raised to it.
inline constexpr int kMinClientWidth = 640;
inline constexpr int kMinClientHeight = 406;

// Repaints after resizing only once the size moved 21 pixels or more in either direction from
// the size of the last repaint.
class RepaintThreshold {
 public:
  // True when the window should be repainted whole; the new size is then remembered.
  bool Resized(int width, int height);

 private:
  int width_ = 0, height_ = 0;
};

}  // namespace quillon
