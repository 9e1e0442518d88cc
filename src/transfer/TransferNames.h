#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The extension of encrypted files.
inline constexpr std::string_view kEncryptedExtension = ".qvr";

// A name that stays inside its folder: not empty, not "." or "..", no "/" or NUL.
bool IsPlainName(std::string_view name);

// `text` ends in `suffix`, letters compared without regard to case (ASCII).
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// ASCII lower case.
std::string ToLower(std::string_view text);

// folder + "/" + name with one separator ("/" + "a" gives "/a").
std::string JoinRemote(std::string_view folder, std::string_view name);

// The text after the last "/" (the whole text without one).
std::string LastPart(std::string_view path);

// The path without trailing "/" characters ("/" itself stays).
std::string WithoutTrailingSlash(std::string_view path);

}  // namespace quillon
