#include "remote/SessionTrust.h"

#include "profiles/ServerProtocol.h"

namespace quillon {

void SessionTrust::AcceptForSession(const ServerIdentity& identity) {
  std::lock_guard lock(mutex_);
  accepted_[ServerName(identity.host, identity.port)] = identity.fingerprint;
}

void SessionTrust::Apply(FtpConnectParameters& server) const {
  if (server.trustFolder.empty()) server.trustFolder = trustFolder_;
  if (!server.acceptedFingerprint.empty()) return;
  const int port = server.port > 0 ? server.port : DefaultPort(server.protocol);
  std::lock_guard lock(mutex_);
  auto found = accepted_.find(ServerName(server.host, port));
  if (found != accepted_.end()) server.acceptedFingerprint = found->second;
}

}  // namespace quillon
