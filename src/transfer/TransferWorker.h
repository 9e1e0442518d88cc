#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/ActivityLog.h"
#include "common/Clock.h"
#include "remote/FtpConnection.h"
#include "transfer/TransferEvents.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferSettings.h"

namespace quillon {

class TransferCrypter;

// One transfer lane: moves one file at a time in one direction over its own FTP connection,
// which it opens on its first file and keeps for the later ones.
//
// Files stream through bounded buffers whatever their size. A download is written to a
// temporary file beside its destination and renamed over it only when the server's data has
// ended, the server confirmed the transfer and the bytes were decrypted when asked; anything
// else removes the temporary file and leaves the destination as it was. An upload that is
// cancelled deletes the partial remote file. The stop flag is read after every 4096-byte chunk.
//
// Threads: the owner thread makes the lane, sets it up, hands it jobs (Start) and destroys it;
// Stop and IsBusy may be called from any thread. Transfer runs on the lane's own thread
// (Start) or on the caller's (unattended runs). The destructor stops and joins the lane's
// thread and closes the connection on it: no thread outlives its lane.
class TransferWorker {
 public:
  enum Direction : int32_t { Download = 0, Upload = 1 };

  TransferWorker(int lane, Direction direction, bool binary, const TransferSettings& settings,
                 FtpConnector& connector, const Clock& clock);
  ~TransferWorker();
  TransferWorker(const TransferWorker&) = delete;
  TransferWorker& operator=(const TransferWorker&) = delete;

  // Set-up, before the first job. `report` gets the lane's activity lines (null: none, the
  // unattended run; then warnings of a successful file collect in ErrorText). `view` is the
  // lane's row in a progress window (null: none).
  void SetReport(ActivityLog* report) { report_ = report; }
  void SetView(LaneView* view) { view_ = view; }
  // The folder the batch comes from; move-after-upload keeps each file's place below it.
  void SetSourceBase(const std::string& folder);
  // The folder the batch goes to; a download never writes outside it (empty: not checked).
  void SetDestinationBase(const std::string& folder) {
    destinationBase_ = folder;
    realDestinationBase_.clear();
  }
  // "BackupDir": with DeleteAfterUpload, uploaded files are moved there instead of deleted.
  void SetBackupFolder(const std::string& folder);

  int Lane() const { return lane_; }
  Direction GetDirection() const { return direction_; }

  // The job being moved; null when the lane is idle. Owner thread only, and not while the
  // lane's thread is moving it.
  TransferJob* CurrentJob() const { return job_.get(); }
  void SetJob(std::unique_ptr<TransferJob> job);
  std::unique_ptr<TransferJob> TakeJob() { return std::move(job_); }

  // Why the current file failed, or the warnings of a successful one.
  const std::string& ErrorText() const { return errorText_; }

  // Moves the current job on the calling thread (the unattended run).
  TransferResult Transfer();

  // Hands `job` to the lane's thread (made on first use), which moves it and then posts
  // (lane, result) to `poster`. The lane must be idle.
  void Start(std::unique_ptr<TransferJob> job, TransferPoster& poster);

  // Asks the current file to stop after its current chunk.
  void Stop() { stop_.store(true); }
  bool StopRequested() const { return stop_.load(); }

  // True while the lane's thread is moving a file (until just before it posts its result).
  bool IsBusy() const;
  // Waits until the lane's thread is not moving a file or `deadline` passes; true when idle.
  bool WaitIdle(std::chrono::steady_clock::time_point deadline) const;

  // The number of bytes a lane writes to disk or reads from disk at once: large enough for few
  // system calls, small enough to stay in the processor cache between network and disk.
  static constexpr size_t kDiskPiece = 64 << 10;
  // The chunk of one network read or write, after which progress shows and stop is checked.
  static constexpr size_t kChunk = 4096;

 private:
  TransferResult DownloadFile();
  TransferResult UploadFile();
  TransferResult RunGuarded();
  void AfterUpload(const TransferJob& job, uint64_t bytesSent);
  void MoveToBackupFolder(const std::string& source);
  std::unique_ptr<RemoteFile> OpenRemote(const std::string& path, RemoteFileMode mode);
  void Report(std::string_view text, int32_t colour);
  void ShowProgress(uint64_t done, uint64_t size, const std::string& path, bool blocks);
  void ThreadMain();

  const int lane_;
  const Direction direction_;
  const bool binary_;
  const TransferSettings settings_;
  FtpConnector& connector_;
  const Clock& clock_;
  ActivityLog* report_ = nullptr;
  LaneView* view_ = nullptr;
  std::string sourceBase_;
  std::string destinationBase_;
  std::string realDestinationBase_;  // destinationBase_ resolved, once it exists
  std::string backupFolder_;
  std::unique_ptr<TransferJob> job_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<FtpConnection> connection_;
  std::unique_ptr<TransferCrypter> crypter_;
  std::string errorText_;

  // The lane's thread and its hand-over.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool hasWork_ = false;
  bool busy_ = false;
  bool quit_ = false;
  TransferPoster* poster_ = nullptr;
  std::thread thread_;
};

}  // namespace quillon
