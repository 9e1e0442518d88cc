#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/Clock.h"
#include "profiles/IniFile.h"
#include "tasks/TaskDefinition.h"
#include "tasks/TaskLog.h"
#include "tasks/TaskRunContext.h"

namespace quillon {

class CFTPMgr;

// How long a hook may run, in seconds, in section "Quillon" of "Quillon.ini"; 0 waits for its
// end however long that takes. A negative value counts as missing.
inline constexpr ProgramKey kHookTimeout{"HookTimeout", 3600};

// How a run shows itself. Without a display the log goes to stdout and a run asked to show its
// transfers runs the lanes without drawing them; the windowed program fills in its windows.
struct TaskRunView {
  // The whole log at the end of a notified run.
  std::function<void(const std::string& text)> showLog;
  // Runs a built queue on its lanes under a progress window (the "-ShowWin" switch).
  std::function<void(CFTPMgr& manager)> runWithProgress;
};

// One unattended run of one task, from the hand-over of start-up to the end of the process:
// the task log with its header and trailer, the hooks, the upload and download passes, the
// counters, the notification mail and showing the log. Runs on the start-up thread.
class TaskRun {
 public:
  TaskRun(TaskRunContext program, const Clock& clock, TaskRunView view = {});

  // "Harbell task [<name>] of [<task file>]"
  static std::string Title(const TaskHandOver& task);

  // The whole run. Returns false only when another run of the same task holds its log (the
  // run did nothing and said so on stderr).
  bool Dispatch(const TaskHandOver& task);

  // The steps, public for tests. Results: 1 when every step that ran succeeded, else 0.
  int RunTask(const std::string& taskFile, int32_t slot, TaskLog* log, bool showWindow);
  // Runs the hook's command through /bin/sh. One that does not end within kHookTimeout is ended
  // with its process group and logged as failed with the reason, so it cannot hold the task's
  // run (and every later run of the task) forever.
  void RunHook(int32_t slot, const char* key, const std::string& taskFile, TaskLog* log);
  std::unique_ptr<FtpConnection> OpenConnection(const std::string& taskFile, TaskLog* log);
  int UploadPass(const std::string& taskFile, std::string localFrom, std::string remoteTo,
                 TaskLog* log, std::optional<TimePoint> cutoff, bool showWindow);
  int DownloadPass(const std::string& taskFile, std::string remoteFrom, std::string localTo,
                   TaskLog* log, std::optional<TimePoint> cutoff, bool showWindow);

  // The age cutoff of a direction: now minus the whole seconds of `hours` when `mode` is 1.
  std::optional<TimePoint> Cutoff(int32_t mode, float hours) const;

 private:
  void SendNotification(const TaskHandOver& task, TaskLog& log);
  // Stores one of the counters of the task's section; a store that cannot be written is logged.
  void WriteCount(const char* key, int32_t count, const std::string& taskFile, TaskLog* log);

  ProgramSettings& settings_;
  FtpConnector& connector_;
  MessagePresenter& messages_;
  const Clock& clock_;
  TaskRunView view_;
  TaskDefinition definition_;
  int32_t slot_ = -1;
};

}  // namespace quillon
