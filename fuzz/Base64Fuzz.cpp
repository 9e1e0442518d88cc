// Base64 in both forms Quillon reads: the lenient variant of protected INI values and the strict
// standard form of known_hosts keys; and fingerprints as a user pastes them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "crypto/Base64.h"
#include "remote/Fingerprint.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // Never fails; at most three bytes for every four characters read.
  const std::vector<uint8_t> lenient = Base64Decode(input);
  FUZZ_CHECK(lenient.size() <= input.size() / 4 * 3 + 2);
  // Any bytes survive the way there and back.
  FUZZ_CHECK(Base64Decode(Base64Encode(input)) == std::vector<uint8_t>(data, data + size));
  FUZZ_CHECK(Base64Encode(input).size() == 4 * ((size + 2) / 3) + 1);

  // The strict form takes only its own canonical text.
  if (const auto strict = DecodeBase64Standard(input)) FUZZ_CHECK(Base64Standard(*strict) == input);
  FUZZ_CHECK(DecodeBase64Standard(Base64Standard(input)) == std::string(input));

  if (const auto fingerprint = ParseFingerprint(input)) {
    FUZZ_CHECK(fingerprint->size() == 7 + 43);
    FUZZ_CHECK(ParseFingerprint(*fingerprint) == fingerprint);
  }
  return 0;
}
