#include "transfer/DownloadManager.h"

#include <unistd.h>

#include <algorithm>

#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "localfs/LocalFolders.h"
#include "remote/RemoteListing.h"
#include "transfer/BackupRules.h"
#include "transfer/TransferNames.h"

namespace quillon {

bool DownloadManager::AddJob(std::unique_ptr<TransferJob> job, int) {
  // The decrypted file is saved under its plain name; a file named just ".qvr" keeps it.
  if (settings_.decrypt && BaseNameOf(job->destination).size() > kEncryptedExtension.size() &&
      EndsWithIgnoringCase(job->destination, kEncryptedExtension))
    job->destination.resize(job->destination.size() - kEncryptedExtension.size());

  // Two sources for one destination (report.txt and report.txt.qvr when decrypting): the
  // later one fails, and its source stays where it is.
  std::string holder;
  if (!ClaimDestination(*job, &holder)) {
    FailJob(*job, job->destination + ": Also the destination of " + holder + ".");
    return false;
  }
  // Nothing is done through a link to a folder below the destination folder: not the backup,
  // not its pruning, not the download itself.
  if (!destinationBase_.empty()) {
    if (auto linked = NotARealFolderBelow(destinationBase_, job->destination)) {
      std::string error = job->destination + ": Cannot write.";
      if (*linked != job->destination)
        error += " " + *linked + " is a symbolic link, not a real folder.";
      FailJob(*job, error);
      return false;
    }
  }

  LocalKind kind = LocalKindOf(job->destination);
  if (kind != LocalKind::Missing) {
    // A link at the destination is replaced by the downloaded file, never written through,
    // so only what stands there itself matters.
    if (kind != LocalKind::Link && !IsLocalWritable(job->destination)) {
      RefuseJob(job->destination + ": Cannot be overwritten. Permission denied.", true);
      return false;
    }
    if (!settings_.profile.backupLocalFile) {
      if (activityLog_ && !AskOverwrite(job->destination)) return false;
    } else if (!BackupLocal(job->destination)) {
      // Without its backup the existing file is not overwritten: a failed file of the run.
      FailJob(*job, job->destination + ": Cannot make a backup copy. Not overwritten.");
      return false;
    }
  }
  Enqueue(std::move(job));
  return true;
}

bool DownloadManager::BackupLocal(const std::string& path) {
  BackupParts parts = SplitBackupPath(path);
  std::string folder = parts.folder.empty() ? "." : WithoutTrailingSlashes(parts.folder);
  if (auto entries = ListLocalFolder(folder)) {
    std::vector<BackupCandidate> backups;
    for (const auto& entry : *entries)
      if (entry.isFile && !entry.isLink && IsBackupName(entry.name, parts))
        backups.push_back({entry.name, entry.lastWrite});
    if (auto oldest = BackupToPrune(backups, settings_.backupCopies))
      unlink((parts.folder + backups[*oldest].name).c_str());
  }
  return RenameWithoutReplacing(path, BackupPathFor(path, BackupStamp(clock_.Now())));
}

void DownloadManager::AddSelectedItem(const RemoteEntry& item) {
  if (item.isFolder) {
    int n = ExpandRemoteFolder(item.path, nullptr, std::nullopt);
    if (n > 0 && settings_.profile.deleteAfterDownload) emptiedFolders_.push_back(item.path);
    return;
  }
  std::string name = BaseNameOf(item.path);
  if (!IsPlainName(name)) {
    ReportProblem(item.path + ": Invalid file name.", buildLog_);
    return;
  }
  auto job = std::make_unique<TransferJob>();
  job->source = item.path;
  job->destination = destinationBase_ + "/" + name;
  job->size = item.size;
  AddJob(std::move(job));
}

int DownloadManager::ExpandRemoteFolder(const std::string& folder, LogSink* log,
                                        std::optional<TimePoint> cutoff) {
  return Expand(folder, log, cutoff, 0);
}

int DownloadManager::Expand(const std::string& folder, LogSink* log,
                            std::optional<TimePoint> cutoff, int depth) {
  if (!building_) return 0;
  auto current = building_->CurrentFolder();
  auto restore = [&] {
    if (current) building_->SetCurrentFolder(*current);
  };
  if (depth > kMaxDepth) {
    ReportProblem(folder + ": Folder tree is too deep.\n", log);
    return 0;
  }
  if (!building_->SetCurrentFolder(folder)) {
    // The server's "no" is worded as such; a lost connection or a time-out names itself.
    if (building_->LastFailure() == FtpFailure::Refused)
      ReportProblem(folder + ": Does not exist or access denied.\n", log);
    else
      ReportProblem(folder + ": Cannot be opened. " + building_->LastError() + "\n", log);
    restore();
    return 0;
  }

  // The folder's place below the source base is its place below the destination base.
  std::string relative = folder.substr(std::min(sourceBase_.size(), folder.size()));
  while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  for (size_t start = 0; start < relative.size();) {
    size_t end = std::min(relative.find('/', start), relative.size());
    if (!IsPlainName(relative.substr(start, end - start))) {
      ReportProblem(folder + ": Invalid file name.", log);
      restore();
      return 0;
    }
    start = end + 1;
  }
  std::string local = relative.empty() ? destinationBase_ : destinationBase_ + "/" + relative;

  if (LocalKindOf(local) != LocalKind::Missing) {
    if (!IsLocalWritable(local)) {
      ReportProblem(local + ": Cannot be overwritten. Permission denied.", log);
      restore();
      return 0;
    }
    if (activityLog_ && !settings_.profile.backupLocalFile && !AskOverwrite(local)) {
      restore();
      return 0;
    }
  }

  auto entries = building_->List();
  for (const auto& name : building_->TakeSkippedNames())
    ReportLine(
        folder + ": Unsafe name \"" + PrintableName(name) + "\" skipped in the server's listing.",
        log);
  if (!entries) {
    ReportProblem(folder + ": Cannot be listed. " + building_->LastError() + "\n", log);
    restore();
    return 0;
  }
  int count = 0;
  std::vector<std::string> subFolders;
  for (const auto& entry : *entries) {
    if (!IsPlainName(entry.name)) continue;  // never a name that leaves its folder
    if (entry.isFolder) {
      subFolders.push_back(JoinRemote(folder, entry.name));
      continue;
    }
    if (cutoff && entry.lastWrite < *cutoff) continue;
    auto job = std::make_unique<TransferJob>();
    job->source = entry.path.empty() ? JoinRemote(folder, entry.name) : entry.path;
    job->destination = local + "/" + entry.name;
    job->size = entry.size;
    if (AddJob(std::move(job))) ++count;
  }
  restore();
  for (const auto& sub : subFolders) count += Expand(sub, log, cutoff, depth + 1);

  if (count > 0 && !CreateLocalFolderTree(local))
    ReportProblem(local + ": Folder exists or cannot be created. ", log);
  return count;
}

}  // namespace quillon
