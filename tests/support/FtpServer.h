#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "profiles/ConnectionProfile.h"
#include "support/ServerProcess.h"

namespace quillon::test {

// A temporary transcript file, removed with the object.
class TranscriptFile {
 public:
  TranscriptFile();
  ~TranscriptFile();
  const std::filesystem::path& path() const { return path_; }
  // Lines "<session> <command line>" in the order received.
  std::vector<std::string> Lines() const;
  // The command lines alone.
  std::vector<std::string> Commands() const;

 private:
  std::filesystem::path path_;
};

// A real FTP server (pyftpdlib, scripts/ftp_server.py run by /usr/bin/python3) on an ephemeral
// loopback port, serving `root` to one user with a password. It runs from the constructor until
// Stop() or the destructor. Throws std::runtime_error when it cannot start (tests fail loudly).
class FtpServer {
 public:
  struct Options {
    std::filesystem::path root;  // served folder (must exist)
    std::string user = "quillon";
    std::string password = "s3cret-Pw";
    std::string permissions = "elradfmwMT";  // pyftpdlib's letters; this set can write
    bool mlsd = true;                        // offer MLSD/MLST (else clients must parse LIST)
    bool activeMode = true;                  // accept PORT/EPRT
    bool anonymous = false;                  // also let "anonymous" in, with the same rights
    // A PEM file with certificate and key (TestCertificates::ServerPem): FTP over TLS, with TLS
    // required for the login and every data connection. Explicit (AUTH TLS) unless implicitTls.
    std::string tlsCertificate = {};
    bool implicitTls = false;  // TLS handshake before the greeting (as on port 990)
    int rate = 0;              // bytes per second per data connection (plain FTP); 0: no limit
    // Faults on cue: the options of tests/support/faulty_ftp_server.py (pyftpdlib too), e.g.
    // {"--reset-retr", "big.bin:100000:1"}. Not empty: that server runs instead (mlsd and
    // activeMode hold there too; no anonymous user, no TLS and no rate limit).
    std::vector<std::string> faults = {};
  };

  explicit FtpServer(Options options);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int port() const { return port_; }
  const Options& options() const { return options_; }

  // A profile for this server: address 127.0.0.1, its port, user and password, and the protocol
  // (FTP over TLS, explicit or implicit, when the server has a certificate).
  ConnectionProfile Profile(bool passive = true) const;

  // Every command the server received so far, in order, as "<session> <command line>"
  // (sessions count from 1 per control connection; PASS arguments are masked).
  std::vector<std::string> Transcript() const;
  // Only the command lines (without the session number).
  std::vector<std::string> Commands() const;
  // How many command lines begin with `prefix` ("RETR /out/a.bin").
  size_t CountCommands(const std::string& prefix) const;
  // Waits until a transcript line contains `text` (the faulty server's "EVENT ..." lines).
  bool WaitForTranscript(const std::string& text,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

  // Ends the server process and waits for it; idempotent.
  void Stop() { process_->Stop(); }
  // Freezes the server: connections stay open, nothing is answered (a hung server).
  void Pause() { process_->Pause(); }
  void Resume() { process_->Resume(); }

 private:
  Options options_;
  TranscriptFile transcript_;
  std::unique_ptr<ServerProcess> process_;
  int port_ = 0;
};

// The scripted server of tests/support/scripted_ftp_server.py, for replies a real server will
// not give on cue (silence, endless replies and listings, a PASV reply naming another host,
// a stalled data connection). `mode` is one of the script's modes.
class ScriptedFtpServer {
 public:
  explicit ScriptedFtpServer(const std::string& mode, const std::string& listingFile = {});
  int port() const { return process_->port(); }
  ConnectionProfile Profile(bool passive = true) const;
  std::vector<std::string> Commands() const { return transcript_.Commands(); }

 private:
  TranscriptFile transcript_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace quillon::test
