#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/MainApp.h"
#include "common/Clock.h"
#include "tasks/TaskDefinition.h"
#include "tasks/TaskLog.h"

namespace quillon {

// How a run shows things when it has no window: the log at the end (notify), and a windowed
// transfer's progress. A run without a display prints the log to stdout.
struct TaskRunView {
  std::function<void(const std::string& text)> showLog;
};

// One unattended run of one task, from the hand-over of start-up to the end of the process:
// the task log with its header and trailer, the hooks, the upload and download passes, the
// counters, the notification mail and showing the log. Runs on the start-up thread.
class TaskRun {
 public:
  TaskRun(MainApp& app, const Clock& clock, TaskRunView view = {});

  // The whole run. Returns false only when another run of the same task holds its log (the
  // run did nothing and said so on stderr).
  bool Dispatch(const TaskHandOver& task);

  // The steps, public for tests. Results: 1 when every step that ran succeeded, else 0.
  int RunTask(const std::string& taskFile, int32_t slot, TaskLog* log, bool showWindow);
  void RunHook(int32_t slot, const char* key, const std::string& taskFile, TaskLog* log);
  int UploadPass(const std::string& taskFile, std::string localFrom, std::string remoteTo,
                 TaskLog* log, std::optional<TimePoint> cutoff, bool showWindow);
  int DownloadPass(const std::string& taskFile, std::string remoteFrom, std::string localTo,
                   TaskLog* log, std::optional<TimePoint> cutoff, bool showWindow);

  // The age cutoff of a direction: now minus the whole seconds of `hours` when `mode` is 1.
  std::optional<TimePoint> Cutoff(int32_t mode, float hours) const;

 private:
  void SendNotification(const TaskHandOver& task, TaskLog& log);

  MainApp& app_;
  const Clock& clock_;
  TaskRunView view_;
  TaskDefinition definition_;
  int32_t slot_ = -1;
};

}  // namespace quillon
