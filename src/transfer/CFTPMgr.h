#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ActivityLog.h"
#include "common/Clock.h"
#include "common/Messages.h"
#include "remote/FtpConnection.h"
#include "transfer/LogSink.h"
#include "transfer/TransferEventLoop.h"
#include "transfer/TransferEvents.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferSettings.h"
#include "transfer/TransferWorker.h"

namespace quillon {

class UploadJournal;

// The progress window of a windowed run (the GUI's dialog). Called on the owner thread.
class TransferProgress {
 public:
  virtual ~TransferProgress() = default;
  virtual void SetTitle(std::string_view title) = 0;
  virtual void SetCounts(int32_t total, int32_t succeeded, int32_t failed) = 0;
  // The panel of a new lane; null when it cannot be made (then no further lane is tried).
  virtual LaneView* AddLane(int lane) = 0;
  // The lane's panel closes; the remaining ones are stacked again.
  virtual void RemoveLane(int lane) = 0;
  // Shown when encryption is on for uploads, or decryption for downloads.
  virtual void ShowCryptIndicator(bool shown) = 0;
  virtual void SetElapsed(std::string_view text) = 0;
  // The run has ended (the dialog closes).
  virtual void RunEnded() = 0;
};

// One batch of file transfers in one direction for one profile: the queue of jobs, the
// lanes, the retry policy, the counters, the transfer log lines and the summary.
//
// A windowed run is a state machine on one owner thread: StartRun hands every lane its first
// job; each lane moves its file on its own thread and posts (lane, result) through the
// TransferPoster; the owner feeds those to OnTransferDone in the order they arrive, which
// counts, logs, retries and hands out the next job. Without a GUI, RunHeadless drives it from a
// TransferEventLoop. RunWithoutWindow moves the queue one file after another on the calling
// thread (unattended task runs).
//
// Every job of a run ends in exactly one line of the transfer log: "OK", "FAILED" (also for a
// job refused while the queue was built: two sources for one destination, a backup that could
// not be made), or "NOT TRANSFERRED" for a job dropped by the seventh failure or by Cancel.
// Names in every line, activity line and message show control characters as "\xNN".
//
// A lane that the server turns away while other lanes are connected gives its job back
// (TransferDeferred) and rests, trying again after a growing pause; after kMaxRests refusals
// it is closed and the run goes on with the lanes it has.
//
// DownloadManager and UploadManager add the rules that build the queue (AddJob and folder
// expansion). Every member is for the owner thread.
class CFTPMgr {
 public:
  enum Direction : int32_t { Download = 0, Upload = 1 };
  static constexpr int kMaxLanes = 6;
  static constexpr int kRetryLimit = 5;    // retries of one file in a windowed run
  static constexpr int kFailureLimit = 7;  // given-up files that end a run
  static constexpr std::chrono::milliseconds kCancelWait{3000};
  // A lane turned away by the server rests kFirstRest, then twice as long each time, at most
  // kLongestRest, and is closed after kMaxRests refusals in a row.
  static constexpr std::chrono::milliseconds kFirstRest{500};
  static constexpr std::chrono::milliseconds kLongestRest{8000};
  static constexpr int kMaxRests = 6;
  // Folder walks on the server and on disk stop at this depth: a hostile server or a loop of
  // mounts would otherwise never end.
  static constexpr int kMaxDepth = 64;

  CFTPMgr(Direction direction, const TransferSettings& settings, FtpConnector& connector,
          MessagePresenter& messages, const Clock& clock);
  virtual ~CFTPMgr();
  CFTPMgr(const CFTPMgr&) = delete;
  CFTPMgr& operator=(const CFTPMgr&) = delete;

  // Queues `job` when the rules allow it; false when it was rejected (and freed).
  virtual bool AddJob(std::unique_ptr<TransferJob> job, int flag = 0) = 0;

  // Set-up before a run.
  void SetMaxThreads(int n);  // clamped to 1..6
  int MaxThreads() const { return laneLimit_; }
  // The connection job building lists and creates folders on, borrowed: the caller keeps it
  // alive while jobs are built.
  void SetBuildingConnection(FtpConnection* connection) {
    buildingOwner_.reset();
    building_ = connection;
  }
  // The same, held by the manager until it is set again (or Reset), so that it outlives
  // whatever else lets it go while jobs are built (a window's keep-alive, say).
  void HoldBuildingConnection(std::shared_ptr<FtpConnection> connection) {
    buildingOwner_ = std::move(connection);
    building_ = buildingOwner_.get();
  }
  // A logged-in connection for the run's first lane, which then needs no login of its own (the
  // connection the queue was built on, once building is done): one login less per run.
  void GiveConnectionToFirstLane(std::unique_ptr<FtpConnection> connection) {
    firstLaneConnection_ = std::move(connection);
  }
  void SetDestinationBase(const std::string& folder) { destinationBase_ = folder; }
  void SetSourceBase(const std::string& folder) { sourceBase_ = folder; }
  void SetBinary(bool binary) { binary_ = binary; }
  void SetActivityLog(ActivityLog* log) { activityLog_ = log; }
  void SetTransferLog(LogSink* log) { transferLog_ = log; }
  void SetBuildLog(LogSink* log) { buildLog_ = log; }
  void SetMinimize(bool minimize) { minimize_ = minimize; }
  void SetReportToSelf(bool self) { reportToSelf_ = self; }
  void SetProgress(TransferProgress* progress) { progress_ = progress; }
  void AddEmptiedFolder(const std::string& folder) { emptiedFolders_.push_back(folder); }

  // Frees every queued job, empties the queue and the emptied-folder list, forgets the
  // building connection and empties both base folders.
  void Reset();

  // The windowed run (owner thread). StartRun returns false when the run ended at once (empty
  // queue, or no lane could be made: "Connection denied.").
  bool StartRun(TransferPoster& poster);
  void OnTransferNext(int lane, TransferResult code);
  void OnTransferDone(int lane, TransferResult code);
  // The Cancel button: every busy lane is asked to stop, and the owner waits at most 3000 ms
  // for them; their results arrive as usual and end the run with "Transmission canceled!".
  void Cancel();
  // The one-second timer: adds a second and returns the text shown, "%02d:%02d:%02d".
  std::string OnTimerTick();
  bool Finished() const { return finished_; }
  // The windowed run without a GUI: StartRun, then the loop's events until the run ends.
  void RunHeadless(TransferEventLoop& loop);

  // The unattended run: one lane on the calling thread, every line to `log`. The lane's
  // backup folder is "BackupDir" of the profile's section in `iniFile` (empty path: the
  // settings' backupDir).
  void RunWithoutWindow(LogSink* log, const std::string& iniFile);

  // Removes the source folders that delete-after emptied; true when every one went away.
  bool RemoveEmptiedSourceFolders();

  // Results of a run.
  int32_t Total() const { return total_; }
  int32_t Succeeded() const { return succeeded_; }
  int32_t Failed() const { return failed_; }
  bool Cancelled() const { return cancelled_; }
  const std::string& Summary() const { return summary_; }
  size_t QueueLength() const { return queue_.size(); }
  const std::deque<std::unique_ptr<TransferJob>>& Queue() const { return queue_; }
  const std::vector<std::string>& EmptiedFolders() const { return emptiedFolders_; }
  int LaneCount() const { return laneCount_; }
  // Jobs refused while the queue was built that count as failed files of the run.
  size_t RefusedJobs() const { return refused_.size(); }
  // Lane `i` while it lives (owner thread; its Stop/StopRequested/IsBusy from any thread).
  TransferWorker* Lane(int i) const { return i >= 0 && i < kMaxLanes ? lanes_[i].get() : nullptr; }
  int LiveLanes() const;
  bool YesToAll() const { return yesToAll_; }
  bool NoToAll() const { return noToAll_; }

  static std::string FormatElapsed(int32_t seconds);

 protected:
  // The overwrite question for `path`: true means overwrite.
  bool AskOverwrite(const std::string& path);
  // A job-building problem: red line and warning box with an activity log, else `log`.
  void ReportProblem(const std::string& text, LogSink* log);
  // A job that AddJob refuses: a red line (and, with `warn`, a warning box) with an activity
  // log, else "FAILED: " + text in the build log.
  void RefuseJob(const std::string& text, bool warn);
  // A job that AddJob refuses although it should have moved: a red line with an activity log,
  // else its FAILED line in the build log; either way it counts as a failed file of the run
  // and its error joins the summary. Its source is never touched.
  void FailJob(const TransferJob& job, const std::string& error);
  // A job-building remark without a box: a red line with an activity log, else `log`.
  void ReportLine(const std::string& text, LogSink* log);
  // Claims `job`'s destination for this run: false, naming the earlier source in *holder,
  // when an earlier job of the run goes there already.
  bool ClaimDestination(const TransferJob& job, std::string* holder);
  void WriteLog(LogSink* log, const std::string& line);
  // Appends to the queue (numbering it) and writes the "Add: " line.
  void Enqueue(std::unique_ptr<TransferJob> job);

  const Direction direction_;
  const TransferSettings settings_;
  FtpConnector& connector_;
  MessagePresenter& messages_;
  const Clock& clock_;

  FtpConnection* building_ = nullptr;
  std::shared_ptr<FtpConnection> buildingOwner_;  // set when the manager holds it
  std::string destinationBase_;
  std::string sourceBase_;
  ActivityLog* activityLog_ = nullptr;
  LogSink* buildLog_ = nullptr;
  bool yesToAll_ = false;
  bool noToAll_ = false;
  std::vector<std::string> emptiedFolders_;
  std::deque<std::unique_ptr<TransferJob>> queue_;
  LaneShared shared_;                                   // with the lanes; they are destroyed first
  std::unique_ptr<UploadJournal> journal_;              // shared_.journal; outlives the lanes too
  std::unique_ptr<FtpConnection> firstLaneConnection_;  // until the first lane takes it

 private:
  std::unique_ptr<TransferWorker> MakeLane(int lane);
  ActivityLog* LaneReport();
  void EndCheck();
  void Finish();
  void OnLaneConnection(int lane, TransferResult code);
  void RetireLane(int lane);
  void CountGivenUp(const std::string& error);
  void BeginCounts();
  void DropQueue(const char* reason);
  void WriteNote();
  void WriteTransferLog(const std::string& line);
  std::string DirectionWord() const;
  std::string OkLine(const TransferJob& job) const;
  std::string FailedLine(const TransferJob& job, const std::string& error) const;
  std::string NotTransferredLine(const TransferJob& job, const char* reason) const;
  bool RemoveRemoteFolder(FtpConnection& connection, const std::string& folder, int depth);
  bool RemoveLocalFolder(const std::string& folder, int depth);

  int laneLimit_ = 1;
  int laneCount_ = 0;
  std::array<std::unique_ptr<TransferWorker>, kMaxLanes> lanes_;
  bool reportToSelf_ = false;
  bool cancelled_ = false;
  bool binary_ = true;
  bool minimize_ = false;
  bool finished_ = false;
  std::string summary_;
  int32_t total_ = 0;
  int32_t succeeded_ = 0;
  int32_t failed_ = 0;
  int32_t givenUp_ = 0;               // files given up by the lanes (the seventh ends the run)
  std::vector<std::string> refused_;  // errors of jobs refused while building
  std::map<std::string, std::string> claimed_;  // destination -> the source going there
  std::array<int, kMaxLanes> rests_{};          // refusals in a row of each lane
  int32_t elapsed_ = 0;
  LogSink* transferLog_ = nullptr;
  TransferProgress* progress_ = nullptr;
  TransferPoster* poster_ = nullptr;
  NullActivityLog selfLog_;  // the manager's own window, which does not show lane lines
  std::mutex logLock_;
};

}  // namespace quillon
