// Fingerprints, known_hosts files and the certificate trust file, checked against what
// OpenSSH's and Python's own tools compute from the same keys and certificates.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "remote/CertificateTrust.h"
#include "remote/Fingerprint.h"
#include "remote/KnownHosts.h"
#include "remote/ServerTrust.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::WriteFile;

// An SSH key blob of `type` with a 32-byte body made of `fill`: enough for the files, which
// never look inside a key.
std::string Blob(const std::string& type, char fill) {
  auto put = [](std::string& out, const std::string& field) {
    const uint32_t n = static_cast<uint32_t>(field.size());
    out += static_cast<char>(n >> 24);
    out += static_cast<char>(n >> 16);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n);
    out += field;
  };
  std::string blob;
  put(blob, type);
  put(blob, std::string(32, fill));
  return blob;
}

std::string Line(const std::string& names, const std::string& blob) {
  return names + " " + *HostKeyType(blob) + " " + Base64Standard(blob) + "\n";
}

// ---------------------------------------------------------------------------------------------

TEST(FingerprintTest, MatchesWhatPythonComputesForCertificates) {
  test::TestCertificates certificates;
  for (const char* name : {"leaf", "selfsigned", "expired", "wrongname", "odd"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Sha256Fingerprint(ReadFile(certificates.DerFile(name))),
              certificates.Fingerprint(name));
  }
}

TEST(FingerprintTest, MatchesWhatSshKeygenPrintsForHostKeys) {
  TempDir dir;
  for (const char* type : {"ed25519", "ecdsa", "rsa"}) {
    SCOPED_TRACE(type);
    const std::string key = dir.file(std::string("key-") + type);
    ASSERT_EQ(RunProcess({"/usr/bin/ssh-keygen", "-q", "-t", type, "-N", "", "-f", key}).exitCode,
              0);
    std::istringstream listed(
        RunProcess({"/usr/bin/ssh-keygen", "-l", "-E", "sha256", "-f", key + ".pub"}).out);
    std::string bits, expected;
    listed >> bits >> expected;
    std::istringstream line(ReadFile(key + ".pub"));
    std::string keyType, encoded;
    line >> keyType >> encoded;
    const auto blob = DecodeBase64Standard(encoded);
    ASSERT_TRUE(blob);
    EXPECT_EQ(HostKeyType(*blob), keyType);
    EXPECT_EQ(Sha256Fingerprint(*blob), expected);
    EXPECT_EQ(Base64Standard(*blob), encoded);
  }
}

TEST(FingerprintTest, ParsesWhatUsersPaste) {
  const std::string canonical = Sha256Fingerprint("abc");
  const std::string hex =
      "BA:78:16:BF:8F:01:CF:EA:41:41:40:DE:5D:AE:22:23:B0:03:61:A3:96:17:7A:9C:B4:10:FF:61:F2:00:"
      "15:AD";
  EXPECT_EQ(canonical, "SHA256:ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0");
  struct Case {
    std::string text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {canonical, canonical},
      {"  sha256:" + canonical.substr(7) + "=  \n", canonical},
      {hex, canonical},
      {"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", canonical},
      {"SHA256:" + canonical.substr(8), std::nullopt},                       // one character short
      {canonical + "AAAA", std::nullopt},                                    // too long
      {"SHA256:ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa1", std::nullopt},  // stray bits
      {"SHA256:ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAF!0", std::nullopt},
      {"MD5:" + canonical.substr(7), std::nullopt},
      {hex.substr(3), std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFingerprint(c.text), c.expected) << c.text;
}

TEST(FingerprintTest, StandardBase64IsReadStrictly) {
  for (const std::string bytes : {"", "f", "fo", "foo", "foob", "fooba", "foobar"})
    EXPECT_EQ(DecodeBase64Standard(Base64Standard(bytes)), bytes);
  EXPECT_EQ(Base64Standard("foob"), "Zm9vYg==");
  for (const char* bad : {"Zm9vYg=", "Zm9vYh==", "Zm9v\nYg==", "Zm9=Yg==", "Z==="})
    EXPECT_FALSE(DecodeBase64Standard(bad)) << bad;
}

// ---------------------------------------------------------------------------------------------

TEST(KnownHostsTest, LinesAgainstPresentedKeys) {
  const std::string a = Blob("ssh-ed25519", 'a');
  const std::string b = Blob("ssh-ed25519", 'b');
  const std::string c = Blob("ecdsa-sha2-nistp256", 'c');
  struct Case {
    const char* what;
    std::string file;
    std::string host;
    int port;
    std::string presented;
    HostKeyMatch expected;
  };
  const Case cases[] = {
      {"plain name, port 22", Line("example.com", a), "example.com", 22, a, HostKeyMatch::Known},
      {"plain name is port 22 only", Line("example.com", a), "example.com", 2222, a,
       HostKeyMatch::Unknown},
      {"bracketed name with port", Line("[example.com]:2222", a), "example.com", 2222, a,
       HostKeyMatch::Known},
      {"bracketed name is its port only", Line("[example.com]:2222", a), "example.com", 22, a,
       HostKeyMatch::Unknown},
      {"letter case", Line("Example.COM", a), "EXAMPLE.com", 22, a, HostKeyMatch::Known},
      {"list and wildcard", Line("other,*.example.com", a), "ftp.example.com", 22, a,
       HostKeyMatch::Known},
      {"excluded by !", Line("*.example.com,!bad.example.com", a), "bad.example.com", 22, a,
       HostKeyMatch::Unknown},
      {"? wildcard and port", Line("[ftp?.example.com]:2222", a), "ftp7.example.com", 2222, a,
       HostKeyMatch::Known},
      {"IPv6 address", Line("[::1]:2222", a), "[::1]", 2222, a, HostKeyMatch::Known},
      {"another key of the type", Line("example.com", b), "example.com", 22, a,
       HostKeyMatch::Changed},
      {"only another type on file", Line("example.com", c), "example.com", 22, a,
       HostKeyMatch::Unknown},
      {"known wins over changed", Line("example.com", b) + Line("example.com", a), "example.com",
       22, a, HostKeyMatch::Known},
      {"revoked", Line("example.com", a) + "@revoked " + Line("*", a), "example.com", 22, a,
       HostKeyMatch::Revoked},
      {"revoked other key", "@revoked " + Line("*", b), "example.com", 22, a,
       HostKeyMatch::Unknown},
      {"certificate authority unused", "@cert-authority " + Line("*", a), "example.com", 22, a,
       HostKeyMatch::Unknown},
      {"comments, blanks, CRLF",
       "# x\r\n\r\n   " +
           Line("example.com", a).replace(Line("example.com", a).size() - 1, 1, "\r\n"),
       "example.com", 22, a, HostKeyMatch::Known},
      {"type field disagrees with blob", "example.com ssh-rsa " + Base64Standard(a) + "\n",
       "example.com", 22, a, HostKeyMatch::Unknown},
      {"broken Base64", "example.com ssh-ed25519 AAAA!\n", "example.com", 22, a,
       HostKeyMatch::Unknown},
      {"other host", Line("example.org", a), "example.com", 22, a, HostKeyMatch::Unknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HostKeyCheck check = CheckKnownHosts(c.file, c.host, c.port, c.presented);
    EXPECT_EQ(check.match, c.expected);
    if (c.expected == HostKeyMatch::Changed) {
      EXPECT_EQ(check.knownFingerprint, Sha256Fingerprint(b));
    }
  }
}

TEST(KnownHostsTest, ReadsNamesHashedBySshKeygen) {
  TempDir dir;
  const std::string a = Blob("ssh-ed25519", 'a');
  const std::string file = dir.file("known_hosts");
  WriteFile(file, Line("[127.0.0.1]:2222", a) + Line("example.com", a));
  ASSERT_EQ(RunProcess({"/usr/bin/ssh-keygen", "-H", "-f", file}).exitCode, 0);
  ASSERT_EQ(ReadFile(file).rfind("|1|", 0), 0u) << ReadFile(file);

  EXPECT_EQ(CheckKnownHostsFiles({file}, "127.0.0.1", 2222, a).match, HostKeyMatch::Known);
  EXPECT_EQ(CheckKnownHostsFiles({file}, "Example.com", 22, a).match, HostKeyMatch::Known);
  EXPECT_EQ(CheckKnownHostsFiles({file}, "127.0.0.1", 22, a).match, HostKeyMatch::Unknown);
  EXPECT_EQ(CheckKnownHostsFiles({file}, "example.com", 22, Blob("ssh-ed25519", 'z')).match,
            HostKeyMatch::Changed);
}

TEST(KnownHostsTest, OwnFileGetsTheChosenKeyInAFormOpenSshReads) {
  TempDir dir;
  const std::string own = dir.file(std::string(kOwnKnownHostsFileName));
  const std::string user = dir.file("user_known_hosts");
  const std::string a = Blob("ssh-ed25519", 'a');
  const std::string b = Blob("ssh-ed25519", 'b');
  const std::string c = Blob("ecdsa-sha2-nistp256", 'c');
  WriteFile(user, Line("[127.0.0.1]:2222", a));

  // The user's file knows another key: the server's identity changed.
  EXPECT_EQ(CheckKnownHostsFiles({user, own}, "127.0.0.1", 2222, b).match, HostKeyMatch::Changed);
  // Trusting the new key in the own file outweighs the stale line of the user's.
  ASSERT_TRUE(AddKnownHost(own, "127.0.0.1", 2222, b));
  ASSERT_TRUE(AddKnownHost(own, "127.0.0.1", 2222, c));
  ASSERT_TRUE(AddKnownHost(own, "example.com", 22, a));
  EXPECT_EQ(CheckKnownHostsFiles({user, own}, "127.0.0.1", 2222, b).match, HostKeyMatch::Known);
  // A later choice replaces the key of the same type for the same server, and only that.
  ASSERT_TRUE(AddKnownHost(own, "127.0.0.1", 2222, a));
  EXPECT_EQ(CheckKnownHostsFiles({own}, "127.0.0.1", 2222, b).match, HostKeyMatch::Changed);
  EXPECT_EQ(CheckKnownHostsFiles({own}, "127.0.0.1", 2222, c).match, HostKeyMatch::Known);
  EXPECT_EQ(CheckKnownHostsFiles({own}, "example.com", 22, a).match, HostKeyMatch::Known);
  EXPECT_FALSE(AddKnownHost(own, "example.com", 22, "not a key"));

  const std::string text = ReadFile(own);
  EXPECT_EQ(text.rfind("# ", 0), 0u);
  EXPECT_NE(text.find("[127.0.0.1]:2222 ssh-ed25519 " + Base64Standard(a) + "\n"),
            std::string::npos);
  EXPECT_EQ(text.find(Base64Standard(b)), std::string::npos);
  // OpenSSH finds the lines by the same names.
  EXPECT_EQ(RunProcess({"/usr/bin/ssh-keygen", "-F", "[127.0.0.1]:2222", "-f", own}).exitCode, 0);
  EXPECT_EQ(RunProcess({"/usr/bin/ssh-keygen", "-F", "example.com", "-f", own}).exitCode, 0);
  // A missing file says nothing.
  EXPECT_EQ(CheckKnownHostsFiles({dir.file("missing"), ""}, "example.com", 22, a).match,
            HostKeyMatch::Unknown);
}

TEST(KnownHostsTest, KeyTypesOfBlobs) {
  EXPECT_EQ(HostKeyType(Blob("ssh-ed25519", 'x')), "ssh-ed25519");
  EXPECT_FALSE(HostKeyType(""));
  EXPECT_FALSE(HostKeyType(std::string("\0\0\0\x20ssh", 7)));  // longer than the blob
  EXPECT_FALSE(HostKeyType(std::string("\0\0\0\0", 4)));       // empty name
  EXPECT_FALSE(
      HostKeyType(std::string("\0\0\0\x03"
                              "a\nb",
                              7)));  // not printable
}

// ---------------------------------------------------------------------------------------------

TEST(CertificateTrustTest, Verdicts) {
  const std::string mine = Sha256Fingerprint("mine");
  const std::string other = Sha256Fingerprint("other");
  EXPECT_EQ(JudgeCertificate(true, mine, std::nullopt), CertificateVerdict::Trusted);
  EXPECT_EQ(JudgeCertificate(true, mine, other), CertificateVerdict::Trusted);
  EXPECT_EQ(JudgeCertificate(false, mine, std::nullopt), CertificateVerdict::Untrusted);
  EXPECT_EQ(JudgeCertificate(false, mine, mine), CertificateVerdict::Pinned);
  EXPECT_EQ(JudgeCertificate(false, mine, other), CertificateVerdict::Changed);
}

TEST(CertificateTrustTest, TrustFilePinsOneCertificatePerServer) {
  TempDir dir;
  const std::string file = dir.file(std::string(kTrustedCertificatesFileName));
  const std::string one = Sha256Fingerprint("one");
  const std::string two = Sha256Fingerprint("two");
  EXPECT_FALSE(PinnedCertificate(file, "ftp.example.com", 990));

  ASSERT_TRUE(PinCertificate(file, "ftp.example.com", 990, one, "CN=ftp.example.com\nforged line"));
  ASSERT_TRUE(PinCertificate(file, "ftp.example.com", 21, two, ""));
  ASSERT_TRUE(PinCertificate(file, "::1", 21, one, "v6"));
  EXPECT_EQ(PinnedCertificate(file, "FTP.Example.com", 990), one);
  EXPECT_EQ(PinnedCertificate(file, "ftp.example.com", 21), two);
  EXPECT_EQ(PinnedCertificate(file, "[::1]", 21), one);
  EXPECT_FALSE(PinnedCertificate(file, "ftp.example.com", 2121));

  // Lines the program does not understand stay; a new pin replaces the server's old one.
  WriteFile(file, ReadFile(file) + "not a pin line\n");
  ASSERT_TRUE(PinCertificate(file, "FTP.EXAMPLE.COM", 990, two, "renewed"));
  EXPECT_EQ(PinnedCertificate(file, "ftp.example.com", 990), two);
  EXPECT_FALSE(PinCertificate(file, "ftp.example.com", 990, "SHA256:nonsense", ""));

  const std::string text = ReadFile(file);
  EXPECT_EQ(text.rfind("# Server certificates trusted in Quillon", 0), 0u);
  EXPECT_NE(text.find("not a pin line\n"), std::string::npos);
  EXPECT_NE(text.find("[::1]:21 " + one + " v6\n"), std::string::npos);
  EXPECT_NE(text.find("FTP.EXAMPLE.COM:990 " + two + " renewed\n"), std::string::npos);
  EXPECT_EQ(text.find("forged line\n"), std::string::npos);
  EXPECT_EQ(text.find(one + " CN="), std::string::npos);  // the replaced pin is gone
}

TEST(CertificateTrustTest, ConcurrentPinsAllLand) {
  TempDir dir;
  const std::string file = dir.file("trust");
  std::vector<std::thread> writers;
  for (int w = 0; w < 6; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 10; ++i)
        PinCertificate(file, "host" + std::to_string(w), 1000 + i, Sha256Fingerprint("x"), "");
    });
  }
  for (auto& writer : writers) writer.join();
  for (int w = 0; w < 6; ++w)
    for (int i = 0; i < 10; ++i)
      EXPECT_TRUE(PinnedCertificate(file, "host" + std::to_string(w), 1000 + i));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

TEST(CertificateTrustTest, DescriptionForTheQuestion) {
  CertificateDescription certificate;
  certificate.subject = "CN=localhost,O=Quillon Test";
  certificate.issuer = "CN=Quillon Test CA,O=Quillon Test";
  certificate.notBefore = std::chrono::sys_days{std::chrono::year{2024} / 3 / 1};
  certificate.notAfter =
      std::chrono::sys_days{std::chrono::year{2034} / 2 / 27} + std::chrono::hours(13);
  certificate.names = {"localhost", "127.0.0.1"};
  certificate.fingerprint = Sha256Fingerprint("abc");
  EXPECT_EQ(DescribeCertificate(certificate),
            "Subject: CN=localhost,O=Quillon Test\n"
            "Issuer: CN=Quillon Test CA,O=Quillon Test\n"
            "Valid from Fri 03/01/2024 12:00:00 AM to Mon 02/27/2034 01:00:00 PM\n"
            "Issued for: localhost, 127.0.0.1\n"
            "SHA256:ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0\n");
  EXPECT_EQ(ServerName("ftp.example.com", 990), "ftp.example.com:990");
  EXPECT_EQ(ServerName("2001:db8::7", 21), "[2001:db8::7]:21");
}

// The question a window asks and the line an unattended run logs, for each kind of identity.
TEST(ServerTrustTest, QuestionAndLogTexts) {
  ServerIdentity certificate;
  certificate.host = "ftp.example.com";
  certificate.port = 21;
  certificate.fingerprint = Sha256Fingerprint("abc");
  certificate.problem = "self-signed certificate";
  certificate.certificate.subject = "CN=ftp.example.com";
  certificate.certificate.issuer = "CN=ftp.example.com";
  const std::string question = TrustQuestionText(certificate);
  EXPECT_EQ(question.find("The certificate of the server ftp.example.com:21 is not trusted: "
                          "self-signed certificate.\n\nSubject: CN=ftp.example.com\n"),
            0u)
      << question;
  EXPECT_NE(question.find("\n" + certificate.fingerprint + "\n"), std::string::npos);
  EXPECT_EQ(UntrustedServerText(certificate, "/home/ann/My Files/Quillon.ini", 3),
            "The certificate of the server ftp.example.com:21 is not trusted (self-signed "
            "certificate): " +
                certificate.fingerprint +
                ". To trust it, check the fingerprint and run: quillon-tool trust --ini "
                "'/home/ann/My Files/Quillon.ini' --slot 3 --fingerprint " +
                certificate.fingerprint);

  ServerIdentity key;
  key.kind = IdentityKind::HostKey;
  key.host = "2001:db8::7";
  key.port = 2222;
  key.keyType = "ssh-ed25519";
  key.keyBlob = Blob("ssh-ed25519", 'k');
  key.fingerprint = Sha256Fingerprint(key.keyBlob);
  EXPECT_NE(TrustQuestionText(key).find("Key type: ssh-ed25519\n" + key.fingerprint + "\n"),
            std::string::npos);
  key.changed = true;
  key.knownFingerprint = Sha256Fingerprint("old");
  EXPECT_EQ(TrustQuestionText(key).find("WARNING: The identity of the server [2001:db8::7]:2222 "
                                        "has changed."),
            0u);
  EXPECT_EQ(UntrustedServerText(key, "/q/Quillon.ini", 0),
            "The identity of the server [2001:db8::7]:2222 has changed: its host key " +
                key.fingerprint + " is not the trusted " + key.knownFingerprint +
                ". To trust it, check the fingerprint and run: quillon-tool trust --ini "
                "/q/Quillon.ini --slot 0 --fingerprint " +
                key.fingerprint);
}

// "Always" lands in the file the next connection reads: the trust file for certificates,
// Quillon's known_hosts for host keys.
TEST(ServerTrustTest, RememberedIdentitiesAreFoundAgain) {
  TempDir dir;
  ServerIdentity certificate;
  certificate.host = "Ftp.Example.com";
  certificate.port = 990;
  certificate.fingerprint = Sha256Fingerprint("der");
  certificate.certificate.subject = "CN=ftp.example.com";
  ASSERT_TRUE(RememberTrust(certificate, dir.path().string()));
  EXPECT_EQ(PinnedCertificate(dir.file(std::string(kTrustedCertificatesFileName)),
                              "ftp.example.com", 990),
            certificate.fingerprint);

  ServerIdentity key;
  key.kind = IdentityKind::HostKey;
  key.host = "sftp.example.com";
  key.port = 22;
  key.keyBlob = Blob("ssh-ed25519", 'h');
  ASSERT_TRUE(RememberTrust(key, dir.path().string()));
  EXPECT_EQ(CheckKnownHostsFiles({dir.file(std::string(kOwnKnownHostsFileName))},
                                 "sftp.example.com", 22, key.keyBlob)
                .match,
            HostKeyMatch::Known);

  EXPECT_FALSE(RememberTrust(certificate, dir.file("missing/folder")));
}

}  // namespace
}  // namespace quillon
