#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>

#include "transfer/CFTPMgr.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace quillon {

class LanePanel;

// The progress window of a windowed run: the counters, one panel per lane (with its speed), the
// elapsed time, the time left and Cancel. It is the manager's owner-thread driver: lanes post their
// results here from their threads and the dialog hands them to the manager on the GUI thread, in
// arrival order. Only Cancel stops a run; Escape and the close box do nothing. Lane panels take
// their values from the lane threads at any rate and repaint at most every 100 ms.
class TransferProgressDialog : public QDialog, public TransferProgress, public TransferPoster {
  Q_OBJECT

 public:
  TransferProgressDialog(CFTPMgr& manager, bool minimize, QWidget* parent = nullptr);
  ~TransferProgressDialog() override;

  // Runs the manager's queue to its end; returns at once when the run could not start.
  void Run();

  // TransferPoster, from lane threads.
  void PostTransferDone(int lane, TransferResult code) override;

  // TransferProgress, on the GUI thread.
  void SetTitle(std::string_view title) override;
  void SetCounts(int32_t total, int32_t succeeded, int32_t failed) override;
  LaneView* AddLane(int lane) override;
  void RemoveLane(int lane) override;
  void ShowCryptIndicator(bool shown) override;
  void SetElapsed(std::string_view text) override;
  void RunEnded() override;

 public slots:
  void reject() override {}  // Escape does nothing

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void RepaintPanels();
  void ShowTimeLeft();

  CFTPMgr& manager_;
  bool minimize_;
  bool ended_ = false;
  QLabel* total_;
  QLabel* succeeded_;
  QLabel* failed_;
  QLabel* elapsed_;
  QLabel* remaining_;
  QLabel* indicator_;
  QProgressBar* animation_;
  QPushButton* cancel_;
  QVBoxLayout* lanes_;
  std::array<LanePanel*, CFTPMgr::kMaxLanes> panels_{};
  QTimer clock_;
  QTimer repaint_;
};

}  // namespace quillon
