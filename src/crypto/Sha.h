#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillon {

// SHA-1 and SHA-256 (FIPS 180-4) and HMAC-SHA1 (RFC 2104) over whole byte strings. They name
// servers, not secrets: SHA-256 makes the fingerprints of server certificates and host keys,
// and HMAC-SHA1 the hashed host names of known_hosts files. Safe from any thread.
using Sha1Digest = std::array<uint8_t, 20>;
using Sha256Digest = std::array<uint8_t, 32>;

Sha1Digest Sha1(std::string_view bytes);
Sha256Digest Sha256(std::string_view bytes);
Sha1Digest HmacSha1(std::string_view key, std::string_view message);

}  // namespace quillon
