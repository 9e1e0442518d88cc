#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mail/SmtpMailer.h"

namespace quillon {

// The notification settings of one task as the e-mail settings dialog edits them
// (mail/ui/EmailInfoDialog), their rules, and the test message.

struct EmailSettings {
  bool useEmail = false;  // "When task completes, email the task log to:"
  std::string from;       // "Your email address:"
  std::string server;     // "Your outgoing email server:"
  std::string to;         // "Recipient emails (separated by semicolons):"

  bool operator==(const EmailSettings&) const = default;
};

namespace mailtext {
inline constexpr std::string_view kTitle = "Email Info";
inline constexpr std::string_view kNeeded = "The following information is needed.";
inline constexpr std::string_view kFromLabel = "Your email address:";
inline constexpr std::string_view kServerLabel = "Your outgoing email server:";
inline constexpr std::string_view kToLabel = "Recipient emails (separated by semicolons):";
inline constexpr std::string_view kUseEmailLabel = "When task completes, email the task log to:";
inline constexpr std::string_view kFieldsBlank = "Fields cannot be blank.";
inline constexpr std::string_view kInvalidRecipient = "Invalid recipient address.";
inline constexpr std::string_view kInvalidSender = "Invalid sender address.";
inline constexpr std::string_view kTestSent = "A test email has been sent to: ";
inline constexpr std::string_view kTestFailed = "Test failed: ";
inline constexpr std::string_view kTestSubject = "Quillon Email Notification Test";
inline constexpr std::string_view kTestBody = "Test OK.";
}  // namespace mailtext

// The fields as they are taken from the controls: sender, server and recipients without white
// space at either end (a stored value loses it anyway, so the test sends what a run will use).
EmailSettings TakeEmailSettings(EmailSettings typed);

// The addresses of taken fields as the mail client will take them: kInvalidSender when the
// sender is not a mail address (IsMailAddress), kInvalidRecipient when the recipients hold no
// piece or a piece that is not one; nullopt when all are addresses.
std::optional<std::string_view> CheckEmailAddresses(const EmailSettings& settings);

// The OK rule, on taken fields. With use-e-mail on, every field must be non-empty, else
// kFieldsBlank, and the addresses must pass CheckEmailAddresses (the dialog stays open on the
// first failure). With it off the three fields are emptied.
[[nodiscard]] std::optional<std::string_view> FinishEmailSettings(EmailSettings& settings);

// Sends the test message ("Quillon Email Notification Test", "Test OK.") with the taken
// fields and returns the text to show: CheckEmailAddresses' message when an address is refused
// (nothing is sent), kTestSent + the recipients as typed, or kTestFailed + the client's last
// error (which may be empty). Blocks the calling thread for the exchange, each wait bounded by
// `timeouts`.
[[nodiscard]] std::string SendTestMail(const EmailSettings& settings,
                                       const SmtpTimeouts& timeouts = {});

// The settings of a task record (TaskDefinition or any record with its field names) and back.
template <class Task>
EmailSettings EmailSettingsOfTask(const Task& task) {
  return {task.useEmail, task.emailFrom, task.emailServer, task.emailTo};
}
template <class Task>
void ApplyEmailSettingsToTask(const EmailSettings& settings, Task& task) {
  task.useEmail = settings.useEmail;
  task.emailFrom = settings.from;
  task.emailServer = settings.server;
  task.emailTo = settings.to;
}

}  // namespace quillon
