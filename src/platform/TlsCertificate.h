#pragma once

#include <optional>
#include <string_view>

#include "remote/CertificateTrust.h"

namespace quillon {

// Reads an X.509 certificate from its DER bytes (OpenSSL) into what the certificate question
// shows: subject and issuer as RFC 2253 text in UTF-8 ("CN=ftp.example.com,O=Example"), the
// validity period, the DNS names and IP addresses of its subject alternative names, and the
// SHA-256 fingerprint of the bytes. The texts come from the server: control characters and
// bytes that are not UTF-8 are written as "\XX", so a certificate cannot put line ends or
// terminal escapes into a window or a log. Nullopt when the bytes are not one certificate.
// Safe from any thread.
[[nodiscard]] std::optional<CertificateDescription> ReadCertificate(std::string_view der);

}  // namespace quillon
