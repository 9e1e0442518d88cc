#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "common/Messages.h"
#include "mail/EmailSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quillon {

// "Email Info": whether a task mails its log, from which sender, through which server, to whom
// (EmailSettings). The three edits and "Test" are enabled only while the check box is ticked.
// OK refuses empty fields while it is ticked ("Fields cannot be blank.") and addresses that are
// not mail addresses ("Invalid sender address.", "Invalid recipient address."), and empties the
// fields when it is not. "Test" sends a test message with the fields as they stand and says how it
// went; the dialog stays open. Every message is a warning box through `messages`. GUI thread only.
//
// Controls by object name: "from", "server", "to", "useEmail", "questionIcon", "okButton",
// "testButton", "cancelButton".
class EmailInfoDialog : public QDialog {
  Q_OBJECT

 public:
  EmailInfoDialog(const EmailSettings& preset, MessagePresenter& messages,
                  QWidget* parent = nullptr);

  // Runs the dialog modally: the settings on OK, nothing on Cancel.
  static std::optional<EmailSettings> Ask(const EmailSettings& preset, MessagePresenter& messages,
                                          QWidget* parent = nullptr);

  // The fields as taken from the controls (TakeEmailSettings); after OK, the result.
  EmailSettings Settings() const;

  // What "Test" runs, off the GUI thread, returning the text to show (SendTestMail unless
  // replaced).
  using TestSender = std::function<std::string(const EmailSettings&)>;
  void SetTestSender(TestSender sender) { testSender_ = std::move(sender); }

  // Refused while a test message is on its way: the dialog waits for its answer.
  void done(int result) override;

 private:
  void EnableFields(bool on);
  void OnOk();
  void OnTest();

  MessagePresenter& messages_;
  TestSender testSender_;
  bool testing_ = false;
  QLineEdit* from_;
  QLineEdit* server_;
  QLineEdit* to_;
  QCheckBox* useEmail_;
  QPushButton* test_;
};

}  // namespace quillon
