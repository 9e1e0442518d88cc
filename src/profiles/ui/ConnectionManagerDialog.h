#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "common/Messages.h"
#include "profiles/ProfileEditor.h"
#include "profiles/ui/LocalPickers.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace quillon {

// "Connection Manager": the connection profiles of "Quillon.ini" (slots 0 to 19) in a list,
// and the fields of the one selected: name, protocol (FTP, FTP over TLS explicit or implicit,
// SFTP), address, port, user, password with "Save password", for SFTP a private key file and its
// passphrase, passive mode and binary transfers (FTP only), threads, and the local and remote
// start folders. Choosing another protocol moves a port left at the old protocol's default to
// the new one's.
// "New", "Duplicate" and "Delete" change the list; what is typed is stored when another
// profile is chosen, on "Save", on "Connect" and on closing (asked), each through
// WriteProfileFields, so the keys are those every other part of the program reads. A locked
// profile is shown read-only (its address stays hidden); it can be connected to, not changed.
// "Connect" (or a double click, or Enter in the list) closes the dialog with the profile chosen:
// two clicks from opening to connecting. Message boxes go through `messages`. GUI thread only.
//
// A field is added by one AddField call in the constructor and one line each in ShowFields and
// TakeFields.
//
// Controls by object name: "profileList", "newButton", "duplicateButton", "deleteButton",
// "nameField", "protocolField", "addressField", "portField", "userField", "passwordField",
// "savePasswordBox", "keyFileField", "keyFileBrowse", "passphraseField", "passiveBox", "binaryBox",
// "threadsField", "localDirField", "localDirBrowse", "remoteDirField", "lockedNote", "saveButton",
// "connectButton", "closeButton".
class ConnectionManagerDialog : public QDialog {
  Q_OBJECT

 public:
  ConnectionManagerDialog(std::string profileFile, MessagePresenter& messages,
                          QWidget* parent = nullptr);

  void SetPickers(LocalPickers pickers) { pickers_ = std::move(pickers); }
  // Selects the profile in `slot` (the first one when there is none; a new one when the list
  // is empty).
  void SelectSlot(int slot);

  // What "Connect" chose: the slot, and the password typed for this connection when it is not
  // saved (empty otherwise).
  struct Choice {
    int slot = -1;
    std::string password;
  };
  const std::optional<Choice>& ChosenConnection() const { return chosen_; }

  // The list as it stands, for tests: the slot of each row (-1 for one not stored yet).
  std::vector<int> Slots() const;

 public slots:
  void NewProfile();
  void DuplicateProfile();
  void DeleteSelected();
  // Stores what is typed; false (with a message) when it cannot be.
  bool Save();
  void ConnectSelected();
  void reject() override;  // "Close", Escape, the close box

 private:
  struct Entry {
    int slot = -1;
    ProfileSummary summary;
    ProfileFields stored;  // as in the file (or a new profile's defaults)
    bool isNew = false;
  };

  void Reload(int selectSlot);
  void Show(int row);
  void ShowFields(const ProfileFields& fields);
  ProfileFields TakeFields() const;
  bool Dirty() const;
  bool Commit();
  void UpdateControls();
  QString RowText(const Entry& entry) const;
  void AddField(const QString& label, QWidget* field);
  void ProtocolChosen();
  ServerProtocol ShownProtocol() const;

  const std::string profileFile_;
  MessagePresenter& messages_;
  LocalPickers pickers_;
  std::vector<Entry> entries_;
  int current_ = -1;
  bool switching_ = false;
  std::optional<Choice> chosen_;

  QListWidget* list_;
  QPushButton* new_;
  QPushButton* duplicate_;
  QPushButton* delete_;
  QFormLayout* form_;
  QLineEdit* name_;
  QComboBox* protocol_;
  ServerProtocol shownProtocol_ = ServerProtocol::Ftp;
  QLineEdit* address_;
  QSpinBox* port_;
  QLineEdit* user_;
  QLineEdit* password_;
  QCheckBox* savePassword_;
  QWidget* keyFileRow_;
  QLineEdit* keyFile_;
  QPushButton* keyFileBrowse_;
  QLineEdit* passphrase_;
  QCheckBox* passive_;
  QCheckBox* binary_;
  QSpinBox* threads_;
  QLineEdit* localDir_;
  QPushButton* localDirBrowse_;
  QLineEdit* remoteDir_;
  QLabel* lockedNote_;
  QPushButton* save_;
  QPushButton* connect_;
  QPushButton* close_;
};

}  // namespace quillon
