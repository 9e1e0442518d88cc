// A server's certificate as DER bytes, read as the certificate question shows it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/TlsCertificate.h"

using namespace quillon;

namespace {

// The texts reach windows and logs: no control characters.
bool Printable(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view der(reinterpret_cast<const char*>(data), size);
  const auto certificate = ReadCertificate(der);
  if (!certificate) return 0;
  FUZZ_CHECK(Printable(certificate->subject));
  FUZZ_CHECK(Printable(certificate->issuer));
  for (const auto& name : certificate->names) FUZZ_CHECK(Printable(name));
  FUZZ_CHECK(certificate->fingerprint.rfind("SHA256:", 0) == 0);
  DescribeCertificate(*certificate);
  return 0;
}
