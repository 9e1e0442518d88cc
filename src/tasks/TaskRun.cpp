#include "tasks/TaskRun.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>

#include "common/Paths.h"
#include "localfs/LocalFolders.h"
#include "mail/SmtpMailer.h"
#include "platform/Process.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "tasks/ProgramTransferSettings.h"
#include "tasks/TaskStore.h"
#include "transfer/DownloadManager.h"
#include "transfer/TransferEventLoop.h"
#include "transfer/TransferNames.h"
#include "transfer/UploadManager.h"

namespace quillon {
namespace {

// The task log as the transfer engine's log sink.
class TaskLogSink : public LogSink {
 public:
  explicit TaskLogSink(TaskLog* log) : log_(log) {}
  void Write(std::string_view text) override {
    if (log_) log_->Write(text);
  }

 private:
  TaskLog* log_;
};

// "<task name>.uploads" beside "<task name>.log".
std::string UploadJournalPath(const std::string& programFolder, const std::string& taskName) {
  std::string path = TaskLog::PathFor(programFolder, taskName);
  if (path.ends_with(".log")) path.resize(path.size() - 4);
  return path + ".uploads";
}

void Log(TaskLog* log, std::string_view text) {
  if (log) log->Write(text);
}

std::string Printf(const char* format, const std::string& a, const std::string& b) {
  int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
  std::string out(static_cast<size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, format, a.c_str(), b.c_str());
  return out;
}

}  // namespace

TaskRun::TaskRun(TaskRunContext program, const Clock& clock, TaskRunView view)
    : settings_(program.settings),
      connector_(program.connector),
      messages_(program.messages),
      clock_(clock),
      view_(std::move(view)) {
  if (!view_.showLog) {
    view_.showLog = [](const std::string& log) {
      std::string framed = "=======================\n" + log + "=======================\n";
      std::fwrite(framed.data(), 1, framed.size(), stdout);
      std::fflush(stdout);
    };
  }
}

std::string TaskRun::Title(const TaskHandOver& task) {
  return Printf("Harbell task [%s] of [%s]", task.taskName, task.storePath);
}

bool TaskRun::Dispatch(const TaskHandOver& task) {
  TaskLog log(settings_.ProgramFolder(), task.taskName);
  if (log.state() == TaskLog::State::Busy) {
    std::fprintf(stderr, "Task [%s] is already running; this run is skipped.\n",
                 task.taskName.c_str());
    return false;
  }
  const std::string title = Title(task);
  log.Write(Printf("%s\nStarted at: %s\n", title, FormatUserTime(clock_.Now())));

  bool notify = task.notify || ReadNumber(task.slot, "Notify", task.storePath) == 1;

  // Whatever goes wrong inside, the log gets its trailer and the mail still goes.
  try {
    RunTask(task.storePath, task.slot, &log, task.showWindow);
  } catch (const std::exception& error) {
    log.Write(std::string("\nERROR: the run stopped: ") + error.what() + "\n");
  } catch (...) {
    log.Write("\nERROR: the run stopped: Unknown error.\n");
  }

  log.Write(Printf("\n%s\nEnded at: %s\n", title, FormatUserTime(clock_.Now())));

  if (ReadNumber(task.slot, "UseEmail", task.storePath) == 1) SendNotification(task, log);

  if (notify) view_.showLog(log.ReadAll());
  return true;
}

int TaskRun::RunTask(const std::string& taskFile, int32_t slot, TaskLog* log, bool showWindow) {
  slot_ = slot;
  ConnectionProfile& profile = settings_.currentProfile;
  if (!ReadProfile(slot, profile, taskFile)) {
    // Half a profile must not connect: a locked one that fails its checks would otherwise
    // reach the server without its root folder, a broken one somewhere it never named.
    Log(log, Printf("\nERROR: the server settings of this task in %s (%s) cannot be read: an empty "
                    "address, an unknown protocol, or a lock that does not match. Nothing was "
                    "transferred.\n",
                    taskFile, SessionSection(slot)));
    return 0;
  }
  if (!profile.locked) {
    // An unlocked profile's keys would come from the program's own profile; a task uses its own.
    profile.encryptionKeyName = ReadProtected(slot, "EncryptionKeyName", taskFile);
    profile.encryptionKey = ReadProtected(slot, "EncryptionKey", taskFile);
    profile.decryptionKey = ReadProtected(slot, "DecryptionKey", taskFile);
  }
  LoadTask(definition_, slot, taskFile);
  settings_.encryptMode = definition_.encryptFiles ? 1 : 0;
  settings_.decryptMode = definition_.decryptFiles ? 1 : 0;

  if (!definition_.encryptFiles) {
    Log(log,
        "All files uploaded to Harbell must be encrypted.\nusing a key (password) you choose.");
    return 0;
  }

  std::optional<TimePoint> uploadCutoff =
      Cutoff(definition_.uploadAgeMode, definition_.uploadAgeHours);
  std::optional<TimePoint> downloadCutoff =
      Cutoff(definition_.downloadAgeMode, definition_.downloadAgeHours);

  if (definition_.upload)
    RunHook(slot, "RunBeforeUpload", taskFile, log);
  else if (definition_.download)
    RunHook(slot, "RunBeforeDownload", taskFile, log);
  else
    return 1;

  if (definition_.upload) {
    if (!UploadPass(taskFile, definition_.uploadFrom, definition_.uploadTo, log, uploadCutoff,
                    showWindow))
      return 0;
    RunHook(slot, "RunAfterUpload", taskFile, log);
  }
  if (definition_.download) {
    if (!DownloadPass(taskFile, definition_.downloadFrom, definition_.downloadTo, log,
                      downloadCutoff, showWindow))
      return 0;
    RunHook(slot, "RunAfterDownload", taskFile, log);
  }
  return 1;
}

std::optional<TimePoint> TaskRun::Cutoff(int32_t mode, float hours) const {
  if (mode != 1) return std::nullopt;
  auto seconds = static_cast<int64_t>(std::trunc(static_cast<double>(hours) * 3600.0));
  auto now = std::chrono::time_point_cast<std::chrono::seconds>(clock_.Now());
  return now - std::chrono::seconds(seconds);
}

void TaskRun::WriteCount(const char* key, int32_t count, const std::string& taskFile,
                         TaskLog* log) {
  if (!WriteNumber(slot_, key, count, taskFile))
    Log(log, Printf("ERROR: cannot write %s to %s.\n", key, taskFile));
}

void TaskRun::RunHook(int32_t slot, const char* key, const std::string& taskFile, TaskLog* log) {
  std::string command = ReadText(slot, key, taskFile);
  if (command.empty()) return;
  int32_t seconds = ReadProgramNumber(settings_.ProfileFile(), kHookTimeout);
  if (seconds < 0) seconds = kHookTimeout.fallback;
  ShellLimits limits;
  limits.timeout = std::chrono::seconds(seconds);
  CommandStatus status = RunShellCommand(command, limits);
  std::string line = status.Succeeded() ? "\nOK: " : "\nFAILED: ";
  line += std::string(key) + ": " + command + "\n";
  if (status.timedOut) {
    line += "The command did not end within " + std::to_string(seconds) +
            " seconds (\"HookTimeout\") and was stopped.\n";
  }
  Log(log, line);
}

namespace {

// Runs a built queue: one file after another, or on the profile's lanes when asked to show
// the transfer (headless here: the lanes run, nothing is drawn).
void RunQueue(CFTPMgr& manager, TaskLogSink& sink, const std::string& taskFile, int32_t threads,
              bool showWindow, const TaskRunView& view) {
  if (!showWindow) {
    manager.RunWithoutWindow(&sink, taskFile);
    return;
  }
  manager.SetMaxThreads(threads);
  manager.SetTransferLog(&sink);
  if (view.runWithProgress) {
    manager.SetReportToSelf(true);
    view.runWithProgress(manager);
    return;
  }
  TransferEventLoop loop;
  manager.RunHeadless(loop);
  // Without a display the summary box went to stderr; the log keeps it too.
  const std::string& summary = manager.Summary();
  if (!summary.empty()) sink.Write(summary.back() == '\n' ? summary : summary + "\n");
}

}  // namespace

// The pass's connection. A run never asks whether to trust a server: one that is not trusted
// (its certificate or host key neither checks out nor is pinned) gets a log line with its
// fingerprint and the command that trusts it, and the pass fails like any failed connection.
std::unique_ptr<FtpConnection> TaskRun::OpenConnection(const std::string& taskFile, TaskLog* log) {
  ConnectFailure failure;
  auto connection = connector_.OpenExplained(
      ConnectParametersOf(settings_.currentProfile, settings_.ProgramFolder()), &failure);
  if (!connection && failure.untrusted)
    Log(log,
        UntrustedServerText(*failure.untrusted, taskFile, settings_.currentProfile.slot) + "\n");
  return connection;
}

int TaskRun::UploadPass(const std::string& taskFile, std::string localFrom, std::string remoteTo,
                        TaskLog* log, std::optional<TimePoint> cutoff, bool showWindow) {
  if (localFrom.empty() || remoteTo.empty()) return 1;
  Log(log, Printf("\nUploading files from %s to %s.\n", localFrom, remoteTo));
  remoteTo = WithoutTrailingSlashes(remoteTo);
  localFrom = WithoutTrailingSlashes(localFrom);

  TaskLogSink sink(log);
  UploadManager manager(MakeTransferSettings(settings_, taskFile), connector_, messages_, clock_);
  std::unique_ptr<FtpConnection> connection = OpenConnection(taskFile, log);
  if (!connection) {
    Log(log, "Connection failed in uploading.\n");
    return 0;
  }
  manager.SetBuildingConnection(connection.get());
  manager.SetBinary(settings_.currentProfile.binaryMode);
  manager.SetSourceBase(localFrom);
  manager.SetDestinationBase(remoteTo);
  manager.SetBuildLog(&sink);
  // Crash-safe uploads note their temporary names beside the task's log; what a killed run
  // left on the server goes first.
  manager.UseUploadJournal(UploadJournalPath(settings_.ProgramFolder(), definition_.name));
  manager.RemoveLeftoverUploads(&sink);
  CreateRemoteFolderTree(*connection, remoteTo);
  manager.ExpandLocalFolder(localFrom, &sink, cutoff);
  manager.SetBuildingConnection(nullptr);
  manager.GiveConnectionToFirstLane(std::move(connection));

  RunQueue(manager, sink, taskFile, settings_.currentProfile.threadCount, showWindow, view_);
  if (showWindow && manager.Cancelled()) {
    Log(log, "Task canceled\n");
    return 0;
  }
  WriteCount("FilesUploadedOK", manager.Succeeded(), taskFile, log);
  WriteCount("FilesUploadedFail", manager.Failed(), taskFile, log);

  if (settings_.currentProfile.deleteAfterUpload) {
    if (auto entries = ListLocalFolder(localFrom)) {
      for (const LocalEntry& entry : *entries)
        if (entry.isFolder) manager.AddEmptiedFolder(entry.path);
    }
    manager.RemoveEmptiedSourceFolders();
  }
  return 1;
}

int TaskRun::DownloadPass(const std::string& taskFile, std::string remoteFrom, std::string localTo,
                          TaskLog* log, std::optional<TimePoint> cutoff, bool showWindow) {
  if (remoteFrom.empty() || localTo.empty()) return 1;
  Log(log, Printf("\nDownloading files from %s to %s.\n", remoteFrom, localTo));
  localTo = WithoutTrailingSlashes(localTo);
  remoteFrom = WithoutTrailingSlashes(remoteFrom);

  TaskLogSink sink(log);
  DownloadManager manager(MakeTransferSettings(settings_, taskFile), connector_, messages_, clock_);
  std::unique_ptr<FtpConnection> connection = OpenConnection(taskFile, log);
  if (!connection) {
    Log(log, "Connection failed in downloading.\n");
    return 0;
  }
  manager.SetBuildingConnection(connection.get());
  manager.SetBinary(settings_.currentProfile.binaryMode);
  manager.SetBuildLog(&sink);
  manager.SetSourceBase(remoteFrom);
  manager.SetDestinationBase(localTo);
  CreateLocalFolderTree(localTo);
  manager.ExpandRemoteFolder(remoteFrom, &sink, cutoff);

  if (settings_.currentProfile.deleteAfterDownload) {
    std::optional<std::string> previous = connection->CurrentFolder();
    if (connection->SetCurrentFolder(remoteFrom)) {
      if (auto entries = connection->List()) {
        for (const RemoteEntry& entry : *entries)
          if (entry.isFolder) manager.AddEmptiedFolder(JoinRemote(remoteFrom, entry.name));
      }
      if (previous) connection->SetCurrentFolder(*previous);
    }
  }
  manager.SetBuildingConnection(nullptr);
  manager.GiveConnectionToFirstLane(std::move(connection));

  RunQueue(manager, sink, taskFile, settings_.currentProfile.threadCount, showWindow, view_);
  WriteCount("FilesDownloadedOK", manager.Succeeded(), taskFile, log);
  WriteCount("FilesDownloadedFail", manager.Failed(), taskFile, log);
  if (manager.Cancelled()) {
    Log(log, "Task canceled\n");
    return 0;
  }
  if (settings_.currentProfile.deleteAfterDownload) manager.RemoveEmptiedSourceFolders();
  return 1;
}

void TaskRun::SendNotification(const TaskHandOver& task, TaskLog& log) {
  SmtpMailer mail(clock_);
  mail.server = ReadText(task.slot, "EmailServer", task.storePath);
  mail.from = ReadText(task.slot, "EmailFrom", task.storePath);
  mail.AddRecipients(ReadText(task.slot, "EmailTo", task.storePath));
  mail.subject =
      Printf("Harbell task [%s] completed at: %s", task.taskName, FormatUserTime(clock_.Now()));
  mail.body = log.ReadAll();
  if (!mail.Send()) log.Write("\nNOTIFICATION EMAIL FAILED. CHECK THE SETTINGS.\n");
}

}  // namespace quillon
