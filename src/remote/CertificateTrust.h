#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"

namespace quillon {

// Server certificates of FTP over TLS: what a certificate says, whether it is trusted, and
// the trust file "Quillon.trusted_certs" in the program folder, where the certificates the user
// chose to trust always are pinned by their fingerprint, one line per server:
//
//   # comment lines
//   ftp.example.com:990 SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU CN=ftp.example.com ...
//   [2001:db8::7]:21 SHA256:...
//
// The server as "host:port" ("[host]:port" for an IPv6 address), the fingerprint, and a note
// for the reader. Host names match without regard to letter case. A user may delete lines;
// lines that do not parse are kept as they stand and otherwise ignored.

inline constexpr std::string_view kTrustedCertificatesFileName = "Quillon.trusted_certs";

// What a server's certificate says, as shown when asking whether to trust it. The texts come
// from the server: the platform adapter that fills this record makes them printable (control
// characters escaped) before they reach a window or a log.
struct CertificateDescription {
  std::string subject;  // distinguished name, "CN=...,O=..."
  std::string issuer;
  TimePoint notBefore{};
  TimePoint notAfter{};
  std::vector<std::string> names;  // the DNS names and addresses it is issued for
  std::string fingerprint;         // "SHA256:..." of the DER bytes
};

// The lines shown for a certificate ("Subject: ...", "Issuer: ...", "Valid from ... to ...",
// "Issued for: ..." when it names any, then the fingerprint on a line of its own), each ending
// in "\n".
std::string DescribeCertificate(const CertificateDescription& certificate);

// "host:port", or "[host]:port" when the host holds a colon (an IPv6 address, also when given
// in brackets already).
std::string ServerName(std::string_view host, int port);

enum class CertificateVerdict {
  Trusted,    // it checks out: a known authority, valid now, issued for this host
  Pinned,     // it does not check out, but the user trusted exactly this certificate
  Untrusted,  // it does not check out and nothing is pinned for this server: ask, or refuse
  Changed,    // it does not check out and another certificate is pinned for this server
};

// The decision for a certificate. A certificate that checks out is trusted even when another
// one is pinned (the server's authority issued a new one); one that does not is trusted only
// when its fingerprint is the one pinned for the server.
CertificateVerdict JudgeCertificate(bool checksOut, std::string_view fingerprint,
                                    const std::optional<std::string>& pinned);

// The fingerprint pinned for host:port in the trust file, or nullopt (also when the file is
// missing or cannot be read).
std::optional<std::string> PinnedCertificate(const std::string& file, std::string_view host,
                                             int port);

// Pins `fingerprint` for host:port, replacing what was pinned for that server; the file is
// made, with a comment that explains it, when missing. `note` describes the certificate for the
// reader (line ends and other control characters become blanks). False when the fingerprint is
// not one or the file cannot be written.
bool PinCertificate(const std::string& file, std::string_view host, int port,
                    std::string_view fingerprint, std::string_view note);

}  // namespace quillon
