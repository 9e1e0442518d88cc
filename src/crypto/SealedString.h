#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The protected form of INI values: Base64 text (one line, see Base64.h) of the cipher blob of
// the text and its terminating zero byte, under the built-in INI key as a 256-bit key with
// 128-bit blocks (14 rounds). Safe on any thread: every call builds its own key.

// Nothing for an empty text.
[[nodiscard]] std::optional<std::string> SealString(std::string_view text);

// The sealed text (up to its terminating zero byte), or nothing when `sealed` is empty or does
// not decode and decrypt under the INI key.
[[nodiscard]] std::optional<std::string> UnsealString(std::string_view sealed);

}  // namespace quillon
