#include "app/MainApp.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "profiles/IniFile.h"

namespace quillon {

MainApp::MainApp(std::string programFolder, MessagePresenter& messages)
    : ProgramSettings(std::move(programFolder)), messages_(&messages) {}

int MainApp::Run(const std::string& commandLine, const StartupHooks& hooks) {
  return Run(SplitAtBlanks(commandLine), hooks);
}

int MainApp::Run(const std::vector<std::string>& arguments, const StartupHooks& hooks) {
  if (hooks.openSession) {
    session_ = hooks.openSession();
    if (!session_) {
      std::fputs("Cannot init socket.\n", stdout);
      std::fflush(stdout);
      return ExitRoutine();
    }
  }
  LoadStartupValues();

  if (hooks.registerFileType) hooks.registerFileType();

  bool noArguments = true;
  for (const std::string& argument : arguments) noArguments = noArguments && argument.empty();
  if (noArguments) {
    LoadWarningLevel();
    if (hooks.runInteractive) hooks.runInteractive(*this);
  } else {
    RunTaskMode(arguments, hooks);
  }
  return ExitRoutine();
}

void MainApp::RunTaskMode(const std::vector<std::string>& arguments, const StartupHooks& hooks) {
  ParsedCommandLine parsed = ParseTaskCommandLine(arguments, ProgramFolder());
  const TaskCommandLine& task = parsed.task;
  // Every refusal is told, notified or not: a scheduled run's only trace is its stderr (a cron
  // mail, a journal line), and the presenter shows it in a box when someone can see one.
  if (parsed.error) {
    messages_->Show(*parsed.error);
    exitCode_ = -1;
    return;
  }

  // A shortcut or a scheduled entry carries the task id it was made for; the stored one tells
  // whether it still names the same task, so an entry left by a task that was renamed, deleted
  // or replaced in its slot never runs another task.
  if (task.taskId > 0) {
    int32_t stored = ReadNumber(task.slot, "TaskID", task.storePath);
    if (stored > task.taskId) {
      messages_->Show("Task Failed:\n\nThe task is outdated.");
      return;
    }
    if (stored < task.taskId) {
      messages_->Show(
          "Task Failed:\n\nThe target task cannot be found.\nPlease re-create the shortcut.");
      return;
    }
  }

  std::string taskName = ReadText(task.slot, "Profile", task.storePath);
  if (taskName.empty()) {
    messages_->Show("Task cannot be found: The task is outdated.");
    exitCode_ = -1;
    return;
  }

  exitCode_ = 0;  // the run may still set its own
  if (hooks.runTask)
    hooks.runTask(*this, {task.storePath, task.slot, task.notify, task.showWindow, taskName});
}

int MainApp::ExitRoutine() {
  session_.reset();
  return exitCode_;
}

std::unique_ptr<FtpConnection> MainApp::OpenFtpConnection(const ConnectionProfile* profile,
                                                          std::string* errorOut) {
  return OpenFtpConnection(
      ConnectParametersOf(profile ? *profile : currentProfile, ProgramFolder()), errorOut);
}

std::unique_ptr<FtpConnection> MainApp::OpenFtpConnection(const FtpConnectParameters& server,
                                                          std::string* errorOut,
                                                          ConnectFailure* failure) {
  if (!session_ || server.host.empty()) {
    if (errorOut) *errorOut = "Unknown error.";
    if (failure) *failure = ConnectFailure{"Unknown error.", std::nullopt};
    return nullptr;
  }
  FtpConnectParameters trusted = server;
  trust_.Apply(trusted);
  ConnectFailure why;
  std::unique_ptr<FtpConnection> connection = session_->OpenExplained(trusted, &why);
  const std::string& error = why.text;
  if (failure) *failure = why;
  if (!connection) {
    if (errorOut) *errorOut = error.empty() ? "Unknown error." : error;
    std::function<void(std::string, int32_t)> poster;
    std::string text;
    {
      std::lock_guard lock(errorMutex_);
      // A failure that names no cause keeps the previous text, which is posted again.
      if (!error.empty()) lastConnectionError_ = error;
      text = lastConnectionError_;
      poster = connectFailedPoster_;
    }
    if (poster) poster(std::move(text), colour::kRed);
  }
  return connection;
}

std::string MainApp::LastConnectionError() const {
  std::lock_guard lock(errorMutex_);
  return lastConnectionError_;
}

void MainApp::SetLastConnectionError(std::string text) {
  std::lock_guard lock(errorMutex_);
  lastConnectionError_ = std::move(text);
}

void MainApp::SetConnectFailedPoster(std::function<void(std::string, int32_t)> poster) {
  std::lock_guard lock(errorMutex_);
  connectFailedPoster_ = std::move(poster);
}

}  // namespace quillon
