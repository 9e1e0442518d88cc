#pragma once

#include <QDialog>
#include <optional>

#include "common/Messages.h"
#include "tasks/TaskShortcuts.h"

class QCheckBox;
class QLineEdit;

namespace quillon {

// "Shortcut name": the name of a task shortcut (at most 64 characters) and where to place it:
// "Desktop" and "Quick Launch Bar" checked, "Start Menu" not. A place that does not exist here
// (`quickLaunchUnavailable`, the reason, as on Linux) is unchecked and disabled with the reason
// as its tooltip. OK trims the name and stays open with "Invalid name." when nothing is left;
// otherwise it takes the name and the places bits.
// Controls by object name: name, desktop, quickLaunch, startMenu, ok, cancel.
class ShortcutNameDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ShortcutNameDialog(MessagePresenter& messages, QWidget* parent = nullptr,
                              std::string_view quickLaunchUnavailable = {});

  // The name and places taken by OK.
  const ShortcutChoice& Choice() const { return choice_; }

  void accept() override;

 private:
  MessagePresenter& messages_;
  ShortcutChoice choice_;
  QLineEdit* name_;
  QCheckBox* desktop_;
  QCheckBox* quickLaunch_;
  QCheckBox* startMenu_;
};

// The first step of "Create Shortcut": the dialog, modal over `parent`. nullopt on Cancel or
// when no place was chosen.
std::optional<ShortcutChoice> AskShortcutChoice(MessagePresenter& messages,
                                                QWidget* parent = nullptr,
                                                std::string_view quickLaunchUnavailable = {});

}  // namespace quillon
