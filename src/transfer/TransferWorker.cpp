#include "transfer/TransferWorker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "common/BulkWork.h"
#include "localfs/LocalFolders.h"
#include "remote/FtpError.h"
#include "remote/RemoteOperations.h"
#include "transfer/BackupRules.h"
#include "transfer/TransferCrypter.h"
#include "transfer/TransferNames.h"
#include "transfer/UploadJournal.h"

namespace quillon {

static std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

void LaneShared::Note(std::string text) {
  std::lock_guard lock(mutex_);
  if (noted_) return;
  noted_ = true;
  note_ = std::move(text);
}

std::optional<std::string> LaneShared::TakeNote() {
  std::lock_guard lock(mutex_);
  if (!noted_ || taken_) return std::nullopt;
  taken_ = true;
  return note_;
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
      crypter_(std::make_unique<TransferCrypter>(settings, direction == Upload)),
      tags_(std::random_device{}()) {}

TransferWorker::~TransferWorker() {
  stop_.store(true);
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  // The thread ends after its current chunk and closes its connection itself.
  if (thread_.joinable()) thread_.join();
  DropConnection();
}

void TransferWorker::SetSourceBase(const std::string& folder) { sourceBase_ = folder; }

void TransferWorker::SetBackupFolder(const std::string& folder) { backupFolder_ = folder; }

void TransferWorker::SetJob(std::unique_ptr<TransferJob> job) { job_ = std::move(job); }

void TransferWorker::AdoptConnection(std::unique_ptr<FtpConnection> connection) {
  if (!connection || connection_) return;
  connection->SetStopFlag(&stop_);
  shared_->connected.fetch_add(1);
  connection_ = std::move(connection);
}

void TransferWorker::Stop() {
  stop_.store(true);
  { std::lock_guard lock(mutex_); }  // a lane about to wait sees the flag or gets the notice
  changed_.notify_all();
}

void TransferWorker::Report(std::string_view text, int32_t colour) {
  if (report_) report_->AddLine(ShownPath(text), colour);
}

void TransferWorker::Warn(const std::string& text, int32_t colour) {
  Report(text, colour);
  if (!errorText_.empty()) errorText_ += ' ';
  errorText_ += text;
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
  view_->SetStatus(counts + ShownPath(path));
}

// ---- connections ---------------------------------------------------------------------------

void TransferWorker::DropConnection() {
  if (!connection_) return;
  connection_.reset();
  shared_->connected.fetch_sub(1);
}

bool TransferWorker::Pause(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, pause, [this] { return quit_ || stop_.load(); });
}

TransferWorker::Connected TransferWorker::EnsureConnection(bool resting) {
  if (connection_ && !connection_->IsBroken()) return Connected::Ready;
  DropConnection();
  for (int attempt = 1;; ++attempt) {
    if (stop_.load()) return Connected::Stopped;
    std::string error;
    // Counted while it opens, too: lanes that start together and are turned away then know
    // that their own run fills the server.
    shared_->connected.fetch_add(1);
    auto connection = connector_.OpenWithError(
        ConnectParametersOf(settings_.profile, settings_.trustFolder), &error);
    if (connection) {
      connection->SetStopFlag(&stop_);
      connection_ = std::move(connection);
      return Connected::Ready;
    }
    shared_->connected.fetch_sub(1);
    cause_ = error.empty() ? "Unknown error." : error;
    // A server at its limit is no failure of the file: with other lanes connected the run goes
    // on with those, alone the lane waits and asks again.
    ConnectRefusal refusal = ClassifyConnectFailure(cause_);
    bool othersConnected = shared_->connected.load() > 0;
    bool turnedAway = refusal == ConnectRefusal::ServerBusy ||
                      (refusal == ConnectRefusal::NotListening && othersConnected);
    if (!turnedAway) return Connected::Failed;
    if (othersConnected || resting) return Connected::Deferred;
    if (attempt >= kConnectAttempts) return Connected::Failed;
    if (!Pause(kFirstPause * (1 << (attempt - 1)))) return Connected::Stopped;
  }
}

std::unique_ptr<RemoteFile> TransferWorker::OpenOnConnection(const std::string& path,
                                                             RemoteFileMode mode,
                                                             const UploadFinish* finish,
                                                             Connected& outcome) {
  outcome = EnsureConnection(false);
  if (outcome != Connected::Ready) return nullptr;
  for (int round = 0;; ++round) {
    std::unique_ptr<RemoteFile> file =
        mode == RemoteFileMode::Read
            ? OpenRemoteFile(*connection_, path, mode, binary_)
            : OpenRemoteUpload(*connection_, path, binary_, finish ? *finish : UploadFinish{});
    if (file) return file;
    cause_ = connection_->LastError();
    outcome = Connected::Failed;
    if (!connection_->IsBroken() || connection_->OpenWasAccepted() || round == 1) return nullptr;
    // The connection was gone before the server accepted this file (it closed an idle control
    // connection): that was no try yet, so connect afresh and open again, once. A transfer the
    // server accepted and that broke at once (a reset read together with the 150) was a try.
    outcome = EnsureConnection(false);
    if (outcome != Connected::Ready) return nullptr;
  }
}

TransferResult TransferWorker::NotConnected(Connected outcome, const std::string& path,
                                            const char* what) {
  TransferJob& job = *job_;
  switch (outcome) {
    case Connected::Deferred:
      errorText_ = cause_;  // the job goes back to the queue untried
      return TransferDeferred;
    case Connected::Stopped:
      if (direction_ == Download)
        Report("Downloading canceled: " + job.source, colour::kDarkRed);
      else
        Report(job.source + ": Uploading canceled.", colour::kDarkRed);
      return TransferStop;
    default:
      errorText_ = path + ": " + what + " " + cause_;
      Report(errorText_, colour::kRed);
      return TransferRetry;
  }
}

void TransferWorker::RemoveRemote(const std::string& path) {
  bool removed = connection_ && connection_->DeleteFile(path);
  // A temporary name that could not be removed stays in the journal for the next run.
  if (shared_->journal && path != job_->destination && removed) shared_->journal->Ended(path);
}

TransferResult TransferWorker::Rest() {
  if (view_) view_->SetStatus("Waiting for the server to take another connection...");
  if (!Pause(restPause_)) return TransferDeferred;
  return EnsureConnection(true) == Connected::Ready ? TransferReady : TransferDeferred;
}

// ---- one file ------------------------------------------------------------------------------

TransferResult TransferWorker::Transfer() {
  errorText_.clear();
  if (!job_) return TransferStop;
  return RunGuarded();
}

TransferResult TransferWorker::RunGuarded() {
  landed_ = false;
  cause_.clear();
  try {
    return direction_ == Upload ? UploadFile() : DownloadFile();
  } catch (...) {
    // Nothing below throws by design; memory exhaustion is the one way left. A file already in
    // place stays a success: trying it again would move it twice.
    if (landed_) {
      Warn(job_->source + ": Unknown error.", colour::kRed);
      return TransferOk;
    }
    errorText_ = "Unknown error.";
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
}

TransferResult TransferWorker::DownloadFile() {
  TransferJob& job = *job_;
  if (view_) {
    view_->SetStatus("Downloading " + ShownPath(job.source));
    view_->SetPercent("0%");
    view_->SetRange(0, 100);
    view_->SetPosition(0);
  }
  Report("Downloading " + job.source, colour::kBlue);

  // The job builder keeps names from the server inside the destination folder and away from
  // links to folders below it; checked again here, right before a local file is made.
  if (!destinationBase_.empty()) {
    if (realDestinationBase_.empty())
      realDestinationBase_ = ResolvedPath(destinationBase_).value_or("");
    std::optional<std::string> notReal = NotARealFolderBelow(destinationBase_, job.destination);
    if (realDestinationBase_.empty() || notReal ||
        !IsInsideResolvedFolder(job.destination, realDestinationBase_)) {
      job.retries = -1;
      errorText_ = job.destination + ": Cannot write.";
      if (notReal && *notReal != job.destination)
        errorText_ += " " + *notReal + " is a symbolic link, not a real folder.";
      Report(errorText_, colour::kRed);
      return TransferRetry;
    }
  }

  Connected outcome;
  auto remote = OpenOnConnection(job.source, RemoteFileMode::Read, nullptr, outcome);
  if (!remote) return NotConnected(outcome, job.source, "Cannot open for reading.");

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

  auto stopped = [&] {
    remote->Abort();
    Report("Downloading canceled: " + job.source, colour::kDarkRed);
    return TransferStop;
  };
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
      if (stop_.load()) return stopped();
      errorText_ =
          remote->ErrorText().empty() ? "Error in reading remote file" : remote->ErrorText();
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
    if (stop_.load()) return stopped();
  }
  if (filled && !sink->Write(buffer.data(), filled)) return writeFailed();
  buffer = {};

  // The server's final reply says whether all of its data came.
  if (!remote->Close()) {
    if (stop_.load()) return stopped();
    errorText_ = remote->ErrorText().empty() ? "Error in reading remote file" : remote->ErrorText();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
  remote.reset();
  if (received < job.size) {
    errorText_ = "Error in reading remote file";
    return TransferRetry;
  }

  if (view_)
    view_->SetStatus(settings_.decrypt ? "Decrypting file. Please wait..."
                                       : "Finish downloading...");
  if (!sink->Commit()) {
    job.retries = -1;
    errorText_ = sink->ErrorText();
    Report(errorText_, colour::kRed);
    return TransferRetry;
  }
  landed_ = true;
  AfterDownload(job, received);
  Report(job.source + ": Downloading successful.", colour::kGreen);
  return TransferOk;
}

void TransferWorker::AfterDownload(const TransferJob& job, uint64_t received) {
  if (!settings_.profile.deleteAfterDownload || !connection_) return;
  // A file that changed on the server while it came (it grew, or was written anew) is kept:
  // deleting it would lose what came later. In ASCII mode the counts differ by line ends.
  if (binary_ && !connection_->SizeUnusable()) {
    auto size = connection_->Size(job.source);
    if (size && *size != received) {
      Warn(job.source + ": changed on the server during the download, so it is kept.",
           colour::kRed);
      return;
    }
  }
  if (!connection_->DeleteFile(job.source))
    Warn(job.source + ": cannot be deleted.", colour::kGreen);
}

std::optional<TransferWorker::SourceStamp> TransferWorker::StampOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return SourceStamp{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<uint64_t>(st.st_size), static_cast<int64_t>(st.st_mtim.tv_sec),
                     static_cast<int64_t>(st.st_mtim.tv_nsec)};
}

TransferResult TransferWorker::UploadFile() {
  TransferJob& job = *job_;
  std::string status = (settings_.encrypt ? "Encrypting file " : "Reading file ") +
                       ShownPath(job.source) + ". Please wait...";
  if (view_) {
    view_->SetStatus(status);
    view_->SetRange(0, static_cast<int32_t>(std::min<uint64_t>(job.size / kChunk, INT32_MAX)));
    view_->SetPosition(0);
    view_->SetPercent("0%");
  }
  Report("Uploading " + job.source, colour::kBlue);

  bool safe = settings_.safeUploads && !shared_->directUploads.load();
  std::string direct;  // why this file goes straight to its name after all
  std::optional<SourceStamp> before = StampOf(job.source);
  for (;;) {
    std::string error;
    auto source = crypter_->OpenSource(job.source, settings_.encrypt, error);
    if (!source) {
      job.retries = -1;
      errorText_ = error;
      Report(errorText_, colour::kRed);
      return TransferRetry;
    }
    // Stamped around the opening: a file replaced meanwhile is never deleted afterwards.
    std::optional<SourceStamp> opened = StampOf(job.source);
    if (opened != before) opened.reset();

    UploadFinish finish;
    finish.askSize = settings_.profile.deleteAfterUpload;
    std::string target = job.destination;
    if (safe) {
      target = TemporaryUploadPath(job.destination, tags_());
      finish.renameTo = job.destination;
      if (shared_->journal) shared_->journal->Started(target);
    }
    Connected outcome;
    auto remote = OpenOnConnection(target, RemoteFileMode::Write, &finish, outcome);
    if (!remote) {
      if (safe && shared_->journal) shared_->journal->Ended(target);  // nothing was made
      if (safe && outcome == Connected::Failed && connection_ &&
          connection_->LastFailure() == FtpFailure::Refused) {
        // The server may refuse names like ours (hidden ones, say): the final name decides.
        direct = "The server refused the temporary name " + target + " (" + cause_ + ")";
        safe = false;
        continue;
      }
      return NotConnected(outcome, job.destination, "Cannot open for writing.");
    }
    if (!direct.empty()) {
      shared_->directUploads.store(true);
      shared_->Note(direct + "; uploads of this run go straight to their names.");
      direct.clear();
    }

    // The source reads straight into the connection's send buffer, a large piece at a time;
    // progress and the stop check go by 4096-byte chunks of each piece.
    uint64_t sent = 0;
    bool readFailed = false;
    bool stopped = false;
    auto fill = [&](char* buffer, size_t size) -> size_t {
      // The whole offer is filled (an encrypting source gives shorter pieces): fewer, longer
      // sends leave more of the processor to the cipher and the server.
      size_t filled = 0;
      while (filled < size) {
        int64_t n = source->Read(buffer + filled, size - filled);
        if (n < 0) {
          readFailed = true;
          return RemoteFile::kAbandon;
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
          return RemoteFile::kAbandon;
        }
      }
      return filled;
    };
    // A file that does not arrive whole is removed again, so that nothing partial stays.
    auto abandon = [&] {
      remote->Abort();
      remote.reset();
      RemoveRemote(target);
    };
    bool wrote = remote->WriteFrom(fill);
    if (!wrote || readFailed || stopped) {
      std::string cause = remote->ErrorText();
      abandon();
      if (stopped || stop_.load()) {
        Report(job.source + ": Uploading canceled.", colour::kDarkRed);
        return TransferStop;
      }
      if (readFailed) {
        job.retries = -1;
        errorText_ = source->ErrorText();
      } else {
        errorText_ = cause.empty() ? "Unknown error." : cause;
      }
      Report(errorText_, colour::kRed);
      return TransferRetry;
    }
    uint64_t expected = source->Size();
    source.reset();
    if (!remote->Close()) {
      std::string cause = remote->ErrorText();
      abandon();
      if (stop_.load()) {
        Report(job.source + ": Uploading canceled.", colour::kDarkRed);
        return TransferStop;
      }
      errorText_ = cause.empty() ? "Unknown error." : cause;
      Report(errorText_, colour::kRed);
      return TransferRetry;
    }
    RemoteFile::FinishAnswers answers = remote->Answers();
    remote.reset();
    if (safe && !answers.renamed && !answers.renameRefused) {
      // The connection failed before the server said whether it renamed the file: a try that
      // failed (the temporary name stays in the journal unless it can be removed).
      errorText_ =
          job.destination + ": Cannot rename the uploaded file into place. " + answers.renameError;
      RemoveRemote(target);
      Report(errorText_, colour::kRed);
      return TransferRetry;
    }
    if (safe && !answers.renamed) {
      // The whole file is on the server under its temporary name, but the server will not
      // rename it: sent again, straight to its name, as every later file of the run.
      RemoveRemote(target);
      shared_->directUploads.store(true);
      shared_->Note("The server refused to rename " + target + " to " + job.destination + " (" +
                    answers.renameError + "); uploads of this run go straight to their names.");
      safe = false;
      continue;
    }
    if (safe && shared_->journal) shared_->journal->Ended(target);
    landed_ = true;
    AfterUpload(job, answers, sent, expected, opened);
    Report(job.source + ": Uploading successful.", colour::kGreen);
    return TransferOk;
  }
}

void TransferWorker::AfterUpload(const TransferJob& job, const RemoteFile::FinishAnswers& answers,
                                 uint64_t sent, uint64_t expected,
                                 const std::optional<SourceStamp>& opened) {
  if (!settings_.profile.deleteAfterUpload) return;
  // The source goes only when the server holds every byte that was sent: its SIZE says so, or,
  // where SIZE tells nothing, its final reply to the transfer and the count sent.
  bool whole = answers.size ? *answers.size == sent : answers.sizeUnusable && sent == expected;
  // ...and only when it is still the file that was opened: new bytes would be lost.
  if (whole && (!opened || StampOf(job.source) != opened)) {
    Warn(job.source + ": changed during the upload, so it is kept.", colour::kRed);
    return;
  }
  if (backupFolder_.empty()) {
    if (whole && unlink(job.source.c_str()) == 0) return;
    Warn("ERROR: " + job.source + ": cannot be deleted.", colour::kRed);
    return;
  }
  if (!whole) {
    Warn(job.source + ": cannot be moved.", colour::kRed);
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
    Warn(source + ": cannot be moved.", colour::kRed);
    return;
  }
  std::string relative = folder.substr(base.size());
  std::string targetFolder = backup + relative;
  std::string target = targetFolder + StampBeforeLastDot(name, BackupStamp(clock_.Now()));
  if (targetFolder.size() > 1 && targetFolder.back() == '/') targetFolder.pop_back();
  if (!CreateLocalFolderTree(targetFolder) || !MoveFileNoReplace(source, target))
    Warn(source + ": cannot be moved.", colour::kRed);
}

// ---- the lane's thread -----------------------------------------------------------------------

void TransferWorker::Start(std::unique_ptr<TransferJob> job, TransferPoster& poster) {
  job_ = std::move(job);
  HandOver(poster, false, std::chrono::milliseconds(0));
}

void TransferWorker::StartRest(std::chrono::milliseconds pause, TransferPoster& poster) {
  HandOver(poster, true, pause);
}

void TransferWorker::HandOver(TransferPoster& poster, bool rest, std::chrono::milliseconds pause) {
  errorText_.clear();
  {
    std::lock_guard lock(mutex_);
    poster_ = &poster;
    hasWork_ = true;
    resting_ = rest;
    restPause_ = pause;
    busy_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { ThreadMain(); });
  }
  changed_.notify_all();
}

void TransferWorker::ThreadMain() {
  RunAsBulkWork();
  for (;;) {
    TransferPoster* poster;
    bool rest;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return hasWork_ || quit_; });
      if (quit_) break;  // a lane being destroyed takes no further file
      hasWork_ = false;
      poster = poster_;
      rest = resting_;
    }
    TransferResult result = rest ? Rest() : RunGuarded();
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    changed_.notify_all();
    poster->PostTransferDone(lane_, result);
  }
  // The connection belongs to this thread; it is closed here.
  DropConnection();
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
