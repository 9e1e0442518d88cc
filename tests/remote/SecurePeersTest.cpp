// The secure test peers, each proven with a bare libcurl handle: that it runs, what it asks of a
// client, and what libcurl 7.88 does with it. The connection layer's tests build on these.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "remote/Fingerprint.h"
#include "remote/KnownHosts.h"
#include "support/FtpServer.h"
#include "support/SshServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/VsftpdServer.h"

namespace quillon::test {
namespace {

// One libcurl request: what to set, and what came back.
struct Request {
  std::string url = {};
  std::string userPassword = {};  // "user:password" for FTP
  std::string sshUser = {};
  std::string sshPassword = {};
  std::string keyFile = {};
  std::string keyPassphrase = {};
  std::string caFile = {};  // empty: the system's store
  bool requireTls = false;  // CURLOPT_USE_SSL = CURLUSESSL_ALL
  bool sessionCache = true;
  const std::string* upload = nullptr;
  long responseTimeout = 0;
  std::string* hostKey = nullptr;  // receives the raw host key blob (SFTP)
};

struct Reply {
  CURLcode code = CURLE_OK;
  std::string body;
  std::string error;
  std::string trace;
};

size_t Append(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

int Trace(CURL*, curl_infotype type, char* data, size_t size, void* target) {
  if (type == CURLINFO_TEXT || type == CURLINFO_HEADER_IN || type == CURLINFO_HEADER_OUT)
    static_cast<std::string*>(target)->append(data, size);
  return 0;
}

int KeepHostKey(void* target, int, const char* key, size_t length) {
  static_cast<std::string*>(target)->assign(key, length);
  return CURLKHMATCH_OK;
}

struct UploadSource {
  const std::string* data;
  size_t offset = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* source) {
  auto* s = static_cast<UploadSource*>(source);
  const size_t n = std::min(size * count, s->data->size() - s->offset);
  s->data->copy(buffer, n, s->offset);
  s->offset += n;
  return n;
}

// `handle` keeps its connections between calls, as a lane's handle does.
Reply Perform(CURL* handle, const Request& r) {
  Reply reply;
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_reset(handle);
  curl_easy_setopt(handle, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, Trace);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &reply.trace);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 20L);
  if (!r.userPassword.empty()) curl_easy_setopt(handle, CURLOPT_USERPWD, r.userPassword.c_str());
  if (!r.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, r.caFile.c_str());
  if (r.requireTls) curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(handle, CURLOPT_SSL_SESSIONID_CACHE, r.sessionCache ? 1L : 0L);
  if (r.responseTimeout)
    curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, r.responseTimeout);
  if (!r.sshUser.empty()) curl_easy_setopt(handle, CURLOPT_USERNAME, r.sshUser.c_str());
  if (!r.sshPassword.empty()) curl_easy_setopt(handle, CURLOPT_PASSWORD, r.sshPassword.c_str());
  if (!r.keyFile.empty()) curl_easy_setopt(handle, CURLOPT_SSH_PRIVATE_KEYFILE, r.keyFile.c_str());
  if (!r.keyPassphrase.empty())
    curl_easy_setopt(handle, CURLOPT_KEYPASSWD, r.keyPassphrase.c_str());
  std::string ignoredHostKey;
  if (r.url.rfind("sftp:", 0) == 0) {
    curl_easy_setopt(handle, CURLOPT_SSH_HOSTKEYFUNCTION, KeepHostKey);
    curl_easy_setopt(handle, CURLOPT_SSH_HOSTKEYDATA, r.hostKey ? r.hostKey : &ignoredHostKey);
  }
  UploadSource source{r.upload};
  if (r.upload) {
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(handle, CURLOPT_READDATA, &source);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(r.upload->size()));
  }
  reply.code = curl_easy_perform(handle);
  reply.error = error;
  return reply;
}

std::string Payload(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return data;
}

class Handle {
 public:
  Handle() : handle_(curl_easy_init()) {}
  ~Handle() { curl_easy_cleanup(handle_); }
  operator CURL*() const { return handle_; }

 private:
  CURL* handle_;
};

class SecurePeersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  static void TearDownTestSuite() { curl_global_cleanup(); }

  TestCertificates certificates_;
  TempDir root_;
};

bool UserWasSent(const std::vector<std::string>& commands) {
  for (const auto& command : commands)
    if (command.rfind("USER", 0) == 0) return true;
  return false;
}

TEST_F(SecurePeersTest, PyftpdlibExplicitTlsServesFilesOnlyOverTls) {
  FtpServer server({.root = root_.path(), .tlsCertificate = certificates_.ServerPem("leaf")});
  const std::string base = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";
  const std::string user = server.options().user + ":" + server.options().password;
  const std::string data = Payload(300000);
  Handle handle;

  Reply up = Perform(handle, {.url = base + "up.bin",
                              .userPassword = user,
                              .caFile = certificates_.CaFile(),
                              .requireTls = true,
                              .upload = &data});
  ASSERT_EQ(up.code, CURLE_OK) << up.error;
  Reply down = Perform(handle, {.url = base + "up.bin",
                                .userPassword = user,
                                .caFile = certificates_.CaFile(),
                                .requireTls = true});
  ASSERT_EQ(down.code, CURLE_OK) << down.error;
  EXPECT_EQ(down.body, data);
  Reply list = Perform(
      handle,
      {.url = base, .userPassword = user, .caFile = certificates_.CaFile(), .requireTls = true});
  ASSERT_EQ(list.code, CURLE_OK) << list.error;
  EXPECT_NE(list.body.find("up.bin"), std::string::npos);
  // libcurl asks for TLS before the login and protects the data connections.
  const auto commands = server.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0].rfind("AUTH ", 0), 0u) << commands[0];
  EXPECT_NE(std::find(commands.begin(), commands.end(), "PROT P"), commands.end());

  // Without TLS the server refuses the login.
  Handle plain;
  Reply refused = Perform(plain, {.url = base, .userPassword = user});
  EXPECT_EQ(refused.code, CURLE_LOGIN_DENIED) << refused.error;
}

TEST_F(SecurePeersTest, PyftpdlibImplicitTlsHandshakesBeforeTheGreeting) {
  FtpServer server({.root = root_.path(),
                    .tlsCertificate = certificates_.ServerPem("leaf"),
                    .implicitTls = true});
  WriteFile(root_.path() / "hello.txt", "over implicit TLS\n");
  const std::string port = std::to_string(server.port());
  const std::string user = server.options().user + ":" + server.options().password;
  Handle handle;
  Reply down = Perform(handle, {.url = "ftps://127.0.0.1:" + port + "/hello.txt",
                                .userPassword = user,
                                .caFile = certificates_.CaFile()});
  ASSERT_EQ(down.code, CURLE_OK) << down.error;
  EXPECT_EQ(down.body, "over implicit TLS\n");

  // A client that waits for a clear-text greeting gets none.
  Handle plain;
  Reply silent = Perform(plain, {.url = "ftp://127.0.0.1:" + port + "/",
                                 .userPassword = user,
                                 .requireTls = true,
                                 .responseTimeout = 2});
  EXPECT_EQ(silent.code, CURLE_OPERATION_TIMEDOUT) << silent.error;
}

TEST_F(SecurePeersTest, CertificatesThatDoNotCheckOutAreRefusedBeforeTheLogin) {
  struct Case {
    const char* certificate;
    const char* reason;  // in libcurl's error text
  };
  const Case cases[] = {
      {"selfsigned", "self-signed"}, {"expired", "expired"}, {"wrongname", "127.0.0.1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.certificate);
    FtpServer server(
        {.root = root_.path(), .tlsCertificate = certificates_.ServerPem(c.certificate)});
    Handle handle;
    Reply reply = Perform(handle, {.url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/",
                                   .userPassword = "quillon:s3cret-Pw",
                                   .caFile = certificates_.CaFile(),
                                   .requireTls = true});
    EXPECT_EQ(reply.code, CURLE_PEER_FAILED_VERIFICATION) << reply.error;
    EXPECT_NE(reply.error.find(c.reason), std::string::npos) << reply.error;
    EXPECT_FALSE(UserWasSent(server.Commands()));
  }
  // The test authority is not in the system's store: the valid leaf is refused there too.
  FtpServer server({.root = root_.path(), .tlsCertificate = certificates_.ServerPem("leaf")});
  Handle handle;
  Reply reply = Perform(handle, {.url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/",
                                 .userPassword = "quillon:s3cret-Pw",
                                 .requireTls = true});
  EXPECT_EQ(reply.code, CURLE_PEER_FAILED_VERIFICATION) << reply.error;
}

TEST_F(SecurePeersTest, VsftpdTransfersWhenDataConnectionsReuseTheTlsSession) {
  VsftpdServer server({.root = root_.path(), .certificatePem = certificates_.ServerPem("leaf")});
  const std::string base = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";
  const std::string data = Payload(300000);
  Handle handle;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::string name = "file" + std::to_string(round) + ".bin";
    Reply up = Perform(handle, {.url = base + name,
                                .userPassword = "anonymous:",
                                .caFile = certificates_.CaFile(),
                                .requireTls = true,
                                .upload = &data});
    ASSERT_EQ(up.code, CURLE_OK) << up.error << server.Log();
    Reply down = Perform(handle, {.url = base + name,
                                  .userPassword = "anonymous:",
                                  .caFile = certificates_.CaFile(),
                                  .requireTls = true});
    ASSERT_EQ(down.code, CURLE_OK) << down.error << server.Log();
    EXPECT_EQ(down.body, data);
    EXPECT_NE(down.trace.find("SSL re-using session ID"), std::string::npos);
  }
  EXPECT_EQ(ReadFile(root_.path() / "file2.bin"), data);

  // A data connection with a fresh TLS session is refused: require_ssl_reuse is in force.
  Handle fresh;
  Reply refused = Perform(fresh, {.url = base + "file0.bin",
                                  .userPassword = "anonymous:",
                                  .caFile = certificates_.CaFile(),
                                  .requireTls = true,
                                  .sessionCache = false});
  EXPECT_NE(refused.code, CURLE_OK);
  EXPECT_NE(server.Log().find("No SSL session reuse on data channel"), std::string::npos);

  // And a clear-text login is refused.
  Handle plain;
  Reply clear = Perform(plain, {.url = base, .userPassword = "anonymous:"});
  EXPECT_EQ(clear.code, CURLE_LOGIN_DENIED) << clear.error;
}

TEST_F(SecurePeersTest, SshdServesSftpToKeysAndPasswords) {
  SshServer server(root_.path());
  WriteFile(root_.path() / "hello.txt", "over sftp\n");
  const std::string url =
      "sftp://127.0.0.1:" + std::to_string(server.port()) + server.RemotePath("hello.txt");
  struct Case {
    const char* key;  // empty: password login
    std::string passphrase;
    CURLcode expected;
  };
  std::vector<Case> cases = {
      {"ed25519", "", CURLE_OK},
      {"ed25519-protected", server.KeyPassphrase(), CURLE_OK},
      {"ed25519-protected", "not the passphrase", CURLE_LOGIN_DENIED},
      {"ecdsa", "", CURLE_OK},
      // libssh2 1.10 signs with ssh-rsa (SHA-1) only, which OpenSSH 9.2 no longer accepts.
      {"rsa", "", CURLE_LOGIN_DENIED},
  };
  if (server.PasswordLogin()) {
    cases.push_back({"", server.Password(), CURLE_OK});
    cases.push_back({"", "not the password", CURLE_LOGIN_DENIED});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " / " + c.passphrase);
    Handle handle;
    Request request{.url = url, .sshUser = server.user()};
    if (*c.key) {
      request.keyFile = server.KeyFile(c.key);
      request.keyPassphrase = c.passphrase;
    } else {
      request.sshPassword = c.passphrase;
    }
    Reply reply = Perform(handle, request);
    EXPECT_EQ(reply.code, c.expected) << reply.error << server.Log();
    if (c.expected == CURLE_OK) {
      EXPECT_EQ(reply.body, "over sftp\n");
    }
  }
}

TEST_F(SecurePeersTest, SshdListsAndTakesUploadsAndHandsOverItsRawHostKey) {
  SshServer server(root_.path());
  const std::string base = "sftp://127.0.0.1:" + std::to_string(server.port());
  const std::string data = Payload(200000);
  Handle handle;
  std::string hostKey;
  Request upload{.url = base + server.RemotePath("up.bin"),
                 .sshUser = server.user(),
                 .keyFile = server.KeyFile("ed25519"),
                 .upload = &data,
                 .hostKey = &hostKey};
  Reply up = Perform(handle, upload);
  ASSERT_EQ(up.code, CURLE_OK) << up.error << server.Log();
  EXPECT_EQ(ReadFile(root_.path() / "up.bin"), data);

  Reply list = Perform(handle, {.url = base + server.RemotePath() + "/",
                                .sshUser = server.user(),
                                .keyFile = server.KeyFile("ed25519")});
  ASSERT_EQ(list.code, CURLE_OK) << list.error;
  // The server's long names, as `ls -l` writes them.
  EXPECT_NE(list.body.find(" 200000 "), std::string::npos) << list.body;
  EXPECT_NE(list.body.find(" up.bin\n"), std::string::npos) << list.body;

  // The host key callback receives the key blob itself: the Base64 field of the .pub line
  // decodes to the same bytes, and its fingerprint is the one OpenSSH prints.
  const std::string line = server.HostKeyLine();
  EXPECT_EQ(DecodeBase64Standard(line.substr(line.find(' ') + 1)), hostKey);
  EXPECT_EQ(HostKeyType(hostKey), "ssh-ed25519");
  EXPECT_EQ(Sha256Fingerprint(hostKey), server.HostKeyFingerprint());
}

}  // namespace
}  // namespace quillon::test
