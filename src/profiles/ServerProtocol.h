#pragma once

#include <optional>
#include <string_view>

namespace quillon {

// How a profile reaches its server. Stored in the profile key "Protocol" by the names below
// (the words `quillon-tool profile set --protocol` takes); a profile without the key is plain
// FTP, as every profile was before the key existed.
enum class ServerProtocol {
  Ftp,             // "ftp": plain FTP
  FtpExplicitTls,  // "ftpes": FTP on the normal port, AUTH TLS before the login, data over TLS
  FtpImplicitTls,  // "ftps": TLS from the first byte (port 990 by default), data over TLS
  Sftp,            // "sftp": the SSH file transfer protocol (port 22 by default)
  Unknown,         // a stored name this build does not know: never connected to, never written
};

// The stored name ("ftp", "ftpes", "ftps", "sftp"); empty for Unknown.
std::string_view ProtocolName(ServerProtocol protocol);

// The protocol of a stored name, without regard to letter case; nullopt for any other text.
[[nodiscard]] std::optional<ServerProtocol> ProtocolFromName(std::string_view name);

// The port a server of this protocol listens on unless the profile names another: 21, 21, 990,
// 22 (21 for Unknown).
int DefaultPort(ServerProtocol protocol);

}  // namespace quillon
