#include "profiles/ui/ConnectionManagerDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quillon {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// The protocol choices in the order shown.
constexpr struct {
  ServerProtocol protocol;
  const char* text;
} kProtocols[] = {
    {ServerProtocol::Ftp, "FTP"},
    {ServerProtocol::FtpExplicitTls, "FTP over TLS (explicit)"},
    {ServerProtocol::FtpImplicitTls, "FTP over TLS (implicit)"},
    {ServerProtocol::Sftp, "SFTP (SSH)"},
};

}  // namespace

ConnectionManagerDialog::ConnectionManagerDialog(std::string profileFile,
                                                 MessagePresenter& messages, QWidget* parent)
    : QDialog(parent),
      profileFile_(std::move(profileFile)),
      messages_(messages),
      pickers_(QtLocalPickers()) {
  setObjectName("connectionManager");
  setWindowTitle("Connection Manager");

  list_ = new QListWidget(this);
  list_->setObjectName("profileList");
  list_->setMinimumWidth(200);
  new_ = new QPushButton("New", this);
  new_->setObjectName("newButton");
  duplicate_ = new QPushButton("Duplicate", this);
  duplicate_->setObjectName("duplicateButton");
  delete_ = new QPushButton("Delete", this);
  delete_->setObjectName("deleteButton");
  for (QPushButton* button : {new_, duplicate_, delete_}) button->setAutoDefault(false);
  auto* listButtons = new QHBoxLayout;
  listButtons->addWidget(new_);
  listButtons->addWidget(duplicate_);
  listButtons->addWidget(delete_);
  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addLayout(listButtons);

  form_ = new QFormLayout;
  auto edit = [this](const char* name) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    return field;
  };
  auto box = [this](const char* name, const char* text) {
    auto* check = new QCheckBox(text, this);
    check->setObjectName(name);
    return check;
  };
  name_ = edit("nameField");
  protocol_ = new QComboBox(this);
  protocol_->setObjectName("protocolField");
  for (const auto& choice : kProtocols)
    protocol_->addItem(choice.text, static_cast<int>(choice.protocol));
  address_ = edit("addressField");
  address_->setPlaceholderText("host name or IP address");
  port_ = new QSpinBox(this);
  port_->setObjectName("portField");
  port_->setRange(1, 65535);
  user_ = edit("userField");
  user_->setPlaceholderText("anonymous");
  password_ = edit("passwordField");
  password_->setEchoMode(QLineEdit::Password);
  savePassword_ = box("savePasswordBox", "Save password");
  keyFile_ = edit("keyFileField");
  keyFile_->setPlaceholderText("none: log in with the password");
  keyFileBrowse_ = new QPushButton("...", this);
  keyFileBrowse_->setObjectName("keyFileBrowse");
  keyFileBrowse_->setAutoDefault(false);
  keyFileRow_ = new QWidget(this);
  auto* keyLayout = new QHBoxLayout(keyFileRow_);
  keyLayout->setContentsMargins(0, 0, 0, 0);
  keyLayout->addWidget(keyFile_, 1);
  keyLayout->addWidget(keyFileBrowse_);
  passphrase_ = edit("passphraseField");
  passphrase_->setEchoMode(QLineEdit::Password);
  passive_ = box("passiveBox", "Passive mode");
  binary_ = box("binaryBox", "Binary transfers");
  threads_ = new QSpinBox(this);
  threads_->setObjectName("threadsField");
  threads_->setRange(1, 6);
  localDir_ = edit("localDirField");
  localDir_->setPlaceholderText("where the local side opens");
  localDirBrowse_ = new QPushButton("...", this);
  localDirBrowse_->setObjectName("localDirBrowse");
  localDirBrowse_->setAutoDefault(false);
  auto* localRow = new QWidget(this);
  auto* localLayout = new QHBoxLayout(localRow);
  localLayout->setContentsMargins(0, 0, 0, 0);
  localLayout->addWidget(localDir_, 1);
  localLayout->addWidget(localDirBrowse_);
  remoteDir_ = edit("remoteDirField");
  remoteDir_->setPlaceholderText("/");

  AddField("Name:", name_);
  AddField("Protocol:", protocol_);
  AddField("Address:", address_);
  AddField("Port:", port_);
  AddField("User:", user_);
  AddField("Password:", password_);
  AddField(QString(), savePassword_);
  AddField("Private key:", keyFileRow_);
  AddField("Passphrase:", passphrase_);
  AddField(QString(), passive_);
  AddField(QString(), binary_);
  AddField("Threads:", threads_);
  AddField("Local folder:", localRow);
  AddField("Remote folder:", remoteDir_);
  lockedNote_ = new QLabel("This connection is locked: its settings cannot be changed here.", this);
  lockedNote_->setObjectName("lockedNote");
  lockedNote_->setWordWrap(true);
  lockedNote_->hide();
  form_->addRow(lockedNote_);

  save_ = new QPushButton("Save", this);
  save_->setObjectName("saveButton");
  save_->setAutoDefault(false);
  connect_ = new QPushButton("Connect", this);
  connect_->setObjectName("connectButton");
  connect_->setDefault(true);
  close_ = new QPushButton("Close", this);
  close_->setObjectName("closeButton");
  close_->setAutoDefault(false);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(save_);
  bottom->addWidget(connect_);
  bottom->addWidget(close_);

  auto* right = new QVBoxLayout;
  right->addLayout(form_);
  right->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 2);
  top->addLayout(right, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(bottom);
  resize(640, 400);

  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (switching_ || row == current_) return;
    if (current_ >= 0) {
      const Entry& leaving = entries_[static_cast<size_t>(current_)];
      // A new profile nobody typed into is let go without a word.
      if (leaving.isNew && TakeFields() == leaving.stored) {
        const int removed = current_;
        current_ = -1;
        entries_.erase(entries_.begin() + removed);
        const QSignalBlocker quiet(list_);
        delete list_->takeItem(removed);
        if (row > removed) --row;
        list_->setCurrentRow(row);
      } else if (!Commit()) {
        const QSignalBlocker quiet(list_);
        list_->setCurrentRow(current_);
        return;
      }
    }
    Show(row);
  });
  connect(list_, &QListWidget::itemActivated, this, [this] { ConnectSelected(); });
  connect(new_, &QPushButton::clicked, this, &ConnectionManagerDialog::NewProfile);
  connect(duplicate_, &QPushButton::clicked, this, &ConnectionManagerDialog::DuplicateProfile);
  connect(delete_, &QPushButton::clicked, this, &ConnectionManagerDialog::DeleteSelected);
  connect(save_, &QPushButton::clicked, this, &ConnectionManagerDialog::Save);
  connect(connect_, &QPushButton::clicked, this, &ConnectionManagerDialog::ConnectSelected);
  connect(close_, &QPushButton::clicked, this, &ConnectionManagerDialog::reject);
  connect(localDirBrowse_, &QPushButton::clicked, this, [this] {
    if (!pickers_.chooseFolder) return;
    if (auto folder = pickers_.chooseFolder(this, "Please select a folder:", localDir_->text()))
      localDir_->setText(Q(*folder));
  });
  connect(keyFileBrowse_, &QPushButton::clicked, this, [this] {
    if (!pickers_.chooseFile) return;
    const QString start =
        keyFile_->text().isEmpty() ? QDir::homePath() + "/.ssh" : keyFile_->text();
    if (auto file = pickers_.chooseFile(this, "Please select your private key:", start))
      keyFile_->setText(Q(*file));
  });
  connect(protocol_, &QComboBox::currentIndexChanged, this, [this] { ProtocolChosen(); });

  Reload(-1);
}

ServerProtocol ConnectionManagerDialog::ShownProtocol() const {
  return static_cast<ServerProtocol>(protocol_->currentData().toInt());
}

void ConnectionManagerDialog::ProtocolChosen() {
  const ServerProtocol chosen = ShownProtocol();
  // A port nobody changed follows the protocol; a port the user typed stays.
  if (port_->value() == DefaultPort(shownProtocol_)) port_->setValue(DefaultPort(chosen));
  shownProtocol_ = chosen;
  const bool sftp = chosen == ServerProtocol::Sftp;
  form_->setRowVisible(keyFileRow_, sftp);
  form_->setRowVisible(passphrase_, sftp);
  UpdateControls();
}

void ConnectionManagerDialog::AddField(const QString& label, QWidget* field) {
  if (label.isEmpty())
    form_->addRow(field);
  else
    form_->addRow(label, field);
}

std::vector<int> ConnectionManagerDialog::Slots() const {
  std::vector<int> taken;
  for (const Entry& entry : entries_) taken.push_back(entry.isNew ? -1 : entry.slot);
  return taken;
}

QString ConnectionManagerDialog::RowText(const Entry& entry) const {
  const QString name = Q(entry.isNew ? entry.stored.name : entry.summary.name);
  if (entry.isNew) return name;
  if (entry.summary.locked) return name + "  (locked)";
  if (!entry.summary.readable) return name + "  (cannot be read)";
  return name + "  (" + Q(entry.summary.address) + ")";
}

void ConnectionManagerDialog::Reload(int selectSlot) {
  entries_.clear();
  for (const ProfileSummary& summary : ListProfiles(profileFile_)) {
    Entry entry;
    entry.slot = summary.slot;
    entry.summary = summary;
    entry.stored = ReadProfileFields(summary.slot, profileFile_).value_or(ProfileFields{});
    if (summary.locked) entry.stored.name = summary.name;
    entries_.push_back(std::move(entry));
  }
  {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const Entry& entry : entries_) list_->addItem(RowText(entry));
  }
  current_ = -1;
  if (entries_.empty()) {
    NewProfile();
    return;
  }
  int row = 0;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].slot == selectSlot) row = static_cast<int>(i);
  {
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(row);
  }
  Show(row);
}

void ConnectionManagerDialog::SelectSlot(int slot) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (!entries_[i].isNew && entries_[i].slot == slot) list_->setCurrentRow(static_cast<int>(i));
}

void ConnectionManagerDialog::Show(int row) {
  current_ = row;
  if (row < 0 || row >= static_cast<int>(entries_.size())) {
    ShowFields(ProfileFields{});
    UpdateControls();
    return;
  }
  const Entry& entry = entries_[static_cast<size_t>(row)];
  ShowFields(entry.stored);
  if (entry.summary.locked) {
    address_->clear();
    address_->setPlaceholderText("(hidden)");
  } else {
    address_->setPlaceholderText("host name or IP address");
  }
  UpdateControls();
}

void ConnectionManagerDialog::ShowFields(const ProfileFields& f) {
  name_->setText(Q(f.name));
  {
    const QSignalBlocker quiet(protocol_);
    const int index = protocol_->findData(static_cast<int>(f.protocol));
    protocol_->setCurrentIndex(index < 0 ? 0 : index);
  }
  shownProtocol_ = f.protocol;
  address_->setText(Q(f.address));
  port_->setValue(f.port);
  user_->setText(Q(f.userName));
  password_->setText(Q(f.password));
  savePassword_->setChecked(f.savePassword);
  passive_->setChecked(f.passive);
  binary_->setChecked(f.binary);
  threads_->setValue(f.threads);
  localDir_->setText(Q(f.localDir));
  remoteDir_->setText(Q(f.remoteDir));
  keyFile_->setText(Q(f.privateKeyFile));
  passphrase_->setText(Q(f.keyPassphrase));
  const bool sftp = f.protocol == ServerProtocol::Sftp;
  form_->setRowVisible(keyFileRow_, sftp);
  form_->setRowVisible(passphrase_, sftp);
}

ProfileFields ConnectionManagerDialog::TakeFields() const {
  ProfileFields f;
  f.name = S(name_->text().trimmed());
  f.protocol = ShownProtocol();
  f.address = S(address_->text().trimmed());
  f.port = port_->value();
  f.userName = S(user_->text().trimmed());
  f.password = S(password_->text());
  f.savePassword = savePassword_->isChecked();
  f.passive = passive_->isChecked();
  f.binary = binary_->isChecked();
  f.threads = threads_->value();
  f.localDir = S(localDir_->text().trimmed());
  f.remoteDir = S(remoteDir_->text().trimmed());
  if (f.protocol == ServerProtocol::Sftp) {
    f.privateKeyFile = S(keyFile_->text().trimmed());
    f.keyPassphrase = S(passphrase_->text());
  }
  return f;
}

bool ConnectionManagerDialog::Dirty() const {
  if (current_ < 0) return false;
  const Entry& entry = entries_[static_cast<size_t>(current_)];
  if (entry.summary.locked || (!entry.isNew && !entry.summary.readable)) return false;
  return entry.isNew || TakeFields() != entry.stored;
}

bool ConnectionManagerDialog::Commit() {
  if (!Dirty()) return true;
  Entry& entry = entries_[static_cast<size_t>(current_)];
  const ProfileFields fields = TakeFields();
  int slot = entry.slot;
  if (entry.isNew) {
    std::optional<int32_t> free = FirstFreeSlot(profileFile_);
    if (!free) {
      messages_.Show("No free connection slot is left: at most 20 connections can be kept.");
      return false;
    }
    slot = *free;
  }
  std::string error;
  if (!WriteProfileFields(slot, fields, profileFile_, error)) {
    messages_.Show(error);
    return false;
  }
  entry.slot = slot;
  entry.isNew = false;
  entry.stored = fields;
  entry.summary.slot = slot;
  entry.summary.name = fields.name;
  entry.summary.address = fields.address;
  entry.summary.readable = true;
  list_->item(current_)->setText(RowText(entry));
  UpdateControls();
  return true;
}

bool ConnectionManagerDialog::Save() { return Commit(); }

void ConnectionManagerDialog::NewProfile() {
  if (current_ >= 0 && !Commit()) return;
  for (const Entry& entry : entries_)
    if (entry.isNew) return;  // one at a time
  if (!FirstFreeSlot(profileFile_)) {
    messages_.Show("No free connection slot is left: at most 20 connections can be kept.");
    return;
  }
  Entry entry;
  entry.isNew = true;
  entry.stored = NewProfileFields();
  entries_.push_back(entry);
  {
    const QSignalBlocker quiet(list_);
    list_->addItem(RowText(entry));
    list_->setCurrentRow(list_->count() - 1);
  }
  Show(list_->count() - 1);
  name_->setFocus();
  name_->selectAll();
}

void ConnectionManagerDialog::DuplicateProfile() {
  if (current_ < 0 || !Commit()) return;
  const Entry& entry = entries_[static_cast<size_t>(current_)];
  if (entry.isNew || entry.summary.locked) return;
  std::optional<int32_t> copy = quillon::DuplicateProfile(entry.slot, profileFile_);
  if (!copy) {
    messages_.Show("No free connection slot is left: at most 20 connections can be kept.");
    return;
  }
  Reload(*copy);
}

void ConnectionManagerDialog::DeleteSelected() {
  if (current_ < 0) return;
  const Entry entry = entries_[static_cast<size_t>(current_)];
  if (entry.summary.locked) return;
  if (!entry.isNew) {
    if (messages_.Show("Delete the connection \"" + entry.summary.name + "\"?",
                       MessageButtons::YesNo) != MessageAnswer::Yes)
      return;
    if (!quillon::DeleteProfile(entry.slot, profileFile_)) {
      messages_.Show("Cannot write " + profileFile_ + ".");
      return;
    }
  }
  Reload(-1);
}

void ConnectionManagerDialog::ConnectSelected() {
  if (current_ < 0) return;
  if (!Commit()) return;
  const Entry& entry = entries_[static_cast<size_t>(current_)];
  if (!entry.summary.readable) {
    messages_.Show("Invalid configuration.");
    return;
  }
  Choice choice;
  choice.slot = entry.slot;
  if (!entry.summary.locked && !savePassword_->isChecked()) choice.password = S(password_->text());
  chosen_ = choice;
  accept();
}

void ConnectionManagerDialog::reject() {
  if (Dirty()) {
    const Entry& entry = entries_[static_cast<size_t>(current_)];
    const bool untouchedNew = entry.isNew && TakeFields() == entry.stored;
    if (!untouchedNew) {
      switch (messages_.Show("Save the changes to the connection \"" + S(name_->text()) + "\"?",
                             MessageButtons::YesNoCancel, MessageIcon::Question)) {
        case MessageAnswer::Yes:
          if (!Commit()) return;
          break;
        case MessageAnswer::No:
          break;
        default:
          return;
      }
    }
  }
  QDialog::reject();
}

void ConnectionManagerDialog::UpdateControls() {
  const Entry* entry = current_ >= 0 ? &entries_[static_cast<size_t>(current_)] : nullptr;
  const bool locked = entry && entry->summary.locked;
  const bool editable = entry && !locked && (entry->isNew || entry->summary.readable);
  for (QWidget* field : std::initializer_list<QWidget*>{
           name_, protocol_, address_, port_, user_, password_, savePassword_, keyFile_,
           keyFileBrowse_, passphrase_, threads_, localDir_, localDirBrowse_, remoteDir_})
    field->setEnabled(editable);
  // SFTP has no passive mode and no ASCII transfers.
  const bool ftp = ShownProtocol() != ServerProtocol::Sftp;
  passive_->setEnabled(editable && ftp);
  binary_->setEnabled(editable && ftp);
  lockedNote_->setVisible(locked);
  duplicate_->setEnabled(entry && !entry->isNew && !locked);
  delete_->setEnabled(entry && !locked);
  save_->setEnabled(editable);
  connect_->setEnabled(entry && (entry->isNew || entry->summary.readable));
}

}  // namespace quillon
