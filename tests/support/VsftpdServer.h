#pragma once

#include <filesystem>
#include <string>

#include "support/DaemonProcess.h"
#include "support/TestSupport.h"

namespace quillon::test {

// vsftpd (the Debian package) in the foreground on a free loopback port with a configuration
// of its own in a temporary folder: FTP over TLS only (AUTH TLS, login and data protected),
// require_ssl_reuse=YES (a data connection must resume the control connection's TLS session),
// anonymous login ("anonymous", no password) with rights to upload, make folders, rename and
// delete in `root`. run_as_launching_user=YES keeps it in the test's own user and process
// (root in CI, anyone else elsewhere): no privilege changes, no chroot, so paths on the server
// are the real absolute ones and the login folder is `root`. Without a certificate: plain FTP.
//
// vsftpd 3.0.3 loses data on TLS 1.3 data connections (it writes its late session tickets
// into connections the client has closed), so its TLS is capped at 1.2 through an OpenSSL
// configuration given to its process alone.
//
// Throws std::runtime_error, quoting vsftpd's log, when it cannot start.
class VsftpdServer {
 public:
  struct Options {
    std::filesystem::path root = {};  // served folder (must exist)
    std::string certificatePem = {};  // certificate and key in one PEM file (empty: no TLS)
  };

  explicit VsftpdServer(Options options);
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  int port() const { return port_; }
  std::string user() const { return "anonymous"; }
  // The absolute path on the server of a name below the root.
  std::string RemotePath(const std::string& relative = {}) const;
  // vsftpd's output and its protocol log, for failure messages.
  std::string Log() const;

 private:
  Options options_;
  TempDir folder_;
  DaemonProcess daemon_;
  int port_ = 0;
};

}  // namespace quillon::test
