#pragma once

#include <string>
#include <string_view>

#include "remote/CertificateTrust.h"

namespace quillon {

// What a secure connection learned about a server it could not trust by itself, and the
// decision the user makes about it.
//
// A connection never waits for a person inside the handshake: it stops before anything is sent
// (no user name, no password) and reports the identity. A window asks the user (a TrustAsker);
// "once" connects again accepting exactly that fingerprint for the one session, "always" records
// it first (the trust file for certificates, Quillon's known_hosts file for host keys). An
// unattended run never asks: it logs UntrustedServerText and fails.

enum class IdentityKind {
  Certificate,  // FTP over TLS: the server's certificate
  HostKey,      // SFTP: the server's SSH host key
};

struct ServerIdentity {
  IdentityKind kind = IdentityKind::Certificate;
  std::string host;
  int port = 0;
  std::string fingerprint;  // "SHA256:..." of the certificate's DER bytes or the key blob

  // Why the certificate does not check out by itself ("self-signed certificate", "certificate
  // has expired", "issued for other names"), empty for host keys.
  std::string problem;
  CertificateDescription certificate;  // kind Certificate

  std::string keyType;  // kind HostKey: "ssh-ed25519", "ecdsa-sha2-nistp256", ...
  std::string keyBlob;  // kind HostKey: the key as the server sent it

  // A different certificate or key is on file for this server: its identity changed.
  bool changed = false;
  std::string knownFingerprint;  // what is on file, when `changed`
};

enum class TrustAnswer {
  Refuse,  // do not connect
  Once,    // connect this time only
  Always,  // record the identity, then connect
};

// Asks the user whether to trust a server. Called on the GUI thread only.
class TrustAsker {
 public:
  virtual ~TrustAsker() = default;
  virtual TrustAnswer Ask(const ServerIdentity& identity) = 0;
};

// The question's text: what the server presents (for a certificate its subject, issuer,
// validity and names; for a host key its type) with the fingerprint on a line of its own, why it
// is not trusted, and, for a changed identity, a warning that says so and what was on file.
std::string TrustQuestionText(const ServerIdentity& identity);

// The log line of an unattended run that met an untrusted server: the fingerprint and the
// command that trusts it (`quillon-tool trust --ini FILE --slot N --fingerprint ...`).
std::string UntrustedServerText(const ServerIdentity& identity, std::string_view iniFile, int slot);

// Records the identity as trusted always: the certificate's fingerprint pinned in
// "Quillon.trusted_certs", or the host key written to "Quillon.known_hosts", in the program
// folder. False when the file cannot be written (the caller says so; the session may still
// go on as "once").
bool RememberTrust(const ServerIdentity& identity, std::string_view programFolder);

}  // namespace quillon
