#include "profiles/ServerProtocol.h"

#include "common/Text.h"

namespace quillon {

namespace {

struct Named {
  ServerProtocol protocol;
  std::string_view name;
  int port;
};

constexpr Named kProtocols[] = {
    {ServerProtocol::Ftp, "ftp", 21},
    {ServerProtocol::FtpExplicitTls, "ftpes", 21},
    {ServerProtocol::FtpImplicitTls, "ftps", 990},
    {ServerProtocol::Sftp, "sftp", 22},
};

}  // namespace

std::string_view ProtocolName(ServerProtocol protocol) {
  for (const Named& named : kProtocols)
    if (named.protocol == protocol) return named.name;
  return {};
}

std::optional<ServerProtocol> ProtocolFromName(std::string_view name) {
  for (const Named& named : kProtocols) {
    if (EqualsIgnoringCase(name, named.name)) return named.protocol;
  }
  return std::nullopt;
}

int DefaultPort(ServerProtocol protocol) {
  for (const Named& named : kProtocols)
    if (named.protocol == protocol) return named.port;
  return 21;
}

}  // namespace quillon
