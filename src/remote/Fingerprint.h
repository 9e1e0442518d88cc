#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The SHA-256 fingerprint of what a server presents, in the form OpenSSH prints:
// "SHA256:" and the 32-byte digest in standard Base64 without the "=" padding (43 characters).
// For a TLS certificate the digest is over its DER bytes; for an SSH host key over the key
// blob (the bytes that the Base64 field of a known_hosts line decodes to).
std::string Sha256Fingerprint(std::string_view bytes);

// The canonical form of a fingerprint a user typed or pasted, or nullopt when the text is not
// a SHA-256 fingerprint. Takes "SHA256:<base64>" (the prefix in any letter case, with or
// without padding) and the 64 hexadecimal digits that `openssl x509 -fingerprint -sha256`
// prints (with or without colons, any letter case), with blanks around.
std::optional<std::string> ParseFingerprint(std::string_view text);

// Standard Base64 (RFC 4648) with padding, and its strict reading: nullopt for any character
// outside the alphabet, a wrong length or padding, or bits left over in the last character.
// known_hosts files carry host keys in this form.
std::string Base64Standard(std::string_view bytes);
std::optional<std::string> DecodeBase64Standard(std::string_view text);

}  // namespace quillon
