#pragma once

#include <memory>
#include <optional>
#include <string>

#include "transfer/CFTPMgr.h"

namespace quillon {

// A batch of downloads: remote files and folders to the local destination base folder.
class DownloadManager : public CFTPMgr {
 public:
  DownloadManager(const TransferSettings& settings, FtpConnector& connector,
                  MessagePresenter& messages, const Clock& clock)
      : CFTPMgr(Download, settings, connector, messages, clock) {}

  // Queues `job` unless its destination may not be replaced. In decrypt mode a destination
  // ending in ".qvr" (any letter case) loses it. An existing destination that is read-only is
  // refused; otherwise, with "BackupLocalFile" it is first renamed to a time-stamped backup
  // (never replacing a file; when that cannot be done the job is refused), without it the
  // overwrite question is asked when there is an activity log.
  bool AddJob(std::unique_ptr<TransferJob> job, int flag = 0) override;

  // One selected entry of the remote list: a file becomes a job, a folder is expanded.
  void AddSelectedItem(const RemoteEntry& item);

  // Queues every file below remote folder `folder` (files last written before `cutoff` are
  // left out) into the matching folders below the destination base, which are made for the
  // folders that received a job. Problems go to the activity log or else to `log`. Needs the
  // building connection. Returns the number of files queued.
  int ExpandRemoteFolder(const std::string& folder, LogSink* log, std::optional<TimePoint> cutoff);

 private:
  int Expand(const std::string& folder, LogSink* log, std::optional<TimePoint> cutoff, int depth);
  bool BackupLocal(const std::string& path);
};

}  // namespace quillon
