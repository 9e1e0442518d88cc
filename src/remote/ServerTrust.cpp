#include "remote/ServerTrust.h"

#include "common/Paths.h"
#include "common/Text.h"
#include "remote/KnownHosts.h"

namespace quillon {

namespace {

// A word a user can paste into a shell: as it stands when it holds only characters no shell
// treats specially, else in single quotes. Control characters (which a log line must not carry)
// become "?".
std::string ShellArgument(std::string_view word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789_-./:@+,=") == std::string_view::npos;
  if (plain) return std::string(word);
  std::string shown(word);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return SingleQuoted(shown);
}

std::string WhatItIs(const ServerIdentity& identity) {
  return identity.kind == IdentityKind::Certificate ? "certificate" : "host key";
}

}  // namespace

std::string TrustQuestionText(const ServerIdentity& identity) {
  const std::string server = ServerName(identity.host, identity.port);
  std::string text;
  if (identity.changed) {
    text = "WARNING: The identity of the server " + server + " has changed.\n" + "The " +
           WhatItIs(identity) + " it presents is not the one you trusted before (" +
           identity.knownFingerprint +
           "). Someone may be intercepting the connection, or the server's " + WhatItIs(identity) +
           " was replaced.\n\n";
  } else if (identity.kind == IdentityKind::Certificate) {
    text = "The certificate of the server " + server + " is not trusted";
    text += identity.problem.empty() ? ".\n\n" : ": " + identity.problem + ".\n\n";
  } else {
    text = "The server " + server +
           " is not known. Check that its host key is the one you "
           "expect before you trust it.\n\n";
  }
  if (identity.kind == IdentityKind::Certificate) {
    CertificateDescription described = identity.certificate;
    described.fingerprint = identity.fingerprint;
    text += DescribeCertificate(described);
  } else {
    text += "Key type: " + identity.keyType + "\n" + identity.fingerprint + "\n";
  }
  text += "\nDo you trust this server?";
  return text;
}

std::string UntrustedServerText(const ServerIdentity& identity, std::string_view iniFile,
                                int slot) {
  const std::string server = ServerName(identity.host, identity.port);
  std::string text;
  if (identity.changed) {
    text = "The identity of the server " + server + " has changed: its " + WhatItIs(identity) +
           " " + identity.fingerprint + " is not the trusted " + identity.knownFingerprint + ".";
  } else {
    text = "The " + WhatItIs(identity) + " of the server " + server + " is not trusted";
    if (!identity.problem.empty()) text += " (" + identity.problem + ")";
    text += ": " + identity.fingerprint + ".";
  }
  text += " To trust it, check the fingerprint and run: quillon-tool trust --ini " +
          ShellArgument(iniFile) + " --slot " + std::to_string(slot) + " --fingerprint " +
          identity.fingerprint;
  return text;
}

bool RememberTrust(const ServerIdentity& identity, std::string_view programFolder) {
  if (identity.kind == IdentityKind::Certificate) {
    return PinCertificate(JoinPath(programFolder, kTrustedCertificatesFileName), identity.host,
                          identity.port, identity.fingerprint, identity.certificate.subject);
  }
  return AddKnownHost(JoinPath(programFolder, kOwnKnownHostsFileName), identity.host, identity.port,
                      identity.keyBlob);
}

}  // namespace quillon
