#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Byte-string rules shared by names, keys and protocol words. Letter case is that of the C
// locale: only A-Z and a-z have a case, every other byte (UTF-8 included) stands for itself.

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);
std::string LowerCased(std::string_view text);

// `text` with every byte except letters, digits, "-", ".", "_", "~" and the bytes of
// `alsoKept` written as "%XX" (upper-case hexadecimal), as in URLs and trash records.
std::string PercentEncode(std::string_view text, std::string_view alsoKept = {});

// `text` as one word for sh: in single quotes, each single quote inside written as '\''.
// Every other byte stands for itself (sh keeps line ends inside quotes); callers that write
// the word where a byte must not appear (a crontab line, a log line) check for it first.
std::string SingleQuoted(std::string_view text);

}  // namespace quillon
