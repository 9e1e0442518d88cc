#include "profiles/ConnectParameters.h"

namespace quillon {

FtpConnectParameters ConnectParametersOf(const ConnectionProfile& profile) {
  FtpConnectParameters parameters;
  parameters.host = profile.address;
  parameters.port = profile.port;
  parameters.user = profile.userName;
  parameters.password = profile.password;
  parameters.passive = profile.passiveMode;
  parameters.protocol = profile.protocol;
  parameters.privateKeyFile = profile.privateKeyFile;
  parameters.privateKeyPassphrase = profile.privateKeyPassphrase;
  return parameters;
}

}  // namespace quillon
