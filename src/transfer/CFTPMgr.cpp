#include "transfer/CFTPMgr.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "localfs/LocalFolders.h"
#include "profiles/IniFile.h"
#include "transfer/TransferNames.h"
#include "transfer/UploadJournal.h"

namespace quillon {

namespace {
std::string Format(const char* format, int32_t a, const char* b) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}
}  // namespace

CFTPMgr::CFTPMgr(Direction direction, const TransferSettings& settings, FtpConnector& connector,
                 MessagePresenter& messages, const Clock& clock)
    : direction_(direction),
      settings_(settings),
      connector_(connector),
      messages_(messages),
      clock_(clock) {}

CFTPMgr::~CFTPMgr() {
  // Each lane stops and joins its thread before the queue and the log lock go.
  for (auto& lane : lanes_) lane.reset();
}

void CFTPMgr::SetMaxThreads(int n) { laneLimit_ = std::clamp(n, 1, kMaxLanes); }

void CFTPMgr::Reset() {
  queue_.clear();
  refused_.clear();
  claimed_.clear();
  emptiedFolders_.clear();
  building_ = nullptr;
  buildingOwner_.reset();
  destinationBase_.clear();
  sourceBase_.clear();
}

int CFTPMgr::LiveLanes() const {
  return static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(),
                                        [](const auto& lane) { return lane != nullptr; }));
}

std::string CFTPMgr::DirectionWord() const { return direction_ == Upload ? "upload" : "download"; }

// The local path first, then the arrow of the direction, then the remote path.
static std::string Paths(const TransferJob& job, bool upload) {
  if (upload) return ShownPath(job.source) + " ==> " + ShownPath(job.destination);
  return ShownPath(job.destination) + " <== " + ShownPath(job.source);
}

std::string CFTPMgr::OkLine(const TransferJob& job) const {
  return "OK: " + Paths(job, direction_ == Upload) + "\n";
}

std::string CFTPMgr::FailedLine(const TransferJob& job, const std::string& error) const {
  return "FAILED: " + Paths(job, direction_ == Upload) + ", ERROR: " + ShownPath(error) + "\n";
}

std::string CFTPMgr::NotTransferredLine(const TransferJob& job, const char* reason) const {
  return "NOT TRANSFERRED: " + Paths(job, direction_ == Upload) + " (" + reason + ")\n";
}

void CFTPMgr::WriteLog(LogSink* log, const std::string& line) {
  if (!log) return;
  std::lock_guard lock(logLock_);
  log->Write(line);
}

void CFTPMgr::WriteTransferLog(const std::string& line) { WriteLog(transferLog_, line); }

std::string CFTPMgr::FormatElapsed(int32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

std::string CFTPMgr::OnTimerTick() {
  std::string text = FormatElapsed(++elapsed_);
  if (progress_) progress_->SetElapsed(text);
  return text;
}

ActivityLog* CFTPMgr::LaneReport() {
  if (reportToSelf_) return &selfLog_;
  return activityLog_;
}

std::unique_ptr<TransferWorker> CFTPMgr::MakeLane(int lane) {
  auto worker = std::make_unique<TransferWorker>(
      lane, direction_ == Upload ? TransferWorker::Upload : TransferWorker::Download, binary_,
      settings_, connector_, clock_);
  worker->SetSourceBase(sourceBase_);
  if (direction_ == Download) worker->SetDestinationBase(destinationBase_);
  worker->SetBackupFolder(settings_.backupDir);
  worker->SetReport(LaneReport());
  worker->SetShared(&shared_);
  worker->AdoptConnection(std::move(firstLaneConnection_));
  return worker;
}

void CFTPMgr::BeginCounts() {
  total_ = static_cast<int32_t>(queue_.size() + refused_.size());
  succeeded_ = failed_ = givenUp_ = 0;
  // Jobs refused while the queue was built are failed files of the run; their FAILED lines
  // were written then.
  for (const auto& error : refused_) CountGivenUp(error);
}

// A file given up: counted, and its error joins the summary (the first four whole, then dots,
// "Too many errors." at the seventh).
void CFTPMgr::CountGivenUp(const std::string& error) {
  ++failed_;
  if (failed_ < 5)
    summary_ += ShownPath(error) + "\n";
  else if (failed_ == kFailureLimit)
    summary_ += "\nToo many errors.\n";
  else
    summary_ += ".";
}

void CFTPMgr::DropQueue(const char* reason) {
  for (const auto& job : queue_) WriteTransferLog(NotTransferredLine(*job, reason));
}

// The lanes' remark about the run as a whole (uploads that went straight to their names), once.
void CFTPMgr::WriteNote() {
  auto note = shared_.TakeNote();
  if (!note) return;
  if (activityLog_) activityLog_->AddLine(ShownPath(*note), colour::kRed);
  WriteTransferLog(ShownPath(*note) + "\n");
}

bool CFTPMgr::StartRun(TransferPoster& poster) {
  summary_.clear();
  finished_ = false;
  BeginCounts();
  if (total_ < 1) {
    finished_ = true;
    if (progress_) progress_->RunEnded();
    return false;
  }
  if (queue_.empty()) {  // every job was refused while building: nothing to move
    Finish();
    return false;
  }
  if (progress_) {
    progress_->SetCounts(total_, succeeded_, failed_);
    progress_->SetTitle(Format("%d files to %s.", total_, DirectionWord().c_str()));
  }
  if (settings_.encrypt || settings_.decrypt) binary_ = true;
  poster_ = &poster;

  int wanted = std::min(total_, laneLimit_);
  laneCount_ = 0;
  for (int i = 0; i < wanted; ++i) {
    auto worker = MakeLane(i);
    if (progress_) {
      LaneView* view = progress_->AddLane(i);
      if (!view) break;
      worker->SetView(view);
    }
    lanes_[i] = std::move(worker);
    laneCount_ = i + 1;
  }
  if (laneCount_ == 0) {
    messages_.Show("Connection denied.");
    if (activityLog_) activityLog_->AddLine("Connection denied.", colour::kRed);
    finished_ = true;
    if (progress_) progress_->RunEnded();
    return false;
  }
  if (progress_)
    progress_->ShowCryptIndicator((settings_.encrypt && direction_ == Upload) ||
                                  (settings_.decrypt && direction_ == Download));
  elapsed_ = 0;
  for (int i = 0; i < laneCount_; ++i) OnTransferNext(i, TransferOk);
  return !finished_;
}

void CFTPMgr::OnTransferNext(int lane, TransferResult code) {
  if (lane < 0 || lane >= kMaxLanes || !lanes_[lane]) return;
  // After Cancel no further file starts; queued jobs stay queued.
  if (!queue_.empty() && code != TransferStop && !cancelled_) {
    auto job = std::move(queue_.front());
    queue_.pop_front();
    lanes_[lane]->Start(std::move(job), *poster_);
    return;
  }
  OnTransferDone(lane, TransferStop);
}

void CFTPMgr::OnTransferDone(int lane, TransferResult code) {
  if (lane < 0 || lane >= kMaxLanes || !lanes_[lane]) return;
  if (code == TransferDeferred || code == TransferReady) {
    OnLaneConnection(lane, code);
    return;
  }
  TransferWorker& worker = *lanes_[lane];
  std::unique_ptr<TransferJob> job = worker.TakeJob();
  const std::string& error = worker.ErrorText();
  int32_t givenUpBefore = givenUp_;
  rests_[lane] = 0;

  if (job) {
    if (code == TransferOk) {
      ++succeeded_;
      WriteTransferLog(OkLine(*job));
      // Warnings of a file that arrived (a source kept, a delete that failed).
      if (!error.empty()) WriteTransferLog("ERROR: " + ShownPath(error) + "\n");
    } else if (code == TransferRetry && job->retries >= 0 && job->retries < kRetryLimit) {
      ++job->retries;
      if (activityLog_) activityLog_->AddLine(ShownPath(job->source) + ": Retry.", colour::kRed);
      queue_.push_front(std::move(job));
    } else if (code == TransferRetry) {
      if (activityLog_) activityLog_->AddLine(ShownPath(job->source) + ": Failed.", colour::kRed);
      ++givenUp_;
      CountGivenUp(error);
      WriteTransferLog(FailedLine(*job, error));
    } else {
      ++failed_;
      WriteTransferLog(NotTransferredLine(*job, "canceled"));
    }
    if (progress_) progress_->SetCounts(total_, succeeded_, failed_);
  }
  WriteNote();

  if (progress_)
    progress_->SetTitle(Format("%d files to %s ...", total_ - succeeded_, DirectionWord().c_str()));
  // The seventh given-up file ends the run: what is still queued is dropped uncounted (each
  // with its line), and no source folder is removed afterwards. Files already moving finish,
  // and one of them that fails with retries left is still put back.
  if (givenUp_ >= kFailureLimit && givenUpBefore < kFailureLimit) {
    DropQueue("too many errors");
    Reset();
  }

  if (!queue_.empty() && code != TransferStop)
    OnTransferNext(lane, code);
  else
    EndCheck();
}

// A lane the server turned away, or one that rested and asked again.
void CFTPMgr::OnLaneConnection(int lane, TransferResult code) {
  TransferWorker& worker = *lanes_[lane];
  // A job given back was not tried: it goes first again, uncounted.
  if (auto job = worker.TakeJob()) queue_.push_front(std::move(job));
  if (code == TransferReady) {
    rests_[lane] = 0;
    OnTransferNext(lane, TransferOk);
    return;
  }
  if (cancelled_ || queue_.empty()) {
    EndCheck();
    return;
  }
  bool othersMoving = false;
  for (int i = 0; i < kMaxLanes; ++i)
    if (i != lane && lanes_[i] && lanes_[i]->CurrentJob()) othersMoving = true;
  if (!othersMoving) {
    // Nobody else takes from the queue: this lane tries the file itself (alone it waits for
    // the server and asks again, and a refusal then counts as a try).
    OnTransferNext(lane, TransferOk);
    return;
  }
  if (++rests_[lane] > kMaxRests) {
    RetireLane(lane);  // the server keeps refusing: the run goes on with the lanes it has
    return;
  }
  auto pause = std::min(kFirstRest * (1 << (rests_[lane] - 1)), kLongestRest);
  worker.StartRest(pause, *poster_);
}

void CFTPMgr::RetireLane(int lane) {
  lanes_[lane].reset();  // joins its idle thread
  if (progress_) progress_->RemoveLane(lane);
}

void CFTPMgr::EndCheck() {
  for (int i = 0; i < kMaxLanes; ++i) {
    if (lanes_[i] && !lanes_[i]->CurrentJob()) {
      lanes_[i].reset();  // joins the lane's idle thread
      if (progress_) progress_->RemoveLane(i);
    }
  }
  if (LiveLanes() > 0) return;
  Finish();
}

void CFTPMgr::Finish() {
  std::string status;
  std::string hint = " Click the \"L\" button on the main window to see details.        ";
  int32_t colour = colour::kRed;
  MessageIcon icon = MessageIcon::Information;
  if (cancelled_) {
    status = "Transmission canceled!";
    colour = colour::kDarkRed;
  } else if (succeeded_ == total_) {
    status = "Transmission completed successfully!";
    hint.clear();
    colour = colour::kGreen;
  } else {
    status = "Transmission is NOT complete!";
  }
  std::string count;
  if (succeeded_ == 0) {
    count = "None";
    icon = MessageIcon::Warning;
  } else if (succeeded_ == total_) {
    count = "All";
  } else {
    count = Format("Only %d", succeeded_, "");
    icon = MessageIcon::Warning;
  }
  std::string sentence = Format(" of the %d selected file(s) have been %s.", total_,
                                direction_ == Upload ? "uploaded" : "downloaded");
  if (activityLog_) {
    activityLog_->AddLine(status, colour);
    activityLog_->AddLine(count + sentence, colour);
  }
  // What never moved (a cancelled run) still gets its line.
  DropQueue(cancelled_ ? "canceled" : "not started");
  std::string message = status + hint + "\n\n" + count + sentence;
  if (!summary_.empty()) message += "\n\nERROR:\n" + summary_;
  summary_ = message;
  finished_ = true;
  if (succeeded_ != total_) messages_.Show(summary_, MessageButtons::Ok, icon);
  if (progress_) progress_->RunEnded();
}

void CFTPMgr::Cancel() {
  if (finished_ || cancelled_) return;
  cancelled_ = true;
  if (progress_) progress_->SetTitle("Cacelling, please wait...");
  for (auto& lane : lanes_)
    if (lane && lane->CurrentJob()) lane->Stop();
  auto deadline = std::chrono::steady_clock::now() + kCancelWait;
  bool moving = false;
  for (auto& lane : lanes_) {
    if (lane && lane->CurrentJob()) {
      lane->WaitIdle(deadline);
      moving = true;
    }
  }
  // Only resting lanes (or none) are left: no result will come to end the run.
  if (!moving) EndCheck();
}

void CFTPMgr::RunHeadless(TransferEventLoop& loop) {
  if (!StartRun(loop)) return;
  while (!finished_) {
    auto event = loop.Wait(std::chrono::seconds(1));
    if (!event) continue;
    if (event->kind == TransferEventLoop::Event::Cancel)
      Cancel();
    else
      OnTransferDone(event->lane, event->code);
  }
}

void CFTPMgr::RunWithoutWindow(LogSink* log, const std::string& iniFile) {
  summary_.clear();
  BeginCounts();
  if (total_ == 0) {
    WriteLog(log, "No files to transfer.\n");
    return;
  }
  if (queue_.empty()) return;  // every job was refused while building, each with its line
  if (settings_.encrypt || settings_.decrypt) binary_ = true;
  auto lane = std::make_unique<TransferWorker>(
      0, direction_ == Upload ? TransferWorker::Upload : TransferWorker::Download, binary_,
      settings_, connector_, clock_);
  lane->SetSourceBase(sourceBase_);
  if (direction_ == Download) lane->SetDestinationBase(destinationBase_);
  lane->SetBackupFolder(iniFile.empty() ? settings_.backupDir
                                        : ReadText(settings_.profile.slot, "BackupDir", iniFile));
  lane->SetShared(&shared_);
  lane->AdoptConnection(std::move(firstLaneConnection_));

  while (!queue_.empty()) {
    auto job = std::move(queue_.front());
    queue_.pop_front();
    if (job->retries > kRetryLimit || job->retries < 0) {
      WriteLog(log, FailedLine(*job, job->error));
      ++givenUp_;
      CountGivenUp(job->error);
      continue;
    }
    lane->SetJob(std::move(job));
    TransferResult result = lane->Transfer();
    job = lane->TakeJob();
    if (auto note = shared_.TakeNote()) WriteLog(log, ShownPath(*note) + "\n");
    if (result != TransferOk) {
      // The job keeps its own error: other files may run on the lane before it is given up.
      job->error = lane->ErrorText();
      if (job->retries >= 0) {
        ++job->retries;
        char number[16];
        std::snprintf(number, sizeof number, "%d", job->retries);
        WriteLog(log, "RETRY " + std::string(number) + ": " + ShownPath(job->source) + " to " +
                          ShownPath(job->destination) + ", REASON: " + ShownPath(job->error) +
                          "\n");
      }
      queue_.push_back(std::move(job));
    } else {
      WriteLog(log, OkLine(*job));
      if (!lane->ErrorText().empty())
        WriteLog(log, "ERROR: " + ShownPath(lane->ErrorText()) + "\n");
      ++succeeded_;
    }
  }
}

bool CFTPMgr::RemoveEmptiedSourceFolders() {
  bool all = true;
  for (const auto& folder : emptiedFolders_) {
    if (direction_ == Download) {
      auto connection =
          connector_.Open(ConnectParametersOf(settings_.profile, settings_.trustFolder));
      if (!connection) {
        all = false;
        continue;
      }
      if (!RemoveRemoteFolder(*connection, folder, 0)) all = false;
    } else if (!RemoveLocalFolder(folder, 0)) {
      all = false;
    }
  }
  return all;
}

bool CFTPMgr::RemoveRemoteFolder(FtpConnection& connection, const std::string& folder, int depth) {
  auto report = [&] {
    if (activityLog_)
      activityLog_->AddLine(ShownPath(folder) + " cannot be deleted.", colour::kRed);
    return false;
  };
  if (depth > kMaxDepth) return report();
  auto current = connection.CurrentFolder();
  bool entered = connection.SetCurrentFolder(folder);
  std::optional<std::vector<RemoteEntry>> entries;
  if (entered) entries = connection.List();
  if (current) connection.SetCurrentFolder(*current);
  if (!entered) return false;
  if (!entries) return report();
  bool empty = true;
  for (const auto& entry : *entries) {
    if (entry.isFolder) {
      if (!RemoveRemoteFolder(connection, JoinRemote(folder, entry.name), depth + 1)) empty = false;
    } else {
      empty = false;  // a file that stayed is left alone
    }
  }
  if (!empty || !connection.RemoveFolder(folder)) return report();
  return true;
}

bool CFTPMgr::RemoveLocalFolder(const std::string& folder, int depth) {
  auto report = [&] {
    if (activityLog_)
      activityLog_->AddLine(ShownPath(folder) + " cannot be deleted.", colour::kRed);
    return false;
  };
  if (depth > kMaxDepth || LocalKindOf(folder) != LocalKind::Folder) return report();
  auto entries = ListLocalFolder(folder);
  if (!entries) return report();
  bool empty = true;
  for (const auto& entry : *entries) {
    // Links (also to folders) are entries like files: never followed, never removed.
    if (entry.isFolder) {
      if (!RemoveLocalFolder(entry.path, depth + 1)) empty = false;
    } else {
      empty = false;
    }
  }
  if (!empty || rmdir(folder.c_str()) != 0) return report();
  return true;
}

bool CFTPMgr::AskOverwrite(const std::string& path) {
  if (settings_.warningLevel >= 1) {
    yesToAll_ = true;
    return true;
  }
  if (noToAll_) return false;
  if (yesToAll_) return true;
  MessageAnswer answer = messages_.Show(
      ShownPath(path) + " already exists!\nDo you want to replace the existing files or folders?",
      MessageButtons::YesYesToAllNoNoToAll, MessageIcon::Question);
  switch (answer) {
    case MessageAnswer::YesToAll:
      yesToAll_ = true;
      return true;
    case MessageAnswer::No:
      return false;
    case MessageAnswer::NoToAll:
      noToAll_ = true;
      return false;
    default:
      return true;  // Yes, or the box closed another way
  }
}

void CFTPMgr::RefuseJob(const std::string& text, bool warn) {
  std::string shown = ShownPath(text);
  if (!activityLog_) {
    WriteLog(buildLog_, "FAILED: " + shown + "\n");
    return;
  }
  activityLog_->AddLine(shown, colour::kRed);
  if (warn && settings_.warningLevel < 3)
    messages_.Show(shown, MessageButtons::Ok, MessageIcon::Warning);
}

void CFTPMgr::FailJob(const TransferJob& job, const std::string& error) {
  if (activityLog_)
    activityLog_->AddLine(ShownPath(error), colour::kRed);
  else
    WriteLog(buildLog_, FailedLine(job, error));
  refused_.push_back(error);
}

bool CFTPMgr::ClaimDestination(const TransferJob& job, std::string* holder) {
  auto [at, added] = claimed_.emplace(job.destination, job.source);
  if (!added && holder) *holder = at->second;
  return added;
}

// One line of text without its trailing line breaks, control characters shown.
static std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return ShownPath(text);
}

void CFTPMgr::ReportProblem(const std::string& text, LogSink* log) {
  std::string line = OneLine(text);
  if (activityLog_) {
    activityLog_->AddLine(line, colour::kRed);
    if (settings_.warningLevel < 3) messages_.Show(line, MessageButtons::Ok, MessageIcon::Warning);
  } else {
    WriteLog(log, line + "\n");
  }
}

void CFTPMgr::ReportLine(const std::string& text, LogSink* log) {
  std::string line = OneLine(text);
  if (activityLog_)
    activityLog_->AddLine(line, colour::kRed);
  else
    WriteLog(log, line + "\n");
}

void CFTPMgr::Enqueue(std::unique_ptr<TransferJob> job) {
  job->retries = 0;
  job->index = static_cast<int32_t>(queue_.size());
  if (activityLog_) activityLog_->AddLine("Add: " + ShownPath(job->source), colour::kNeutral);
  queue_.push_back(std::move(job));
}

}  // namespace quillon
