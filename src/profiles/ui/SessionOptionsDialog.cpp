#include "profiles/ui/SessionOptionsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "common/ui/DialogButtons.h"

namespace quillon {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) { return text.toUtf8().toStdString(); }

QString Name(const char* base, const char* suffix = "") {
  return QString::fromLatin1(base) + QString::fromLatin1(suffix);
}

QCheckBox* LeftTextBox(QWidget* parent, const QString& text, const char* name) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(Name(name));
  box->setLayoutDirection(Qt::RightToLeft);  // the caption stands left of the box
  return box;
}

QRadioButton* Radio(QWidget* parent, const QString& text, const char* name, QButtonGroup* group,
                    int id) {
  auto* radio = new QRadioButton(text, parent);
  radio->setObjectName(Name(name));
  group->addButton(radio, id);
  return radio;
}

QPushButton* SmallButton(QWidget* parent, const QString& text, const QString& name) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 20);
  return button;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int stretchIndex = -1) {
  auto* row = new QHBoxLayout;
  int i = 0;
  for (QWidget* widget : widgets) row->addWidget(widget, i++ == stretchIndex ? 1 : 0);
  return row;
}

}  // namespace

SessionOptionsDialog::SessionOptionsDialog(const SessionOptionsRequest& request,
                                           MessagePresenter& messages, QWidget* parent)
    : QDialog(parent),
      request_(request),
      messages_(messages),
      pickers_(QtLocalPickers()),
      commandWarning_(&CommandWarning::ForThisRun()) {
  setObjectName(QStringLiteral("sessionOptions"));
  setWindowTitle(Q(sessiontext::kTitle));
  const SessionOptions& preset = request.options;
  const bool taskMode = request.mode == SessionOptionsMode::Task;

  binary_ = LeftTextBox(this, QStringLiteral("Binary Mode:"), "binaryMode");
  startup_ =
      LeftTextBox(this, QStringLiteral("Connect to this site at startup:"), "startupConnection");
  auto* threadsLabel = new QLabel(QStringLiteral("Number of Threads:"), this);
  threadsLabel->setObjectName(QStringLiteral("threadsLabel"));
  threads_ = new QComboBox(this);
  threads_->setObjectName(QStringLiteral("threads"));
  for (int i = 1; i <= kThreadChoices; ++i) threads_->addItem(QString::number(i));

  // Upload options.
  auto* upload = new QGroupBox(QStringLiteral("Upload Options"), this);
  backupRemote_ = new QCheckBox(
      QStringLiteral("Backup the remote file if a file with the same name already exists."),
      upload);
  backupRemote_->setObjectName(QStringLiteral("backupRemote"));
  commands_[kBeforeUpload] = MakeCommand("beforeUpload", preset.runBeforeUpload);
  afterUpload_ = new QButtonGroup(this);
  QRadioButton* uploadKeep =
      Radio(upload, QStringLiteral("Do nothing."), "afterUploadKeep", afterUpload_, kKeepUploaded);
  QRadioButton* uploadDelete = Radio(upload, QStringLiteral("Delete local files."),
                                     "afterUploadDelete", afterUpload_, kDeleteUploaded);
  QRadioButton* uploadMove = Radio(upload, QStringLiteral("Move local files to folder: "),
                                   "afterUploadMove", afterUpload_, kMoveUploaded);
  moveFolder_ = new QLineEdit(upload);
  moveFolder_->setObjectName(QStringLiteral("moveFolder"));
  QPushButton* moveBrowse = SmallButton(upload, QStringLiteral("..."), Name("moveFolderBrowse"));
  commands_[kAfterUpload] = MakeCommand("afterUpload", preset.runAfterUpload);

  auto* uploadLayout = new QVBoxLayout(upload);
  uploadLayout->addWidget(new QLabel(QStringLiteral("Before upload:"), upload));
  uploadLayout->addWidget(backupRemote_);
  const auto commandRow = [this](int c) {
    const Command& command = commands_[c];
    return Row({command.box, command.text, command.browse}, 1);
  };
  uploadLayout->addLayout(commandRow(kBeforeUpload));
  uploadLayout->addWidget(
      new QLabel(QStringLiteral("After files are uploaded successfully:"), upload));
  uploadLayout->addWidget(uploadKeep);
  uploadLayout->addWidget(uploadDelete);
  uploadLayout->addLayout(Row({uploadMove, moveFolder_, moveBrowse}, 1));
  uploadLayout->addLayout(commandRow(kAfterUpload));

  // Download options.
  auto* download = new QGroupBox(QStringLiteral("Download Options"), this);
  backupLocal_ = new QCheckBox(
      QStringLiteral("Backup the local file if a file with the same name already exists."),
      download);
  backupLocal_->setObjectName(QStringLiteral("backupLocal"));
  commands_[kBeforeDownload] = MakeCommand("beforeDownload", preset.runBeforeDownload);
  afterDownload_ = new QButtonGroup(this);
  QRadioButton* downloadKeep =
      Radio(download, QStringLiteral("Do nothing."), "afterDownloadKeep", afterDownload_, 0);
  QRadioButton* downloadDelete = Radio(download, QStringLiteral("Delete remote files."),
                                       "afterDownloadDelete", afterDownload_, 1);
  commands_[kAfterDownload] = MakeCommand("afterDownload", preset.runAfterDownload);

  auto* downloadLayout = new QVBoxLayout(download);
  downloadLayout->addWidget(new QLabel(QStringLiteral("Before download:"), download));
  downloadLayout->addWidget(backupLocal_);
  downloadLayout->addLayout(commandRow(kBeforeDownload));
  downloadLayout->addWidget(
      new QLabel(QStringLiteral("After files are downloaded successfully:"), download));
  downloadLayout->addWidget(downloadKeep);
  downloadLayout->addWidget(downloadDelete);
  downloadLayout->addLayout(commandRow(kAfterDownload));

  // The safety queue and HTML encryption are offered by no mode.
  auto* safetyQueue = new QCheckBox(QStringLiteral("Disable Safety Queue."), this);
  safetyQueue->setObjectName(QStringLiteral("safetyQueue"));
  QPushButton* safetyHelp = SmallButton(this, QStringLiteral("?"), Name("safetyQueueHelp"));
  auto* encryptHtml =
      new QCheckBox(QStringLiteral("Encrypt HTML Files (available only in Encrypt mode.):"), this);
  encryptHtml->setObjectName(QStringLiteral("encryptHtml"));
  safetyQueue->setEnabled(false);
  safetyHelp->setEnabled(false);
  encryptHtml->setEnabled(false);
  encryptHtml->setChecked(false);

  const OkCancel okCancel = MakeOkCancel(this);
  QPushButton* ok = okCancel.ok;
  QPushButton* cancel = okCancel.cancel;

  auto* top = new QGridLayout;
  top->addWidget(binary_, 0, 0, Qt::AlignLeft);
  top->addWidget(startup_, 1, 0, Qt::AlignLeft);
  top->addLayout(Row({threadsLabel, threads_}), 2, 0, Qt::AlignLeft);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(upload);
  layout->addWidget(download);
  auto* safetyRow = Row({safetyQueue, safetyHelp});
  safetyRow->addStretch(1);
  layout->addLayout(safetyRow);
  layout->addWidget(encryptHtml);
  layout->addLayout(buttons);

  // The presets.
  binary_->setChecked(preset.binaryMode);
  threads_->setCurrentIndex(std::clamp(preset.threadChoice, 0, kThreadChoices - 1));
  backupRemote_->setChecked(preset.backupRemoteFile);
  backupLocal_->setChecked(preset.backupLocalFile);
  QAbstractButton* uploadChoice = afterUpload_->button(preset.afterUpload);
  (uploadChoice ? uploadChoice : uploadKeep)->setChecked(true);
  (preset.afterDownload == 1 ? downloadDelete : downloadKeep)->setChecked(true);
  moveFolder_->setText(Q(preset.moveFolder));
  startup_->setChecked(IsStartupConnection(request.profileSlot, request.profileFile));

  if (taskMode) {
    for (QWidget* off : std::initializer_list<QWidget*>{binary_, threads_, threadsLabel, startup_})
      off->setEnabled(false);
  }
  for (const Command& command : commands_) {
    // Profile mode runs no commands: the boxes stay disabled and unticked.
    const bool ticked = taskMode && !command.text->text().isEmpty();
    command.box->setEnabled(taskMode);
    command.box->setChecked(ticked);
    command.text->setEnabled(ticked);
    command.browse->setEnabled(ticked);
  }

  connect(startup_, &QCheckBox::clicked, this, &SessionOptionsDialog::OnStartupClicked);
  connect(moveBrowse, &QPushButton::clicked, this, &SessionOptionsDialog::ChooseMoveFolder);
  for (const Command& command : commands_) {
    connect(command.box, &QCheckBox::clicked, this,
            [this, command](bool ticked) { OnCommandClicked(command, ticked); });
    connect(command.browse, &QPushButton::clicked, this,
            [this, command] { OnCommandBrowse(command); });
  }
  connect(ok, &QPushButton::clicked, this, &SessionOptionsDialog::OnOk);
}

SessionOptionsDialog::Command SessionOptionsDialog::MakeCommand(const char* name,
                                                                const std::string& text) {
  Command command;
  command.box = new QCheckBox(QStringLiteral("Execute local command:"), this);
  command.box->setObjectName(Name(name));
  command.text = new QLineEdit(Q(text), this);
  command.text->setObjectName(Name(name, "Text"));
  command.browse = SmallButton(this, QStringLiteral("..."), Name(name, "Browse"));
  return command;
}

std::optional<SessionOptions> SessionOptionsDialog::Ask(const SessionOptionsRequest& request,
                                                        MessagePresenter& messages,
                                                        QWidget* parent) {
  SessionOptionsDialog dialog(request, messages, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Options();
}

SessionOptions SessionOptionsDialog::Options() const {
  SessionOptions options = request_.options;
  options.binaryMode = binary_->isChecked();
  options.threadChoice = threads_->currentIndex();
  options.backupRemoteFile = backupRemote_->isChecked();
  options.backupLocalFile = backupLocal_->isChecked();
  options.afterUpload = afterUpload_->checkedId();
  options.moveFolder = S(moveFolder_->text());
  options.afterDownload = afterDownload_->checkedId();
  std::string* texts[] = {&options.runBeforeUpload, &options.runAfterUpload,
                          &options.runBeforeDownload, &options.runAfterDownload};
  for (size_t i = 0; i < commands_.size(); ++i) {
    const Command& command = commands_[i];
    const bool kept = request_.mode == SessionOptionsMode::Profile || command.box->isChecked();
    *texts[i] = kept ? S(command.text->text()) : std::string();
  }
  return options;
}

void SessionOptionsDialog::OnCommandClicked(const Command& command, bool ticked) {
  command.text->setEnabled(ticked);
  command.browse->setEnabled(ticked);
  if (ticked) commandWarning_->OnTicked(messages_);
}

void SessionOptionsDialog::OnCommandBrowse(const Command& command) {
  if (!pickers_.chooseProgram) return;
  if (const auto chosen = pickers_.chooseProgram(this, command.text->text()))
    command.text->setText(Q(CommandForProgram(*chosen)));
}

void SessionOptionsDialog::ChooseMoveFolder() {
  if (!pickers_.chooseFolder) return;
  if (const auto chosen =
          pickers_.chooseFolder(this, Q(sessiontext::kSelectFolder), moveFolder_->text()))
    moveFolder_->setText(Q(*chosen));
}

void SessionOptionsDialog::OnStartupClicked(bool ticked) {
  startup_->setChecked(ClickStartupConnection(ticked, request_.profileSlot, request_.savePassword,
                                              request_.profileFile, messages_));
}

void SessionOptionsDialog::OnOk() {
  SessionOptions options = Options();
  if (FinishMoveFolder(options) == MoveFolderCheck::NeedFolder) {
    messages_.Show(sessiontext::kChooseBackupFolder);
    ChooseMoveFolder();
    return;
  }
  moveFolder_->setText(Q(options.moveFolder));  // as it is taken: trimmed, or empty
  accept();
}

}  // namespace quillon
