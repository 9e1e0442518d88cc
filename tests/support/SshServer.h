#pragma once

#include <filesystem>
#include <string>

#include "support/DaemonProcess.h"
#include "support/TestSupport.h"

namespace quillon::test {

// OpenSSH's sshd (package openssh-server) in the foreground, `sshd -D -e -f <own config>`, on a
// free loopback port, serving SFTP (internal-sftp) with a host key, a configuration and
// authorized keys of its own in a temporary folder. Nothing of the system's ssh set-up is read
// or changed.
//
// As root (the CI machines), sshd runs in a private mount namespace (`unshare --mount`) where
// copies of /etc/passwd and /etc/shadow with an extra user "quillon" (uid 0, a known password,
// home = `root`) hide the real ones and a tmpfs on /run holds sshd's /run/sshd: password and key
// logins both work, and the login folder is `root`. Without root, sshd runs as the current user,
// who can only log in with a key (PasswordLogin() is false) and whose login folder is their own
// home; tests name files by RemotePath() in both cases.
//
// The client keys, all in the authorized keys: "ed25519" (no passphrase), "ed25519-protected"
// (passphrase KeyPassphrase()), "ecdsa" (PEM, no passphrase), "rsa" (OpenSSH format; OpenSSH
// 9.2 refuses its SHA-1 signatures from libssh2 1.10).
//
// Throws std::runtime_error, quoting sshd's output, when it cannot start.
class SshServer {
 public:
  explicit SshServer(std::filesystem::path root);
  SshServer(const SshServer&) = delete;
  SshServer& operator=(const SshServer&) = delete;

  int port() const { return port_; }
  const std::string& user() const { return user_; }
  bool PasswordLogin() const { return namespaced_; }
  std::string Password() const { return "pw-Quillon-9"; }
  std::string KeyFile(const std::string& name) const { return folder_.file("key-" + name); }
  std::string KeyPassphrase() const { return "kp-Secret-1"; }

  // The host key as OpenSSH prints it: "SHA256:<base64>" (ssh-keygen -l), and the public key
  // line "<type> <base64>" (what known_hosts holds after the host field).
  const std::string& HostKeyFingerprint() const { return hostFingerprint_; }
  const std::string& HostKeyLine() const { return hostKeyLine_; }

  // The absolute path on the server of a name below the root.
  std::string RemotePath(const std::string& relative = {}) const;
  std::string Log() const { return daemon_.Log(); }

 private:
  void MakeKeys();
  void MakeAccount();
  void WriteConfig(int port);

  std::filesystem::path root_;
  TempDir folder_;
  bool namespaced_ = false;
  std::string user_;
  std::string hostFingerprint_;
  std::string hostKeyLine_;
  DaemonProcess daemon_;
  int port_ = 0;
};

}  // namespace quillon::test
