#include "transfer/TransferWorker.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "common/BulkWork.h"
#include "remote/RemoteOperations.h"
#include "transfer/BackupRules.h"
#include "transfer/LocalFolders.h"
#include "transfer/TransferCrypter.h"

namespace quillon {

static std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

TransferWorker::TransferWorker(int lane, Direction direction, bool binary,
                               const TransferSettings& settings, FtpConnector& connector,
                               const Clock& clock)
    : lane_(lane),
      direction_(direction),
      binary_(binary),
      settings_(settings),
      connector_(connector),
      clock_(clock),
      crypter_(std::make_unique<TransferCrypter>(settings, direction == Upload)) {}

TransferWorker::~TransferWorker() {
  stop_.store(true);
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  // The thread ends after its current chunk and closes its connection itself.
  if (thread_.joinable()) thread_.join();
  connection_.reset();
}

void TransferWorker::SetSourceBase(const std::string& folder) { sourceBase_ = folder; }

void TransferWorker::SetBackupFolder(const std::string& folder) { backupFolder_ = folder; }

void TransferWorker::SetJob(std::unique_ptr<TransferJob> job) { job_ = std::move(job); }

void TransferWorker::Report(std::string_view text, int32_t colour) {
  if (report_) report_->AddLine(text, colour);
}

void TransferWorker::ShowProgress(uint64_t done, uint64_t size, const std::string& path,
                                  bool blocks) {
  if (!view_) return;
  uint64_t percent = size ? done * 100 / size : 100;
  char text[64];
  std::snprintf(text, sizeof text, "%" PRIu64 " %%", percent);
  view_->SetPercent(text);
  if (blocks)
    view_->SetPosition(static_cast<int32_t>(std::min<uint64_t>(done / kChunk, INT32_MAX)));
  else
    view_->SetPosition(static_cast<int32_t>(std::min<uint64_t>(percent, 100)));
  char counts[96];
  std::snprintf(counts, sizeof counts, "(%" PRIu64 " of %" PRIu64 " bytes): ", done, size);
  view_->SetStatus(counts + path);
}

std::unique_ptr<RemoteFile> TransferWorker::OpenRemote(const std::string& path,
                                                       RemoteFileMode mode) {
  if (!connection_) {
    connection_ = connector_.Open(settings_.profile);
    if (!connection_) return nullptr;
  }
  if (auto file = OpenRemoteFile(*connection_, path, mode, binary_)) return file;
  // A connection the server has dropped would fail every later file of this lane too: the
  // lane's next file connects afresh.
  if (!connection_->IsAlive()) connection_.reset();
  return nullptr;
}

TransferResult TransferWorker::Transfer() {
  errorText_.clear();
  if (!job_) return TransferStop;
  return RunGuarded();
}

TransferResult TransferWorker::RunGuarded() {
  try {
    return direction_ == Upload ? UploadFile() : DownloadFile();
  } catch (...) {
    // Nothing below throws by design; memory exhaustion is the one way left.
    errorText_ = "Unknown error.";
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
}

TransferResult TransferWorker::DownloadFile() {
  TransferJob& job = *job_;
  if (view_) {
    view_->SetStatus("Downloading " + job.source);
    view_->SetPercent("0%");
    view_->SetRange(0, 100);
    view_->SetPosition(0);
  }
  Report("Downloading " + job.source, colour::kBlue);

  // The job builder keeps names from the server inside the destination folder; checked again
  // here, right before a local file is made, with every link resolved.
  if (!destinationBase_.empty() && realDestinationBase_.empty())
    realDestinationBase_ = ResolvedPath(destinationBase_).value_or("");
  if (!destinationBase_.empty() &&
      (realDestinationBase_.empty() ||
       !IsInsideResolvedFolder(job.destination, realDestinationBase_))) {
    job.retries = -1;
    errorText_ = job.destination + ": Cannot write.";
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }

  auto remote = OpenRemote(job.source, RemoteFileMode::Read);
  if (!remote) {
    errorText_ = job.source + ": Cannot open for reading.";
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }

  // The sink writes a temporary file beside the destination and removes it unless committed.
  std::string sinkError;
  auto sink = crypter_->OpenSink(job.destination, settings_.decrypt, sinkError);
  if (!sink) {
    remote->Abort();
    job.retries = -1;
    errorText_ = sinkError;
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }

  // Chunks of 4096 bytes arrive into a larger buffer that goes to disk in one piece.
  std::vector<char> buffer(kDiskPiece);
  size_t filled = 0;
  uint64_t received = 0;
  auto writeFailed = [&] {
    remote->Abort();
    job.retries = -1;
    errorText_ = sink->ErrorText();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  };
  for (;;) {
    // The whole of the server's data is read, also when the file grew since it was listed.
    int64_t n = remote->Read(buffer.data() + filled, kChunk);
    if (n < 0) {
      errorText_ = remote->ErrorText().empty() ? "Error in reading remote file"
                                               : remote->ErrorText();
      remote->Abort();
      Report(errorText_, colour::kRed);
      return TransferRetry;
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
    received += static_cast<uint64_t>(n);
    if (buffer.size() - filled < kChunk) {
      if (!sink->Write(buffer.data(), filled)) return writeFailed();
      filled = 0;
    }
    ShowProgress(received, job.size, job.source, false);
    if (stop_.load()) {
      remote->Abort();
      Report("Downloading canceled: " + job.source, colour::kDarkRed);
      return TransferStop;
    }
  }
  if (filled && !sink->Write(buffer.data(), filled)) return writeFailed();
  buffer = {};

  // The server's final reply says whether all of its data came.
  if (!remote->Close()) {
    errorText_ = remote->ErrorText().empty() ? "Error in reading remote file"
                                             : remote->ErrorText();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
  remote.reset();
  if (received < job.size) {
    errorText_ = "Error in reading remote file";
    return TransferRetry;
  }

  if (view_) view_->SetStatus(settings_.decrypt ? "Decrypting file. Please wait..."
                                                : "Finish downloading...");
  if (!sink->Commit()) {
    job.retries = -1;
    errorText_ = sink->ErrorText();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }

  if (settings_.profile.deleteAfterDownload && connection_) {
    if (!connection_->DeleteFile(job.source)) {
      std::string text = job.source + ": cannot be deleted.";
      if (report_)
        Report(text, colour::kGreen);
      else
        errorText_ += text;
    }
  }
  Report(job.source + ": Downloading successful.", colour::kGreen);
  return TransferOk;
}

TransferResult TransferWorker::UploadFile() {
  TransferJob& job = *job_;
  std::string status = (settings_.encrypt ? "Encrypting file " : "Reading file ") + job.source +
                       ". Please wait...";
  if (view_) {
    view_->SetStatus(status);
    view_->SetRange(0, static_cast<int32_t>(std::min<uint64_t>(job.size / kChunk, INT32_MAX)));
    view_->SetPosition(0);
    view_->SetPercent("0%");
  }
  Report("Uploading " + job.source, colour::kBlue);

  std::string error;
  auto source = crypter_->OpenSource(job.source, settings_.encrypt, error);
  if (!source) {
    job.retries = -1;
    errorText_ = error;
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }

  auto remote = OpenRemote(job.destination, RemoteFileMode::Write);
  if (!remote) {
    errorText_ = job.destination + ": Cannot open for writing.";
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }

  // A partial remote file is removed whenever the upload does not finish.
  auto abandon = [&] {
    remote->Abort();
    remote.reset();
    if (connection_) connection_->DeleteFile(job.destination);
  };

  // The source reads straight into the connection's send buffer, a large piece at a time;
  // progress and the stop check go by 4096-byte chunks of each piece.
  uint64_t sent = 0;
  bool readFailed = false;
  bool stopped = false;
  auto fill = [&](char* buffer, size_t size) -> size_t {
    if (readFailed || stopped) return 0;
    // The whole offer is filled (an encrypting source gives shorter pieces): fewer, longer
    // sends leave more of the processor to the cipher and the server.
    size_t filled = 0;
    while (filled < size) {
      int64_t n = source->Read(buffer + filled, size - filled);
      if (n < 0) {
        readFailed = true;
        return 0;
      }
      if (n == 0) break;
      filled += static_cast<size_t>(n);
    }
    for (size_t offset = 0; offset < filled;) {
      size_t length = std::min(kChunk, filled - offset);
      offset += length;
      sent += length;
      ShowProgress(sent, job.size, job.source, true);
      if (stop_.load()) {
        stopped = true;
        return offset;
      }
    }
    return filled;
  };
  if (!remote->WriteFrom(fill)) {
    errorText_ = remote->ErrorText().empty() ? "Unknown error." : remote->ErrorText();
    abandon();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
  if (readFailed) {
    abandon();
    job.retries = -1;
    errorText_ = source->ErrorText();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
  if (stopped) {
    abandon();
    Report(job.source + ": Uploading canceled.", colour::kDarkRed);
    return TransferStop;
  }
  source.reset();
  if (!remote->Close()) {
    errorText_ = remote->ErrorText().empty() ? "Unknown error." : remote->ErrorText();
    remote.reset();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
  remote.reset();

  AfterUpload(job, sent);
  Report(job.source + ": Uploading successful.", colour::kGreen);
  return TransferOk;
}

void TransferWorker::AfterUpload(const TransferJob& job, uint64_t bytesSent) {
  if (!settings_.profile.deleteAfterUpload) return;
  // The source goes only when the server holds every byte that was sent.
  std::optional<uint64_t> remoteSize;
  if (connection_) remoteSize = connection_->Size(job.destination);
  bool whole = remoteSize && *remoteSize == bytesSent;

  if (backupFolder_.empty()) {
    if (whole && unlink(job.source.c_str()) == 0) return;
    std::string text = "ERROR: " + job.source + ": cannot be deleted.";
    if (report_)
      Report(text, colour::kRed);
    else
      errorText_ += text;
    return;
  }
  if (!whole) {
    errorText_ += job.source + ": cannot be moved.";
    return;
  }
  MoveToBackupFolder(job.source);
}

void TransferWorker::MoveToBackupFolder(const std::string& source) {
  std::string backup = WithSlash(backupFolder_);
  std::string base = WithSlash(sourceBase_);
  size_t slash = source.rfind('/');
  std::string folder = source.substr(0, slash + 1);
  std::string name = source.substr(slash + 1);
  // The file keeps its place below the source base folder; a file from elsewhere is left.
  if (slash == std::string::npos || folder.compare(0, base.size(), base) != 0) {
    errorText_ += source + ": cannot be moved.";
    return;
  }
  std::string relative = folder.substr(base.size());
  std::string targetFolder = backup + relative;
  std::string target = targetFolder + StampBeforeLastDot(name, BackupStamp(clock_.Now()));
  if (targetFolder.size() > 1 && targetFolder.back() == '/') targetFolder.pop_back();
  if (!CreateLocalFolderTree(targetFolder) || !MoveFileNoReplace(source, target))
    errorText_ += source + ": cannot be moved.";
}

void TransferWorker::Start(std::unique_ptr<TransferJob> job, TransferPoster& poster) {
  job_ = std::move(job);
  errorText_.clear();
  {
    std::lock_guard lock(mutex_);
    poster_ = &poster;
    hasWork_ = true;
    busy_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { ThreadMain(); });
  }
  changed_.notify_all();
}

void TransferWorker::ThreadMain() {
  RunAsBulkWork();
  for (;;) {
    TransferPoster* poster;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return hasWork_ || quit_; });
      if (quit_) break;  // a lane being destroyed takes no further file
      hasWork_ = false;
      poster = poster_;
    }
    TransferResult result = RunGuarded();
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    changed_.notify_all();
    poster->PostTransferDone(lane_, result);
  }
  // The connection belongs to this thread; it is closed here.
  connection_.reset();
}

bool TransferWorker::IsBusy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

bool TransferWorker::WaitIdle(std::chrono::steady_clock::time_point deadline) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, deadline, [this] { return !busy_; });
}

}  // namespace quillon
