// SFTP connections against a real OpenSSH sshd: host keys, logins, operations and transfers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "ftp/CurlFtp.h"
#include "remote/KnownHosts.h"
#include "support/SshServer.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RecordingLog;
using test::SshServer;
using test::TempDir;
using test::WriteFile;

std::string RandomBytes(size_t size, unsigned seed = 7) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(generator());
  return bytes;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class CurlSftpTest : public testing::Test {
 protected:
  CurlSftpTest()
      : home_env_("HOME", home_.path().c_str()), server_(root_.path()), connector_(&log_) {}

  void SetUp() override { ASSERT_TRUE(InitCurlGlobal()); }

  FtpConnectParameters Parameters(const std::string& key = "ed25519") const {
    FtpConnectParameters p;
    p.host = "127.0.0.1";
    p.port = server_.port();
    p.user = server_.user();
    p.protocol = ServerProtocol::Sftp;
    p.privateKeyFile = server_.KeyFile(key);
    p.trustFolder = trust_.path().string();
    return p;
  }

  void TrustHostKey() {
    fs::create_directories(home_.path() / ".ssh");
    WriteFile(home_.path() / ".ssh/known_hosts",
              "[127.0.0.1]:" + std::to_string(server_.port()) + " " + server_.HostKeyLine() + "\n");
  }

  // Connected, with the served folder as the current one.
  std::unique_ptr<FtpConnection> Connect(FtpConnectParameters p) {
    ConnectFailure failure;
    auto connection = connector_.OpenExplained(p, &failure);
    EXPECT_NE(connection, nullptr) << failure.text << server_.Log();
    if (connection) {
      EXPECT_TRUE(connection->SetCurrentFolder(server_.RemotePath())) << connection->LastError();
    }
    return connection;
  }

  std::string Download(FtpConnection& connection, const std::string& path) {
    auto file = connection.OpenFile(path, RemoteFileMode::Read, true);
    EXPECT_NE(file, nullptr) << connection.LastError();
    if (!file) return {};
    std::string data;
    char buffer[4096];
    for (;;) {
      int64_t n = file->Read(buffer, sizeof buffer);
      EXPECT_GE(n, 0) << file->ErrorText();
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_TRUE(file->Close()) << file->ErrorText();
    return data;
  }

  TempDir home_;
  test::ScopedEnv home_env_;
  TempDir root_;
  TempDir trust_;
  SshServer server_;
  RecordingLog log_;
  CurlFtpConnector connector_;
};

TEST_F(CurlSftpTest, HostKeyIsJudgedBeforeAnyLogin) {
  // Unknown: refused, with what the server presented.
  ConnectFailure failure;
  EXPECT_EQ(connector_.OpenExplained(Parameters(), &failure), nullptr);
  ASSERT_TRUE(failure.untrusted) << failure.text;
  EXPECT_EQ(failure.untrusted->kind, IdentityKind::HostKey);
  EXPECT_EQ(failure.untrusted->fingerprint, server_.HostKeyFingerprint());
  EXPECT_EQ(failure.untrusted->keyType,
            server_.HostKeyLine().substr(0, server_.HostKeyLine().find(' ')));
  EXPECT_FALSE(failure.untrusted->changed);
  EXPECT_NE(failure.text.find(server_.HostKeyFingerprint()), std::string::npos) << failure.text;
  EXPECT_EQ(server_.Log().find("Accepted"), std::string::npos);

  // Accepted for the session.
  auto once = Parameters();
  once.acceptedFingerprint = server_.HostKeyFingerprint();
  EXPECT_NE(Connect(once), nullptr);

  // Pinned in Quillon's own file.
  ASSERT_TRUE(AddKnownHost((trust_.path() / "Quillon.known_hosts").string(), "127.0.0.1",
                           server_.port(), failure.untrusted->keyBlob));
  EXPECT_NE(Connect(Parameters()), nullptr);

  // The probe reports the key even when it is known, and never logs in.
  ConnectFailure probeFailure;
  auto probed = ProbeServerIdentity(Parameters(), &probeFailure);
  ASSERT_TRUE(probed) << probeFailure.text;
  EXPECT_EQ(probed->fingerprint, server_.HostKeyFingerprint());

  // Another key on file for this server: its identity changed.
  std::string other = failure.untrusted->keyBlob;
  other.back() ^= 1;
  ASSERT_TRUE(AddKnownHost((trust_.path() / "Quillon.known_hosts").string(), "127.0.0.1",
                           server_.port(), other));
  ConnectFailure changed;
  EXPECT_EQ(connector_.OpenExplained(Parameters(), &changed), nullptr);
  ASSERT_TRUE(changed.untrusted);
  EXPECT_TRUE(changed.untrusted->changed);
  EXPECT_FALSE(changed.untrusted->knownFingerprint.empty());
  EXPECT_NE(changed.text.find("identity changed"), std::string::npos) << changed.text;

  // Revoked in the user's file: refused, and nobody is asked to trust it.
  fs::create_directories(home_.path() / ".ssh");
  WriteFile(home_.path() / ".ssh/known_hosts", "@revoked * " + server_.HostKeyLine() + "\n");
  const size_t logins = Count(server_.Log(), "Accepted");
  ConnectFailure revoked;
  auto accepted = Parameters();
  accepted.acceptedFingerprint = server_.HostKeyFingerprint();
  EXPECT_EQ(connector_.OpenExplained(accepted, &revoked), nullptr);
  EXPECT_FALSE(revoked.untrusted);
  EXPECT_NE(revoked.text.find("revoked"), std::string::npos) << revoked.text;
  EXPECT_EQ(Count(server_.Log(), "Accepted"), logins);
}

TEST_F(CurlSftpTest, LoginsWithKeysAndPasswordsSayWhyTheyFail) {
  TrustHostKey();
  struct Case {
    std::string key;  // empty: password
    std::string secret;
    bool works;
    std::string says;
  };
  std::vector<Case> cases = {
      {"ed25519", "", true, ""},
      {"ed25519-protected", server_.KeyPassphrase(), true, ""},
      {"ecdsa", "", true, ""},
      {"ed25519-protected", "wrong-Phrase-7", false, "wrong passphrase"},
      {"ed25519-protected", "", false, "protected by a passphrase"},
      {"rsa", "", false, "SHA-1"},
      {"missing", "", false, "cannot be read"},
  };
  if (server_.PasswordLogin()) {
    cases.push_back({"", server_.Password(), true, ""});
    cases.push_back({"", "wrong-Secret-42", false, "wrong user name or password"});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " " + c.secret);
    auto p = Parameters(c.key);
    if (c.key.empty()) {
      p.privateKeyFile.clear();
      p.password = c.secret;
    } else {
      p.privateKeyPassphrase = c.secret;
    }
    ConnectFailure failure;
    auto connection = connector_.OpenExplained(p, &failure);
    EXPECT_EQ(connection != nullptr, c.works) << failure.text;
    if (c.works) {
      ASSERT_TRUE(connection);
      auto login = connection->CurrentFolder();
      ASSERT_TRUE(login) << connection->LastError();
      EXPECT_EQ(login->front(), '/');
    } else {
      EXPECT_NE(failure.text.find(c.says), std::string::npos) << failure.text;
      if (!c.secret.empty()) {
        EXPECT_EQ(failure.text.find(c.secret), std::string::npos) << failure.text;
      }
    }
  }
}

TEST_F(CurlSftpTest, ListsWithSizesAndTimesAndDropsHostileNames) {
  TrustHostKey();
  WriteFile(root_.path() / "a file.txt", "12345");
  fs::create_directory(root_.path() / "sub");
  WriteFile(root_.path() / "evil\nname.txt", "x");
  WriteFile(root_.path() / "evil", "the real evil");
  WriteFile(root_.path() / "x\n-rw-r--r--    1 root     root            1 Jan  1  2020 fake", "y");
  WriteFile(root_.path() / "tab\tname", "z");
  auto connection = Connect(Parameters());
  ASSERT_TRUE(connection);
  auto entries = connection->List();
  ASSERT_TRUE(entries) << connection->LastError();
  std::map<std::string, RemoteEntry> byName;
  for (const auto& e : *entries) byName[e.name] = e;
  ASSERT_TRUE(byName.count("a file.txt"));
  EXPECT_EQ(byName["a file.txt"].size, 5u);
  EXPECT_EQ(byName["a file.txt"].path, server_.RemotePath("a file.txt"));
  auto age = std::chrono::system_clock::now() - byName["a file.txt"].lastWrite;
  EXPECT_LT(std::chrono::abs(age), std::chrono::hours(26));
  EXPECT_TRUE(byName["sub"].isFolder);
  ASSERT_TRUE(byName.count("evil"));
  EXPECT_EQ(byName["evil"].size, 13u);
  for (const char* wrong : {"fake", "x", "name.txt", ".", ".."})
    EXPECT_EQ(byName.count(wrong), 0u) << wrong;
  auto skipped = connection->TakeSkippedNames();
  EXPECT_NE(std::find(skipped.begin(), skipped.end(), "evil\nname.txt"), skipped.end());
  EXPECT_NE(std::find(skipped.begin(), skipped.end(), "tab\tname"), skipped.end());
  EXPECT_TRUE(log_.Contains("Unsafe name"));

  ASSERT_TRUE(connection->SetCurrentFolder("sub")) << connection->LastError();
  EXPECT_EQ(connection->CurrentFolder(), server_.RemotePath("sub"));
  EXPECT_FALSE(connection->SetCurrentFolder(server_.RemotePath("a file.txt")));
  EXPECT_FALSE(connection->SetCurrentFolder(server_.RemotePath("missing")));
  EXPECT_EQ(connection->CurrentFolder(), server_.RemotePath("sub"));
  EXPECT_TRUE(connection->IsAlive());
}

TEST_F(CurlSftpTest, FolderAndFileOperations) {
  TrustHostKey();
  auto connection = Connect(Parameters());
  ASSERT_TRUE(connection);
  const std::string folder = server_.RemotePath("new \"folder\"");
  ASSERT_TRUE(connection->CreateFolder(folder)) << connection->LastError();
  EXPECT_TRUE(fs::is_directory(root_.path() / "new \"folder\""));
  EXPECT_FALSE(connection->CreateFolder(folder));
  WriteFile(root_.path() / "one.txt", "one");
  ASSERT_TRUE(connection->Rename("one.txt", "new \"folder\"/two.txt")) << connection->LastError();
  EXPECT_EQ(ReadFile(root_.path() / "new \"folder\"/two.txt"), "one");
  EXPECT_EQ(connection->Size(folder + "/two.txt"), 3u);
  EXPECT_FALSE(connection->Size(server_.RemotePath("nothing")));
  EXPECT_EQ(connection->LastFailure(), FtpFailure::Refused);
  EXPECT_FALSE(connection->RemoveFolder(folder));
  ASSERT_TRUE(connection->DeleteFile(folder + "/two.txt")) << connection->LastError();
  EXPECT_FALSE(connection->DeleteFile(folder + "/two.txt"));
  EXPECT_NE(connection->LastError().find("No such file"), std::string::npos);
  ASSERT_TRUE(connection->RemoveFolder(folder)) << connection->LastError();
  EXPECT_FALSE(fs::exists(root_.path() / "new \"folder\""));
  EXPECT_FALSE(connection->CreateFolder("bad\nname"));

  // Rename replaces a file as FTP's does, and never loses the one in the way.
  WriteFile(root_.path() / "new.txt", "new");
  WriteFile(root_.path() / "old.txt", "old");
  ASSERT_TRUE(connection->Rename("new.txt", "old.txt")) << connection->LastError();
  EXPECT_EQ(ReadFile(root_.path() / "old.txt"), "new");
  EXPECT_FALSE(connection->Rename("gone.txt", "old.txt"));
  EXPECT_NE(connection->LastError().find("No such file"), std::string::npos)
      << connection->LastError();
  EXPECT_EQ(ReadFile(root_.path() / "old.txt"), "new");
  fs::create_directory(root_.path() / "folder");
  EXPECT_FALSE(connection->Rename("old.txt", "folder"));  // a folder is never replaced
  EXPECT_TRUE(fs::is_directory(root_.path() / "folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_.path()), fs::directory_iterator()), 2);
}

TEST_F(CurlSftpTest, TransfersBothWaysAndReplacesSafely) {
  TrustHostKey();
  auto connection = Connect(Parameters());
  ASSERT_TRUE(connection);
  const std::string data = RandomBytes(3 * 1024 * 1024 + 17);
  WriteFile(root_.path() / "target.bin", "old content");
  auto file = connection->OpenUpload(server_.RemotePath(".target.bin.tmp"), true,
                                     UploadFinish{server_.RemotePath("target.bin"), true});
  ASSERT_TRUE(file) << connection->LastError();
  size_t at = 0;
  ASSERT_TRUE(file->WriteFrom([&](char* buffer, size_t size) {
    size_t n = std::min(size, data.size() - at);
    std::memcpy(buffer, data.data() + at, n);
    at += n;
    return n;
  })) << file->ErrorText();
  ASSERT_TRUE(file->Close()) << file->ErrorText();
  EXPECT_TRUE(file->Answers().renamed) << file->Answers().renameError;
  EXPECT_EQ(file->Answers().size, data.size());
  EXPECT_TRUE(ReadFile(root_.path() / "target.bin") == data);
  EXPECT_FALSE(fs::exists(root_.path() / ".target.bin.tmp"));
  size_t files = std::distance(fs::directory_iterator(root_.path()), fs::directory_iterator());
  EXPECT_EQ(files, 1u);  // no file set aside is left behind

  EXPECT_TRUE(Download(*connection, server_.RemotePath("target.bin")) == data);
  EXPECT_TRUE(Download(*connection, "target.bin") == data);

  // Written with Write in small pieces.
  auto small = connection->OpenFile("small.txt", RemoteFileMode::Write, true);
  ASSERT_TRUE(small) << connection->LastError();
  ASSERT_TRUE(small->Write("hello ", 6));
  ASSERT_TRUE(small->Write("sftp", 4));
  ASSERT_TRUE(small->Close()) << small->ErrorText();
  EXPECT_EQ(ReadFile(root_.path() / "small.txt"), "hello sftp");

  // Missing: refused when opened.
  EXPECT_EQ(connection->OpenFile("missing.bin", RemoteFileMode::Read, true), nullptr);
  EXPECT_EQ(connection->OpenFile("no/folder/x.bin", RemoteFileMode::Write, true), nullptr);

  // A stop ends a download and the connection goes on.
  std::atomic<bool> stop{false};
  connection->SetStopFlag(&stop);
  auto download = connection->OpenFile("target.bin", RemoteFileMode::Read, true);
  ASSERT_TRUE(download);
  char buffer[4096];
  EXPECT_GT(download->Read(buffer, sizeof buffer), 0);
  stop = true;
  int64_t n = 0;
  while ((n = download->Read(buffer, sizeof buffer)) > 0) {
  }
  EXPECT_FALSE(download->Close());
  stop = false;
  connection->SetStopFlag(nullptr);
  EXPECT_EQ(connection->Size("target.bin"), data.size()) << connection->LastError();
}

}  // namespace
}  // namespace quillon
