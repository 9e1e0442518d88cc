#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
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
class UploadJournal;

// What the lanes of one run share with their manager. Thread-safe.
class LaneShared {
 public:
  // Lanes that hold a connection or are opening one now: a server that turns a lane away
  // while others are connected is at its limit, and the run goes on with the lanes it has.
  std::atomic<int> connected{0};
  // The server refused a temporary name or a rename: uploads of this run go straight to their
  // final names.
  std::atomic<bool> directUploads{false};
  // Where crash-safe uploads note their temporary names (null: nowhere). Set before the run.
  UploadJournal* journal = nullptr;

  // A remark about the run as a whole, for its log; only the first one is kept.
  void Note(std::string text);
  // The remark, once.
  std::optional<std::string> TakeNote();

 private:
  std::mutex mutex_;
  std::string note_;
  bool noted_ = false;
  bool taken_ = false;
};

// One transfer lane: moves one file at a time in one direction over its own FTP connection,
// which it opens on its first file and keeps for the later ones.
//
// Files stream through bounded buffers whatever their size. A download is written to a
// temporary file beside its destination and renamed over it only when the server's data has
// ended, the server confirmed the transfer and the bytes were decrypted when asked; anything
// else removes the temporary file and leaves the destination as it was. Nothing of a download
// acts through a symbolic link to a folder below the destination folder.
//
// An upload goes to a temporary name in the destination's folder (TemporaryUploadPath) and is
// renamed over the destination once the server confirmed the whole file ("SafeUploads"); a
// server that refuses the temporary name or the rename gets the file under its final name
// directly, and so does every later file of the run. An upload that does not finish deletes
// what it wrote. The source is deleted or moved afterwards only when the server holds every
// byte (its SIZE, or without a usable SIZE its final reply and the count sent) and the file is
// still the one that was opened (same size and modification time).
//
// Connections: a lane whose connection broke (a reset, a time-out, a control connection the
// server closed) connects afresh before its next try, so every counted try reaches the server.
// A server that turns a lane away (421, 530 "too many", a refused TCP connection while other
// lanes are connected) does not fail the file: with other lanes connected the lane gives its
// job back (TransferDeferred) and rests; alone it waits with a growing pause and tries again,
// a bounded number of times.
//
// The stop flag is read after every 4096-byte chunk and also reaches into a transfer that waits
// for the server, so a stop ends a stalled file within about a fifth of a second.
//
// Threads: the owner thread makes the lane, sets it up, hands it jobs (Start) or a rest
// (StartRest) and destroys it; Stop and IsBusy may be called from any thread. Transfer runs on
// the lane's own thread (Start) or on the caller's (unattended runs). The destructor stops and
// joins the lane's thread and closes the connection on it: no thread outlives its lane.
class TransferWorker {
 public:
  enum Direction : int32_t { Download = 0, Upload = 1 };

  // Connection attempts of a lane alone against a server that turns it away, and the first
  // pause between two of them (each later pause doubles).
  static constexpr int kConnectAttempts = 5;
  static constexpr std::chrono::milliseconds kFirstPause{250};

  TransferWorker(int lane, Direction direction, bool binary, const TransferSettings& settings,
                 FtpConnector& connector, const Clock& clock);
  ~TransferWorker();
  TransferWorker(const TransferWorker&) = delete;
  TransferWorker& operator=(const TransferWorker&) = delete;

  // Set-up, before the first job. `report` gets the lane's activity lines (null: none, the
  // unattended run). `view` is the lane's row in a progress window (null: none).
  void SetReport(ActivityLog* report) { report_ = report; }
  void SetView(LaneView* view) { view_ = view; }
  // The state shared with the other lanes of the run (null: the lane's own).
  void SetShared(LaneShared* shared) { shared_ = shared ? shared : &ownShared_; }
  // The folder the batch comes from; move-after-upload keeps each file's place below it.
  void SetSourceBase(const std::string& folder);
  // The folder the batch goes to; a download never writes outside it, nor through a link to a
  // folder below it (empty: not checked).
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
  // A logged-in connection for the lane's files (the one its run's queue was built on): the
  // lane starts without a login of its own. After SetShared, before the first job.
  void AdoptConnection(std::unique_ptr<FtpConnection> connection);
  std::unique_ptr<TransferJob> TakeJob() { return std::move(job_); }

  // Why the current file failed, or the warnings of a successful one (a source that was kept,
  // a delete that failed). Warnings are also sent to the report as they happen.
  const std::string& ErrorText() const { return errorText_; }

  // Moves the current job on the calling thread (the unattended run).
  TransferResult Transfer();

  // Hands `job` to the lane's thread (made on first use), which moves it and then posts
  // (lane, result) to `poster`. The lane must be idle.
  void Start(std::unique_ptr<TransferJob> job, TransferPoster& poster);

  // Lets the lane's thread wait `pause`, then try to connect: it posts TransferReady when it
  // got a connection, TransferDeferred when it did not. The lane must be idle, without a job.
  void StartRest(std::chrono::milliseconds pause, TransferPoster& poster);

  // Asks the current file to stop after its current chunk (or at once, when it waits).
  void Stop();
  bool StopRequested() const { return stop_.load(); }

  // True while the lane's thread is moving a file or resting (until just before it posts).
  bool IsBusy() const;
  // Waits until the lane's thread is not moving a file or `deadline` passes; true when idle.
  bool WaitIdle(std::chrono::steady_clock::time_point deadline) const;

  // The number of bytes a lane writes to disk or reads from disk at once: large enough for few
  // system calls, small enough to stay in the processor cache between network and disk.
  static constexpr size_t kDiskPiece = 64 << 10;
  // The chunk of one network read or write, after which progress shows and stop is checked.
  static constexpr size_t kChunk = 4096;

 private:
  enum class Connected { Ready, Deferred, Failed, Stopped };
  struct SourceStamp {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t seconds = 0, nanoseconds = 0;
    bool operator==(const SourceStamp&) const = default;
  };

  TransferResult DownloadFile();
  TransferResult UploadFile();
  TransferResult RunGuarded();
  TransferResult Rest();
  TransferResult NotConnected(Connected outcome, const std::string& path, const char* what);
  Connected EnsureConnection(bool resting);
  void DropConnection();
  bool Pause(std::chrono::milliseconds pause);
  std::unique_ptr<RemoteFile> OpenOnConnection(const std::string& path, RemoteFileMode mode,
                                               const UploadFinish* finish, Connected& outcome);
  void RemoveRemote(const std::string& path);
  void AfterDownload(const TransferJob& job, uint64_t received);
  void AfterUpload(const TransferJob& job, const RemoteFile::FinishAnswers& answers, uint64_t sent,
                   uint64_t expected, const std::optional<SourceStamp>& opened);
  void MoveToBackupFolder(const std::string& source);
  void Warn(const std::string& text, int32_t colour);
  static std::optional<SourceStamp> StampOf(const std::string& path);
  void Report(std::string_view text, int32_t colour);
  void ShowProgress(uint64_t done, uint64_t size, const std::string& path, bool blocks);
  void HandOver(TransferPoster& poster, bool rest, std::chrono::milliseconds pause);
  void ThreadMain();

  const int lane_;
  const Direction direction_;
  const bool binary_;
  const TransferSettings settings_;
  FtpConnector& connector_;
  const Clock& clock_;
  ActivityLog* report_ = nullptr;
  LaneView* view_ = nullptr;
  LaneShared ownShared_;
  LaneShared* shared_ = &ownShared_;
  std::string sourceBase_;
  std::string destinationBase_;
  std::string realDestinationBase_;  // destinationBase_ resolved, once it exists
  std::string backupFolder_;
  std::unique_ptr<TransferJob> job_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<FtpConnection> connection_;
  std::unique_ptr<TransferCrypter> crypter_;
  std::string errorText_;
  std::string cause_;     // why the last connection attempt or open failed
  bool landed_ = false;   // the current file is in place; what follows cannot fail it
  std::mt19937_64 tags_;  // tags of temporary upload names

  // The lane's thread and its hand-over.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool hasWork_ = false;
  bool resting_ = false;
  std::chrono::milliseconds restPause_{0};
  bool busy_ = false;
  bool quit_ = false;
  TransferPoster* poster_ = nullptr;
  std::thread thread_;
};

}  // namespace quillon
