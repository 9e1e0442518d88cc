#include "ftp/CurlCore.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "remote/FtpError.h"

namespace quillon {

namespace {

// The connection keeps up to kTransferBuffer bytes that the caller has not read yet (or not yet
// sent); Write hands libcurl its bytes in batches of kUploadBatch.
constexpr size_t kTransferBuffer = 1024 * 1024;
constexpr size_t kUploadBatch = 256 * 1024;

}  // namespace

CurlSlist CurlCommandList(const std::vector<std::string>& commands, const std::string& prefix) {
  curl_slist* list = nullptr;
  for (const auto& command : commands) {
    curl_slist* grown = curl_slist_append(list, (prefix + command).c_str());
    if (grown) list = grown;
  }
  return CurlSlist(list);
}

long WholeSeconds(std::chrono::milliseconds ms) {
  return std::max<long>(1, static_cast<long>((ms.count() + 999) / 1000));
}

bool TraceWanted() {
  static const bool wanted = [] {
    const char* trace = std::getenv("QUILLON_FTP_TRACE");
    return trace && *trace == '1';
  }();
  return wanted;
}

std::optional<std::string> UrlHost(const std::string& address) {
  if (address.empty()) return std::nullopt;
  bool colon = false;
  for (char c : address) {
    if (c == ':') colon = true;
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ||
          c == ':'))
      return std::nullopt;
  }
  return colon ? "[" + address + "]" : address;
}

// ---- the core ------------------------------------------------------------------------------

bool CurlCore::MakeHandles() {
  easy_.reset(curl_easy_init());
  multi_.reset(curl_multi_init());
  if (!easy_ || !multi_) return false;
  buffer_.resize(kTransferBuffer);
  return true;
}

void CurlCore::SetCommonOptions(const FtpTimeouts& timeouts, long receiveBuffer, long sendBuffer) {
  CURL* e = easy_.get();
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer_);
  curl_easy_setopt(e, CURLOPT_PROXY, "");  // a proxy would hide the commands this needs
  curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, WholeSeconds(timeouts.stall));
  curl_easy_setopt(e, CURLOPT_MAXAGE_CONN, 10L * 365 * 24 * 3600);  // idle is fine, never "too old"
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, receiveBuffer);
  curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, sendBuffer);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
}

void CurlCore::UseFileCallbacks() {
  CURL* e = easy_.get();
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnFileData);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, &OnFileSend);
  curl_easy_setopt(e, CURLOPT_READDATA, this);
}

// A stop reaches into a transfer that waits for the server: libcurl calls this at least once a
// second, and after every piece of data.
int CurlCore::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<CurlCore*>(self)->StopRequested() ? 1 : 0;
}

size_t CurlCore::OnFileData(char* data, size_t size, size_t count, void* self) {
  auto* c = static_cast<CurlCore*>(self);
  size_t n = size * count;
  if (c->begin_ == c->end_) c->begin_ = c->end_ = 0;
  if (c->buffer_.size() - c->end_ < n) {
    // Full: libcurl keeps this chunk and stops reading until Read has made room.
    c->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  std::memcpy(c->buffer_.data() + c->end_, data, n);
  c->end_ += n;
  return n;
}

size_t CurlCore::OnFileSend(char* buffer, size_t size, size_t count, void* self) {
  auto* c = static_cast<CurlCore*>(self);
  if (c->fill_ && !c->uploadEnded_) {
    size_t n = (*c->fill_)(buffer, size * count);
    if (n == RemoteFile::kAbandon) {
      // Cut off, so that the server's "226" cannot make a partial file look whole (and no
      // rename after the transfer can put one in place).
      c->uploadAbandoned_ = true;
      return CURL_READFUNC_ABORT;
    }
    n = std::min(n, size * count);
    if (n == 0) c->uploadEnded_ = true;  // end of file
    return n;
  }
  size_t n = std::min(size * count, c->end_ - c->begin_);
  if (n == 0) {
    if (c->uploadEnded_) return 0;  // end of file
    c->paused_ = true;              // wait for the next Write
    return CURL_READFUNC_PAUSE;
  }
  std::memcpy(buffer, c->buffer_.data() + c->begin_, n);
  c->begin_ += n;
  return n;
}

void CurlCore::Start() {
  OnOperationStart();
  errorBuffer_[0] = '\0';
  done_ = false;
  result_ = CURLE_OK;
  begin_ = end_ = 0;
  paused_ = false;
  uploadEnded_ = false;
  uploadAbandoned_ = false;
  CURLMcode mc = curl_multi_add_handle(multi_.get(), easy_.get());
  running_ = mc == CURLM_OK;
  if (!running_) {
    done_ = true;
    result_ = CURLE_FAILED_INIT;
    std::snprintf(errorBuffer_, sizeof errorBuffer_, "%s", curl_multi_strerror(mc));
  }
}

void CurlCore::Finish() {
  if (running_) curl_multi_remove_handle(multi_.get(), easy_.get());
  running_ = false;
  quote_.reset();
  curl_easy_setopt(easy_.get(), CURLOPT_QUOTE, nullptr);
  OnOperationEnd();
}

CURLcode CurlCore::RunToEnd() {
  Start();
  Pump([] { return false; });
  Finish();
  return result_;
}

void CurlCore::Unpause() {
  if (!paused_ || !running_) return;
  paused_ = false;
  curl_easy_pause(easy_.get(), CURLPAUSE_CONT);  // may hand over the kept chunk right away
}

void CurlCore::AbandonTransfer() {
  const bool wasRunning = !done_;
  Finish();
  file_ = nullptr;
  begin_ = end_ = 0;
  paused_ = false;
  if (wasRunning) OnTransferCutOff();
}

void CurlCore::DropOpenFile() {
  if (!file_) return;
  file_->Detach();
  AbandonTransfer();
}

// ---- remote file -------------------------------------------------------------------------------

CurlRemoteFile::~CurlRemoteFile() {
  if (!closed_) Abort();
}

bool CurlRemoteFile::CheckUsable(RemoteFileMode wanted) {
  if (closed_) {
    error_ = "The remote file is closed.";
    return false;
  }
  if (!owner_) {
    error_ = kLostText;
    return false;
  }
  if (mode_ != wanted) {
    error_ = wanted == RemoteFileMode::Read ? "The remote file is open for writing."
                                            : "The remote file is open for reading.";
    return false;
  }
  return true;
}

int64_t CurlRemoteFile::Read(char* buffer, size_t size) {
  if (!CheckUsable(RemoteFileMode::Read)) return -1;
  auto& c = *owner_;
  size_t got = 0;
  while (got < size) {
    size_t available = c.end_ - c.begin_;
    if (available > 0) {
      size_t n = std::min(available, size - got);
      std::memcpy(buffer + got, c.buffer_.data() + c.begin_, n);
      c.begin_ += n;
      got += n;
      continue;
    }
    c.begin_ = c.end_ = 0;
    if (c.paused_) {
      c.Unpause();  // the buffer is empty: take libcurl's kept chunk
      continue;
    }
    if (c.done_) break;
    c.Pump([&c] { return c.end_ > c.begin_; });
  }
  if (got == 0 && c.done_ && c.result_ != CURLE_OK) {
    error_ = c.ErrorText(c.result_);
    return -1;
  }
  return static_cast<int64_t>(got);
}

// The upload ended before the caller's last byte was sent: libcurl failed, or the server
// stopped taking data.
bool CurlRemoteFile::UploadEndedEarly() {
  auto& c = *owner_;
  error_ = c.result_ != CURLE_OK ? c.ErrorText(c.result_)
                                 : FtpError("The server ended the upload early");
  return false;
}

bool CurlRemoteFile::Flush(bool untilEmpty) {
  auto& c = *owner_;
  c.Unpause();
  c.Pump([&c, untilEmpty] { return untilEmpty ? false : c.begin_ == c.end_; });
  if (c.done_ && (c.result_ != CURLE_OK || (!untilEmpty && c.begin_ != c.end_)))
    return UploadEndedEarly();
  return true;
}

bool CurlRemoteFile::Write(const char* data, size_t size) {
  if (!CheckUsable(RemoteFileMode::Write)) return false;
  auto& c = *owner_;
  if (c.done_) return UploadEndedEarly();
  while (size > 0) {
    if (c.begin_ == c.end_) c.begin_ = c.end_ = 0;
    if (c.end_ == c.buffer_.size() && c.begin_ > 0) {
      std::memmove(c.buffer_.data(), c.buffer_.data() + c.begin_, c.end_ - c.begin_);
      c.end_ -= c.begin_;
      c.begin_ = 0;
    }
    size_t n = std::min(size, c.buffer_.size() - c.end_);
    std::memcpy(c.buffer_.data() + c.end_, data, n);
    c.end_ += n;
    data += n;
    size -= n;
    if (c.end_ - c.begin_ >= kUploadBatch && !Flush(false)) return false;
  }
  return true;
}

bool CurlRemoteFile::WriteFrom(const FillFunction& fill) {
  if (!CheckUsable(RemoteFileMode::Write)) return false;
  auto& c = *owner_;
  // What Write gave before goes out first.
  if (c.end_ > c.begin_ && !Flush(false)) return false;
  if (c.done_) return UploadEndedEarly();
  c.fill_ = &fill;
  c.Unpause();
  c.Pump([&c] { return c.uploadEnded_ || c.uploadAbandoned_; });
  c.fill_ = nullptr;
  if (c.uploadAbandoned_) {
    error_ = "The upload was given up.";
    Abort();
    return false;
  }
  if (c.done_ && (c.result_ != CURLE_OK || !c.uploadEnded_)) return UploadEndedEarly();
  return true;
}

bool CurlRemoteFile::Close() {
  if (closed_) return closeResult_;
  closed_ = true;
  if (!owner_) {
    error_ = kLostText;
    return false;
  }
  auto& c = *owner_;
  if (mode_ == RemoteFileMode::Write) {
    c.uploadEnded_ = true;
    closeResult_ = Flush(true);
  } else if (!c.done_) {
    error_ = "The download was ended before the end of the file.";
    c.AbandonTransfer();
    owner_ = nullptr;
    return false;
  } else if (c.result_ != CURLE_OK) {
    error_ = c.ErrorText(c.result_);
  } else {
    closeResult_ = true;
  }
  c.Finish();
  c.file_ = nullptr;
  owner_ = nullptr;
  return closeResult_;
}

// A write is cut off too: ending it cleanly would wait for a server that may have stalled, and
// would let the commands after the transfer (a rename into place) run on a partial file.
void CurlRemoteFile::Abort() {
  if (closed_) return;
  closed_ = true;
  if (owner_) owner_->AbandonTransfer();
  owner_ = nullptr;
}

}  // namespace quillon
