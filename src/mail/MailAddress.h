#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// True when `address` is a bare mail address that can stand in MAIL FROM:<...> and RCPT TO:
// as it is: a local part of dot-separated atoms (letters, digits, "!#$%&'*+-/=?^_`{|}~" and
// UTF-8 bytes; at most 64 bytes), one "@", and a domain of dot-separated labels (letters, digits,
// inner hyphens, UTF-8 bytes; 1 to 63 bytes each) or an address literal such as "[192.0.2.1]" or
// "[IPv6:2001:db8::1]"; 254 bytes in all. Blanks, "<", ">", quotes, commas, semicolons and
// control characters never pass, so no address can add words or commands to the SMTP exchange.
bool IsMailAddress(std::string_view address);

// A recipient text split into its pieces: at commas, semicolons and white space (blanks, tabs,
// line breaks); empty pieces are dropped. The pieces are not checked.
std::vector<std::string> SplitRecipients(std::string_view text);

}  // namespace quillon
