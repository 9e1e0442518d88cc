// What a mail server sends: the input as received bytes, taken apart into replies as the
// mailer does; and the "EmailServer" value of the settings.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "mail/SmtpMailer.h"
#include "mail/SmtpSocket.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string pending = input;
  std::string taken;
  while (auto reply = TakeSmtpReply(pending)) {
    FUZZ_CHECK(!reply->raw.empty());
    FUZZ_CHECK(reply->raw.back() == '\n');
    FUZZ_CHECK(reply->text.size() <= reply->raw.size());
    taken += reply->raw;
    reply->IsFailure();
  }
  // Replies are cut from the front, nothing lost or doubled; the rest holds no whole line.
  FUZZ_CHECK(taken + pending == input);

  if (auto server = ParseMailServer(input)) {
    FUZZ_CHECK(!server->host.empty());
    FUZZ_CHECK(server->port != 0);
  }
  EncodeMessageBody(input);
  return 0;
}
