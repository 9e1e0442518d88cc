#include "transfer/CFTPMgr.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "profiles/IniFile.h"
#include "transfer/LocalFolders.h"
#include "transfer/TransferNames.h"

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

std::string CFTPMgr::DirectionWord() const {
  return direction_ == Upload ? "upload" : "download";
}

std::string CFTPMgr::OkLine(const TransferJob& job) const {
  if (direction_ == Upload) return "OK: " + job.source + " ==> " + job.destination + "\n";
  return "OK: " + job.destination + " <== " + job.source + "\n";
}

std::string CFTPMgr::FailedLine(const TransferJob& job, const std::string& error) const {
  if (direction_ == Upload)
    return "FAILED: " + job.source + " ==> " + job.destination + ", ERROR: " + error + "\n";
  return "FAILED: " + job.destination + " <== " + job.source + ", ERROR: " + error + "\n";
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
  return worker;
}

bool CFTPMgr::StartRun(TransferPoster& poster) {
  summary_.clear();
  finished_ = false;
  total_ = static_cast<int32_t>(queue_.size());
  if (total_ < 1) {
    finished_ = true;
    if (progress_) progress_->RunEnded();
    return false;
  }
  succeeded_ = failed_ = 0;
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
  TransferWorker& worker = *lanes_[lane];
  std::unique_ptr<TransferJob> job = worker.TakeJob();
  const std::string& error = worker.ErrorText();
  int32_t failedBefore = failed_;

  if (job) {
    if (code == TransferOk) {
      ++succeeded_;
      WriteTransferLog(OkLine(*job));
    } else if (code == TransferRetry && job->retries >= 0 && job->retries < kRetryLimit) {
      ++job->retries;
      if (activityLog_) activityLog_->AddLine(job->source + ": Retry.", colour::kRed);
      queue_.push_front(std::move(job));
    } else if (code == TransferRetry) {
      if (activityLog_) activityLog_->AddLine(job->source + ": Failed.", colour::kRed);
      ++failed_;
      if (failed_ < 5)
        summary_ += error + "\n";
      else if (failed_ == kFailureLimit)
        summary_ += "\nToo many errors.\n";
      else
        summary_ += ".";
      WriteTransferLog(FailedLine(*job, error));
    } else {
      ++failed_;
    }
    if (progress_) progress_->SetCounts(total_, succeeded_, failed_);
  }

  if (progress_)
    progress_->SetTitle(Format("%d files to %s ...", total_ - succeeded_, DirectionWord().c_str()));
  // The seventh given-up file ends the run: what is still queued is dropped uncounted, and no
  // source folder is removed afterwards. Files already moving finish, and one of them that
  // fails with retries left is still put back.
  if (failed_ >= kFailureLimit && failedBefore < kFailureLimit) Reset();

  if (!queue_.empty() && code != TransferStop)
    OnTransferNext(lane, code);
  else
    EndCheck();
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
  for (auto& lane : lanes_)
    if (lane && lane->CurrentJob()) lane->WaitIdle(deadline);
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
  succeeded_ = failed_ = 0;
  total_ = static_cast<int32_t>(queue_.size());
  if (queue_.empty()) {
    WriteLog(log, "No files to transfer.\n");
    return;
  }
  if (settings_.encrypt || settings_.decrypt) binary_ = true;
  auto lane = std::make_unique<TransferWorker>(
      0, direction_ == Upload ? TransferWorker::Upload : TransferWorker::Download, binary_,
      settings_, connector_, clock_);
  lane->SetSourceBase(sourceBase_);
  if (direction_ == Download) lane->SetDestinationBase(destinationBase_);
  lane->SetBackupFolder(iniFile.empty() ? settings_.backupDir
                                        : ReadText(settings_.profile.slot, "BackupDir", iniFile));

  while (!queue_.empty()) {
    auto job = std::move(queue_.front());
    queue_.pop_front();
    if (job->retries > kRetryLimit || job->retries < 0) {
      WriteLog(log, FailedLine(*job, job->error));
      ++failed_;
      continue;
    }
    lane->SetJob(std::move(job));
    TransferResult result = lane->Transfer();
    job = lane->TakeJob();
    if (result != TransferOk) {
      // The job keeps its own error: other files may run on the lane before it is given up.
      job->error = lane->ErrorText();
      if (job->retries >= 0) {
        ++job->retries;
        char number[16];
        std::snprintf(number, sizeof number, "%d", job->retries);
        WriteLog(log, "RETRY " + std::string(number) + ": " + job->source + " to " +
                          job->destination + ", REASON: " + job->error + "\n");
      }
      queue_.push_back(std::move(job));
    } else {
      WriteLog(log, OkLine(*job));
      if (!lane->ErrorText().empty()) WriteLog(log, "ERROR: " + lane->ErrorText() + "\n");
      ++succeeded_;
    }
  }
}

bool CFTPMgr::RemoveEmptiedSourceFolders() {
  bool all = true;
  for (const auto& folder : emptiedFolders_) {
    if (direction_ == Download) {
      auto connection = connector_.Open(settings_.profile);
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

bool CFTPMgr::RemoveRemoteFolder(FtpConnection& connection, const std::string& folder,
                                 int depth) {
  auto report = [&] {
    if (activityLog_) activityLog_->AddLine(folder + " cannot be deleted.", colour::kRed);
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
      if (!RemoveRemoteFolder(connection, JoinRemote(folder, entry.name), depth + 1))
        empty = false;
    } else {
      empty = false;  // a file that stayed is left alone
    }
  }
  if (!empty || !connection.RemoveFolder(folder)) return report();
  return true;
}

bool CFTPMgr::RemoveLocalFolder(const std::string& folder, int depth) {
  auto report = [&] {
    if (activityLog_) activityLog_->AddLine(folder + " cannot be deleted.", colour::kRed);
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
      path + " already exists!\nDo you want to replace the existing files or folders?",
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
  if (!activityLog_) {
    WriteLog(buildLog_, "FAILED: " + text + "\n");
    return;
  }
  activityLog_->AddLine(text, colour::kRed);
  if (warn && settings_.warningLevel < 3)
    messages_.Show(text, MessageButtons::Ok, MessageIcon::Warning);
}

void CFTPMgr::ReportProblem(const std::string& text, LogSink* log) {
  if (activityLog_) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    activityLog_->AddLine(line, colour::kRed);
    if (settings_.warningLevel < 3) messages_.Show(line, MessageButtons::Ok, MessageIcon::Warning);
  } else {
    WriteLog(log, text.empty() || text.back() == '\n' ? text : text + "\n");
  }
}

void CFTPMgr::Enqueue(std::unique_ptr<TransferJob> job) {
  job->retries = 0;
  job->index = static_cast<int32_t>(queue_.size());
  if (activityLog_) activityLog_->AddLine("Add: " + job->source, colour::kNeutral);
  queue_.push_back(std::move(job));
}

}  // namespace quillon
