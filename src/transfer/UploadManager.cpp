#include "transfer/UploadManager.h"

#include <algorithm>

#include "common/Paths.h"
#include "common/Text.h"
#include "transfer/BackupRules.h"
#include "transfer/TransferNames.h"
#include "transfer/UploadJournal.h"

namespace quillon {

std::string UploadManager::UploadName(const std::string& name) const {
  return makeLower_ ? LowerCased(name) : name;
}

bool UploadManager::AddJob(std::unique_ptr<TransferJob> job, int) {
  if (settings_.encrypt) {
    size_t dot = job->destination.rfind('.');
    if (dot == std::string::npos ||
        !EqualsIgnoringCase(std::string_view(job->destination).substr(dot), kEncryptedExtension))
      job->destination += kEncryptedExtension;
  }
  // Two sources for one destination (Report.TXT and report.txt with lower-case names, a.txt
  // and a.txt.qvr when encrypting): the later one fails, and its source stays where it is.
  std::string holder;
  if (!ClaimDestination(*job, &holder)) {
    FailJob(*job, job->destination + ": Also the destination of " + holder + ".");
    return false;
  }
  if (settings_.profile.backupRemoteFile && building_ && !BackupRemote(job->destination)) {
    // Without its backup the existing remote file is not overwritten: a failed file.
    FailJob(*job, job->destination + ": Cannot make a backup copy. Not overwritten.");
    return false;
  }
  Enqueue(std::move(job));
  return true;
}

bool UploadManager::BackupRemote(const std::string& path) {
  BackupParts parts = SplitBackupPath(path);
  std::string name = BaseNameOf(path);
  std::string folder = parts.folder.empty() ? "/" : WithoutTrailingSlashes(parts.folder);

  auto current = building_->CurrentFolder();
  std::optional<std::vector<RemoteEntry>> entries;
  if (building_->SetCurrentFolder(folder)) entries = building_->List();
  if (current) building_->SetCurrentFolder(*current);
  // A folder that cannot be seen holds nothing to save, unless the file answers anyway.
  if (!entries) return !building_->Size(path).has_value();

  auto exists = [&](const std::string& n) {
    return std::any_of(entries->begin(), entries->end(),
                       [&](const RemoteEntry& e) { return e.name == n; });
  };
  if (!std::any_of(entries->begin(), entries->end(),
                   [&](const RemoteEntry& e) { return !e.isFolder && e.name == name; }))
    return true;  // nothing there yet

  std::vector<BackupCandidate> backups;
  for (const auto& entry : *entries)
    if (!entry.isFolder && IsBackupName(entry.name, parts))
      backups.push_back({entry.name, entry.lastWrite});
  if (auto oldest = BackupToPrune(backups, settings_.backupCopies)) {
    if (building_->DeleteFile(parts.folder + backups[*oldest].name))
      entries->erase(
          std::remove_if(entries->begin(), entries->end(),
                         [&](const RemoteEntry& e) { return e.name == backups[*oldest].name; }),
          entries->end());
  }
  std::string backupPath = BackupPathFor(path, BackupStamp(clock_.Now()));
  if (exists(BaseNameOf(backupPath))) return false;  // a rename would replace it
  return building_->Rename(path, backupPath);
}

void UploadManager::AddSelectedItem(const LocalEntry& item) {
  if (item.linkToFolder) return;  // links to folders are never followed
  std::string source = WithoutTrailingSlashes(sourceBase_);
  if (item.isFolder) {
    std::string folder = source + "/" + item.name;
    ExpandLocalFolder(folder, nullptr, std::nullopt);
    if (settings_.profile.deleteAfterUpload) emptiedFolders_.push_back(folder);
    return;
  }
  std::string name = BaseNameOf(item.path.empty() ? item.name : item.path);
  auto job = std::make_unique<TransferJob>();
  // Only the remote name is lower-cased: the local file keeps its own name.
  job->source = source + "/" + name;
  job->destination = WithoutTrailingSlashes(destinationBase_);
  if (job->destination != "/") job->destination += "/";
  job->destination += UploadName(name);
  job->size = item.size;
  AddJob(std::move(job));
}

int UploadManager::ExpandLocalFolder(const std::string& folder, LogSink* log,
                                     std::optional<TimePoint> cutoff) {
  return Expand(folder, log, cutoff, 0);
}

int UploadManager::Expand(const std::string& folder, LogSink* log, std::optional<TimePoint> cutoff,
                          int depth) {
  if (!building_) return 0;
  if (depth > kMaxDepth) {
    ReportProblem(folder + ": Folder tree is too deep.\n", log);
    return 0;
  }
  std::string base = WithoutTrailingSlashes(sourceBase_);
  std::string relative = folder.substr(std::min(base.size(), folder.size()));
  while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  std::string target = WithoutTrailingSlashes(destinationBase_);
  if (!relative.empty()) target = JoinRemote(target, relative);

  auto entries = ListLocalFolder(folder);
  if (!entries) return 0;
  int count = 0;
  std::vector<std::string> subFolders;
  for (const auto& entry : *entries) {
    if (entry.isFolder) {
      subFolders.push_back(entry.path);
      continue;
    }
    // Links to folders are not followed; sockets, pipes and devices are no files to send.
    if (!entry.isFile) continue;
    if (cutoff && entry.lastWrite < *cutoff) continue;
    auto job = std::make_unique<TransferJob>();
    job->source = entry.path;
    job->destination = JoinRemote(target, UploadName(entry.name));
    job->size = entry.size;
    if (AddJob(std::move(job))) ++count;
  }
  for (const auto& sub : subFolders) count += Expand(sub, log, cutoff, depth + 1);

  if (count > 0 && !CreateRemoteFolderTree(*building_, target) && activityLog_)
    activityLog_->AddLine(ShownPath(target) + ": Folder exists or cannot be created.",
                          colour::kRed);
  return count;
}

void UploadManager::UseUploadJournal(const std::string& path) {
  journal_ = std::make_unique<UploadJournal>(path);
  shared_.journal = journal_.get();
}

int UploadManager::RemoveLeftoverUploads(LogSink* log) {
  if (!journal_ || !building_ || journal_->Leftovers().empty()) return 0;
  int removed = 0;
  std::vector<std::string> pending;
  for (const auto& path : journal_->Leftovers()) {
    if (building_->DeleteFile(path)) {
      ++removed;
      ReportLine("Removed " + path + ", the unfinished upload of an earlier run.", log);
    } else if (building_->LastFailure() == FtpFailure::Refused) {
      // The server says no (it is gone already, or may not be deleted): asked once, not again.
      ReportLine(path + ": the unfinished upload of an earlier run was not removed. " +
                     building_->LastError(),
                 log);
    } else {
      pending.push_back(path);  // the connection failed: the next run asks again
    }
  }
  journal_->Keep(pending);
  return removed;
}

}  // namespace quillon
