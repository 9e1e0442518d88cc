// known_hosts text as OpenSSH and users write it (hashed names, patterns, markers, anything):
// the input gives the server, the key it presents and the file's text.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "remote/KnownHosts.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string host = input.ConsumeRandomLengthString(64);
  const int port = input.ConsumeIntegralInRange<int>(1, 65535);
  const std::string blob = input.ConsumeRandomLengthString(128);
  const std::string text = input.ConsumeRemainingBytesAsString();

  HostKeyType(blob);
  KnownHostsName(host, port);
  const HostKeyCheck check = CheckKnownHosts(text, host, port, blob, "known_hosts");
  const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  FUZZ_CHECK(check.line >= 0 && check.line <= lines);
  FUZZ_CHECK((check.line > 0) == (check.match != HostKeyMatch::Unknown));
  FUZZ_CHECK((check.match == HostKeyMatch::Changed) ==
             (check.knownFingerprint.rfind("SHA256:", 0) == 0));
  return 0;
}
