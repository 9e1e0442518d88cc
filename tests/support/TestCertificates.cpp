#include "support/TestCertificates.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quillon::test {

TestCertificates::TestCertificates() {
  const ProcessResult made =
      RunProcess({"/usr/bin/python3", (SourceDir() / "tests/support/make_test_certs.py").string(),
                  folder_.path().string()});
  if (made.exitCode != 0) {
    throw std::runtime_error("make_test_certs.py failed (is python3-openssl installed?): " +
                             made.err);
  }
  std::ifstream in(folder_.path() / "fingerprints.txt");
  std::string name, fingerprint;
  while (in >> name >> fingerprint) fingerprints_[name] = fingerprint;
}

std::string TestCertificates::Fingerprint(const std::string& name) const {
  const auto it = fingerprints_.find(name);
  if (it == fingerprints_.end()) throw std::runtime_error("no test certificate " + name);
  return it->second;
}

}  // namespace quillon::test
