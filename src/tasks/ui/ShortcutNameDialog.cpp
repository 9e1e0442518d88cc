#include "tasks/ui/ShortcutNameDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/DialogButtons.h"

namespace quillon {
namespace {

QCheckBox* PlaceBox(const char* name, const char* caption, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(checked);
  return box;
}

}  // namespace

ShortcutNameDialog::ShortcutNameDialog(MessagePresenter& messages, QWidget* parent,
                                       std::string_view quickLaunchUnavailable)
    : QDialog(parent), messages_(messages) {
  setWindowTitle(QStringLiteral("Shortcut name"));
  setObjectName(QStringLiteral("shortcutName"));

  auto* about = new QLabel(
      QStringLiteral("A shortcut to the configured task allows you to execute the  task at any "
                     "time by clicking on the shortcut. "),
      this);
  about->setWordWrap(true);
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("name"));
  name_->setMaxLength(kMaxShortcutName);
  desktop_ = PlaceBox("desktop", "Desktop", true, this);
  quickLaunch_ = PlaceBox("quickLaunch", "Quick Launch Bar", true, this);
  startMenu_ = PlaceBox("startMenu", "Start Menu", false, this);
  if (!quickLaunchUnavailable.empty()) {
    quickLaunch_->setChecked(false);
    quickLaunch_->setEnabled(false);
    quickLaunch_->setToolTip(QString::fromUtf8(
        quickLaunchUnavailable.data(), static_cast<qsizetype>(quickLaunchUnavailable.size())));
  }

  QDialogButtonBox* buttons = MakeOkCancelButtons(this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(about);
  layout->addWidget(new QLabel(QStringLiteral("Name for the shortcut:"), this));
  layout->addWidget(name_);
  layout->addWidget(new QLabel(QStringLiteral("Where to place the shortcut:"), this));
  layout->addWidget(desktop_);
  layout->addWidget(quickLaunch_);
  layout->addWidget(startMenu_);
  layout->addWidget(buttons);
}

void ShortcutNameDialog::accept() {
  std::optional<std::string> name = TakeShortcutName(name_->text().toStdString(), messages_);
  if (!name) {
    name_->setFocus();
    return;
  }
  choice_.name = *name;
  choice_.places = (desktop_->isChecked() ? kShortcutDesktop : 0) |
                   (quickLaunch_->isChecked() ? kShortcutQuickLaunch : 0) |
                   (startMenu_->isChecked() ? kShortcutStartMenu : 0);
  QDialog::accept();
}

std::optional<ShortcutChoice> AskShortcutChoice(MessagePresenter& messages, QWidget* parent,
                                                std::string_view quickLaunchUnavailable) {
  ShortcutNameDialog dialog(messages, parent, quickLaunchUnavailable);
  if (dialog.exec() != QDialog::Accepted || dialog.Choice().places == 0) return std::nullopt;
  return dialog.Choice();
}

}  // namespace quillon
