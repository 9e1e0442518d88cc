#pragma once

#include <QDialog>
#include <optional>

#include "common/Messages.h"
#include "crypto/KeyEntry.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

// The key dialog: asks for an encryption key (key name, key, confirmation), a decryption key,
// or a decryption key with confirmation (KeyPurpose), optionally with "Remember this key:".
// The key fields hide what is typed; a field refuses input beyond its limit (15 bytes for the
// key name, 32 for a key). OK with an empty key or with differing keys keeps the dialog open
// (KeyEntry.h has the rules and texts). Message boxes go through `messages`. GUI thread only.
//
// Controls by object name: "messageLine", "keyIcon", "keyName", "key", "confirmation",
// "caseSensitive", "keyNameHelp", "keyHelp", "remember", "okButton", "cancelButton".
class KeyDialog : public QDialog {
  Q_OBJECT

 public:
  KeyDialog(const KeyRequest& request, MessagePresenter& messages, QWidget* parent = nullptr);

  // Runs the dialog modally: the entered key on OK, nothing on Cancel (the caller then keeps
  // its keys unchanged).
  static std::optional<EnteredKey> Ask(const KeyRequest& request, MessagePresenter& messages,
                                       QWidget* parent = nullptr);

  // What the fields hold; after OK, what the user entered.
  EnteredKey Entered() const;

 private:
  void OnOk();
  void OnRememberClicked(bool ticked);

  KeyPurpose purpose_;
  MessagePresenter& messages_;
  QLabel* messageLine_;
  QLineEdit* keyName_;
  QLineEdit* key_;
  QLineEdit* confirmation_;
  QCheckBox* remember_;
};

}  // namespace quillon
