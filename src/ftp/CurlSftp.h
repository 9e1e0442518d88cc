#pragma once

#include <memory>
#include <optional>

#include "common/ActivityLog.h"
#include "ftp/CurlFtp.h"
#include "remote/FtpConnection.h"

namespace quillon {

// SFTP connections over libcurl (libssh2), one easy handle (one SSH session) each, behind the
// same FtpConnection interface as FTP. The server's host key is judged before any
// authentication: known in ~/.ssh/known_hosts or Quillon's own known_hosts file (in
// server.trustFolder), or equal to server.acceptedFingerprint; otherwise nothing is sent and
// failure->untrusted says what the server presented.
std::unique_ptr<FtpConnection> OpenSftpConnection(const FtpConnectParameters& server,
                                                  ActivityLog* log, const FtpTimeouts& timeouts,
                                                  ConnectFailure* failure);

// The host key the server presents, found without authenticating.
std::optional<ServerIdentity> ProbeSftpHostKey(const FtpConnectParameters& server,
                                               const FtpTimeouts& timeouts,
                                               ConnectFailure* failure);

}  // namespace quillon
