#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Base64 with the RFC 4648 alphabet ("A-Z", "a-z", "0-9", "+", "/"), written as one line, with
// the padding that every stored protected value carries: one "=" more than RFC 4648 asks.
//   length % 3 == 0  ->  "="      (so the empty input encodes as "=")
//   length % 3 == 1  ->  "==="
//   length % 3 == 2  ->  "=="
// The text is always 4 * ceil(length / 3) + 1 characters long.
std::string Base64Encode(const uint8_t* data, size_t length);
std::string Base64Encode(std::string_view bytes);

// Reads up to the end of `text` or its first "=", skipping every character outside the
// alphabet (line ends, blanks, anything else). Every 4 values give 3 bytes; a final group of
// 2 values gives 1 byte, of 3 values 2 bytes; a single leftover value is dropped. Never fails.
std::vector<uint8_t> Base64Decode(std::string_view text);

}  // namespace quillon
