#include "app/MainWindowLayout.h"

#include <cstdlib>

namespace quillon {

MainWindowLayout MainWindowLayout::For(int W, int H) {
  const int P = (W - 96) / 2, Q = H - 82, M = Q / 2, X = P + 12;
  MainWindowLayout l;
  l.localToolbar = {2, 8, 99, 27};
  l.localCombo = {111, 8, P - 109, 22};
  l.localList = {2, 34, P, Q};
  l.localPanel = {2, 8, P, Q + 26};
  l.connect = {X, 34, 72, 33};
  l.connectionManager = {X, 70, 72, 24};
  l.encrypt = {X, M - 17, 72, 16};
  l.upload = {X, M, 72, 33};
  l.download = {X, M + 34, 72, 33};
  l.decrypt = {X, M + 68, 72, 16};
  l.remoteToolbar = {P + 94, 8, 99, 27};
  l.remoteCombo = {P + 203, 8, P - 109, 22};
  l.remoteList = {P + 94, 34, P, Q};
  l.remotePanel = {P + 94, 8, P, Q + 26};
  l.schedule = {X, H - 138, 72, 33};
  l.exit = {X, H - 103, 72, 33};
  l.logText = {P + 36, H - 68, 23, 20};
  l.options = {P + 60, H - 68, 23, 20};
  l.indicator = {P + 32, 1, 32, 32};
  l.activityLog = {2, H - 46, W - 4, 44};
  return l;
}

bool RepaintThreshold::Resized(int width, int height) {
  if (std::abs(width - width_) < 21 && std::abs(height - height_) < 21) return false;
  width_ = width;
  height_ = height;
  return true;
}

}  // namespace quillon
