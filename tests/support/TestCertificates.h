#pragma once

#include <map>
#include <string>

#include "support/TestSupport.h"

namespace quillon::test {

// The certificates of the TLS tests, made afresh in a temporary folder by
// tests/support/make_test_certs.py (run by /usr/bin/python3 with python3-cryptography) and
// removed with the object. Names: "ca" (a test authority that tests trust as a CA file),
// "leaf" (localhost and 127.0.0.1, issued by ca), "selfsigned", "expired" (issued by ca, ended
// yesterday), "wrongname" (issued by ca for wrong.example only) and "odd" (issued by ca to a
// subject with a comma, quotes and non-ASCII letters). Throws std::runtime_error when the
// script fails.
class TestCertificates {
 public:
  TestCertificates();

  // The test authority's certificate (PEM), for CURLOPT_CAINFO.
  std::string CaFile() const { return folder_.file("ca.pem"); }
  // The certificate alone (PEM), its DER bytes, and certificate plus key in one PEM file (what
  // the servers take).
  std::string CertificateFile(const std::string& name) const { return folder_.file(name + ".pem"); }
  std::string DerFile(const std::string& name) const { return folder_.file(name + ".der"); }
  std::string ServerPem(const std::string& name) const { return folder_.file(name + ".both.pem"); }
  // "SHA256:<base64 without padding>" of the certificate's DER bytes, computed by the script.
  std::string Fingerprint(const std::string& name) const;

 private:
  TempDir folder_;
  std::map<std::string, std::string> fingerprints_;
};

}  // namespace quillon::test
