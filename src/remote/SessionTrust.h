#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "remote/FtpConnection.h"
#include "remote/ServerTrust.h"

namespace quillon {

// The server trust of one program session: the folder of the trust files, and the certificates
// and host keys the user trusted "once" (for as long as the program runs). Every connection of
// the session takes them (the browsing connection, the folder picker, the lanes and job
// builders), so a server trusted once is not asked about again for each lane. Thread-safe.
class SessionTrust {
 public:
  explicit SessionTrust(std::string trustFolder) : trustFolder_(std::move(trustFolder)) {}

  const std::string& TrustFolder() const { return trustFolder_; }

  // Trusts what `identity` names for its server until the program ends.
  void AcceptForSession(const ServerIdentity& identity);

  // Fills what `server` leaves empty: the trust folder, and the fingerprint trusted for the
  // session for its host and port.
  void Apply(FtpConnectParameters& server) const;

 private:
  const std::string trustFolder_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> accepted_;  // ServerName -> fingerprint
};

}  // namespace quillon
