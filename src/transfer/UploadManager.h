#pragma once

#include <memory>
#include <optional>
#include <string>

#include "localfs/LocalFolders.h"
#include "remote/RemoteOperations.h"
#include "transfer/CFTPMgr.h"

namespace quillon {

// A batch of uploads: local files and folders to the remote destination base folder.
class UploadManager : public CFTPMgr {
 public:
  UploadManager(const TransferSettings& settings, FtpConnector& connector,
                MessagePresenter& messages, const Clock& clock)
      : CFTPMgr(Upload, settings, connector, messages, clock), makeLower_(settings.makeLower) {}

  // Queues `job`. In encrypt mode ".qvr" is appended to the destination unless its last
  // extension is ".qvr" (any letter case). With "BackupRemoteFile" and a building connection an
  // existing remote file is first renamed to a time-stamped backup, only to a name that is
  // free; when that cannot be done the job is refused and the remote file stays.
  bool AddJob(std::unique_ptr<TransferJob> job, int flag = 0) override;

  // One selected entry of the local list (its name and full path): a file becomes a job, a
  // folder is expanded; a link to a folder adds nothing.
  void AddSelectedItem(const LocalEntry& item);

  // Queues every file below local folder `folder` (links to folders are not followed; files
  // last written before `cutoff` are left out) into the matching remote folders, which are
  // made for the folders that received a job. Needs the building connection. Returns the
  // number of files queued.
  int ExpandLocalFolder(const std::string& folder, LogSink* log, std::optional<TimePoint> cutoff);

  bool MakeLower() const { return makeLower_; }

  // Crash-safe uploads note their temporary names in the journal file `path` (one per task),
  // so that RemoveLeftoverUploads of a later run can delete what a killed run left.
  void UseUploadJournal(const std::string& path);
  // Deletes, on the building connection, the temporary names that earlier runs noted and never
  // finished, with a line each in the activity log or `log`. A name the server refuses to
  // delete is reported and forgotten; one that a broken connection kept stays for the next
  // run. Returns how many went.
  int RemoveLeftoverUploads(LogSink* log);

 private:
  int Expand(const std::string& folder, LogSink* log, std::optional<TimePoint> cutoff, int depth);
  bool BackupRemote(const std::string& path);
  std::string UploadName(const std::string& name) const;

  bool makeLower_;
};

}  // namespace quillon
