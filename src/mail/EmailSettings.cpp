#include "mail/EmailSettings.h"

#include "mail/MailAddress.h"

namespace quillon {
namespace {

std::string Trimmed(std::string_view text) {
  constexpr std::string_view kWhite = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(kWhite);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(kWhite) - first + 1));
}

}  // namespace

EmailSettings TakeEmailSettings(EmailSettings typed) {
  typed.from = Trimmed(typed.from);
  typed.server = Trimmed(typed.server);
  typed.to = Trimmed(typed.to);
  return typed;
}

std::optional<std::string_view> CheckEmailAddresses(const EmailSettings& settings) {
  if (!IsMailAddress(settings.from)) return mailtext::kInvalidSender;
  std::vector<std::string> recipients = SplitRecipients(settings.to);
  if (recipients.empty()) return mailtext::kInvalidRecipient;
  for (const std::string& recipient : recipients)
    if (!IsMailAddress(recipient)) return mailtext::kInvalidRecipient;
  return std::nullopt;
}

std::optional<std::string_view> FinishEmailSettings(EmailSettings& settings) {
  if (!settings.useEmail) {
    settings.from.clear();
    settings.server.clear();
    settings.to.clear();
    return std::nullopt;
  }
  if (settings.from.empty() || settings.server.empty() || settings.to.empty())
    return mailtext::kFieldsBlank;
  return CheckEmailAddresses(settings);
}

std::string SendTestMail(const EmailSettings& settings, const SmtpTimeouts& timeouts) {
  if (std::optional<std::string_view> refused = CheckEmailAddresses(settings))
    return std::string(*refused);
  SmtpMailer mailer;
  mailer.from = settings.from;
  mailer.AddRecipients(settings.to);
  mailer.server = settings.server;
  mailer.subject = mailtext::kTestSubject;
  mailer.body = mailtext::kTestBody;
  mailer.timeouts = timeouts;
  if (mailer.Send()) return std::string(mailtext::kTestSent) + settings.to;
  return std::string(mailtext::kTestFailed) + mailer.LastError();
}

}  // namespace quillon
