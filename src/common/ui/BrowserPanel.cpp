#include "common/ui/BrowserPanel.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

QToolButton* MakeToolButton(QWidget* parent, const char* name, const char* tip,
                            QStyle::StandardPixmap image) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(tip);
  button->setIcon(parent->style()->standardIcon(image));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

BrowserPanel::BrowserPanel(QWidget* parent) : QWidget(parent) {
  back_ = MakeToolButton(this, "backButton", "Back", QStyle::SP_ArrowBack);
  forward_ = MakeToolButton(this, "forwardButton", "Forward", QStyle::SP_ArrowForward);
  up_ = MakeToolButton(this, "upButton", "Up", QStyle::SP_FileDialogToParent);
  connect(back_, &QToolButton::clicked, this, &BrowserPanel::Back);
  connect(forward_, &QToolButton::clicked, this, &BrowserPanel::Forward);
  connect(up_, &QToolButton::clicked, this, &BrowserPanel::Up);

  top_ = new QHBoxLayout;
  top_->setSpacing(2);
  top_->addWidget(back_);
  top_->addWidget(forward_);
  top_->addWidget(up_);
  top_->addSpacing(8);
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(4);
  layout_->addLayout(top_);
}

void BrowserPanel::Assemble(QWidget* combo, QWidget* list, QLayout* bottom) {
  top_->addWidget(combo, 1);
  layout_->addWidget(list, 1);
  if (bottom) layout_->addLayout(bottom);
  UpdateToolbar();
}

void BrowserPanel::Back() {
  if (!CanNavigate()) return;
  if (auto folder = history_.Back()) ShowFromHistory(*folder);
  UpdateToolbar();
}

void BrowserPanel::Forward() {
  if (!CanNavigate()) return;
  if (auto folder = history_.Forward()) ShowFromHistory(*folder);
  UpdateToolbar();
}

void BrowserPanel::Up() {
  if (!CanNavigate() || !CanGoUp()) return;
  ShowParent();
}

void BrowserPanel::Visited(const std::string& folder) {
  history_.Push(folder);
  UpdateToolbar();
}

void BrowserPanel::ResetHistory(const std::string& folder) {
  history_.Clear();
  history_.Push(folder);
  UpdateToolbar();
  emit historyReset();
}

void BrowserPanel::ClearHistory() {
  history_.Clear();
  UpdateToolbar();
}

void BrowserPanel::UpdateToolbar() {
  const bool can = CanNavigate();
  back_->setEnabled(can && history_.CanGoBack());
  forward_->setEnabled(can && history_.CanGoForward());
  up_->setEnabled(can && CanGoUp());
  UpdateSideControls();
}

}  // namespace quillon
