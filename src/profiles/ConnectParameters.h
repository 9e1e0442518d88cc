#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "profiles/ConnectionProfile.h"
#include "profiles/ServerProtocol.h"

namespace quillon {

// What a connection to a server needs, and nothing else of a profile (no keys, folders or
// transfer switches). The transfer type is chosen per file when it is opened.
struct FtpConnectParameters {
  std::string host;      // address as the user wrote it: a name, IPv4 or IPv6 address
  int32_t port = 21;     // 0 stands for the protocol's usual port
  std::string user;      // empty: anonymous
  std::string password;  // in clear text; never put into an error text
  bool passive = false;  // FTP: the server opens the data connections' ports
  ServerProtocol protocol = ServerProtocol::Ftp;
  std::string privateKeyFile;        // SFTP: log in with this OpenSSH key
  std::string privateKeyPassphrase;  // its passphrase, as the profile keeps it

  // Server trust of FTP over TLS and SFTP. A certificate that checks out against
  // `certificateAuthorities` (a PEM file; empty: the system's store) and the host name is
  // trusted; otherwise the certificate or host key must be the one pinned in the trust files of
  // `trustFolder` ("Quillon.trusted_certs", "Quillon.known_hosts"; SFTP also reads
  // ~/.ssh/known_hosts) or equal `acceptedFingerprint`, which the user trusted for this session
  // only ("SHA256:..."). Empty `trustFolder`: nothing is pinned.
  std::string trustFolder;
  std::string certificateAuthorities;
  std::string acceptedFingerprint;
};

// The one place where a profile becomes what a connector takes: the main window's connections,
// the transfer lanes and job builders, and unattended task runs all go through it.
// `trustFolder`: the program folder, where the trust files are (empty: nothing is pinned).
[[nodiscard]] FtpConnectParameters ConnectParametersOf(const ConnectionProfile& profile,
                                                       std::string_view trustFolder = {});

}  // namespace quillon
