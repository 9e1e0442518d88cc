#include <ostream>

#include "ftp/CurlFtp.h"
#include "platform/ProgramFolder.h"
#include "profiles/ConnectParameters.h"
#include "profiles/ProfileStore.h"
#include "remote/Fingerprint.h"
#include "remote/ServerTrust.h"
#include "tool/ToolCommands.h"

namespace quillon::tool {

// Connects to the server of a profile, stops before logging in, and prints what it presents;
// with --fingerprint, pins it when it is exactly that one.
void Trust(const Arguments& a, std::ostream& out) {
  NoPositional(a);
  const std::string file = a.Required("--ini");
  const int slot = ParseNumber(a.Required("--slot"), 0, 99, "--slot");
  std::optional<std::string> wanted;
  if (auto given = a.Get("--fingerprint")) {
    wanted = ParseFingerprint(*given);
    if (!wanted)
      throw Failure{"--fingerprint must be SHA256:<base64> as printed, not '" + *given + "'"};
  }
  ConnectionProfile profile;
  if (!ReadProfile(slot, profile, file))
    throw Failure{"slot " + std::to_string(slot) + " of " + file + " holds no readable profile"};
  if (profile.protocol == ServerProtocol::Ftp)
    throw Failure{"slot " + std::to_string(slot) +
                  " is plain FTP: its server has no certificate or host key to trust"};
  auto folder = ProgramFolder();
  if (!folder) throw Failure{"cannot find the program folder (set QUILLON_HOME)"};
  if (!InitCurlGlobal()) throw Failure{"cannot initialise the network library"};

  ConnectFailure failure;
  auto identity = ProbeServerIdentity(ConnectParametersOf(profile, *folder), &failure);
  if (!identity) throw Failure{failure.text};
  // A failure prints nothing but its one line.
  if (wanted && *wanted != identity->fingerprint)
    throw Failure{"the server presents " + identity->fingerprint + ", not " + *wanted +
                  ": nothing was trusted"};
  if (wanted && !RememberTrust(*identity, *folder))
    throw Failure{"cannot write the trust file in " + *folder};
  out << "Server: " << ServerName(identity->host, identity->port) << "\n";
  if (identity->kind == IdentityKind::Certificate)
    out << DescribeCertificate(identity->certificate);
  else
    out << "Key type: " << identity->keyType << "\n" << identity->fingerprint << "\n";
  if (!identity->problem.empty()) out << "Not trusted by itself: " << identity->problem << "\n";
  if (identity->changed)
    out << "WARNING: the server's identity changed; trusted before: " << identity->knownFingerprint
        << "\n";
  if (wanted)
    out << "Trusted always: " << ServerName(identity->host, identity->port) << " "
        << identity->fingerprint << "\n";
}

}  // namespace quillon::tool
