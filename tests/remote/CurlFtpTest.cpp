// The FTP operations against a real server (pyftpdlib), in passive and active mode, with and
// without MLSD, in clear text and over TLS (explicit and implicit, with a certificate of the test
// authority).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "ftp/CurlFtp.h"
#include "remote/FtpError.h"
#include "remote/RemoteOperations.h"
#include "support/FtpServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::RecordingLog;
using test::TempDir;

std::string RandomBytes(size_t size, unsigned seed = 7) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(generator());
  return bytes;
}

long Count(const std::vector<std::string>& commands, const std::string& prefix) {
  return std::count_if(commands.begin(), commands.end(),
                       [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

struct Setup {
  bool passive;
  bool mlsd;
  ServerProtocol protocol = ServerProtocol::Ftp;
};

std::string SetupName(const testing::TestParamInfo<Setup>& info) {
  return std::string(info.param.passive ? "Passive" : "Active") +
         (info.param.mlsd ? "Mlsd" : "List") +
         (info.param.protocol == ServerProtocol::Ftp
              ? std::string()
              : std::string(ProtocolName(info.param.protocol)));
}

class CurlFtpTest : public testing::TestWithParam<Setup> {
 protected:
  CurlFtpTest()
      : server_(WithTls({.root = root_.path(), .mlsd = GetParam().mlsd})), connector_(&log_) {}

  static void SetUpTestSuite() { certificates_ = std::make_unique<test::TestCertificates>(); }
  static void TearDownTestSuite() { certificates_.reset(); }
  // Where libcurl cannot run active mode over TLS, such a row proves only that the connect
  // fails at once with a text that says what to do, before the server hears anything.
  void SetUp() override {
    ASSERT_TRUE(InitCurlGlobal());
    if (!Tls() || GetParam().passive || ActiveModeOverTlsWorks()) return;
    std::string error;
    EXPECT_FALSE(connector_.OpenWithError(Parameters(server_.Profile(false)), &error));
    EXPECT_EQ(error.rfind("FTP over TLS in active mode needs libcurl 8.0 or later", 0), 0u)
        << error;
    EXPECT_NE(error.find("choose passive mode for this server."), std::string::npos) << error;
    EXPECT_TRUE(server_.Commands().empty());
    GTEST_SKIP() << "this libcurl cannot run active mode over TLS";
  }

  static bool Tls() { return GetParam().protocol != ServerProtocol::Ftp; }

  // A server of this test's protocol.
  static FtpServer::Options WithTls(FtpServer::Options options) {
    if (Tls()) {
      options.tlsCertificate = certificates_->ServerPem("leaf");
      options.implicitTls = GetParam().protocol == ServerProtocol::FtpImplicitTls;
    }
    return options;
  }

  // What the connector takes for `profile`, trusting the test authority.
  static FtpConnectParameters Parameters(const ConnectionProfile& profile) {
    auto parameters = ConnectParametersOf(profile);
    parameters.certificateAuthorities = certificates_->CaFile();
    return parameters;
  }

  std::unique_ptr<FtpConnection> Connect() {
    std::string error;
    auto connection =
        connector_.OpenWithError(Parameters(server_.Profile(GetParam().passive)), &error);
    EXPECT_NE(connection, nullptr) << error;
    return connection;
  }

  std::string Download(FtpConnection& connection, const std::string& path,
                       std::vector<int64_t>* chunks = nullptr) {
    auto file = connection.OpenFile(path, RemoteFileMode::Read, true);
    EXPECT_NE(file, nullptr) << connection.LastError();
    if (!file) return {};
    std::string data;
    char buffer[4096];
    for (int guard = 0; guard < 1'000'000; ++guard) {
      int64_t n = file->Read(buffer, sizeof buffer);
      EXPECT_GE(n, 0) << file->ErrorText();
      if (n <= 0) break;
      if (chunks) chunks->push_back(n);
      data.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_TRUE(file->Close()) << file->ErrorText();
    return data;
  }

  bool Upload(FtpConnection& connection, const std::string& path, const std::string& data,
              bool binary = true) {
    auto file = connection.OpenFile(path, RemoteFileMode::Write, binary);
    if (!file) return false;
    for (size_t at = 0; at < data.size(); at += 4096) {
      if (!file->Write(data.data() + at, std::min<size_t>(4096, data.size() - at))) return false;
    }
    return file->Close();
  }

  static inline std::unique_ptr<test::TestCertificates> certificates_;
  TempDir root_;
  FtpServer server_;
  RecordingLog log_;
  CurlFtpConnector connector_;
};

INSTANTIATE_TEST_SUITE_P(Modes, CurlFtpTest,
                         testing::Values(Setup{true, true}, Setup{false, true}, Setup{true, false},
                                         Setup{false, false},
                                         Setup{true, true, ServerProtocol::FtpExplicitTls},
                                         Setup{true, false, ServerProtocol::FtpExplicitTls},
                                         Setup{false, true, ServerProtocol::FtpExplicitTls},
                                         Setup{true, true, ServerProtocol::FtpImplicitTls}),
                         SetupName);

// A profile that asks for TLS never talks in clear text, and one of an unknown protocol is not
// served at all: no user name or password reaches a server that does not speak its protocol.
TEST_P(CurlFtpTest, AProtocolTheServerDoesNotSpeakIsNeverUsedInClearText) {
  const size_t commandsBefore = server_.Commands().size();
  struct Case {
    ServerProtocol protocol;
    std::string error;
  };
  std::vector<Case> cases = {
      {ServerProtocol::Unknown, "The profile names no protocol this program speaks."}};
  if (!Tls())
    cases.push_back({ServerProtocol::FtpExplicitTls,
                     "The server does not offer FTP over TLS (AUTH TLS); the connection is not "
                     "made without encryption."});
  for (const auto& c : cases) {
    // Passive for TLS, which some libcurls refuse in active mode before connecting.
    const bool tls = c.protocol == ServerProtocol::FtpExplicitTls;
    auto server = Parameters(server_.Profile(GetParam().passive || tls));
    server.protocol = c.protocol;
    std::string error;
    EXPECT_EQ(connector_.OpenWithError(server, &error), nullptr);
    EXPECT_EQ(error, c.error);
  }
  auto commands = server_.Commands();
  EXPECT_EQ(Count({commands.begin() + static_cast<std::ptrdiff_t>(commandsBefore), commands.end()},
                  "USER"),
            0);
  if (Tls()) {
    // Plain FTP to a server that requires TLS: the server refuses the login in clear text.
    auto plain = Parameters(server_.Profile(GetParam().passive));
    plain.protocol = ServerProtocol::Ftp;
    EXPECT_EQ(connector_.Open(plain), nullptr);
  }
  // SFTP goes to an SSH connection of its own (here to a port where nothing listens).
  auto sftp = Parameters(server_.Profile(GetParam().passive));
  sftp.protocol = ServerProtocol::Sftp;
  sftp.port = 1;
  sftp.password = "sftp-Secret-5";
  std::string error;
  EXPECT_EQ(connector_.OpenWithError(sftp, &error), nullptr);
  EXPECT_NE(error.find("Couldn't connect"), std::string::npos) << error;
  EXPECT_EQ(error.find("sftp-Secret-5"), std::string::npos) << error;
}

TEST_P(CurlFtpTest, LoginFailureGivesTheServersRefusalWithoutThePassword) {
  auto profile = server_.Profile(GetParam().passive);
  profile.password = "wrong-Secret-42";
  std::string error;
  EXPECT_EQ(connector_.OpenWithError(Parameters(profile), &error), nullptr);
  EXPECT_NE(error.find("530"), std::string::npos) << error;
  EXPECT_EQ(error.find("wrong-Secret-42"), std::string::npos) << error;
  EXPECT_EQ(error.back(), '.');
  EXPECT_EQ(connector_.Open(Parameters(profile)), nullptr);

  EXPECT_EQ(ClassifyConnectFailure(error), ConnectRefusal::None);

  // Nothing listens: said so, apart from a server that turns connections away.
  auto nowhere = server_.Profile(GetParam().passive);
  server_.Stop();
  EXPECT_EQ(connector_.OpenWithError(Parameters(nowhere), &error), nullptr);
  EXPECT_EQ(error, "Couldn't connect to server: connection refused by 127.0.0.1 port " +
                       std::to_string(nowhere.port) + ".");
  EXPECT_EQ(ClassifyConnectFailure(error), ConnectRefusal::NotListening);
}

TEST_P(CurlFtpTest, FolderOperationsSucceedAndFailWithText) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  EXPECT_EQ(connection->CurrentFolder(), "/");
  EXPECT_TRUE(connection->IsAlive());

  EXPECT_TRUE(connection->CreateFolder("/docs"));
  EXPECT_TRUE(fs::is_directory(root_.path() / "docs"));
  EXPECT_FALSE(connection->CreateFolder("/docs"));  // exists
  EXPECT_NE(connection->LastError().find("MKD /docs: 550"), std::string::npos)
      << connection->LastError();

  EXPECT_TRUE(connection->SetCurrentFolder("/docs"));
  EXPECT_EQ(connection->CurrentFolder(), "/docs");
  EXPECT_TRUE(connection->CreateFolder("inner"));  // relative to the current folder
  EXPECT_TRUE(fs::is_directory(root_.path() / "docs" / "inner"));
  EXPECT_TRUE(connection->SetCurrentFolder("inner"));
  EXPECT_EQ(connection->CurrentFolder(), "/docs/inner");
  EXPECT_FALSE(connection->SetCurrentFolder("/missing"));
  EXPECT_NE(connection->LastError().find("CWD /missing: 550"), std::string::npos);
  EXPECT_EQ(connection->CurrentFolder(), "/docs/inner");  // unchanged

  test::WriteFile(root_.path() / "docs" / "a.txt", "alpha");
  EXPECT_TRUE(connection->Rename("/docs/a.txt", "/docs/b.txt"));
  EXPECT_TRUE(fs::exists(root_.path() / "docs" / "b.txt"));
  EXPECT_FALSE(connection->Rename("/docs/a.txt", "/docs/c.txt"));
  EXPECT_NE(connection->LastError().find("RNFR /docs/a.txt"), std::string::npos);
  EXPECT_EQ(connection->Size("/docs/b.txt"), 5u);
  EXPECT_EQ(connection->Size("/docs/none.txt"), std::nullopt);
  EXPECT_FALSE(connection->LastError().empty());

  EXPECT_FALSE(connection->RemoveFolder("/docs"));  // not empty
  EXPECT_TRUE(connection->DeleteFile("/docs/b.txt"));
  EXPECT_FALSE(connection->DeleteFile("/docs/b.txt"));
  EXPECT_NE(connection->LastError().find("DELE /docs/b.txt: 550"), std::string::npos);
  EXPECT_TRUE(connection->RemoveFolder("/docs/inner"));
  EXPECT_TRUE(connection->SetCurrentFolder("/"));
  EXPECT_TRUE(connection->RemoveFolder("docs"));
  EXPECT_FALSE(fs::exists(root_.path() / "docs"));
  EXPECT_FALSE(connection->RemoveFolder("docs"));

  // One login for all of it: the connection was never replaced.
  EXPECT_EQ(Count(server_.Commands(), "USER"), 1);
}

TEST_P(CurlFtpTest, ListsEntriesOfTheCurrentFolderFreshEveryTime) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  auto empty = connection->List();
  ASSERT_TRUE(empty) << connection->LastError();
  EXPECT_TRUE(empty->empty());

  fs::create_directory(root_.path() / "sub folder");
  test::WriteFile(root_.path() / "sub folder" / "file one.txt", "12345");
  fs::create_directory(root_.path() / "sub folder" / "deeper");
  fs::create_symlink("file one.txt", root_.path() / "sub folder" / "link");
  ASSERT_TRUE(connection->SetCurrentFolder("/sub folder"));
  auto entries = connection->List();
  ASSERT_TRUE(entries) << connection->LastError();
  std::sort(entries->begin(), entries->end(),
            [](const RemoteEntry& a, const RemoteEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[0].name, "deeper");
  EXPECT_TRUE((*entries)[0].isFolder);
  EXPECT_EQ((*entries)[0].path, "/sub folder/deeper");
  EXPECT_EQ((*entries)[1].name, "file one.txt");
  EXPECT_FALSE((*entries)[1].isFolder);
  EXPECT_EQ((*entries)[1].size, 5u);
  EXPECT_EQ((*entries)[1].path, "/sub folder/file one.txt");
  auto written = fs::last_write_time(root_.path() / "sub folder" / "file one.txt");
  auto writtenSystem = std::chrono::file_clock::to_sys(written);
  EXPECT_LT(std::chrono::abs(std::chrono::duration_cast<std::chrono::seconds>(
                (*entries)[1].lastWrite - writtenSystem)),
            std::chrono::minutes(GetParam().mlsd ? 1 : 2));
  EXPECT_EQ((*entries)[2].name, "link");
  EXPECT_FALSE((*entries)[2].isFolder);

  // Fresh: a file made now shows up in the next listing.
  test::WriteFile(root_.path() / "sub folder" / "new.txt", "n");
  auto again = connection->List();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->size(), 4u);
  EXPECT_EQ(Count(server_.Commands(), GetParam().mlsd ? "MLSD" : "LIST"), 3);
}

TEST_P(CurlFtpTest, FiveGibibyteSparseFileListsWithItsTrueSize) {
  constexpr uint64_t kFiveGiB = 5ULL << 30;
  {
    int fd = open((root_.path() / "huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(kFiveGiB)), 0);
    close(fd);
  }
  auto connection = Connect();
  ASSERT_TRUE(connection);
  auto entries = connection->List();
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].size, kFiveGiB);
  EXPECT_EQ(connection->Size("/huge.bin"), kFiveGiB);
}

TEST_P(CurlFtpTest, StreamsDownloadsAndUploadsInChunks) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  const std::string data = RandomBytes(3 * 1024 * 1024 + 1808);
  test::WriteFile(root_.path() / "in.bin", data);
  std::vector<int64_t> chunks;
  EXPECT_EQ(Download(*connection, "/in.bin", &chunks), data);
  ASSERT_FALSE(chunks.empty());
  EXPECT_TRUE(std::all_of(chunks.begin(), chunks.end() - 1, [](int64_t n) { return n == 4096; }));
  EXPECT_EQ(chunks.back(), 1808);

  EXPECT_TRUE(Upload(*connection, "/out.bin", data)) << connection->LastError();
  EXPECT_EQ(test::ReadFile(root_.path() / "out.bin"), data);

  // Empty files both ways.
  test::WriteFile(root_.path() / "empty", "");
  EXPECT_EQ(Download(*connection, "/empty"), "");
  EXPECT_TRUE(Upload(*connection, "/empty-up", ""));
  EXPECT_TRUE(fs::exists(root_.path() / "empty-up"));
  EXPECT_EQ(fs::file_size(root_.path() / "empty-up"), 0u);

  // Relative paths name files in the current folder; file after file on one connection.
  fs::create_directory(root_.path() / "d");
  ASSERT_TRUE(connection->SetCurrentFolder("/d"));
  for (int i = 0; i < 5; ++i) {
    std::string name = "small" + std::to_string(i);
    ASSERT_TRUE(Upload(*connection, name, name + " content"));
    EXPECT_EQ(Download(*connection, name), name + " content");
  }
  EXPECT_EQ(Count(server_.Commands(), "USER"), 1);
  EXPECT_EQ(Count(server_.Commands(), GetParam().passive ? "EPSV" : "EPRT"),
            Count(server_.Commands(), "RETR") + Count(server_.Commands(), "STOR"));
}

TEST_P(CurlFtpTest, TransferTypeFollowsTheBinaryFlag) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  ASSERT_TRUE(Upload(*connection, "/text.txt", "line\r\n", false));
  ASSERT_TRUE(Upload(*connection, "/data.bin", "line\r\n", true));
  EXPECT_EQ(test::ReadFile(root_.path() / "data.bin"), "line\r\n");
  // The last TYPE before each STOR.
  std::vector<std::string> types;
  std::string type;
  for (const auto& command : server_.Commands()) {
    if (command.rfind("TYPE ", 0) == 0) type = command;
    if (command.rfind("STOR ", 0) == 0) types.push_back(command + " after " + type);
  }
  EXPECT_EQ(types, (std::vector<std::string>{"STOR /text.txt after TYPE A",
                                             "STOR /data.bin after TYPE I"}));
}

TEST_P(CurlFtpTest, OpenFailsAfterTwoAttemptsOnTheSameConnection) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  EXPECT_EQ(OpenRemoteFile(*connection, "/missing.bin", RemoteFileMode::Read, true), nullptr);
  EXPECT_NE(connection->LastError().find("550"), std::string::npos) << connection->LastError();
  // Each attempt asks for the file once (libcurl's SIZE already tells it is missing).
  auto commands = server_.Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& c) { return c.ends_with(" /missing.bin"); }),
            2);
  EXPECT_EQ(Count(commands, "USER"), 1);

  server_.Stop();
  FtpServer readOnly(
      WithTls({.root = root_.path(), .permissions = "elr", .mlsd = GetParam().mlsd}));
  std::string error;
  auto reader = connector_.OpenWithError(Parameters(readOnly.Profile(GetParam().passive)), &error);
  ASSERT_TRUE(reader) << error;
  EXPECT_EQ(OpenRemoteFile(*reader, "/new.bin", RemoteFileMode::Write, true), nullptr);
  EXPECT_EQ(Count(readOnly.Commands(), "STOR /new.bin"), 2);
  EXPECT_EQ(Count(readOnly.Commands(), "USER"), 1);
  EXPECT_TRUE(reader->IsAlive());
}

TEST_P(CurlFtpTest, StopInTheMiddleOfAReadLeavesTheConnectionUsable) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  fs::create_directory(root_.path() / "here");
  test::WriteFile(root_.path() / "here" / "big.bin", RandomBytes(32 * 1024 * 1024));
  test::WriteFile(root_.path() / "here" / "next.bin", "next file");
  ASSERT_TRUE(connection->SetCurrentFolder("/here"));

  for (bool viaClose : {false, true}) {
    auto file = connection->OpenFile("big.bin", RemoteFileMode::Read, true);
    ASSERT_TRUE(file) << connection->LastError();
    char buffer[4096];
    for (int i = 0; i < 3; ++i) ASSERT_EQ(file->Read(buffer, sizeof buffer), 4096);
    if (viaClose) {
      EXPECT_FALSE(file->Close());  // not the whole file
    } else {
      file->Abort();
    }
    file.reset();
    // Usable for the next file, still in the same folder.
    EXPECT_EQ(Download(*connection, "next.bin"), "next file");
    EXPECT_EQ(connection->CurrentFolder(), "/here");
  }
}

TEST_P(CurlFtpTest, StopInTheMiddleOfAWriteLeavesThePartialFileToDelete) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  const std::string data = RandomBytes(2 * 1024 * 1024);
  for (bool viaAbort : {false, true}) {
    auto file = connection->OpenFile("/partial.bin", RemoteFileMode::Write, true);
    ASSERT_TRUE(file) << connection->LastError();
    for (size_t at = 0; at < 100 * 4096; at += 4096)
      ASSERT_TRUE(file->Write(data.data() + at, 4096));
    if (viaAbort)
      file->Abort();
    else
      file->Close();
    file.reset();
    EXPECT_TRUE(fs::exists(root_.path() / "partial.bin"));
    EXPECT_LE(fs::file_size(root_.path() / "partial.bin"), 100u * 4096);
    EXPECT_TRUE(connection->DeleteFile("/partial.bin")) << connection->LastError();
    EXPECT_FALSE(fs::exists(root_.path() / "partial.bin"));
    EXPECT_TRUE(Upload(*connection, "/whole.bin", data));
    EXPECT_EQ(test::ReadFile(root_.path() / "whole.bin"), data);
  }
}

// WriteFrom hands the transfer's own buffer to the caller: large pieces, in order, after what
// Write gave first; a fill that ends early leaves exactly what it gave on the server.
TEST_P(CurlFtpTest, WriteFromFillsTheTransfersBufferAfterEarlierWrites) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  const std::string data = RandomBytes(3 * 1024 * 1024 + 777);
  constexpr size_t kWritten = 5000;
  for (size_t stopAt : {data.size(), size_t{700'000}}) {
    auto file = connection->OpenFile("/pulled.bin", RemoteFileMode::Write, true);
    ASSERT_TRUE(file) << connection->LastError();
    ASSERT_TRUE(file->Write(data.data(), kWritten));
    size_t at = kWritten, largestOffer = 0;
    bool calledAfterEnd = false;
    auto fill = [&](char* buffer, size_t size) -> size_t {
      if (at == stopAt) calledAfterEnd = true;
      largestOffer = std::max(largestOffer, size);
      // Odd piece sizes: the transfer takes whatever the caller gives.
      size_t n = std::min({size, stopAt - at, size_t{100'003}});
      std::memcpy(buffer, data.data() + at, n);
      at += n;
      return n;
    };
    ASSERT_TRUE(file->WriteFrom(fill)) << file->ErrorText();
    EXPECT_TRUE(file->Close()) << file->ErrorText();
    EXPECT_TRUE(calledAfterEnd);
    EXPECT_GE(largestOffer, 64u * 1024);
    EXPECT_EQ(test::ReadFile(root_.path() / "pulled.bin"), data.substr(0, stopAt));
  }
  // The connection goes on with the next file.
  EXPECT_TRUE(Upload(*connection, "/after.bin", "after")) << connection->LastError();
  EXPECT_EQ(test::ReadFile(root_.path() / "after.bin"), "after");
}
// A crash-safe upload: written under one name, then renamed (replacing a file) and sized right
// after the server's "226".
TEST_P(CurlFtpTest, UploadFinishRenamesAndSizesRightAfterTheTransfer) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  test::WriteFile(root_.path() / "final.bin", "the old file");
  const std::string data = RandomBytes(300'000);
  auto file = connection->OpenUpload("/.final.bin.part", true, {"/final.bin", true});
  ASSERT_TRUE(file) << connection->LastError();
  ASSERT_TRUE(file->WriteFrom([&, at = size_t{0}](char* buffer, size_t size) mutable {
    size_t n = std::min(size, data.size() - at);
    std::memcpy(buffer, data.data() + at, n);
    at += n;
    return n;
  }));
  ASSERT_TRUE(file->Close()) << file->ErrorText();
  EXPECT_TRUE(file->Answers().renamed) << file->Answers().renameError;
  EXPECT_EQ(file->Answers().size, data.size());
  EXPECT_EQ(test::ReadFile(root_.path() / "final.bin"), data);
  EXPECT_FALSE(fs::exists(root_.path() / ".final.bin.part"));
  auto commands = server_.Commands();
  auto stor = std::find(commands.begin(), commands.end(), "STOR /.final.bin.part");
  ASSERT_NE(stor, commands.end());
  EXPECT_EQ(
      std::vector<std::string>(stor + 1, commands.end()),
      (std::vector<std::string>{"RNFR /.final.bin.part", "RNTO /final.bin", "SIZE /final.bin"}));
  EXPECT_FALSE(connection->IsBroken());

  // Given up in the middle: cut off, so nothing is renamed into place.
  auto cut = connection->OpenUpload("/.cut.part", true, {"/cut.bin", true});
  ASSERT_TRUE(cut) << connection->LastError();
  int calls = 0;
  EXPECT_FALSE(cut->WriteFrom([&](char* buffer, size_t size) -> size_t {
    if (++calls > 3) return RemoteFile::kAbandon;
    std::memset(buffer, 'c', size);
    return size;
  }));
  EXPECT_FALSE(cut->Close());
  EXPECT_FALSE(cut->Answers().renamed);
  EXPECT_FALSE(fs::exists(root_.path() / "cut.bin"));
  // The cut took the control connection with it; the next call logs in again.
  EXPECT_TRUE(connection->DeleteFile("/.cut.part")) << connection->LastError();
  EXPECT_EQ(Download(*connection, "/final.bin"), data);
}

TEST_P(CurlFtpTest, ARefusedRenameIsReportedAndTheUploadStays) {
  FtpServer::Options options{.root = root_.path(),
                             .permissions = "elradmwMT",  // no "f"
                             .mlsd = GetParam().mlsd};
  FtpServer strict(WithTls(options));
  std::string error;
  auto connection =
      connector_.OpenWithError(Parameters(strict.Profile(GetParam().passive)), &error);
  ASSERT_TRUE(connection) << error;
  auto file = connection->OpenUpload("/.a.part", true, {"/a.bin", false});
  ASSERT_TRUE(file) << connection->LastError();
  ASSERT_TRUE(file->Write("abc", 3));
  ASSERT_TRUE(file->Close()) << file->ErrorText();
  EXPECT_FALSE(file->Answers().renamed);
  EXPECT_TRUE(file->Answers().renameRefused);
  EXPECT_NE(file->Answers().renameError.find("RNFR /.a.part: 550"), std::string::npos)
      << file->Answers().renameError;
  EXPECT_EQ(test::ReadFile(root_.path() / ".a.part"), "abc");
  EXPECT_FALSE(connection->IsBroken());
}

// A server that takes one command per read of its control connection and drops the rest
// still gets a crash-safe upload renamed and sized: every command waits for its reply.
TEST_P(CurlFtpTest, UploadFinishWaitsForEachReply) {
  if (Tls()) GTEST_SKIP() << "the server that drops commands speaks plain FTP only";
  FtpServer picky(
      {.root = root_.path(), .mlsd = GetParam().mlsd, .faults = {"--one-command-per-read"}});
  CurlFtpConnector connector(&log_, {.reply = std::chrono::seconds(5)});
  std::string error;
  auto connection = connector.OpenWithError(Parameters(picky.Profile(GetParam().passive)), &error);
  ASSERT_TRUE(connection) << error;
  test::WriteFile(root_.path() / "b.bin", "the old file");
  auto file = connection->OpenUpload("/.b.part", true, {"/b.bin", true});
  ASSERT_TRUE(file) << connection->LastError();
  ASSERT_TRUE(file->Write("abcdef", 6));
  ASSERT_TRUE(file->Close()) << file->ErrorText();
  EXPECT_TRUE(file->Answers().renamed) << file->Answers().renameError;
  EXPECT_EQ(file->Answers().size, 6u);
  EXPECT_EQ(test::ReadFile(root_.path() / "b.bin"), "abcdef");
  EXPECT_FALSE(fs::exists(root_.path() / ".b.part"));
  EXPECT_FALSE(connection->IsBroken());
  const auto commands = picky.Commands();
  EXPECT_EQ(Count(commands, "EVENT dropped"), 0);
  auto stor = std::find(commands.begin(), commands.end(), "STOR /.b.part");
  ASSERT_NE(stor, commands.end());
  EXPECT_EQ(std::vector<std::string>(stor + 1, commands.end()),
            (std::vector<std::string>{"RNFR /.b.part", "RNTO /b.bin", "SIZE /b.bin"}));
}

TEST_P(CurlFtpTest, OtherOperationsWaitForAnOpenFile) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  test::WriteFile(root_.path() / "f", "x");
  auto file = connection->OpenFile("/f", RemoteFileMode::Read, true);
  ASSERT_TRUE(file);
  EXPECT_FALSE(connection->DeleteFile("/f"));
  EXPECT_EQ(connection->LastError(), "A file transfer is still open on this connection.");
  char buffer[16];
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 1);
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 0);
  EXPECT_TRUE(file->Close());
  EXPECT_TRUE(connection->DeleteFile("/f"));
}

TEST_P(CurlFtpTest, PathsWithLineBreaksOrNulAreRefusedAndNothingIsSent) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  test::WriteFile(root_.path() / "victim", "keep me");
  size_t before = server_.Commands().size();
  const std::string evil[] = {"/x\r\nDELE /victim", "/x\nDELE /victim", std::string("/x\0y", 4)};
  for (const auto& path : evil) {
    EXPECT_FALSE(connection->SetCurrentFolder(path));
    EXPECT_FALSE(connection->CreateFolder(path));
    EXPECT_FALSE(connection->RemoveFolder(path));
    EXPECT_FALSE(connection->DeleteFile(path));
    EXPECT_FALSE(connection->Rename(path, "/y"));
    EXPECT_FALSE(connection->Rename("/victim", path));
    EXPECT_EQ(connection->Size(path), std::nullopt);
    EXPECT_EQ(connection->OpenFile(path, RemoteFileMode::Read, true), nullptr);
    EXPECT_EQ(connection->OpenFile(path, RemoteFileMode::Write, true), nullptr);
    EXPECT_NE(connection->LastError().find("line break or NUL"), std::string::npos);
  }
  EXPECT_EQ(server_.Commands().size(), before);
  EXPECT_EQ(test::ReadFile(root_.path() / "victim"), "keep me");
  EXPECT_TRUE(connection->IsAlive());
}

// Blanks, "%", "#", "?", ";" and UTF-8 in folder and file names reach the server as they are.
TEST_P(CurlFtpTest, NamesWithUrlCharactersTravelAsTheyAre) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  const std::string folder = "/dir x%41#";
  const std::string path = folder + "/a b%20c?d;type=a \xC3\xA9.txt";
  ASSERT_TRUE(connection->CreateFolder(folder)) << connection->LastError();
  ASSERT_TRUE(Upload(*connection, path, "odd")) << connection->LastError();
  EXPECT_EQ(test::ReadFile(root_.path() / path.substr(1)), "odd");
  EXPECT_EQ(connection->Size(path), 3u) << connection->LastError();
  EXPECT_EQ(Download(*connection, path), "odd");
  ASSERT_TRUE(connection->SetCurrentFolder(folder));
  auto entries = connection->List();
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ(entries->front().path, path);
}

TEST_P(CurlFtpTest, CreateRemoteFolderTreeReportsAnExistingPathAsFailure) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  EXPECT_TRUE(CreateRemoteFolderTree(*connection, "/t/u/v"));
  EXPECT_TRUE(fs::is_directory(root_.path() / "t" / "u" / "v"));
  EXPECT_FALSE(CreateRemoteFolderTree(*connection, "/t/u/v"));
  EXPECT_TRUE(CreateRemoteFolderTree(*connection, "/t/u/w"));
}

TEST_P(CurlFtpTest, ConnectionIsNotAliveAfterTheServerStops) {
  auto connection = Connect();
  ASSERT_TRUE(connection);
  EXPECT_TRUE(connection->IsAlive());
  server_.Stop();
  EXPECT_FALSE(connection->IsAlive());
  EXPECT_EQ(connection->LastError(), "Connection to the server was lost.");
  EXPECT_FALSE(connection->List());
  EXPECT_EQ(connection->LastError(), "Connection to the server was lost.");
  EXPECT_EQ(connection->OpenFile("/x", RemoteFileMode::Read, true), nullptr);
}

TEST_P(CurlFtpTest, AnonymousLoginWithAnEmptyUserName) {
  server_.Stop();
  FtpServer open(WithTls({.root = root_.path(), .mlsd = GetParam().mlsd, .anonymous = true}));
  auto profile = open.Profile(GetParam().passive);
  profile.userName.clear();
  profile.password.clear();
  std::string error;
  auto connection = connector_.OpenWithError(Parameters(profile), &error);
  ASSERT_TRUE(connection) << error;
  EXPECT_TRUE(connection->IsAlive());
  EXPECT_EQ(Count(open.Commands(), "USER anonymous"), 1);
}

}  // namespace
}  // namespace quillon
