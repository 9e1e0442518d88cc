#include "tasks/ui/ScheduleDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "common/ui/DialogButtons.h"

namespace quillon {
namespace {

QLineEdit* NumberEdit(const char* name, int32_t value, QWidget* parent) {
  auto* edit = new QLineEdit(QString::number(value), parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMaximumWidth(60);
  return edit;
}

}  // namespace

ScheduleDialog::ScheduleDialog(const ScheduleSettings& settings, MessagePresenter& messages,
                               QWidget* parent, const ScheduleNotes& notes)
    : QDialog(parent), settings_(settings), messages_(messages) {
  setWindowTitle(QStringLiteral("Schedule"));
  setObjectName(QStringLiteral("schedule"));

  startDate_ = new QDateEdit(this);
  startDate_->setObjectName(QStringLiteral("startDate"));
  startDate_->setDisplayFormat(QStringLiteral("M/d/yyyy"));
  startDate_->setCalendarPopup(true);
  startDate_->setMinimumDate(QDate(1601, 1, 1));
  startDate_->setDate(
      QDate(settings.startDate.year, settings.startDate.month, settings.startDate.day));
  startTime_ = new QTimeEdit(this);
  startTime_->setObjectName(QStringLiteral("startTime"));
  startTime_->setDisplayFormat(QStringLiteral("h:mm:ss AP"));
  startTime_->setTime(QTime(settings.startHour, settings.startMinute, settings.startSecond));
  auto* startRow = new QHBoxLayout;
  startRow->addWidget(new QLabel(QStringLiteral("Start at:"), this));
  startRow->addWidget(startDate_);
  startRow->addWidget(startTime_);
  startRow->addStretch();

  auto* repeatBox = new QGroupBox(this);
  auto* repeatRow = new QHBoxLayout(repeatBox);
  repeat_ = new QButtonGroup(this);
  const char* const kRepeat[][2] = {
      {"once", "Once only"}, {"daily", "Daily"}, {"weekly", "Weekly"}, {"monthly", "Monthly"}};
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(kRepeat[i][1]), repeatBox);
    radio->setObjectName(QString::fromLatin1(kRepeat[i][0]));
    repeat_->addButton(radio, i);
    repeatRow->addWidget(radio);
  }
  if (QAbstractButton* chosen = repeat_->button(settings.repeat)) {
    chosen->setChecked(true);
  } else {
    repeat_->button(0)->setChecked(true);
  }

  every_ = new QCheckBox(QStringLiteral("Every"), this);
  every_->setObjectName(QStringLiteral("every"));
  every_->setChecked(settings.every);
  hours_ = NumberEdit("hours", settings.hours, this);
  minutes_ = NumberEdit("minutes", settings.minutes, this);
  times_ = NumberEdit("times", settings.times, this);
  auto* everyRow = new QHBoxLayout;
  everyRow->addWidget(every_);
  everyRow->addWidget(hours_);
  everyRow->addWidget(new QLabel(QStringLiteral("hour(s)"), this));
  everyRow->addWidget(minutes_);
  everyRow->addWidget(new QLabel(QStringLiteral("minute(s) for"), this));
  everyRow->addWidget(times_);
  everyRow->addWidget(new QLabel(QStringLiteral("times."), this));
  everyRow->addStretch();

  // The account of the run: the user's own scheduler has none to set, so the fields stay
  // disabled, as on systems without accounts.
  auto* account = new QGroupBox(this);
  auto* accountGrid = new QGridLayout(account);
  userId_ = new QLineEdit(QString::fromStdString(settings.userId), account);
  userId_->setObjectName(QStringLiteral("userId"));
  userId_->setEnabled(false);
  password_ = new QLineEdit(QString::fromStdString(settings.password), account);
  password_->setObjectName(QStringLiteral("password"));
  password_->setEchoMode(QLineEdit::Password);
  password_->setEnabled(false);
  auto* help = new QPushButton(QStringLiteral("?"), account);
  help->setObjectName(QStringLiteral("help"));
  help->setMaximumWidth(30);
  accountGrid->addWidget(new QLabel(QStringLiteral("User ID:"), account), 0, 0);
  accountGrid->addWidget(userId_, 0, 1);
  accountGrid->addWidget(help, 0, 2);
  accountGrid->addWidget(new QLabel(QStringLiteral("Password:"), account), 1, 0);
  accountGrid->addWidget(password_, 1, 1);
  connect(help, &QPushButton::clicked, this, [this] {
    messages_.Show(kScheduleHelpText, MessageButtons::Ok, MessageIcon::Information);
  });

  QDialogButtonBox* buttons = MakeOkCancelButtons(this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(startRow);
  layout->addWidget(repeatBox);
  layout->addLayout(everyRow);
  layout->addWidget(account);
  if (notes.enableLingering) {
    auto* note = new QLabel(
        QString::fromUtf8(kLingerOffNote.data(), static_cast<qsizetype>(kLingerOffNote.size())),
        this);
    note->setObjectName(QStringLiteral("lingerNote"));
    note->setWordWrap(true);
    auto* linger = new QPushButton(
        QString::fromLatin1(kLingerButton.data(), static_cast<qsizetype>(kLingerButton.size())),
        this);
    linger->setObjectName(QStringLiteral("enableLinger"));
    linger->setAutoDefault(false);
    connect(linger, &QPushButton::clicked, this,
            [this, note, linger, enable = notes.enableLingering] {
              std::string error;
              if (enable(&error)) {
                note->hide();
                linger->hide();
                messages_.Show(kLingerTurnedOn, MessageButtons::Ok, MessageIcon::Information);
              } else {
                messages_.Show(std::string(kLingerFailed) + error, MessageButtons::Ok,
                               MessageIcon::Warning);
              }
            });
    layout->addWidget(note);
    layout->addWidget(linger, 0, Qt::AlignLeft);
  }
  layout->addWidget(buttons);
}

void ScheduleDialog::accept() {
  ScheduleSettings taken = settings_;
  taken.password = password_->text().toStdString();
  taken.userId = userId_->text().toStdString();
  QDate date = startDate_->date();
  taken.startDate = {date.year(), date.month(), date.day()};
  QTime time = startTime_->time();
  taken.startHour = time.hour();
  taken.startMinute = time.minute();
  taken.startSecond = time.second();
  taken.repeat = std::max(0, repeat_->checkedId());
  taken.every = every_->isChecked();
  if (std::optional<ScheduleNumberError> error =
          TakeScheduleNumbers(hours_->text().toStdString(), minutes_->text().toStdString(),
                              times_->text().toStdString(), taken)) {
    messages_.Show(error->message, MessageButtons::Ok, MessageIcon::Warning);
    QLineEdit* field = error->field == ScheduleNumber::Hours     ? hours_
                       : error->field == ScheduleNumber::Minutes ? minutes_
                                                                 : times_;
    field->setFocus();
    field->selectAll();
    return;
  }
  settings_ = taken;
  QDialog::accept();
}

bool ScheduleDialogEditor::Edit(ScheduleSettings& settings, const ScheduleNotes& notes) {
  ScheduleDialog dialog(settings, messages_, parent_, notes);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings = dialog.Settings();
  return true;
}

}  // namespace quillon
