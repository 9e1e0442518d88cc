#include "ftp/CurlSftp.h"

namespace quillon {

std::unique_ptr<FtpConnection> OpenSftpConnection(const FtpConnectParameters&, ActivityLog*,
                                                  const FtpTimeouts&, ConnectFailure* failure) {
  if (failure) failure->text = "This connection speaks plain FTP only.";
  return nullptr;
}

std::optional<ServerIdentity> ProbeSftpHostKey(const FtpConnectParameters&, const FtpTimeouts&,
                                               ConnectFailure* failure) {
  if (failure) failure->text = "This connection speaks plain FTP only.";
  return std::nullopt;
}

}  // namespace quillon
