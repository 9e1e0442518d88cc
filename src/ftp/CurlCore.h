#pragma once

#include <curl/curl.h>
#include <sys/select.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/CurlFtp.h"
#include "remote/FtpConnection.h"

namespace quillon {

// What FTP and SFTP connections share of libcurl: the handles, the loop that drives one
// operation through a multi handle of its own (with the stop flag and time-outs), and the
// streaming of a remote file through a buffer.

struct CurlEasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMultiHandle = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// `commands` as a libcurl list, each led by `prefix`.
CurlSlist CurlCommandList(const std::vector<std::string>& commands, const std::string& prefix);

// A time-out in whole seconds, at least 1 (for libcurl's options that take seconds).
long WholeSeconds(std::chrono::milliseconds ms);

// QUILLON_FTP_TRACE=1: connections write their dialogue and libcurl's notes to stderr.
bool TraceWanted();

// The host part of a URL for `address` (an IPv6 address in brackets); nullopt for an address
// that could smuggle anything else into the URL.
std::optional<std::string> UrlHost(const std::string& address);

inline constexpr const char* kLostText = "Connection to the server was lost.";
inline constexpr const char* kBusyText = "A file transfer is still open on this connection.";
inline constexpr const char* kUnsafePathText =
    "Invalid remote path: it is empty or contains a line break or NUL character.";

class CurlRemoteFile;

// One easy handle (one connection to the server), driven through a multi handle of its own, one
// operation at a time: Start, Pump until what the caller waits for holds, Finish. A connection
// class derives from it, sets the handle's options, and says in ErrorText what a failure means.
// Used by one thread at a time.
class CurlCore {
 public:
  CurlCore(const CurlCore&) = delete;
  CurlCore& operator=(const CurlCore&) = delete;

 protected:
  CurlCore() = default;
  virtual ~CurlCore() = default;

  // Makes the handles and the transfer buffer; false when libcurl has none to give.
  bool MakeHandles();
  // The options every connection sets: no signals, the error buffer, no proxy, paths as they
  // are, the connect and stall time-outs, keep-alive, the buffer sizes and the stop check.
  void SetCommonOptions(const FtpTimeouts& timeouts, long receiveBuffer, long sendBuffer);
  // Downloads write into the buffer, uploads read from it (or from WriteFrom's fill).
  void UseFileCallbacks();

  // A stop reaches the running operation when it may be stopped (the derived class says so in
  // `stoppable_` as it configures each operation).
  bool StopRequested() const { return stop_ && stop_->load() && stoppable_; }

  void Start();
  // Runs libcurl until `ready()` holds or the transfer has ended.
  template <typename Ready>
  void Pump(Ready ready);
  void Finish();
  CURLcode RunToEnd();
  void Unpause();
  // Takes the easy handle out in the middle of a transfer; libcurl then closes the connection.
  void AbandonTransfer();
  // The open file (if any) loses its connection, which abandons its transfer; for destructors.
  void DropOpenFile();

  // The text of a failed operation (never with a secret in it).
  virtual std::string ErrorText(CURLcode code) = 0;
  // Hooks: an operation starts (reset what the derived class keeps per operation), an
  // operation ended (the handle is out of the multi handle), a transfer was cut off.
  virtual void OnOperationStart() {}
  virtual void OnOperationEnd() {}
  virtual void OnTransferCutOff() {}

  CurlEasyHandle easy_;
  CurlMultiHandle multi_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  CurlSlist quote_;
  const std::atomic<bool>* stop_ = nullptr;
  bool stoppable_ = false;

  bool running_ = false;  // the easy handle is in the multi handle
  bool done_ = false;
  CURLcode result_ = CURLE_OK;

  // File transfer in progress.
  CurlRemoteFile* file_ = nullptr;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;  // unread (download) or unsent (upload) bytes in buffer_
  bool paused_ = false;
  bool uploadEnded_ = false;
  bool uploadAbandoned_ = false;  // the caller gave the upload up (RemoteFile::kAbandon)
  const RemoteFile::FillFunction* fill_ = nullptr;  // during WriteFrom: libcurl pulls from it

 private:
  friend class CurlRemoteFile;

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static size_t OnFileData(char* data, size_t size, size_t count, void* self);
  static size_t OnFileSend(char* buffer, size_t size, size_t count, void* self);
};

// An open download or upload on a connection. Downloads are pulled: libcurl's data goes into the
// connection's buffer (the transfer pauses when it is full) and Read hands it out. Uploads are
// pushed: Write fills the buffer and libcurl sends it in batches; WriteFrom lets libcurl pull
// the bytes straight into its own send buffer.
class CurlRemoteFile final : public RemoteFile {
 public:
  CurlRemoteFile(CurlCore* owner, RemoteFileMode mode) : owner_(owner), mode_(mode) {}
  ~CurlRemoteFile() override;

  int64_t Read(char* buffer, size_t size) override;
  bool Write(const char* data, size_t size) override;
  bool WriteFrom(const FillFunction& fill) override;
  bool Close() override;
  void Abort() override;
  const std::string& ErrorText() const override { return error_; }

  void Detach() { owner_ = nullptr; }

 private:
  bool CheckUsable(RemoteFileMode wanted);
  bool Flush(bool untilEmpty);
  bool UploadEndedEarly();

  CurlCore* owner_;
  RemoteFileMode mode_;
  bool closed_ = false;
  bool closeResult_ = false;
  std::string error_;
};

// libcurl 7.88 has a state in which it waits for nothing: when the server's EPSV/PASV reply is
// already there as libcurl reads it (pyftpdlib answers that fast on a reused connection), the
// data connection is set up but its connect only starts on the next call, and libcurl reports
// no socket to wait on (only its far-off time-out timers). curl_easy_perform then sleeps its
// full poll interval (1 s) before every such file. Here a transfer that watches no socket is
// driven on at once (a bounded number of times, then in 10 ms steps).
template <typename Ready>
void CurlCore::Pump(Ready ready) {
  constexpr int kMaxIdleSpins = 50;
  int idleSpins = 0;
  while (!done_) {
    if (StopRequested()) {
      // Ended here rather than waiting for libcurl's next progress call.
      done_ = true;
      result_ = CURLE_ABORTED_BY_CALLBACK;
      return;
    }
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi_.get(), &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_.get()) {
        done_ = true;
        result_ = msg->data.result;
      }
    }
    if (mc != CURLM_OK && !done_) {
      done_ = true;
      result_ = CURLE_FAILED_INIT;
      std::snprintf(errorBuffer_, sizeof errorBuffer_, "%s", curl_multi_strerror(mc));
    }
    if (done_ || ready()) return;

    long timeout = -1;
    curl_multi_timeout(multi_.get(), &timeout);
    if (timeout == 0) continue;
    fd_set readSet, writeSet, errorSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&errorSet);
    int maxFd = -1;
    curl_multi_fdset(multi_.get(), &readSet, &writeSet, &errorSet, &maxFd);
    // No socket to watch: only a timer (the connect or accept time-out, far away) would wake
    // libcurl, although it can go on right now.
    bool watchesNoSocket = maxFd < 0;
    if (watchesNoSocket && idleSpins++ < kMaxIdleSpins) continue;
    if (!watchesNoSocket) idleSpins = 0;
    // With a stop flag the wait is short, so that a stop reaches a transfer the server stalls.
    long cap = watchesNoSocket ? 10 : stop_ ? 200 : 1000;
    int waitMs = static_cast<int>(timeout < 0 ? cap : std::min(timeout, cap));
    curl_multi_poll(multi_.get(), nullptr, 0, waitMs, nullptr);
  }
}

}  // namespace quillon
