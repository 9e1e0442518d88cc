#include <gtest/gtest.h>

#include "platform/TlsCertificate.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using namespace std::chrono;

class TlsCertificateTest : public ::testing::Test {
 protected:
  std::optional<CertificateDescription> Read(const std::string& name) {
    return ReadCertificate(test::ReadFile(certificates_.DerFile(name)));
  }
  test::TestCertificates certificates_;
};

TEST_F(TlsCertificateTest, DescribesWhatTheCertificateSays) {
  const auto leaf = Read("leaf");
  ASSERT_TRUE(leaf);
  EXPECT_EQ(leaf->subject, "CN=localhost,O=Quillon Test");
  EXPECT_EQ(leaf->issuer, "CN=Quillon Test CA,O=Quillon Test");
  EXPECT_EQ(leaf->names, (std::vector<std::string>{"localhost", "127.0.0.1"}));
  EXPECT_EQ(leaf->fingerprint, certificates_.Fingerprint("leaf"));
  const auto now = system_clock::now();
  EXPECT_LT(leaf->notBefore, now);
  EXPECT_EQ(duration_cast<hours>(leaf->notAfter - leaf->notBefore).count(), 3651 * 24);

  const auto expired = Read("expired");
  ASSERT_TRUE(expired);
  EXPECT_LT(expired->notAfter, now);
  const auto own = Read("selfsigned");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->subject, own->issuer);
  const auto wrong = Read("wrongname");
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->names, (std::vector<std::string>{"wrong.example", "192.0.2.1"}));
}

TEST_F(TlsCertificateTest, ServerTextsArriveEscapedAndPrintable) {
  const auto odd = Read("odd");
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->subject,
            "CN=Smith\\, \\\"Jr\\\" Z\u00fcrich \u65e5\u672c,O=M\u00fcller & S\u00f6hne");

  const auto hostile = Read("hostile");
  ASSERT_TRUE(hostile);
  for (const std::string& text : {hostile->subject, hostile->names.at(1)}) {
    SCOPED_TRACE(text);
    for (const char c : text) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
  }
  EXPECT_EQ(hostile->subject, "CN=evil\\0Aline \\1B[31mred,O=Bad\\0DCorp");
  EXPECT_EQ(hostile->names.at(1), "bad\\0Aname.example");
}

// A certificate valid until 9999 ends beyond what a time point holds (up to 2261): it is held
// at that end.
TEST_F(TlsCertificateTest, ValidityBeyondATimePointsRangeIsHeldAtItsEnd) {
  const auto timeless = Read("timeless");
  ASSERT_TRUE(timeless);
  EXPECT_EQ(timeless->notBefore, sys_days(year(1950) / 1 / 1));
  EXPECT_GT(timeless->notAfter, sys_days(year(2261) / 1 / 1));
  EXPECT_FALSE(DescribeCertificate(*timeless).empty());
}

TEST_F(TlsCertificateTest, RefusesWhatIsNotOneCertificate) {
  const std::string der = test::ReadFile(certificates_.DerFile("leaf"));
  EXPECT_FALSE(ReadCertificate(""));
  EXPECT_FALSE(ReadCertificate("not a certificate"));
  EXPECT_FALSE(ReadCertificate(der.substr(0, der.size() - 1)));
  EXPECT_FALSE(ReadCertificate(der + "x"));
  EXPECT_FALSE(ReadCertificate(test::ReadFile(certificates_.CertificateFile("leaf"))));  // PEM
}

}  // namespace
}  // namespace quillon
