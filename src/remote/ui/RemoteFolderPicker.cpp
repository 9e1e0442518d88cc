#include "remote/ui/RemoteFolderPicker.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "remote/ui/CFTPList.h"
#include "remote/ui/RemoteBrowserPanel.h"

namespace quillon {

RemoteFolderPicker::RemoteFolderPicker(FtpConnector& connector, MessagePresenter& messages,
                                       QWidget* parent)
    : QDialog(parent),
      connector_(connector),
      messages_(messages),
      keepAlive_(RemoteBrowserPanel::kKeepAliveInterval) {
  setWindowTitle("Select remote folder");
  resize(560, 440);

  promptLabel_ = new QLabel(this);
  promptLabel_->setObjectName("promptLabel");
  QFont bold("Arial");
  bold.setPointSize(10);
  bold.setBold(true);
  promptLabel_->setFont(bold);
  QPalette blue = promptLabel_->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  promptLabel_->setPalette(blue);
  promptLabel_->setWordWrap(true);

  wizardBack_ = new QPushButton("<< Back", this);
  wizardBack_->setObjectName("wizardBackButton");
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancelButton");
  ok_ = new QPushButton("Next >>", this);
  ok_->setObjectName("okButton");
  ok_->setDefault(true);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(wizardBack_);
  buttons->addWidget(cancel_);
  buttons->addWidget(ok_);
  buttons->addStretch(1);
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(3, 5, 3, 10);
  layout_->addWidget(promptLabel_);
  layout_->addLayout(buttons);
}

RemoteFolderPicker::~RemoteFolderPicker() = default;

int RemoteFolderPicker::exec() {
  delete panel_;
  panel_ = new RemoteBrowserPanel(connector_, messages_, profile_, this);
  panel_->setObjectName("browserPanel");
  panel_->SetKeepAliveInterval(keepAlive_);
  panel_->List().SetTextColour(QColor(170, 0, 0));
  // The browser takes the upper three quarters, the prompt and the buttons the rest.
  layout_->insertWidget(0, panel_, 3);
  layout_->setStretch(1, 1);
  promptLabel_->setText(QStringLiteral("Connecting..."));
  ok_->setEnabled(false);
  // OK takes the folder shown: it waits while the panel is on its way to one.
  connect(panel_, &RemoteBrowserPanel::busyChanged, this,
          [this] { ok_->setEnabled(panel_ && panel_->IsConnected() && !panel_->IsBusy()); });
  connectFailed_ = false;
  panel_->ConnectAndShow([this](bool ok) { Connected(ok); });

  const int result = QDialog::exec();
  if (connectFailed_) {
    delete panel_;
    panel_ = nullptr;
    if (warningLevel_ < 3)
      messages_.Show("Cannot connect to Harbell.\t", MessageButtons::Ok, MessageIcon::Warning);
  }
  return result;
}

void RemoteFolderPicker::Connected(bool ok) {
  if (!ok) {
    connectFailed_ = true;
    done(QDialog::Rejected);
    return;
  }
  promptLabel_->setText(QString::fromStdString(prompt_));
  if (!chosenFolder_.empty()) panel_->Navigate(chosenFolder_);
  wizardBack_->hide();
  ok_->setText("OK");
  ok_->setEnabled(!panel_->IsBusy());
}

void RemoteFolderPicker::done(int result) {
  if (panel_) {
    if (result == QDialog::Accepted) chosenFolder_ = panel_->CurrentFolder();
    // The connection ends with the dialog, not with the object that the caller may keep.
    panel_->Disconnect();
  }
  QDialog::done(result);
}

}  // namespace quillon
