// `quillon-tool trust`, the built program against pyftpdlib over TLS with a self-signed
// certificate: what it prints, pinning a matching fingerprint, refusing another one.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Paths.h"
#include "remote/CertificateTrust.h"
#include "support/FtpServer.h"
#include "support/SshServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "tool/ToolTestSupport.h"

namespace quillon {
namespace {

using test::ExpectFailure;
using test::Tool;

TEST(TrustCommandTest, PrintsTheCertificateAndPinsOnlyTheMatchingFingerprint) {
  test::TempDir dir;
  test::TestCertificates certificates;
  test::FtpServer server(
      {.root = dir.path(), .tlsCertificate = certificates.ServerPem("selfsigned")});
  const std::string ini = dir.file("Quillon.ini");
  const std::string home = dir.file("home");
  std::filesystem::create_directories(home);
  const std::vector<std::string> env = {"QUILLON_HOME=" + home};
  auto set = Tool({"profile", "set", "--ini", ini, "--slot", "2", "--name", "Secure", "--address",
                   "127.0.0.1", "--port", std::to_string(server.port()), "--user", "quillon",
                   "--protocol", "ftpes", "--password-stdin"},
                  "s3cret-Pw\n");
  ASSERT_EQ(set.exitCode, 0) << set.err;
  const std::string fingerprint = certificates.Fingerprint("selfsigned");

  auto shown = Tool({"trust", "--ini", ini, "--slot", "2"}, "", env);
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_NE(shown.out.find("Subject: "), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("Issuer: "), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\n" + fingerprint + "\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("self-signed certificate"), std::string::npos) << shown.out;
  const std::string trustFile = JoinPath(home, kTrustedCertificatesFileName);
  EXPECT_FALSE(std::filesystem::exists(trustFile));

  ExpectFailure(Tool({"trust", "--ini", ini, "--slot", "2", "--fingerprint",
                      certificates.Fingerprint("leaf")},
                     "", env),
                "nothing was trusted");
  EXPECT_FALSE(std::filesystem::exists(trustFile));
  ExpectFailure(
      Tool({"trust", "--ini", ini, "--slot", "2", "--fingerprint", "SHA256:nope"}, "", env),
      "--fingerprint must be");

  auto pinned = Tool({"trust", "--ini", ini, "--slot", "2", "--fingerprint", fingerprint}, "", env);
  ASSERT_EQ(pinned.exitCode, 0) << pinned.err;
  EXPECT_NE(pinned.out.find("Trusted always: 127.0.0.1:" + std::to_string(server.port())),
            std::string::npos);
  EXPECT_EQ(PinnedCertificate(trustFile, "127.0.0.1", server.port()), fingerprint);
  for (const auto& command : server.Commands()) EXPECT_NE(command.rfind("USER", 0), 0u) << command;

  auto plain = Tool({"profile", "set", "--ini", ini, "--slot", "3", "--name", "Plain", "--address",
                     "127.0.0.1", "--port", "21"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  ExpectFailure(Tool({"trust", "--ini", ini, "--slot", "3"}, "", env), "plain FTP");
  auto help = Tool({"trust", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("quillon-tool trust --ini FILE --slot N"), std::string::npos);
}

// SFTP: the host key's type and fingerprint; a matching fingerprint goes into Quillon's own
// known_hosts file.
TEST(TrustCommandTest, PrintsTheHostKeyAndPinsItInQuillonsKnownHosts) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "served");
  test::SshServer server(dir.path() / "served");
  const std::string ini = dir.file("Quillon.ini");
  const std::string home = dir.file("home");
  std::filesystem::create_directories(home);
  const std::vector<std::string> env = {"QUILLON_HOME=" + home, "HOME=" + home};
  auto set = Tool({"profile", "set", "--ini", ini, "--slot", "1", "--name", "Shell", "--address",
                   "127.0.0.1", "--port", std::to_string(server.port()), "--user", server.user(),
                   "--protocol", "sftp", "--key-file", server.KeyFile("ed25519")});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  auto shown = Tool({"trust", "--ini", ini, "--slot", "1"}, "", env);
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_NE(shown.out.find("Key type: ssh-ed25519\n" + server.HostKeyFingerprint() + "\n"),
            std::string::npos)
      << shown.out;
  ExpectFailure(Tool({"trust", "--ini", ini, "--slot", "1", "--fingerprint",
                      "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU"},
                     "", env),
                "nothing was trusted");
  auto pinned =
      Tool({"trust", "--ini", ini, "--slot", "1", "--fingerprint", server.HostKeyFingerprint()}, "",
           env);
  ASSERT_EQ(pinned.exitCode, 0) << pinned.err;
  EXPECT_NE(test::ReadFile(std::filesystem::path(home) / "Quillon.known_hosts")
                .find(server.HostKeyLine()),
            std::string::npos);
}

}  // namespace
}  // namespace quillon
