#include "tasks/ui/TaskManagerDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "common/ui/InformationDialog.h"
#include "crypto/ui/KeyDialog.h"
#include "mail/EmailSettings.h"
#include "mail/ui/EmailInfoDialog.h"
#include "platform/ChildProcess.h"
#include "platform/CommandRunner.h"
#include "profiles/IniFile.h"
#include "profiles/SessionOptions.h"
#include "profiles/ui/SessionOptionsDialog.h"
#include "remote/ui/RemoteFolderPicker.h"
#include "tasks/TaskManagerRules.h"
#include "tasks/TaskSchedules.h"
#include "tasks/TaskSettingsText.h"
#include "tasks/TaskShortcuts.h"
#include "tasks/TaskStore.h"
#include "tasks/ui/ScheduleDialog.h"
#include "tasks/ui/ShortcutNameDialog.h"

namespace quillon {
namespace {

namespace text = taskmanagertext;

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) { return s.toStdString(); }

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

void Colour(QWidget* widget, QPalette::ColorRole role, Qt::GlobalColor colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

QLineEdit* RedEdit(const char* name, QWidget* parent) {
  auto* edit = Named(new QLineEdit(parent), name);
  Colour(edit, QPalette::Text, Qt::red);
  return edit;
}

QPushButton* Button(const char* name, const char* caption, QWidget* parent) {
  auto* button = Named(new QPushButton(QString::fromLatin1(caption), parent), name);
  button->setAutoDefault(false);
  return button;
}

QPushButton* BrowseButton(const char* name, QWidget* parent) {
  QPushButton* button = Button(name, "...", parent);
  button->setMaximumWidth(32);
  return button;
}

// The "all files" / "all files modified within" pair with its hours edit and "hours.".
QButtonGroup* AgeRow(const char* prefix, QLineEdit** hours, QGridLayout* grid, int row,
                     QWidget* parent) {
  auto* group = new QButtonGroup(parent);
  std::string p(prefix);
  auto* all =
      Named(new QRadioButton(QStringLiteral("all files"), parent), (p + "AllFiles").c_str());
  auto* within = Named(new QRadioButton(QStringLiteral("all files modified within"), parent),
                       (p + "Within").c_str());
  group->addButton(all, 0);
  group->addButton(within, 1);
  *hours = RedEdit((p + "Hours").c_str(), parent);
  (*hours)->setMaximumWidth(70);
  auto* line = new QHBoxLayout;
  line->addWidget(all);
  line->addWidget(within);
  line->addWidget(*hours);
  line->addWidget(new QLabel(QStringLiteral("hours."), parent));
  line->addStretch();
  grid->addLayout(line, row, 0, 1, 3);
  return group;
}

void FolderRow(const char* caption, QLineEdit* edit, QPushButton* browse, QGridLayout* grid,
               int row, QWidget* parent) {
  grid->addWidget(new QLabel(QString::fromLatin1(caption), parent), row, 0);
  grid->addWidget(edit, row, 1);
  grid->addWidget(browse, row, 2);
}

// The texts that tell the two directions apart in step 2.
struct DirectionTexts {
  const char* prefix;  // object names: prefix, prefix + "From", prefix + "ToBrowse", ...
  const char* title;
  const char* cryptName;
  const char* cryptTitle;
  const char* fromCaption;
  const char* toCaption;
};

// "Upload" or "Download" with its age row, the cipher check box and the two folder rows.
QGridLayout* DirectionBlock(const DirectionTexts& texts, TaskDirectionWidgets& w, QWidget* parent) {
  auto* grid = new QGridLayout;
  const std::string p(texts.prefix);
  w.enabled = Named(new QCheckBox(QString::fromLatin1(texts.title), parent), texts.prefix);
  grid->addWidget(w.enabled, 0, 0, 1, 3);
  w.age = AgeRow(texts.prefix, &w.hours, grid, 1, parent);
  w.crypt = Named(new QCheckBox(QString::fromLatin1(texts.cryptTitle), parent), texts.cryptName);
  grid->addWidget(w.crypt, 2, 0, 1, 3);
  w.from = RedEdit((p + "From").c_str(), parent);
  w.fromBrowse = BrowseButton((p + "FromBrowse").c_str(), parent);
  FolderRow(texts.fromCaption, w.from, w.fromBrowse, grid, 3, parent);
  w.to = RedEdit((p + "To").c_str(), parent);
  w.toBrowse = BrowseButton((p + "ToBrowse").c_str(), parent);
  FolderRow(texts.toCaption, w.to, w.toBrowse, grid, 4, parent);
  return grid;
}

}  // namespace

TaskManagerDialog::TaskManagerDialog(TaskManagerSetup setup, MessagePresenter& messages,
                                     QWidget* parent)
    : QDialog(parent),
      setup_(std::move(setup)),
      messages_(messages),
      pickers_(setup_.pickers ? *setup_.pickers : QtLocalPickers()),
      clock_(setup_.clock ? *setup_.clock : systemClock_),
      editor_(std::make_unique<ScheduleDialogEditor>(messages, this)),
      link_(messages, *editor_, clock_, setup_.connectScheduler) {
  if (!setup_.launcherFolders)
    setup_.launcherFolders = [] { return UserLauncherFolders(SystemCommands()); };
  setWindowTitle(Q(text::kTitle));
  setObjectName(QStringLiteral("taskManager"));
  BuildControls();
  scheduleText_->setText(QStringLiteral("Not set"));
  runWatch_ = new QTimer(this);
  runWatch_->setInterval(100);
  connect(runWatch_, &QTimer::timeout, this, &TaskManagerDialog::OnRunWatch);
}

TaskManagerDialog::~TaskManagerDialog() = default;

std::string TaskManagerDialog::TaskStorePath() const {
  return setup_.programFolder + std::string(kTaskStoreName);
}

std::string TaskManagerDialog::ProfileFilePath() const {
  return setup_.programFolder + "Quillon.ini";
}

void TaskManagerDialog::BuildControls() {
  list_ = Named(new QListWidget(this), "taskList");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setUniformItemSizes(true);
  list_->setMaximumWidth(200);
  Colour(list_, QPalette::Text, Qt::blue);
  connect(list_, &QListWidget::currentRowChanged, this, &TaskManagerDialog::OnListRowChanged);
  connect(list_, &QListWidget::itemClicked, this, &TaskManagerDialog::OnListItemClicked);

  // Step 1: the task's name and the buttons that work on the task as a whole.
  auto* step1 = new QGroupBox(
      QStringLiteral("Step1: Select a task on the left to make change, or click  New Task to "
                     "create a new task."),
      this);
  name_ = RedEdit("taskName", step1);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel(QStringLiteral("Task Name:"), step1));
  nameRow->addWidget(name_);
  auto* taskButtons = new QHBoxLayout;
  QPushButton* newTask = Button("newTask", "New Task", step1);
  QPushButton* deleteTask = Button("deleteTask", "Delete Task", step1);
  QPushButton* settings = Button("settings", "Settings", step1);
  QPushButton* taskLog = Button("taskLog", "Task Log", step1);
  for (QPushButton* b : {newTask, deleteTask, settings, taskLog}) taskButtons->addWidget(b);
  taskButtons->addStretch();
  auto* step1Layout = new QVBoxLayout(step1);
  step1Layout->addLayout(nameRow);
  step1Layout->addLayout(taskButtons);

  // Step 2: what to upload and download.
  auto* step2 = new QGroupBox(QStringLiteral("Step2: Specify files to upload or download."), this);
  QGridLayout* upGrid = DirectionBlock({"upload", "Upload", "encryptFiles", "Encrypt Files",
                                        "From Local Folder:", "To Remote Folder:"},
                                       upload_, step2);
  QGridLayout* downGrid = DirectionBlock({"download", "Download", "decryptFiles", "Decrypt Files",
                                          "From Remote Folder:", "To Local Folder:"},
                                         download_, step2);

  connectionSetting_ = Button("connectionSetting", "Connection Setting", step2);
  connectionSetting_->setEnabled(false);  // the connection keys are copied when first saved
  QPushButton* email = Button("emailNotification", "E-mail Notification", step2);
  QPushButton* moreOptions = Button("moreOptions", "More Task Options", step2);
  auto* step2Buttons = new QHBoxLayout;
  for (QPushButton* b : {connectionSetting_, email, moreOptions}) step2Buttons->addWidget(b);
  step2Buttons->addStretch();
  auto* step2Layout = new QVBoxLayout(step2);
  step2Layout->addLayout(upGrid);
  step2Layout->addLayout(downGrid);
  step2Layout->addLayout(step2Buttons);

  // Step 3: save, run, schedule, shortcuts, and what the scheduler holds for the task.
  auto* step3 = new QGroupBox(
      QStringLiteral(
          "Step3: Save task settings, schedule or create shortcut to the selected task."),
      this);
  QPushButton* save = Button("saveChanges", "Save Changes", step3);
  QPushButton* runNow = Button("runNow", "Run It Now", step3);
  QPushButton* schedule = Button("schedule", "Schedule", step3);
  QPushButton* shortcut = Button("createShortcut", "Create Shortcut", step3);
  QPushButton* close = Button("close", "Close", step3);
  auto* step3Buttons = new QHBoxLayout;
  for (QPushButton* b : {save, runNow, schedule, shortcut, close}) step3Buttons->addWidget(b);
  schedule_ = schedule;
  scheduleText_ = Named(new QLabel(step3), "scheduleText");
  nextRunText_ = Named(new QLabel(step3), "nextRunText");
  for (QLabel* label : {scheduleText_, nextRunText_}) Colour(label, QPalette::WindowText, Qt::blue);
  schedulerProblem_ = Named(new QLabel(step3), "schedulerProblem");
  schedulerProblem_->setWordWrap(true);
  schedulerProblem_->hide();
  auto* labels = new QGridLayout;
  labels->addWidget(new QLabel(QStringLiteral("Schedule:"), step3), 0, 0);
  labels->addWidget(scheduleText_, 0, 1);
  labels->addWidget(new QLabel(QStringLiteral("Next Run:"), step3), 1, 0);
  labels->addWidget(nextRunText_, 1, 1);
  labels->setColumnStretch(1, 1);
  auto* step3Layout = new QVBoxLayout(step3);
  step3Layout->addLayout(step3Buttons);
  step3Layout->addLayout(labels);
  step3Layout->addWidget(schedulerProblem_);

  auto* right = new QVBoxLayout;
  right->addWidget(step1);
  right->addWidget(step2);
  right->addWidget(step3);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(right, 1);

  connect(newTask, &QPushButton::clicked, this, &TaskManagerDialog::OnNewTask);
  connect(deleteTask, &QPushButton::clicked, this, &TaskManagerDialog::OnDeleteTask);
  connect(settings, &QPushButton::clicked, this, &TaskManagerDialog::OnSettings);
  connect(taskLog, &QPushButton::clicked, this, &TaskManagerDialog::OnTaskLog);
  connect(upload_.age, &QButtonGroup::idClicked, this, &TaskManagerDialog::UpdateHoursEdits);
  connect(download_.age, &QButtonGroup::idClicked, this, &TaskManagerDialog::UpdateHoursEdits);
  connect(upload_.crypt, &QCheckBox::clicked, this, &TaskManagerDialog::OnEncryptClicked);
  connect(download_.crypt, &QCheckBox::clicked, this, &TaskManagerDialog::OnDecryptClicked);
  connect(upload_.fromBrowse, &QPushButton::clicked, this,
          [this] { OnLocalBrowse(upload_.from, &TaskDefinition::uploadFrom); });
  connect(download_.toBrowse, &QPushButton::clicked, this,
          [this] { OnLocalBrowse(download_.to, &TaskDefinition::downloadTo); });
  connect(upload_.toBrowse, &QPushButton::clicked, this,
          [this] { OnRemoteBrowse(upload_.to, &TaskDefinition::uploadTo, text::kUploadToPrompt); });
  connect(download_.fromBrowse, &QPushButton::clicked, this, [this] {
    OnRemoteBrowse(download_.from, &TaskDefinition::downloadFrom, text::kDownloadFromPrompt);
  });
  connect(email, &QPushButton::clicked, this, &TaskManagerDialog::OnEmailNotification);
  connect(moreOptions, &QPushButton::clicked, this, &TaskManagerDialog::OnMoreOptions);
  connect(save, &QPushButton::clicked, this, &TaskManagerDialog::OnSaveChanges);
  connect(runNow, &QPushButton::clicked, this, &TaskManagerDialog::OnRunNow);
  connect(schedule, &QPushButton::clicked, this, &TaskManagerDialog::OnSchedule);
  connect(shortcut, &QPushButton::clicked, this, &TaskManagerDialog::OnCreateShortcut);
  connect(close, &QPushButton::clicked, this, &TaskManagerDialog::reject);
}

bool TaskManagerDialog::Open() {
  link_.ConnectScheduler();
  // Tasks need no scheduler to be made, run or given shortcuts; only Schedule does.
  if (!link_.CanSchedule()) {
    const QString reason = Q(link_.SchedulerProblem());
    schedule_->setEnabled(false);
    schedule_->setToolTip(reason);
    schedulerProblem_->setText(QStringLiteral("Schedule is not available: ") + reason);
    schedulerProblem_->show();
  }
  FillList();
  LoadSelected();
  return true;
}

int TaskManagerDialog::exec() {
  if (!Open()) {
    setResult(QDialog::Rejected);
    return QDialog::Rejected;
  }
  return QDialog::exec();
}

void TaskManagerDialog::reject() {
  if (run_) return;  // closing would end the run that "Run It Now" started
  if (task_.isNew && messages_.Show(text::kDiscardNewTask, MessageButtons::YesNo,
                                    MessageIcon::Warning) != MessageAnswer::Yes) {
    return;
  }
  QDialog::reject();
}

void TaskManagerDialog::FillList() {
  // Filling selects items without it counting as the user's choice.
  QSignalBlocker quiet(list_);
  list_->clear();
  for (const TaskListEntry& entry : TaskListEntries(TaskStorePath())) {
    auto* item = new QListWidgetItem(Q(entry.name), list_);
    item->setData(Qt::UserRole, entry.slot);
    item->setSizeHint(QSize(0, 16));
    list_->setCurrentItem(item);
  }
}

void TaskManagerDialog::LoadSelected() {
  QListWidgetItem* item = list_->currentItem();
  if (item) {
    LoadSlot(item->data(Qt::UserRole).toInt());
  } else {
    task_ = TaskDefinition{};
    Refresh();
  }
}

void TaskManagerDialog::LoadSlot(int32_t slot) {
  task_ = TaskDefinition{};
  LoadTask(task_, slot, TaskStorePath());
  Refresh();
}

void TaskManagerDialog::OnListRowChanged() { LoadSelected(); }

void TaskManagerDialog::OnListItemClicked(QListWidgetItem* item) {
  // A click on the item that is already selected while another record is edited (a new task)
  // goes back to that item's task, as a click on any other item does.
  int32_t slot = item->data(Qt::UserRole).toInt();
  if (task_.isNew || task_.slot != slot) LoadSlot(slot);
}

void TaskManagerDialog::Refresh() {
  upload_.crypt->setEnabled(!task_.lockMode);
  download_.crypt->setEnabled(!task_.lockMode);
  upload_.to->setEnabled(!task_.locked);
  download_.from->setEnabled(!task_.locked);
  ShowScheduleLabels(ScheduleLabelsFor(link_, task_));

  name_->setText(Q(task_.name));
  upload_.enabled->setChecked(task_.upload);
  download_.enabled->setChecked(task_.download);
  upload_.crypt->setChecked(task_.encryptFiles);
  download_.crypt->setChecked(task_.decryptFiles);
  upload_.age->button(task_.uploadAgeMode == 1 ? 1 : 0)->setChecked(true);
  download_.age->button(task_.downloadAgeMode == 1 ? 1 : 0)->setChecked(true);
  upload_.hours->setText(Q(HoursText(task_.uploadAgeHours)));
  download_.hours->setText(Q(HoursText(task_.downloadAgeHours)));
  upload_.from->setText(Q(task_.uploadFrom));
  upload_.to->setText(Q(task_.uploadTo));
  download_.from->setText(Q(task_.downloadFrom));
  download_.to->setText(Q(task_.downloadTo));
  UpdateHoursEdits();
}

void TaskManagerDialog::UpdateHoursEdits() {
  upload_.hours->setEnabled(upload_.age->checkedId() == 1);
  download_.hours->setEnabled(download_.age->checkedId() == 1);
}

void TaskManagerDialog::ShowScheduleLabels(const ScheduleLabels& labels) {
  scheduleText_->setText(Q(labels.schedule));
  nextRunText_->setText(Q(labels.nextRun));
}

bool TaskManagerDialog::TakeFields() {
  // The hours are read only where they count: a disabled field cannot be corrected, and its
  // hours are stored as 0 whatever it holds.
  struct Hours {
    QButtonGroup* mode;
    QLineEdit* edit;
    float TaskDefinition::*field;
  };
  const Hours hours[] = {{upload_.age, upload_.hours, &TaskDefinition::uploadAgeHours},
                         {download_.age, download_.hours, &TaskDefinition::downloadAgeHours}};
  for (const Hours& h : hours) {
    if (h.mode->checkedId() != 1) continue;
    std::optional<float> value = ParseHours(S(h.edit->text()));
    if (!value) {
      messages_.Show(text::kNotANumber, MessageButtons::Ok, MessageIcon::Warning);
      h.edit->setFocus();
      h.edit->selectAll();
      return false;
    }
    task_.*h.field = *value;
  }
  task_.name = S(name_->text());
  task_.upload = upload_.enabled->isChecked();
  task_.download = download_.enabled->isChecked();
  task_.encryptFiles = upload_.crypt->isChecked();
  task_.decryptFiles = download_.crypt->isChecked();
  task_.uploadAgeMode = upload_.age->checkedId() == 1 ? 1 : 0;
  task_.downloadAgeMode = download_.age->checkedId() == 1 ? 1 : 0;
  task_.uploadFrom = S(upload_.from->text());
  task_.uploadTo = S(upload_.to->text());
  task_.downloadFrom = S(download_.from->text());
  task_.downloadTo = S(download_.to->text());
  return true;
}

std::optional<int32_t> TaskManagerDialog::Save() {
  if (!TakeFields()) return std::nullopt;
  const bool wasNew = task_.isNew;
  const std::string storedName =
      IsSavedTask(task_) ? ReadText(task_.slot, "Profile", TaskStorePath()) : std::string();
  std::optional<int32_t> slot =
      SaveTaskChanges(task_, ProfileFilePath(), TaskStorePath(), messages_);
  // A renamed task takes its schedule along; left under the old name it would go on running
  // the task under a name nobody sees.
  if (slot && !storedName.empty() && storedName != task_.name && link_.Scheduler()) {
    std::string problem;
    if (!MoveTaskEntry(*link_.Scheduler(), storedName, task_.name, setup_.program, TaskStorePath(),
                       *slot, clock_, &problem)) {
      messages_.Show(problem, MessageButtons::Ok, MessageIcon::Warning);
    }
    ShowScheduleLabels(ScheduleLabelsFor(link_, task_));
  }
  // Validation trims the name; show it as it is kept.
  name_->setText(Q(task_.name));
  if (wasNew && !task_.isNew) {
    // Placed in a slot (even when a later key could not be written): list it there, in slot
    // order, and select it.
    FillList();
  } else if (!slot) {
    return std::nullopt;
  }
  QSignalBlocker quiet(list_);
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    if (item->data(Qt::UserRole).toInt() != task_.slot) continue;
    if (slot) item->setText(Q(task_.name));
    list_->setCurrentItem(item);
    break;
  }
  return slot;
}

bool TaskManagerDialog::CheckTask() {
  if (HasTask(task_)) return true;
  messages_.Show(text::kNoTask, MessageButtons::Ok, MessageIcon::Warning);
  return false;
}

void TaskManagerDialog::OnNewTask() {
  task_ = NewTask(ProfileFilePath(), 0);
  task_.name.clear();
  Refresh();
  name_->setFocus();
}

void TaskManagerDialog::OnDeleteTask() {
  QListWidgetItem* item = list_->currentItem();
  if (!item) return;
  const int32_t slot = item->data(Qt::UserRole).toInt();
  const std::string store = TaskStorePath();
  if (messages_.Show(DeleteTaskQuestion(ReadNumber(slot, "TaskID", store)), MessageButtons::YesNo,
                     MessageIcon::Warning) != MessageAnswer::Yes) {
    return;
  }
  const std::string name = ReadText(slot, "Profile", store);
  task_ = TaskDefinition{};
  if (link_.Scheduler() && !RemoveTaskEntry(*link_.Scheduler(), name, store, slot))
    messages_.Show(kCannotDeleteEntry, MessageButtons::Ok, MessageIcon::Warning);
  DeleteTask(slot, store);
  FillList();
  // The list selects its last task again; edit that one rather than leave the deleted task's
  // fields on show beside it.
  LoadSelected();
}

void TaskManagerDialog::OnSettings() {
  InformationDialog dialog(this);
  dialog.Append(Q(TaskSettingsText(task_, TaskStorePath())));
  dialog.exec();
}

void TaskManagerDialog::OnTaskLog() {
  InformationDialog dialog(this);
  QListWidgetItem* item = list_->currentItem();
  if (item) {
    dialog.Append(
        Q(TaskLogText(setup_.programFolder, item->data(Qt::UserRole).toInt(), TaskStorePath())));
  } else {
    dialog.Append(Q(text::kLogRule) + Q(text::kLogRule));
  }
  dialog.exec();
}

void TaskManagerDialog::OnEncryptClicked(bool checked) {
  std::optional<EnteredKey> key;
  if (checked) {
    KeyRequest request;
    request.purpose = KeyPurpose::Encryption;
    key = KeyDialog::Ask(request, messages_, this);
  }
  task_.encryptionKeyName = key ? key->keyName : std::string();
  task_.encryptionKey = key ? key->key : std::string();
  task_.encryptFiles = key.has_value();
  upload_.crypt->setChecked(key.has_value());
}

void TaskManagerDialog::OnDecryptClicked(bool checked) {
  std::optional<EnteredKey> key;
  if (checked) {
    KeyRequest request;
    request.purpose = KeyPurpose::ConfirmedDecryption;
    key = KeyDialog::Ask(request, messages_, this);
  }
  task_.decryptionKey = key ? key->key : std::string();
  task_.decryptFiles = key.has_value();
  download_.crypt->setChecked(key.has_value());
}

void TaskManagerDialog::OnLocalBrowse(QLineEdit* edit, std::string TaskDefinition::*field) {
  if (!CheckTask() || !pickers_.chooseFolder) return;
  std::optional<std::string> folder =
      pickers_.chooseFolder(this, Q(text::kSelectFolder), edit->text());
  if (!folder) return;
  task_.*field = *folder;
  edit->setText(Q(*folder));
}

void TaskManagerDialog::OnRemoteBrowse(QLineEdit* edit, std::string TaskDefinition::*field,
                                       std::string_view prompt) {
  if (!CheckTask() || !setup_.connector) return;
  RemoteFolderPicker picker(*setup_.connector, messages_, this);
  picker.SetMode(RemoteFolderPicker::kPickFolder);
  picker.SetPrompt(std::string(prompt));
  picker.SetProfile(TaskConnectionProfile(task_, ProfileFilePath(), TaskStorePath()));
  picker.SetChosenFolder(S(edit->text()));
  picker.SetWarningLevel(setup_.warningLevel);
  if (picker.exec() != QDialog::Accepted) return;
  task_.*field = picker.ChosenFolder();
  edit->setText(Q(picker.ChosenFolder()));
}

void TaskManagerDialog::OnEmailNotification() {
  if (std::optional<EmailSettings> settings =
          EmailInfoDialog::Ask(EmailSettingsOfTask(task_), messages_, this)) {
    ApplyEmailSettingsToTask(*settings, task_);
  }
}

void TaskManagerDialog::OnMoreOptions() {
  if (!CheckTask()) return;
  SessionOptionsRequest request;
  request.mode = SessionOptionsMode::Task;
  request.options = SessionOptionsOfTask(task_);
  SessionOptionsDialog dialog(request, messages_, this);
  dialog.SetPickers(pickers_);
  if (dialog.exec() == QDialog::Accepted) ApplySessionOptionsToTask(dialog.Options(), task_);
}

void TaskManagerDialog::OnSaveChanges() { Save(); }

void TaskManagerDialog::OnRunNow() {
  if (run_) return;
  std::optional<int32_t> slot = Save();
  if (!slot || setup_.program.empty()) return;
  std::vector<std::string> argv = RunNowArguments(TaskStorePath(), *slot);
  argv.insert(argv.begin(), setup_.program);
  // The run is a program of its own with its own windows. The task manager takes no input until
  // it ends, as the user's next step (the task log) depends on its end, but the GUI thread stays
  // free: this window paints, and the main window behind it keeps its connection alive.
  std::optional<ChildProcess> started = ChildProcess::Spawn(argv, {.searchPath = true});
  if (!started) return;
  run_ = std::make_unique<ChildProcess>(std::move(*started));
  setEnabled(false);
  runWatch_->start();
}

void TaskManagerDialog::OnRunWatch() {
  if (!run_ || !run_->WaitUntil(ChildProcess::Clock::now())) return;
  runWatch_->stop();
  run_.reset();
  setEnabled(true);
}

void TaskManagerDialog::OnSchedule() {
  std::optional<int32_t> slot = Save();
  if (!slot) return;
  if (std::optional<ScheduleLabels> labels =
          ScheduleSavedTask(link_, messages_, task_.name, *slot, setup_.program, TaskStorePath())) {
    ShowScheduleLabels(*labels);
  }
}

void TaskManagerDialog::OnCreateShortcut() {
  const LauncherFolders folders = setup_.launcherFolders();
  std::optional<ShortcutChoice> choice = AskShortcutChoice(
      messages_, this, folders.quickLaunch.empty() ? kNoQuickLaunch : std::string_view());
  if (!choice) return;
  std::optional<int32_t> slot = Save();
  if (!slot) return;
  CreateShortcutsForTask(*choice, task_.name, *slot, setup_.program, TaskStorePath(), folders,
                         clock_, messages_);
}

}  // namespace quillon
