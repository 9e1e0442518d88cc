#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// SSH host keys against known_hosts files in OpenSSH's format: the user's ~/.ssh/known_hosts,
// read only, and Quillon's own "Quillon.known_hosts" in the program folder, where the keys the
// user chose to trust always are written.
//
// A line is "[marker] names keytype base64-key [comment]". Names are a comma list of host
// patterns ("*" and "?" wildcards, "!" before a pattern excludes), or one hashed name
// "|1|<base64 salt>|<base64 HMAC-SHA1 of the name>". A server is filed under its host on
// port 22 and under "[host]:port" on any other port, host names without regard to letter case.
// "@revoked" marks a key that must never be accepted; "@cert-authority" lines (certificate
// authorities) are not used. Comments, blank lines and lines that do not parse are skipped.

inline constexpr std::string_view kOwnKnownHostsFileName = "Quillon.known_hosts";

enum class HostKeyMatch {
  Unknown,  // no line names this server with a key of this type
  Known,    // a line names this server with exactly this key
  Changed,  // lines name this server only with other keys of the same type
  Revoked,  // an "@revoked" line holds this key
};

struct HostKeyCheck {
  HostKeyMatch match = HostKeyMatch::Unknown;
  // Changed: the fingerprint of a key on file for the server ("SHA256:..."), and where.
  std::string knownFingerprint;
  std::string file;
  int line = 0;  // 1-based
};

// The key type named at the start of a key blob ("ssh-ed25519", "ecdsa-sha2-nistp256",
// "ssh-rsa", ...), or nullopt when the blob does not start with a well-formed SSH string.
std::optional<std::string> HostKeyType(std::string_view blob);

// "host" for port 22, "[host]:port" otherwise; the host in lower case, an IPv6 address given in
// brackets without them.
std::string KnownHostsName(std::string_view host, int port);

// What known_hosts text says about the key blob the server at host:port presented. Revoked
// outweighs Known, which outweighs Changed. `file` only labels the result.
HostKeyCheck CheckKnownHosts(std::string_view text, std::string_view host, int port,
                             std::string_view keyBlob, const std::string& file = {});

// The same over several files (a file that is missing or unreadable says nothing): Revoked in
// any file, else Known in any, else Changed in any, else Unknown.
HostKeyCheck CheckKnownHostsFiles(const std::vector<std::string>& files, std::string_view host,
                                  int port, std::string_view keyBlob);

// ".ssh/known_hosts" in the user's home folder (UserHomeFolder: $HOME, else the account's).
std::string UserKnownHostsFile();

// Writes the key for host:port into `file` (created with a comment that explains it), in
// place of the lines of the same name and key type that file held, so the key the user chose
// now is the one on file. False when the blob is not a key or the file cannot be written.
bool AddKnownHost(const std::string& file, std::string_view host, int port,
                  std::string_view keyBlob);

}  // namespace quillon
