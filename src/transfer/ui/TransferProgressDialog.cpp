#include "transfer/ui/TransferProgressDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdio>
#include <mutex>
#include <optional>

#include "common/RateMeter.h"

namespace quillon {

// One lane's row: status line, percentage (red) and bar, and the lane's speed. The lane thread
// writes the pending values; the dialog's repaint timer copies them into the widgets.
class LanePanel : public QFrame, public LaneView {
 public:
  explicit LanePanel(int lane, QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("lane%1").arg(lane));
    setFrameShape(QFrame::StyledPanel);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setMinimumWidth(360);
    speed_ = new QLabel(this);
    speed_->setObjectName(QStringLiteral("speed"));
    speed_->setMinimumWidth(70);
    speed_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent_ = new QLabel(this);
    percent_->setObjectName(QStringLiteral("percent"));
    percent_->setMinimumWidth(40);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent_->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("bar"));
    bar_->setTextVisible(false);
    auto* top = new QHBoxLayout;
    top->addWidget(status_, 1);
    top->addWidget(speed_);
    top->addWidget(percent_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(bar_);
  }

  // Bytes of the lane's current file: done and in all (from its status line).
  uint64_t Done() const { return done_; }
  uint64_t Size() const { return size_; }
  std::optional<double> Speed() const { return rate_.BytesPerSecond(); }

  void SetStatus(std::string_view text) override {
    std::lock_guard lock(mutex_);
    pending_.status = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    dirty_ = true;
  }
  void SetPercent(std::string_view text) override {
    std::lock_guard lock(mutex_);
    pending_.percent = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    dirty_ = true;
  }
  void SetRange(int32_t low, int32_t high) override {
    std::lock_guard lock(mutex_);
    pending_.low = low;
    pending_.high = high;
    dirty_ = true;
  }
  void SetPosition(int32_t position) override {
    std::lock_guard lock(mutex_);
    pending_.position = position;
    dirty_ = true;
  }

  void Repaint() {
    Values values;
    {
      std::lock_guard lock(mutex_);
      if (!dirty_) return;
      values = pending_;
      dirty_ = false;
    }
    status_->setText(values.status);
    percent_->setText(values.percent);
    bar_->setRange(values.low, values.high);
    bar_->setValue(values.position);
    Measure(values.status);
  }

 private:
  struct Values {
    QString status, percent;
    int32_t low = 0, high = 100, position = 0;
  };
  // The status line reads "(%d of %d bytes): %s"; its counts feed the lane's speed.
  void Measure(const QString& status) {
    unsigned long long done = 0, size = 0;
    const QByteArray text = status.toUtf8();
    if (std::sscanf(text.constData(), "(%llu of %llu bytes)", &done, &size) != 2) return;
    if (done < done_ || size != size_) {
      // Another file: its bytes count on from what the lane moved so far, the end of the last
      // file (not seen between two repaints) included.
      base_ = moved_ + (size_ > done_ ? size_ - done_ : 0);
    }
    moved_ = base_ + done;
    done_ = done;
    size_ = size;
    rate_.Add(moved_, RateMeter::Clock::now());
    if (auto speed = rate_.BytesPerSecond())
      speed_->setText(QString::fromStdString(SpeedText(*speed)));
  }

  std::mutex mutex_;
  Values pending_;
  bool dirty_ = false;
  QLabel* status_;
  QLabel* speed_;
  QLabel* percent_;
  QProgressBar* bar_;
  RateMeter rate_;
  uint64_t done_ = 0, size_ = 0;
  uint64_t moved_ = 0, base_ = 0;  // bytes the lane moved in this run, and before this file
};

TransferProgressDialog::TransferProgressDialog(CFTPMgr& manager, bool minimize, QWidget* parent)
    : QDialog(parent), manager_(manager), minimize_(minimize) {
  setObjectName(QStringLiteral("transferProgress"));
  setWindowFlag(Qt::WindowCloseButtonHint, false);

  animation_ = new QProgressBar(this);  // a busy bar stands in for the animation clip
  animation_->setObjectName(QStringLiteral("animation"));
  animation_->setRange(0, 0);
  animation_->setTextVisible(false);
  animation_->setMaximumHeight(8);

  total_ = new QLabel(this);
  total_->setObjectName(QStringLiteral("total"));
  succeeded_ = new QLabel(this);
  succeeded_->setObjectName(QStringLiteral("succeeded"));
  succeeded_->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255)"));
  failed_ = new QLabel(this);
  failed_->setObjectName(QStringLiteral("failed"));
  failed_->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
  indicator_ = new QLabel(this);
  indicator_->setObjectName(QStringLiteral("cryptIndicator"));
  indicator_->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(24, 24));
  indicator_->setFrameShape(QFrame::Box);
  indicator_->setToolTip(QStringLiteral("Encrypted transfer"));
  indicator_->hide();

  auto* counters = new QHBoxLayout;
  counters->addWidget(indicator_);
  for (QLabel* label : {total_, succeeded_, failed_}) counters->addWidget(label);
  counters->addStretch();

  lanes_ = new QVBoxLayout;
  elapsed_ = new QLabel(QStringLiteral("00:00:00"), this);
  elapsed_->setObjectName(QStringLiteral("elapsed"));
  elapsed_->setToolTip(QStringLiteral("Time since the start"));
  remaining_ = new QLabel(QStringLiteral("Time left: --:--:--"), this);
  remaining_->setObjectName(QStringLiteral("remaining"));
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancelButton"));
  cancel_->setFixedSize(75, 25);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    manager_.Cancel();
    QApplication::restoreOverrideCursor();
  });
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(elapsed_);
  bottom->addSpacing(12);
  bottom->addWidget(remaining_);
  bottom->addStretch();
  bottom->addWidget(cancel_);
  bottom->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(animation_);
  layout->addLayout(counters);
  layout->addLayout(lanes_);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  clock_.setInterval(1000);
  connect(&clock_, &QTimer::timeout, this, [this] {
    manager_.OnTimerTick();
    ShowTimeLeft();
  });
  repaint_.setInterval(100);
  connect(&repaint_, &QTimer::timeout, this, &TransferProgressDialog::RepaintPanels);
}

TransferProgressDialog::~TransferProgressDialog() { manager_.SetProgress(nullptr); }

void TransferProgressDialog::Run() {
  manager_.SetProgress(this);
  if (!manager_.StartRun(*this)) return;
  if (ended_) return;  // every lane finished while starting
  clock_.start();
  repaint_.start();
  // exec() shows the dialog modal; a window already shown would stay modeless.
  if (minimize_) setWindowState(windowState() | Qt::WindowMinimized);
  exec();
}

void TransferProgressDialog::PostTransferDone(int lane, TransferResult code) {
  QMetaObject::invokeMethod(
      this, [this, lane, code] { manager_.OnTransferDone(lane, code); }, Qt::QueuedConnection);
}

void TransferProgressDialog::SetTitle(std::string_view title) {
  setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

void TransferProgressDialog::SetCounts(int32_t total, int32_t succeeded, int32_t failed) {
  total_->setText(QStringLiteral("Total: %1").arg(total));
  succeeded_->setText(QStringLiteral("OK: %1").arg(succeeded));
  failed_->setText(QStringLiteral("Failed: %1").arg(failed));
}

LaneView* TransferProgressDialog::AddLane(int lane) {
  if (lane < 0 || lane >= CFTPMgr::kMaxLanes) return nullptr;
  auto* panel = new LanePanel(lane, this);
  lanes_->addWidget(panel);
  panels_[static_cast<size_t>(lane)] = panel;
  return panel;
}

void TransferProgressDialog::RemoveLane(int lane) {
  if (lane < 0 || lane >= CFTPMgr::kMaxLanes) return;
  LanePanel*& panel = panels_[static_cast<size_t>(lane)];
  delete panel;  // the lane has ended: nothing writes to the panel any more
  panel = nullptr;
}

void TransferProgressDialog::ShowCryptIndicator(bool shown) { indicator_->setVisible(shown); }

void TransferProgressDialog::SetElapsed(std::string_view text) {
  elapsed_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TransferProgressDialog::RunEnded() {
  ended_ = true;
  clock_.stop();
  repaint_.stop();
  if (isVisible()) accept();
}

void TransferProgressDialog::closeEvent(QCloseEvent* event) { event->ignore(); }

void TransferProgressDialog::ShowTimeLeft() {
  // What is left: the queued files and the rest of each lane's file, at the lanes' pace.
  uint64_t bytes = 0;
  for (const auto& job : manager_.Queue()) bytes += job->size;
  double speed = 0;
  bool measured = false;
  for (LanePanel* panel : panels_) {
    if (!panel) continue;
    if (panel->Size() > panel->Done()) bytes += panel->Size() - panel->Done();
    if (auto laneSpeed = panel->Speed()) {
      speed += *laneSpeed;
      measured = true;
    }
  }
  remaining_->setText(QString::fromStdString(
      "Time left: " + TimeLeftText(bytes, measured ? std::optional<double>(speed) : std::nullopt)));
}

void TransferProgressDialog::RepaintPanels() {
  for (LanePanel* panel : panels_)
    if (panel) panel->Repaint();
}

}  // namespace quillon
