#pragma once

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

}  // namespace quillon
