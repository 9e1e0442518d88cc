#pragma once

#include <cstdint>
#include <string_view>

#include "transfer/TransferJob.h"

namespace quillon {

// How a lane thread tells the manager's owner thread that it finished one file. The GUI posts
// a queued call to the progress dialog; a run without a window pushes onto a TransferEventLoop.
// Called on the lane's thread; must not block on the owner thread.
class TransferPoster {
 public:
  virtual ~TransferPoster() = default;
  virtual void PostTransferDone(int lane, TransferResult code) = 0;
};

// The row of one lane in a progress window: a status line, a percentage and a bar. Called on
// the lane's thread once per 4096-byte chunk; a window repaints at its own pace.
class LaneView {
 public:
  virtual ~LaneView() = default;
  virtual void SetStatus(std::string_view text) = 0;
  virtual void SetPercent(std::string_view text) = 0;
  virtual void SetRange(int32_t low, int32_t high) = 0;
  virtual void SetPosition(int32_t position) = 0;
};

}  // namespace quillon
