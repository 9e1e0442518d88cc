// Quillon's own trust files as a user may have edited them: the input gives the server, a key
// and a fingerprint, and the files' content. What is pinned or added must then be what is read
// back for that server, whatever else the file holds.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "remote/CertificateTrust.h"
#include "remote/Fingerprint.h"
#include "remote/KnownHosts.h"

using namespace quillon;

namespace {

// A host as the connection accepts it: a name or an address, nothing that could mean more.
bool IsHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_' &&
        c != ':')
      return false;
  return true;
}

// An ed25519 key blob around 32 bytes of key.
std::string Ed25519Blob(const std::string& key) {
  std::string blob("\0\0\0\x0bssh-ed25519\0\0\0\x20", 19);
  blob += key;
  blob.resize(19 + 32, 'k');
  return blob;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string host = input.ConsumeRandomLengthString(64);
  const int port = input.ConsumeIntegralInRange<int>(1, 65535);
  const std::string fingerprint = input.ConsumeRandomLengthString(100);
  const std::string note = input.ConsumeRandomLengthString(100);
  const std::string key = input.ConsumeBytesAsString(32);
  const std::string content = input.ConsumeRemainingBytesAsString();

  fuzz::EmptyScratchFolder();
  const std::string certificates = fuzz::ScratchFolder() + "Quillon.trusted_certs";
  const std::string knownHosts = fuzz::ScratchFolder() + "Quillon.known_hosts";
  FUZZ_CHECK(fuzz::WriteWholeFile(certificates, content));
  FUZZ_CHECK(fuzz::WriteWholeFile(knownHosts, content));

  if (const auto pinned = PinnedCertificate(certificates, host, port))
    FUZZ_CHECK(ParseFingerprint(*pinned) == pinned);
  const std::string blob = Ed25519Blob(key);
  const HostKeyCheck before = CheckKnownHostsFiles({knownHosts}, host, port, blob);
  FUZZ_CHECK(before.match == CheckKnownHosts(content, host, port, blob).match);

  const bool pinnedNow = PinCertificate(certificates, host, port, fingerprint, note);
  FUZZ_CHECK(pinnedNow == ParseFingerprint(fingerprint).has_value());
  const bool added = AddKnownHost(knownHosts, host, port, blob);
  FUZZ_CHECK(added);
  if (IsHostName(host)) {
    if (pinnedNow)
      FUZZ_CHECK(PinnedCertificate(certificates, host, port) == ParseFingerprint(fingerprint));
    const HostKeyMatch after = CheckKnownHostsFiles({knownHosts}, host, port, blob).match;
    FUZZ_CHECK(after == HostKeyMatch::Known || after == HostKeyMatch::Revoked);
  }
  return 0;
}
