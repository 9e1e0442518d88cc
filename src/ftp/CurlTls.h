#pragma once

#include <curl/curl.h>

#include <optional>
#include <string>
#include <string_view>

#include "profiles/ConnectParameters.h"
#include "remote/ServerTrust.h"

namespace quillon {

// The server check of one FTP-over-TLS connection. libcurl's own checks are replaced by ours,
// made inside the handshake: a certificate is accepted when its chain checks out against the
// authorities and it is issued for the host, or when its fingerprint is pinned for host:port in
// the trust file, or equals the fingerprint the user accepted for this session. Anything else
// ends the handshake before a byte of the login is sent, and Untrusted() says what the server
// presented and why it was refused.
class TlsServerCheck {
 public:
  // `probeOnly`: capture the certificate and refuse it whatever it is (quillon-tool trust).
  TlsServerCheck(const FtpConnectParameters& server, int port, bool probeOnly = false);

  // TLS options of a control connection and its data connections (session reuse, TLS 1.2 at
  // most, the check above).
  void Configure(CURL* easy);

  // A new control connection starts: the chain errors of an earlier handshake are forgotten.
  void BeginHandshake() {
    chainError_ = 0;
    untrusted_.reset();
  }

  // The certificate that was refused (or, probing, the one presented).
  const std::optional<ServerIdentity>& Untrusted() const { return untrusted_; }

  // Called by the verification callback with the leaf certificate; true accepts it.
  bool JudgeLeaf(bool chainChecksOut, bool nameMatches, std::string_view der);
  void NoteChainError(int error) {
    if (chainError_ == 0) chainError_ = error;
  }
  int ChainError() const { return chainError_; }
  const std::string& Host() const { return host_; }

 private:
  std::string host_;
  int port_;
  std::string trustFile_;  // empty: nothing is pinned
  std::string authorities_;
  std::string accepted_;
  bool probeOnly_;
  int chainError_ = 0;
  std::optional<ServerIdentity> untrusted_;
};

// Closes a data connection of FTP over TLS without losing what the server still sends: this side
// stops sending, then reads until the server closes (at most 2 seconds), then closes. A plain
// close would answer the server's late TLS records (a session ticket) with a reset, and the
// server could lose the tail of an upload it had not read yet.
int LingeringClose(curl_socket_t socket);

}  // namespace quillon
