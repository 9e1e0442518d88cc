// The quillon executable: wires the real platform pieces into MainApp and runs it.
#include <signal.h>

#include <cstdio>
#include <cstring>

#include "Version.h"
#include "app/CommandLine.h"
#include "app/MainApp.h"
#include "common/Messages.h"
#include "platform/CurlFtp.h"
#include "platform/MimeRegistration.h"
#include "platform/ProgramFolder.h"
#include "tasks/TaskRun.h"

namespace {

const char kUsage[] =
    "Usage: quillon                        open the main window\n"
    "       quillon TASKFILE SESSIONnn [-Notify] [-ShowWin] [-TaskID n]\n"
    "                                      run the task in slot nn of TASKFILE once\n"
    "       quillon --help | --version\n"
    "\n"
    "TASKFILE without a \"/\" is taken from the program folder ($QUILLON_HOME, else\n"
    "$XDG_CONFIG_HOME/quillon/). Exit status: 0, or 255 when the task line is refused.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quillon %s (%s)\n", quillon::kVersion, quillon::kEdition);
    return 0;
  }
  // A peer that closes a socket must give an error, not end the process.
  signal(SIGPIPE, SIG_IGN);

  std::optional<std::string> folder = quillon::ProgramFolder();
  if (!folder) {
    std::fputs("Cannot create the program folder.\n", stderr);
    return 1;
  }
  quillon::StreamMessagePresenter messages(stderr);
  quillon::MainApp app(*folder, messages);

  quillon::StartupHooks hooks;
  hooks.openSession = []() -> std::unique_ptr<quillon::FtpConnector> {
    if (!quillon::InitCurlGlobal()) return nullptr;
    return std::make_unique<quillon::CurlFtpConnector>();
  };
  hooks.registerFileType = quillon::RegisterEncryptedFileType;
  hooks.runInteractive = [](quillon::MainApp&) {
    std::puts("The graphical interface is not available in this build.");
  };
  hooks.runTask = [](quillon::MainApp& running, const quillon::TaskHandOver& task) {
    quillon::SystemClock clock;
    quillon::TaskRun run(running, clock);
    if (!run.Dispatch(task)) running.exitCode = 1;
  };
  int code = app.Run(quillon::JoinArguments(argc, argv), hooks);
  return code & 0xFF;  // -1 reaches the shell as 255
}
