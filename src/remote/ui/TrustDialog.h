#pragma once

#include <QDialog>

#include "remote/ServerTrust.h"

class QPushButton;

namespace quillon {

// Asks whether to trust a server whose certificate or host key does not check out: what it
// presents, with the fingerprint, and three answers. "Cancel" is the default and Escape's
// answer, so a hasty Enter never trusts a server; a changed identity is shown as a warning.
//
// Controls by object name: "trustText" (the question, selectable), "trustAlwaysButton",
// "trustOnceButton", "cancelButton".
class TrustDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TrustDialog(const ServerIdentity& identity, QWidget* parent = nullptr);

  // The answer after exec() (Refuse until a trust button was clicked).
  TrustAnswer Answer() const { return answer_; }

 private:
  TrustAnswer answer_ = TrustAnswer::Refuse;
};

// A TrustAsker that shows a TrustDialog over `parent`.
class DialogTrustAsker : public TrustAsker {
 public:
  explicit DialogTrustAsker(QWidget* parent) : parent_(parent) {}
  TrustAnswer Ask(const ServerIdentity& identity) override;

 private:
  QWidget* parent_;
};

}  // namespace quillon
