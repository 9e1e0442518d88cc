#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The lines of `text`, each without its "\n" or "\r\n"; a last line without an end counts too,
// an empty text has none.
std::vector<std::string_view> SplitLines(std::string_view text);

// The number written by exactly `count` decimal digits at `at` of `text` (no sign, no blank);
// nothing when a byte there is not a digit or the text ends first. `count` is at most 9.
std::optional<int> DigitsAt(std::string_view text, size_t at, size_t count);

// The number at the start of `text` read the way scanf's "%d" reads it (blanks, an optional
// sign, digits; what follows is left alone); nothing without a digit or beyond int's range.
std::optional<int> LeadingNumber(std::string_view text);

// `text` as one word for sh: in single quotes, each single quote inside written as '\''.
// Every other byte stands for itself (sh keeps line ends inside quotes); callers that write
// the word where a byte must not appear (a crontab line, a log line) check for it first.
std::string SingleQuoted(std::string_view text);

}  // namespace quillon
