#include "support/SshServer.h"

#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quillon::test {

namespace {

constexpr const char* kSshd = "/usr/sbin/sshd";
constexpr const char* kTestUser = "quillon";

std::string Run(const std::vector<std::string>& argv, const std::string& input = {}) {
  const ProcessResult result = RunProcess(argv, input);
  if (result.exitCode != 0) throw std::runtime_error(argv[0] + " failed: " + result.err);
  return result.out;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The arguments of the namespaced start: bind the account copies over the real files, give
// sshd an empty /run for its privilege separation folder, then become sshd.
std::vector<std::string> NamespacedArgv(const TempDir& folder) {
  const std::string script = "mount --bind '" + folder.file("passwd") + "' /etc/passwd && " +
                             "mount --bind '" + folder.file("shadow") + "' /etc/shadow && " +
                             "mount -t tmpfs -o mode=0755 quillon-run /run && " +
                             "mkdir -m 0755 /run/sshd && " + "exec " + kSshd + " -D -e -f '" +
                             folder.file("sshd_config") + "'";
  return {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c", script};
}

}  // namespace

SshServer::SshServer(std::filesystem::path root)
    : root_(std::filesystem::absolute(root)),
      namespaced_(geteuid() == 0),
      daemon_(namespaced_
                  ? NamespacedArgv(folder_)
                  : std::vector<std::string>{kSshd, "-D", "-e", "-f", folder_.file("sshd_config")},
              folder_.path() / "sshd.out") {
  if (access(kSshd, X_OK) != 0) throw std::runtime_error("sshd (openssh-server) is not installed");
  MakeKeys();
  MakeAccount();
  port_ = StartOnFreePort(daemon_, "sshd", [&](int port) { WriteConfig(port); });
}

void SshServer::MakeKeys() {
  const auto keygen = [&](const std::string& file, std::vector<std::string> options,
                          const std::string& passphrase) {
    std::vector<std::string> argv = {"/usr/bin/ssh-keygen", "-q", "-N", passphrase, "-C",
                                     "quillon test",        "-f", file};
    argv.insert(argv.end(), options.begin(), options.end());
    Run(argv);
  };
  keygen(folder_.file("host_ed25519"), {"-t", "ed25519"}, "");
  keygen(KeyFile("ed25519"), {"-t", "ed25519"}, "");
  keygen(KeyFile("ed25519-protected"), {"-t", "ed25519"}, KeyPassphrase());
  keygen(KeyFile("ecdsa"), {"-t", "ecdsa", "-m", "PEM"}, "");
  keygen(KeyFile("rsa"), {"-t", "rsa", "-b", "2048"}, "");
  std::string authorized;
  for (const char* name : {"ed25519", "ed25519-protected", "ecdsa", "rsa"})
    authorized += ReadFile(KeyFile(name) + ".pub");
  WriteFile(folder_.path() / "authorized_keys", authorized);

  // "256 SHA256:... quillon test (ED25519)"
  std::istringstream listed(
      Run({"/usr/bin/ssh-keygen", "-l", "-E", "sha256", "-f", folder_.file("host_ed25519.pub")}));
  std::string bits;
  listed >> bits >> hostFingerprint_;
  std::istringstream publicKey(ReadFile(folder_.file("host_ed25519.pub")));
  std::string type, blob;
  publicKey >> type >> blob;
  hostKeyLine_ = type + " " + blob;
}

void SshServer::MakeAccount() {
  if (!namespaced_) {
    const passwd* own = getpwuid(geteuid());
    if (own == nullptr) throw std::runtime_error("the current user has no account entry");
    user_ = own->pw_name;
    return;
  }
  user_ = kTestUser;
  const std::string hash =
      FirstLine(Run({"/usr/bin/openssl", "passwd", "-6", "-stdin"}, Password()));
  WriteFile(folder_.path() / "passwd", ReadFile("/etc/passwd") + user_ +
                                           ":x:0:0:Quillon test:" + root_.string() + ":/bin/sh\n");
  WriteFile(folder_.path() / "shadow",
            ReadFile("/etc/shadow") + user_ + ":" + hash + ":19000:0:99999:7:::\n");
}

void SshServer::WriteConfig(int port) {
  std::string config = "Port " + std::to_string(port) +
                       "\n"
                       "ListenAddress 127.0.0.1\n"
                       "HostKey " +
                       folder_.file("host_ed25519") +
                       "\n"
                       "PidFile none\n"
                       "AuthorizedKeysFile " +
                       folder_.file("authorized_keys") +
                       "\n"
                       "StrictModes no\n"
                       "UsePAM no\n"
                       "PubkeyAuthentication yes\n"
                       "KbdInteractiveAuthentication no\n"
                       "UseDNS no\n"
                       "PrintMotd no\n"
                       "MaxStartups 64\n"
                       "MaxSessions 64\n"
                       "Subsystem sftp internal-sftp\n"
                       "LogLevel VERBOSE\n";
  config += namespaced_ ? "PasswordAuthentication yes\nPermitRootLogin yes\n"
                        : "PasswordAuthentication no\n";
  WriteFile(folder_.path() / "sshd_config", config);
}

std::string SshServer::RemotePath(const std::string& relative) const {
  return relative.empty() ? root_.string() : (root_ / relative).string();
}

}  // namespace quillon::test
