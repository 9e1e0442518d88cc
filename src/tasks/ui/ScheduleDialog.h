#pragma once

#include <QDialog>

#include "common/Messages.h"
#include "tasks/ScheduleSettings.h"
#include "tasks/TaskSchedulerLink.h"

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace quillon {

// "Schedule": the start date and time of a scheduled task, how it repeats, and "Every" hours,
// minutes and times. The account fields ("User ID:", "Password:") are shown disabled: the
// user's own scheduler runs items as the user. "?" explains the account fields. OK checks the
// three numbers (TakeScheduleNumbers) and stays open on a mistake, with the field focused.
// When the notes offer lingering, the dialog says that the task runs only while the user is
// logged in (kLingerOffNote) and its button turns lingering on, saying how that went.
// Controls by object name: startDate, startTime, once, daily, weekly, monthly, every, hours,
// minutes, times, userId, password, help, ok, cancel, lingerNote, enableLinger.
class ScheduleDialog : public QDialog {
  Q_OBJECT

 public:
  ScheduleDialog(const ScheduleSettings& settings, MessagePresenter& messages,
                 QWidget* parent = nullptr, const ScheduleNotes& notes = {});

  // The values taken by OK (the preset ones before that).
  const ScheduleSettings& Settings() const { return settings_; }

  void accept() override;

 private:
  ScheduleSettings settings_;
  MessagePresenter& messages_;
  QLineEdit* password_;
  QLineEdit* userId_;
  QDateEdit* startDate_;
  QTimeEdit* startTime_;
  QButtonGroup* repeat_;
  QCheckBox* every_;
  QLineEdit* hours_;
  QLineEdit* minutes_;
  QLineEdit* times_;
};

// The link's dialog in the GUI: opens ScheduleDialog modally over `parent`.
class ScheduleDialogEditor : public ScheduleEditor {
 public:
  explicit ScheduleDialogEditor(MessagePresenter& messages, QWidget* parent = nullptr)
      : messages_(messages), parent_(parent) {}
  bool Edit(ScheduleSettings& settings, const ScheduleNotes& notes) override;

 private:
  MessagePresenter& messages_;
  QWidget* parent_;
};

}  // namespace quillon
