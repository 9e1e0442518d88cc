#include "ftp/CurlFtp.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "ftp/CurlCore.h"
#include "ftp/CurlSftp.h"
#include "ftp/CurlTls.h"
#include "ftp/FtpReplies.h"
#include "ftp/ListingReader.h"
#include "remote/FtpError.h"
#include "remote/RemoteListing.h"

namespace quillon {

namespace {

// libcurl hands over up to kReceiveBufferSize bytes per callback, and sends from a buffer of
// kSendBufferSize.
constexpr long kReceiveBufferSize = 256 * 1024;
constexpr long kSendBufferSize = 256 * 1024;
// Bytes a data connection may hold unsent in the kernel (TCP_NOTSENT_LOWAT); see OnSocketOptions.
constexpr int kUnsentLimit = 64 * 1024;

// QUILLON_FTP_TRACE=1 writes the control dialogue, libcurl's notes and each change of a
// connection's state to stderr, one line each, stamped with the time since the first line.
void TraceLine(std::string_view prefix, std::string_view text) {
  static const auto start = std::chrono::steady_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start);
  std::fprintf(stderr, "[ftp %6lld ms] %.*s%.*s\n", static_cast<long long>(ms.count()),
               static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(text.size()),
               text.data());
}

// Where one control connection stands. Every change goes through CurlFtpConnection::SetState.
enum class ConnectionState {
  Disconnected,  // not logged in yet (or the set-up failed before anything was sent)
  Connecting,    // Connect is logging in: a 421, or a 530 naming a limit, refuses the connection
  Connected,     // logged in; commands and transfers go over the control connection
  NeedsLogin,    // a transfer was cut off or failed and libcurl dropped the control connection:
                 // the next operation logs in again and returns to the current folder
  Reconnecting,  // that new login is under way
  Lost,          // the control connection is gone for good: every call fails (final)
};

const char* StateName(ConnectionState state) {
  switch (state) {
    case ConnectionState::Disconnected:
      return "Disconnected";
    case ConnectionState::Connecting:
      return "Connecting";
    case ConnectionState::Connected:
      return "Connected";
    case ConnectionState::NeedsLogin:
      return "NeedsLogin";
    case ConnectionState::Reconnecting:
      return "Reconnecting";
    case ConnectionState::Lost:
      return "Lost";
  }
  return "?";
}

// Percent-encodes a remote path for the URL. libcurl decodes it again and puts it into RETR,
// STOR or SIZE as it stands (a leading "%2F" keeps the path absolute; later "/" stay).
std::string EncodePath(std::string_view path) {
  return PercentEncode(path.substr(0, 1)) +
         PercentEncode(path.substr(std::min<size_t>(1, path.size())), "/");
}

class CurlFtpConnection final : public FtpConnection, private CurlCore {
 public:
  CurlFtpConnection(ActivityLog* log, const FtpTimeouts& timeouts)
      : log_(log), timeouts_(timeouts) {}
  ~CurlFtpConnection() override;

  // Connects and logs in; false with LastError() on failure. `probeOnly` (FTP over TLS): stop
  // in the handshake whatever the certificate, to learn what the server presents.
  bool Connect(const FtpConnectParameters& server, bool probeOnly = false);
  // The certificate the handshake refused (FTP over TLS), after a failed Connect.
  std::optional<ServerIdentity> Untrusted() const {
    return tls_ ? tls_->Untrusted() : std::nullopt;
  }

  std::optional<std::string> CurrentFolder() override;
  bool SetCurrentFolder(const std::string& folder) override;
  std::optional<std::vector<RemoteEntry>> List() override;
  bool CreateFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  std::optional<uint64_t> Size(const std::string& path) override;
  std::unique_ptr<RemoteFile> OpenFile(const std::string& path, RemoteFileMode mode,
                                       bool binary) override;
  const std::string& LastError() const override { return lastError_; }
  bool IsBroken() const override;
  bool OpenWasAccepted() const override { return accepted_; }
  FtpFailure LastFailure() const override { return lastFailure_; }
  bool SizeUnusable() const override { return sizeUnusable_; }
  std::vector<std::string> TakeSkippedNames() override { return std::move(skipped_); }
  void SetStopFlag(const std::atomic<bool>* stop) override { stop_ = stop; }

 private:
  enum class Kind { Commands, Size, List, Download, Upload };

  bool BeginOperation();
  void Configure(Kind kind, const std::string& url, const std::vector<std::string>& commands,
                 bool binary);
  static bool IsDataKind(Kind kind) {
    return kind == Kind::List || kind == Kind::Download || kind == Kind::Upload;
  }
  std::optional<uint64_t> SizeFromReply(const std::string& path, const FtpReply& reply);
  void OnOperationStart() override;
  void OnOperationEnd() override;
  void OnTransferCutOff() override;
  std::optional<std::vector<FtpReply>> RunCommands(const std::vector<std::string>& commands);
  bool RunCommand(const std::string& command);
  std::string ErrorText(CURLcode code) override;
  std::string FailedCommandText(const std::string& command, const FtpReply& reply);
  void SetError(std::string text);
  // The one way the state changes; traced. Lost is final: a later change is ignored.
  void SetState(ConnectionState state, std::string_view why);
  // libcurl may open a control connection only while this connection logs in.
  bool LoggingIn() const {
    return state_ == ConnectionState::Connecting || state_ == ConnectionState::Reconnecting;
  }
  std::string FileUrl(const std::string& path) const { return baseUrl_ + "/" + EncodePath(path); }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnDiscard(char*, size_t size, size_t count, void*) { return size * count; }
  static size_t OnListData(char* data, size_t size, size_t count, void* self);
  static int OnTrace(CURL*, curl_infotype type, char* data, size_t size, void* self);
  static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
  static int OnCloseSocket(void* self, curl_socket_t socket);
  static int OnSocketOptions(void* self, curl_socket_t socket, curlsocktype purpose);

  ActivityLog* log_;
  FtpTimeouts timeouts_;
  std::string baseUrl_;
  std::string password_;
  int controlPort_ = 21;
  curl_socket_t controlSocket_ = CURL_SOCKET_BAD;
  std::optional<TlsServerCheck> tls_;  // FTP over TLS (explicit or implicit)

  std::string folder_ = "/";  // the server's current folder as last confirmed
  bool mlsd_ = false;         // FEAT offered MLST/MLSD
  ConnectionState state_ = ConnectionState::Disconnected;
  std::string host_;
  bool sizeUnusable_ = false;  // SIZE is unknown to the server or answered without a number
  bool typeBinary_ = false;    // the last TYPE libcurl sent was I
  std::string lastError_;
  FtpFailure lastFailure_ = FtpFailure::Refused;
  std::vector<std::string> skipped_;  // unsafe names of the last listing

  // One operation at a time.
  Kind kind_ = Kind::Commands;
  bool pendingBinary_ = false;  // the TYPE the running transfer asked for
  ReplyReader replies_{kMaxReplyBytes};
  bool replyOverflow_ = false;
  bool accepted_ = false;  // the server answered 125/150 to RETR or STOR

  // Listing in progress.
  std::optional<ListingReader> listing_;
};

// ---- libcurl callbacks ---------------------------------------------------------------------

size_t CurlFtpConnection::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* c = static_cast<CurlFtpConnection*>(self);
  size_t n = size * count;
  if (!c->replies_.AddLine(std::string_view(data, n))) {
    c->replyOverflow_ = true;
    return 0;
  }
  const auto& replies = c->replies_.Replies();
  if (!replies.empty() && (replies.back().code == 150 || replies.back().code == 125))
    c->accepted_ = true;
  return n;
}

size_t CurlFtpConnection::OnListData(char* data, size_t size, size_t count, void* self) {
  auto* c = static_cast<CurlFtpConnection*>(self);
  size_t n = size * count;
  return c->listing_ && c->listing_->Add(std::string_view(data, n)) ? n : 0;
}

// The control dialogue and libcurl's notes for QUILLON_FTP_TRACE, with the argument of PASS
// masked.
int CurlFtpConnection::OnTrace(CURL*, curl_infotype type, char* data, size_t size, void*) {
  const char* prefix = type == CURLINFO_TEXT         ? "* "
                       : type == CURLINFO_HEADER_IN  ? "< "
                       : type == CURLINFO_HEADER_OUT ? "> "
                                                     : nullptr;
  if (!prefix) return 0;
  std::string text(data, size);
  if (type == CURLINFO_HEADER_OUT && text.rfind("PASS ", 0) == 0) text = "PASS ****\r\n";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  TraceLine(prefix, text);
  return 0;
}

// Opens every socket libcurl asks for, except a new control connection that nobody asked for:
// libcurl would replace a control connection that died, landing in the login folder, and any
// relative path of the next command would then name something else. Data connections go to
// other ports and are always allowed.
curl_socket_t CurlFtpConnection::OnOpenSocket(void* self, curlsocktype purpose,
                                              curl_sockaddr* address) {
  auto* c = static_cast<CurlFtpConnection*>(self);
  int port = -1;
  if (address->family == AF_INET)
    port = ntohs(reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_port);
  else if (address->family == AF_INET6)
    port = ntohs(reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_port);
  bool control = purpose == CURLSOCKTYPE_IPCXN && port == c->controlPort_;
  if (control && !c->LoggingIn()) {
    // The operation fails with kLostText (ErrorText).
    c->SetState(ConnectionState::Lost, "libcurl asked for a new control connection");
    return CURL_SOCKET_BAD;
  }
  curl_socket_t s = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (control && s != CURL_SOCKET_BAD) c->controlSocket_ = s;
  return s;
}

// An upload may otherwise queue megabytes in the socket that wait for the server's window; each
// window update then sends them from within the server's receive call, so a server on this
// machine pays for our sending (a single-threaded server ran a third slower). With little left
// unsent, this side sends every piece itself as room opens; throughput is unchanged, since data
// already on the wire is not limited.
int CurlFtpConnection::OnSocketOptions(void* self, curl_socket_t socket, curlsocktype purpose) {
  auto* c = static_cast<CurlFtpConnection*>(self);
  if (purpose == CURLSOCKTYPE_ACCEPT || socket != c->controlSocket_)
    setsockopt(socket, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentLimit, sizeof kUnsentLimit);
  return CURL_SOCKOPT_OK;  // an older kernel without the option just queues more
}

int CurlFtpConnection::OnCloseSocket(void* self, curl_socket_t socket) {
  auto* c = static_cast<CurlFtpConnection*>(self);
  if (socket == c->controlSocket_) {
    c->controlSocket_ = CURL_SOCKET_BAD;
    return close(socket);
  }
  // The data connection of a finished upload over TLS: the server may still send (its session
  // ticket) while it reads our last bytes. A stopped or given-up transfer closes at once.
  if (c->tls_ && c->kind_ == Kind::Upload && !c->uploadAbandoned_ && !c->StopRequested())
    return LingeringClose(socket);
  return close(socket);
}

// ---- set-up and driving ----------------------------------------------------------------------

bool CurlFtpConnection::Connect(const FtpConnectParameters& server, bool probeOnly) {
  auto host = UrlHost(server.host);
  if (!host) {
    SetError(FtpError(server.host.empty() ? "No server address"
                                          : "Invalid server address \"" + server.host + "\""));
    return false;
  }
  // The port is a 16-bit number; 0 (or less) stands for the protocol's usual port.
  controlPort_ =
      server.port <= 0 ? DefaultPort(server.protocol) : static_cast<uint16_t>(server.port);
  const bool implicitTls = server.protocol == ServerProtocol::FtpImplicitTls;
  baseUrl_ = (implicitTls ? "ftps://" : "ftp://") + *host + ":" + std::to_string(controlPort_);
  if (server.protocol == ServerProtocol::FtpExplicitTls || implicitTls)
    tls_.emplace(server, controlPort_, probeOnly);
  host_ = server.host;
  password_ = server.password;
  if (tls_ && !server.passive && !probeOnly && !ActiveModeOverTlsWorks()) {
    // Refused before anything is sent: every transfer would only hang.
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    SetState(ConnectionState::Lost, "active mode over TLS");
    SetError(FtpError("FTP over TLS in active mode needs libcurl 8.0 or later (this system has " +
                      std::string(info && info->version ? info->version : "an older one") +
                      ", which leaves the data connections the server opens unencrypted); "
                      "choose passive mode for this server"));
    return false;
  }

  if (!MakeHandles()) {
    SetState(ConnectionState::Lost, "no libcurl handle");
    SetError("Cannot initialise the FTP library.");
    return false;
  }
  SetCommonOptions(timeouts_, kReceiveBufferSize, kSendBufferSize);
  CURL* e = easy_.get();
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, tls_ ? "ftp,ftps" : "ftp");
  if (tls_) {
    // TLS for the login, the commands and every data connection, or no connection at all:
    // a server without AUTH TLS is refused, never used in clear text. The control connection
    // stays encrypted to the end (no CCC).
    curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(e, CURLOPT_FTP_SSL_CCC, static_cast<long>(CURLFTPSSL_CCC_NONE));
    tls_->Configure(e);
  }
  if (!server.user.empty()) {
    curl_easy_setopt(e, CURLOPT_USERNAME, server.user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, server.password.c_str());
  }
  curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(e, CURLOPT_FTP_SKIP_PASV_IP, 1L);
  curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 1L);
  curl_easy_setopt(e, CURLOPT_FTPPORT, server.passive ? nullptr : "-");
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, WholeSeconds(timeouts_.reply));
  curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(timeouts_.accept.count()));
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &OnOpenSocket);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &OnCloseSocket);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this);
  curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &OnSocketOptions);
  curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
  if (TraceWanted()) {
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &OnTrace);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
  }

  SetState(ConnectionState::Connecting, baseUrl_);
  auto replies = RunCommands({"FEAT"});
  if (!replies) {
    SetState(ConnectionState::Lost, "the login failed");  // nothing to QUIT
    return false;
  }
  SetState(ConnectionState::Connected, "logged in");
  mlsd_ = ParseFeatReply(*replies).mlsd;
  char* entry = nullptr;
  if (curl_easy_getinfo(e, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry &&
      IsSafeRemotePath(entry))
    folder_ = entry;
  return true;
}

CurlFtpConnection::~CurlFtpConnection() {
  DropOpenFile();
  if (!easy_ || !multi_) return;
  if (state_ == ConnectionState::Connected) {
    // A polite QUIT, briefly: closing must not wait long for a server that stopped answering.
    curl_easy_setopt(easy_.get(), CURLOPT_SERVER_RESPONSE_TIMEOUT, 5L);
    RunCommands({"QUIT"});
  }
  // libcurl says QUIT again when it frees the connection and waits for the answer; a closed
  // socket makes that immediate.
  if (controlSocket_ != CURL_SOCKET_BAD) shutdown(controlSocket_, SHUT_RDWR);
  multi_.reset();
  easy_.reset();
}

// Common start of every operation. False (with LastError) when nothing may be sent.
bool CurlFtpConnection::BeginOperation() {
  if (file_) {
    SetError(kBusyText);
    return false;
  }
  if (state_ == ConnectionState::Lost) {
    SetError(kLostText);
    return false;
  }
  if (state_ == ConnectionState::NeedsLogin) {
    // The abandoned transfer took the control connection with it: log in again and go back
    // to the folder that was current.
    SetState(ConnectionState::Reconnecting, folder_);
    std::string folder = folder_;
    typeBinary_ = false;  // a new login starts with the server's own transfer type
    if (tls_) tls_->BeginHandshake();
    auto replies = RunCommands({"CWD " + folder});
    if (!replies) {
      SetState(ConnectionState::Lost, "the new login failed");
      return false;
    }
    SetState(ConnectionState::Connected, "logged in again");
    if (!replies->back().IsSuccess()) {
      char* entry = nullptr;
      curl_easy_getinfo(easy_.get(), CURLINFO_FTP_ENTRY_PATH, &entry);
      folder_ = entry && IsSafeRemotePath(entry) ? entry : "/";
    }
  }
  return true;
}

void CurlFtpConnection::Configure(Kind kind, const std::string& url,
                                  const std::vector<std::string>& commands, bool binary) {
  CURL* e = easy_.get();
  kind_ = kind;
  stoppable_ = IsDataKind(kind);
  // "*": libcurl must not treat a refusal as fatal (it would drop the control connection); the
  // replies are judged here instead.
  quote_ = CurlCommandList(commands, "*");
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_QUOTE, quote_.get());
  curl_easy_setopt(e, CURLOPT_NOBODY, kind == Kind::Commands || kind == Kind::Size ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_UPLOAD, kind == Kind::Upload ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, kind == Kind::List && mlsd_ ? "MLSD" : nullptr);
  curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
  pendingBinary_ = binary;
  curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
  // A download takes what the server sends up to its final reply: no SIZE beforehand (one
  // command less per file), and a file that grows meanwhile is not an error. Whether all of
  // the listed bytes came is the caller's check.
  curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, kind == Kind::Download ? 1L : 0L);
  switch (kind) {
    case Kind::List:
      curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnListData);
      curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
      break;
    case Kind::Download:
    case Kind::Upload:
      UseFileCallbacks();
      break;
    default:
      // libcurl writes made-up headers of a "header only" request as data: dropped.
      curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnDiscard);
      curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
      break;
  }
}

void CurlFtpConnection::OnOperationStart() {
  replies_.Clear();
  replyOverflow_ = false;
  accepted_ = false;
}

void CurlFtpConnection::OnOperationEnd() {
  // libcurl drops the control connection after a failed or cut-off transfer (a reset data
  // connection, a time-out, a stop): the next call logs in again and returns to the folder, as
  // after an abandoned download.
  if (IsDataKind(kind_) && controlSocket_ == CURL_SOCKET_BAD &&
      state_ == ConnectionState::Connected)
    SetState(ConnectionState::NeedsLogin, "libcurl closed the control connection");
  // A server that closed the control connection while it was idle is usually noticed before
  // the next command (libcurl then asks for a new connection, OnOpenSocket). A TLS server's
  // close_notify looks like data to that check, so the command goes out and its reply fails:
  // the connection is lost all the same.
  if (!IsDataKind(kind_) && controlSocket_ == CURL_SOCKET_BAD &&
      state_ == ConnectionState::Connected &&
      (result_ == CURLE_RECV_ERROR || result_ == CURLE_SEND_ERROR))
    SetState(ConnectionState::Lost, "the server closed the control connection");
  if (kind_ == Kind::Download || kind_ == Kind::Upload || kind_ == Kind::Size) {
    if (done_ && result_ == CURLE_OK)
      typeBinary_ = pendingBinary_;
    else
      typeBinary_ = false;
  }
}

bool CurlFtpConnection::IsBroken() const {
  return state_ == ConnectionState::Lost || state_ == ConnectionState::NeedsLogin ||
         (easy_ && controlSocket_ == CURL_SOCKET_BAD);
}

// Sends `commands` one after another (each is sent even when an earlier one was refused) and
// returns their replies, or nullopt with LastError when libcurl failed.
std::optional<std::vector<FtpReply>> CurlFtpConnection::RunCommands(
    const std::vector<std::string>& commands) {
  Configure(Kind::Commands, baseUrl_ + "/", commands, true);
  CURLcode code = RunToEnd();
  if (code != CURLE_OK) {
    SetError(ErrorText(code));
    return std::nullopt;
  }
  const auto& all = replies_.Replies();
  if (all.size() < commands.size()) {
    SetError(FtpError("The server did not answer " + commands.back().substr(0, 4)));
    return std::nullopt;
  }
  return std::vector<FtpReply>(all.end() - static_cast<std::ptrdiff_t>(commands.size()), all.end());
}

bool CurlFtpConnection::RunCommand(const std::string& command) {
  if (!BeginOperation()) return false;
  auto replies = RunCommands({command});
  if (!replies) return false;
  if (!replies->front().IsSuccess()) {
    SetError(FailedCommandText(command, replies->front()));
    return false;
  }
  return true;
}

std::string CurlFtpConnection::FailedCommandText(const std::string& command,
                                                 const FtpReply& reply) {
  lastFailure_ = FtpFailure::Refused;
  return CommandRefusalText(command, reply, password_);
}

// libcurl's codes that stand for a refusal by the server on a working control connection.
static bool IsRefusalCode(CURLcode code) {
  switch (code) {
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_LOGIN_DENIED:
      return true;
    default:
      return false;
  }
}

// The one place where libcurl's outcome becomes Quillon's text: curl's own message (its error
// buffer, else the code's text), the server's refusal when one came, our own limits by name.
// A server that turns the connection away says so first, so that lanes can tell a full server
// from a wrong password (ClassifyConnectFailure).
std::string CurlFtpConnection::ErrorText(CURLcode code) {
  std::string message;
  lastFailure_ = FtpFailure::Other;
  // Only a control connection that libcurl wanted to open anew loses the connection during an
  // operation (OnOpenSocket).
  if (state_ == ConnectionState::Lost) return kLostText;
  const bool connecting = state_ == ConnectionState::Connecting;
  const auto& all = replies_.Replies();
  auto refusal =
      std::find_if(all.rbegin(), all.rend(), [](const FtpReply& r) { return r.code >= 400; });
  long osError = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_OS_ERRNO, &osError);
  if (replyOverflow_) {
    message = "The server's reply is longer than " + std::to_string(kMaxReplyBytes) + " bytes";
  } else if (listing_ && !listing_->Refusal().empty()) {
    message = listing_->Refusal();
  } else if (uploadAbandoned_) {
    message = "The upload was given up";
  } else if (code == CURLE_ABORTED_BY_CALLBACK && StopRequested()) {
    message = "The transfer was stopped";
  } else if (refusal != all.rend() &&
             (refusal->code == 421 ||
              (connecting && refusal->code == 530 && NamesConnectionLimit(refusal->text)))) {
    message = std::string(connecting || refusal->code != 421 ? kServerRefusedText
                                                             : "The server closed the connection") +
              ": " + refusal->FirstLine();
  } else if (tls_ && tls_->Untrusted()) {
    const ServerIdentity& identity = *tls_->Untrusted();
    const std::string server = ServerName(identity.host, identity.port);
    if (identity.changed)
      message = "The identity of the server " + server + " has changed: its certificate " +
                identity.fingerprint + " is not the trusted " + identity.knownFingerprint;
    else
      message = "The certificate of the server " + server + " is not trusted" +
                (identity.problem.empty() ? "" : ": " + identity.problem);
  } else if (code == CURLE_USE_SSL_FAILED) {
    message =
        "The server does not offer FTP over TLS (AUTH TLS); the connection is not made "
        "without encryption";
  } else if (code == CURLE_COULDNT_CONNECT && osError == ECONNREFUSED) {
    message =
        std::string(kNotListeningText) + " by " + host_ + " port " + std::to_string(controlPort_);
  } else {
    // libcurl keeps the first message of an operation; in active mode 7.88 leaves a harmless
    // note about the listening socket there, which would hide the real failure.
    bool spurious = std::strncmp(errorBuffer_, "sa_addr inet_ntop() failed", 26) == 0;
    message = errorBuffer_[0] && !spurious ? errorBuffer_
                                           : (code != CURLE_OK ? curl_easy_strerror(code) : "");
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
      message.pop_back();
    if (refusal != all.rend() && IsRefusalCode(code)) {
      // The server's own words say it best ("550 No such file or directory").
      message = refusal->FirstLine();
      lastFailure_ = FtpFailure::Refused;
    } else if (refusal != all.rend()) {
      std::string line = refusal->FirstLine();
      if (message.find(line) == std::string::npos) message += " (" + line + ")";
    }
  }
  while (!message.empty() && (message.back() == '.' || message.back() == ' ')) message.pop_back();
  return MaskedFtpError(std::move(message), {password_});
}

void CurlFtpConnection::SetError(std::string text) {
  lastError_ = MaskPassword(std::move(text), password_);
}

void CurlFtpConnection::SetState(ConnectionState state, std::string_view why) {
  if (state_ == state || state_ == ConnectionState::Lost) return;
  if (TraceWanted())
    TraceLine("= ", std::string(StateName(state_)) + " -> " + StateName(state) + " (" +
                        std::string(why) + ")");
  state_ = state;
}

// Taking the easy handle out in the middle of a transfer makes libcurl close the control
// connection (it cannot tell whether the server's late replies would be in its way), so the
// next operation logs in again.
void CurlFtpConnection::OnTransferCutOff() {
  SetState(ConnectionState::NeedsLogin, "a transfer was cut off");
}

// ---- operations --------------------------------------------------------------------------------

std::optional<std::string> CurlFtpConnection::CurrentFolder() {
  if (!BeginOperation()) return std::nullopt;
  auto replies = RunCommands({"PWD"});
  if (!replies) return std::nullopt;
  auto folder = ParsePwdReply(replies->front());
  if (!folder) {
    SetError(FailedCommandText("PWD", replies->front()));
    return std::nullopt;
  }
  folder_ = *folder;
  return folder;
}

bool CurlFtpConnection::SetCurrentFolder(const std::string& folder) {
  if (!IsSafeRemotePath(folder)) {
    SetError(kUnsafePathText);
    return false;
  }
  if (!BeginOperation()) return false;
  auto replies = RunCommands({"CWD " + folder, "PWD"});
  if (!replies) return false;
  if (!(*replies)[0].IsSuccess()) {
    SetError(FailedCommandText("CWD " + folder, (*replies)[0]));
    return false;
  }
  if (auto confirmed = ParsePwdReply((*replies)[1]))
    folder_ = *confirmed;
  else if (folder.front() == '/')
    folder_ = folder;
  else
    folder_ = JoinRemotePath(folder_, folder);
  return true;
}

std::optional<std::vector<RemoteEntry>> CurlFtpConnection::List() {
  if (!BeginOperation()) return std::nullopt;
  listing_.emplace(mlsd_, folder_, std::chrono::system_clock::now());
  Configure(Kind::List, baseUrl_ + "/", {}, false);
  CURLcode code = RunToEnd();
  // Refusing the rest of a listing ends the transfer early, which costs the control connection.
  if (!listing_->Refusal().empty())
    SetState(ConnectionState::NeedsLogin, "the listing was refused");
  if (code == CURLE_OK && !listing_->Finish()) code = CURLE_WRITE_ERROR;
  if (code != CURLE_OK) {
    SetError(ErrorText(code));
    listing_.reset();
    return std::nullopt;
  }
  skipped_ = listing_->Dropped();
  if (log_) {
    for (const auto& name : skipped_)
      log_->AddLine(folder_ + ": Unsafe name \"" + PrintableName(name) +
                        "\" skipped in the server's listing.",
                    colour::kRed);
  }
  auto entries = listing_->TakeEntries();
  listing_.reset();
  return entries;
}

bool CurlFtpConnection::CreateFolder(const std::string& path) {
  if (!IsSafeRemotePath(path)) {
    SetError(kUnsafePathText);
    return false;
  }
  return RunCommand("MKD " + path);
}

bool CurlFtpConnection::RemoveFolder(const std::string& path) {
  if (!IsSafeRemotePath(path)) {
    SetError(kUnsafePathText);
    return false;
  }
  return RunCommand("RMD " + path);
}

bool CurlFtpConnection::DeleteFile(const std::string& path) {
  if (!IsSafeRemotePath(path)) {
    SetError(kUnsafePathText);
    return false;
  }
  return RunCommand("DELE " + path);
}

bool CurlFtpConnection::Rename(const std::string& from, const std::string& to) {
  if (!IsSafeRemotePath(from) || !IsSafeRemotePath(to)) {
    SetError(kUnsafePathText);
    return false;
  }
  if (!BeginOperation()) return false;
  // One exchange: a refused RNFR only earns the RNTO a "503 Bad sequence".
  auto replies = RunCommands({"RNFR " + from, "RNTO " + to});
  if (!replies) return false;
  if ((*replies)[0].code != 350) {
    SetError(FailedCommandText("RNFR " + from, (*replies)[0]));
    return false;
  }
  if (!(*replies)[1].IsSuccess()) {
    SetError(FailedCommandText("RNTO " + to, (*replies)[1]));
    return false;
  }
  return true;
}

// The size in a reply to SIZE, or nullopt with the error set. A server that does not know
// SIZE, or answers it without a usable number, is noted: SIZE then confirms nothing here.
std::optional<uint64_t> CurlFtpConnection::SizeFromReply(const std::string& path,
                                                         const FtpReply& reply) {
  if (reply.code == 213) {
    if (auto size = ParseSizeReply(reply.FirstLine())) return size;
    sizeUnusable_ = true;
    std::string line = MaskPassword(reply.FirstLine(), password_).substr(0, 80);
    lastFailure_ = FtpFailure::Other;
    SetError(FtpError("SIZE " + path + ": the server's reply \"" + line + "\" holds no size"));
    return std::nullopt;
  }
  if (reply.code == 500 || reply.code == 502 || reply.code == 504) sizeUnusable_ = true;
  SetError(FailedCommandText("SIZE " + path, reply));
  return std::nullopt;
}

std::optional<uint64_t> CurlFtpConnection::Size(const std::string& path) {
  if (!IsSafeRemotePath(path) || path.back() == '/') {
    SetError(kUnsafePathText);
    return std::nullopt;
  }
  if (!BeginOperation()) return std::nullopt;
  if (typeBinary_) {
    // The transfer type is already I (so SIZE counts bytes): the command alone, one round trip.
    auto replies = RunCommands({"SIZE " + path});
    if (!replies) return std::nullopt;
    return SizeFromReply(path, replies->front());
  }
  // libcurl's "header only" request on a file: TYPE I, then SIZE.
  Configure(Kind::Size, FileUrl(path), {}, true);
  CURLcode code = RunToEnd();
  if (code != CURLE_OK) {
    SetError(ErrorText(code));
    return std::nullopt;
  }
  const auto& all = replies_.Replies();
  auto answer = std::find_if(all.begin(), all.end(),
                             [](const FtpReply& r) { return r.code == 213 || r.code >= 400; });
  if (answer != all.end()) return SizeFromReply(path, *answer);
  lastFailure_ = FtpFailure::Other;
  SetError(FtpError("The server did not tell the size of " + path));
  return std::nullopt;
}

std::unique_ptr<RemoteFile> CurlFtpConnection::OpenFile(const std::string& path,
                                                        RemoteFileMode mode, bool binary) {
  if (!IsSafeRemotePath(path) || path.back() == '/') {
    SetError(kUnsafePathText);
    return nullptr;
  }
  if (!BeginOperation()) return nullptr;
  auto file = std::make_unique<CurlRemoteFile>(static_cast<CurlCore*>(this), mode);
  Configure(mode == RemoteFileMode::Read ? Kind::Download : Kind::Upload, FileUrl(path), {},
            binary);
  Start();
  // Open until the server has accepted RETR/STOR (125/150), or the request failed.
  Pump([this] { return accepted_; });
  if (done_ && result_ != CURLE_OK) {
    SetError(ErrorText(result_));
    Finish();
    return nullptr;
  }
  file_ = file.get();
  return file;
}

}  // namespace

// ---- public entry points -------------------------------------------------------------------

bool InitCurlGlobal() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    signal(SIGPIPE, SIG_IGN);
    ok = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
  });
  return ok;
}

// libcurl 7.87 and 7.88 accept the data connection a server opens in active mode but start no
// TLS on it: the server waits for the handshake and libcurl for data until the stall time-out,
// whatever the server (fixed in libcurl 8.0).
bool ActiveModeOverTlsWorks() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return !info || info->version_num < 0x075700 || info->version_num >= 0x080000;
}

CurlFtpConnector::CurlFtpConnector(ActivityLog* log, FtpTimeouts timeouts)
    : log_(log), timeouts_(timeouts) {}

std::unique_ptr<FtpConnection> CurlFtpConnector::Open(const FtpConnectParameters& server) {
  return OpenWithError(server, nullptr);
}

std::unique_ptr<FtpConnection> CurlFtpConnector::OpenWithError(const FtpConnectParameters& server,
                                                               std::string* errorOut) {
  ConnectFailure failure;
  auto connection = OpenExplained(server, &failure);
  if (!connection && errorOut) *errorOut = failure.text;
  return connection;
}

std::unique_ptr<FtpConnection> CurlFtpConnector::OpenExplained(const FtpConnectParameters& server,
                                                               ConnectFailure* failure) {
  ConnectFailure ignored;
  ConnectFailure& out = failure ? *failure : ignored;
  if (!InitCurlGlobal()) {
    out.text = "Cannot initialise the FTP library.";
    return nullptr;
  }
  if (server.protocol == ServerProtocol::Sftp)
    return OpenSftpConnection(server, log_, timeouts_, &out);
  if (server.protocol == ServerProtocol::Unknown) {
    out.text = FtpError("The profile names no protocol this program speaks");
    return nullptr;
  }
  auto connection = std::make_unique<CurlFtpConnection>(log_, timeouts_);
  if (!connection->Connect(server)) {
    out.text = connection->LastError();
    out.untrusted = connection->Untrusted();
    return nullptr;
  }
  return connection;
}

std::optional<ServerIdentity> ProbeServerIdentity(const FtpConnectParameters& server,
                                                  ConnectFailure* failure, FtpTimeouts timeouts) {
  ConnectFailure ignored;
  ConnectFailure& out = failure ? *failure : ignored;
  if (!InitCurlGlobal()) {
    out.text = "Cannot initialise the FTP library.";
    return std::nullopt;
  }
  if (server.protocol == ServerProtocol::Sftp) return ProbeSftpHostKey(server, timeouts, &out);
  if (server.protocol != ServerProtocol::FtpExplicitTls &&
      server.protocol != ServerProtocol::FtpImplicitTls) {
    out.text = "Plain FTP has no certificate to check.";
    return std::nullopt;
  }
  CurlFtpConnection connection(nullptr, timeouts);
  connection.Connect(server, /*probeOnly=*/true);
  if (auto identity = connection.Untrusted()) return identity;
  out.text = connection.LastError();
  return std::nullopt;
}

}  // namespace quillon
