#include "profiles/ConnectParameters.h"

namespace quillon {

FtpConnectParameters ConnectParametersOf(const ConnectionProfile& profile,
                                         std::string_view trustFolder) {
  FtpConnectParameters parameters;
  parameters.host = profile.address;
  parameters.port = profile.port;
  parameters.user = profile.userName;
  parameters.password = profile.password;
  parameters.passive = profile.passiveMode;
  parameters.protocol = profile.protocol;
  parameters.privateKeyFile = profile.privateKeyFile;
  parameters.privateKeyPassphrase = profile.privateKeyPassphrase;
  parameters.trustFolder = trustFolder;
  return parameters;
}

}  // namespace quillon
