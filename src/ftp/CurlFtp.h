#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "common/ActivityLog.h"
#include "remote/FtpConnection.h"

namespace quillon {

// Initialises libcurl once for the process (later calls return the first result). Call it at
// start-up before any thread opens a connection; false means no FTP is possible ("Cannot init
// socket.\n"). Also ignores SIGPIPE, which a closed data connection would otherwise raise.
bool InitCurlGlobal();

// Whether this process's libcurl runs FTP over TLS in active mode. libcurl 7.87 and 7.88 start
// no TLS on the data connections a server opens, so there a connection asking for active mode
// over TLS is refused before anything is sent.
bool ActiveModeOverTlsWorks();

// Limits that keep a silent server from hanging a lane or a task run. Each surfaces as a
// failure of the operation with its own text.
struct FtpTimeouts {
  std::chrono::milliseconds connect{30'000};  // TCP connect and login
  std::chrono::milliseconds reply{60'000};    // each reply on the control connection (whole s)
  std::chrono::milliseconds stall{60'000};    // a transfer that moves no byte this long (whole s)
  std::chrono::milliseconds accept{30'000};   // active mode: the server's data connection
};

// FTP connections over libcurl, one easy handle (one control connection) each:
// - plain FTP, or FTP over TLS: explicit (AUTH TLS on the usual port; a server without it is
//   refused, never used in clear text) or implicit (TLS from the first byte, port 990), with
//   TLS on every data connection resuming the control connection's session. A certificate that
//   neither checks out (authorities, validity, host name) nor is trusted (pinned in the trust
//   file, or accepted for the session) ends the handshake before the login is sent; the
//   failure then holds what the server presented (ConnectFailure::untrusted);
// - passive mode (EPSV, then PASV) when `passive` is set, else active mode
//   (EPRT/PORT on the control connection's local address); the data connection always goes to
//   the control connection's address, whatever address a PASV reply names. Active mode over
//   TLS needs ActiveModeOverTlsWorks(); elsewhere it fails the connect with a text that says
//   to choose passive mode, as every transfer would hang until the stall time-out;
// - user and password go through libcurl's options (an empty user name logs in anonymously);
//   no error text contains the password;
// - listings use MLSD when the server's FEAT offers it, else LIST (Unix and DOS formats);
//   names that are unsafe are dropped and reported to `log` (when given);
// - a connection never reconnects silently: a control connection that the server closed fails
//   every later call with "Connection to the server was lost.". The exception is a transfer
//   that failed, was stopped or was abandoned, after which libcurl drops the control
//   connection: the next call logs in again and returns to the folder that was current;
// - a server that turns the connection away says so in the error text ("The server refused the
//   connection: 421 ...", ClassifyConnectFailure), and so does a refused TCP connection.
// Open may be called from any thread; each connection is then used by one thread at a time.
class CurlFtpConnector : public FtpConnector {
 public:
  explicit CurlFtpConnector(ActivityLog* log = nullptr, FtpTimeouts timeouts = {});

  std::unique_ptr<FtpConnection> Open(const FtpConnectParameters& server) override;
  // On failure *errorOut (when given) receives this call's text, e.g. "Couldn't connect to
  // server." or the server's refusal of the login.
  std::unique_ptr<FtpConnection> OpenWithError(const FtpConnectParameters& server,
                                               std::string* errorOut) override;
  // Every protocol goes through here: FTP (plain or over TLS) to CurlFtpConnection, SFTP to
  // OpenSftpConnection.
  std::unique_ptr<FtpConnection> OpenExplained(const FtpConnectParameters& server,
                                               ConnectFailure* failure) override;

 private:
  ActivityLog* log_;
  FtpTimeouts timeouts_;
};

// What the server of `server` presents to prove who it is (certificate or host key), found by
// connecting and stopping before anything is sent: for `quillon-tool trust`. Null with
// failure->text when the server cannot be reached or presents nothing (plain FTP).
std::optional<ServerIdentity> ProbeServerIdentity(const FtpConnectParameters& server,
                                                  ConnectFailure* failure,
                                                  FtpTimeouts timeouts = {});

}  // namespace quillon
