#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/ActivityLog.h"
#include "common/Clock.h"
#include "common/Messages.h"
#include "profiles/ConnectionProfile.h"
#include "profiles/ProgramSettings.h"
#include "remote/FtpConnection.h"
#include "remote/SessionTrust.h"
#include "tasks/TaskRunContext.h"

namespace quillon {

class MainApp;

// The pieces start-up wires together; main() fills them with the real ones, tests with their
// own. Any of them may be left empty.
struct StartupHooks {
  // Opens the one FTP session (global transport init + connector). Null means it failed.
  std::function<std::unique_ptr<FtpConnector>()> openSession;
  // Interactive mode: runs the main window until it closes.
  std::function<void(MainApp&)> runInteractive;
  // Task mode: the unattended run of one task.
  std::function<void(MainApp&, const TaskHandOver&)> runTask;
  // Keeps the encrypted-file type registered with the desktop.
  std::function<void()> registerFileType;
};

// The one application object of a process (constructible in tests: no hidden statics): the
// program-wide settings, the FTP session and its connector, where messages go, and the exit code.
// Start-up and the exit routine run on the main thread; OpenFtpConnection may be called from
// any thread.
class MainApp : public ProgramSettings {
 public:
  MainApp(std::string programFolder, MessagePresenter& messages);

  // Start-up with the command line (argv after the program name), then the exit routine.
  // Returns the process exit code (0, or -1 for a refused command line). Every refusal of a
  // task command line goes to the message presenter, which decides where it is seen.
  int Run(const std::vector<std::string>& arguments, const StartupHooks& hooks);
  // The same for a command line of blank-separated words.
  int Run(const std::string& commandLine, const StartupHooks& hooks);

  // Opens an FTP connection for `profile` (the current profile when null). On failure the last
  // connection error is set and, when a window listens, reported to it in red.
  // `errorOut` (when given) receives this call's own error text.
  std::unique_ptr<FtpConnection> OpenFtpConnection(const ConnectionProfile* profile = nullptr,
                                                   std::string* errorOut = nullptr);
  // The same for a server's parameters (ConnectParametersOf a profile), which take the
  // session's trust (Trust()) where they leave it empty; `failure` (when given) says why it
  // failed and, for a server that was not trusted, what it presented.
  std::unique_ptr<FtpConnection> OpenFtpConnection(const FtpConnectParameters& server,
                                                   std::string* errorOut,
                                                   ConnectFailure* failure = nullptr);

  // The trust of this program session: the trust files in the program folder, and the servers
  // the user trusted once. Every connection of the session takes it.
  SessionTrust& Trust() { return trust_; }

  // OpenFtpConnection as a connector, for the transfer lanes and job builders.
  FtpConnector& Connector() { return connector_; }

  std::string LastConnectionError() const;
  void SetLastConnectionError(std::string text);

  // Where failed connections are reported (the main window sets it; WM_CONNECT_FAILED). The
  // text is the poster's own copy.
  void SetConnectFailedPoster(std::function<void(std::string text, int32_t colour)> poster);

  // Replaces the FTP session (tests, and start-up).
  void SetSession(std::unique_ptr<FtpConnector> session) { session_ = std::move(session); }
  FtpConnector* Session() const { return session_.get(); }

  MessagePresenter& Messages() { return *messages_; }
  // Where messages go from now on (the windowed program's message boxes).
  void SetMessages(MessagePresenter& messages) { messages_ = &messages; }

  // What a task run takes from the program (its settings, connector and messages now).
  operator TaskRunContext() { return {*this, Connector(), Messages()}; }

  // The code Run returns; a task run that failed sets 1 (start-up's own refusals set -1).
  void SetExitCode(int32_t code) { exitCode_ = code; }

 private:
  void RunTaskMode(const std::vector<std::string>& arguments, const StartupHooks& hooks);
  int ExitRoutine();

  class AppConnector : public FtpConnector {
   public:
    explicit AppConnector(MainApp& app) : app_(app) {}
    std::unique_ptr<FtpConnection> Open(const FtpConnectParameters& server) override {
      return app_.OpenFtpConnection(server, nullptr);
    }
    std::unique_ptr<FtpConnection> OpenWithError(const FtpConnectParameters& server,
                                                 std::string* errorOut) override {
      return app_.OpenFtpConnection(server, errorOut);
    }
    std::unique_ptr<FtpConnection> OpenExplained(const FtpConnectParameters& server,
                                                 ConnectFailure* failure) override {
      return app_.OpenFtpConnection(server, nullptr, failure);
    }

   private:
    MainApp& app_;
  };

  MessagePresenter* messages_;
  int32_t exitCode_ = 0;
  SessionTrust trust_{ProgramFolder()};
  AppConnector connector_{*this};
  std::unique_ptr<FtpConnector> session_;
  mutable std::mutex errorMutex_;
  std::string lastConnectionError_;
  std::function<void(std::string, int32_t)> connectFailedPoster_;
};

}  // namespace quillon
