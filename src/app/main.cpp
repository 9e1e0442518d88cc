// The quillon executable: wires the real platform pieces into MainApp and runs it.
#include <signal.h>

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "Version.h"
#include "app/CommandLine.h"
#include "app/MainApp.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtMessagePresenter.h"
#include "app/ui/StartupMessagePresenter.h"
#include "common/Messages.h"
#include "ftp/CurlFtp.h"
#include "platform/DesktopIntegration.h"
#include "platform/MimeRegistration.h"
#include "platform/ProgramFolder.h"
#include "profiles/IniFile.h"
#include "remote/ConnectionWorker.h"
#include "tasks/TaskRun.h"
#include "tasks/ui/TaskManagerDialog.h"
#include "tasks/ui/TaskRunWindows.h"

namespace {

const char kUsage[] =
    "Usage: quillon                        open the main window\n"
    "       quillon TASKFILE SESSIONnn [-Notify] [-ShowWin] [-TaskID n]\n"
    "                                      run the task in slot nn of TASKFILE once\n"
    "       quillon --help | --version\n"
    "\n"
    "TASKFILE without a \"/\" is taken from the program folder ($QUILLON_HOME, else\n"
    "$XDG_CONFIG_HOME/quillon/). Exit status: 0, or 255 when the task line is refused;\n"
    "a refused line is told on stderr (and in a box for -Notify on a desktop).\n";

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
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // A refused task line is told on stderr, and in a box when it came from a launcher (which
  // notifies) on a desktop.
  bool boxes =
      quillon::ParseTaskCommandLine(arguments, *folder).task.notify && quillon::DesktopAvailable();
  quillon::StartupMessagePresenter messages(argc, argv, boxes);
  quillon::StreamMessagePresenter runMessages(stderr);
  quillon::MainApp app(*folder, messages);

  quillon::StartupHooks hooks;
  hooks.openSession = []() -> std::unique_ptr<quillon::FtpConnector> {
    if (!quillon::InitCurlGlobal()) return nullptr;
    return std::make_unique<quillon::CurlFtpConnector>();
  };
  // Quillon's icon (windows, launchers, the .qvr type) and its menu launcher, when no system
  // install brought them.
  std::string iconPath;
  hooks.registerFileType = [&iconPath] {
    iconPath = quillon::InstallQuillonIcon();
    quillon::RegisterEncryptedFileType();
    quillon::InstallApplicationLauncher(quillon::ThisProgram());
  };
  auto setWindowIcon = [&iconPath] {
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("quillon"), QIcon(QString::fromStdString(iconPath))));
  };
  hooks.runInteractive = [&argc, argv, &setWindowIcon](quillon::MainApp& running) {
    if (!quillon::DesktopAvailable()) {
      std::fputs(
          "Quillon needs a desktop (DISPLAY or WAYLAND_DISPLAY) for its window; tasks run "
          "without one: quillon --help\n",
          stderr);
      return;
    }
    QApplication gui(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    setWindowIcon();
    quillon::QtMessagePresenter boxes;
    running.SetMessages(boxes);
    quillon::MainWindow window(running);
    boxes.SetParent(&window);
    window.SetTaskManagerOpener([&running](QWidget* parent) {
      quillon::TaskManagerSetup setup;
      setup.programFolder = running.ProgramFolder();
      setup.program = QCoreApplication::applicationFilePath().toStdString();
      setup.connector = &running.Connector();
      setup.warningLevel = running.warningLevel;
      quillon::QtMessagePresenter dialogBoxes;
      quillon::TaskManagerDialog dialog(std::move(setup), dialogBoxes, parent);
      dialogBoxes.SetParent(&dialog);
      dialog.exec();
    });
    // The application's loop, not the window's own exec(): a dialog hidden while its exec()
    // runs ends it, and the window hides during a transfer with the minimize option.
    QObject::connect(&window, &QDialog::finished, &gui, &QApplication::quit);
    window.show();
    gui.exec();
    // A connection dropped moments ago (a cancelled connect) may still be saying goodbye.
    quillon::ConnectionWorker::WaitForDropped(std::chrono::seconds(3));
  };
  hooks.runTask = [&argc, argv, &runMessages, &setWindowIcon](quillon::MainApp& running,
                                                              const quillon::TaskHandOver& task) {
    // The run's own messages go where its log goes; only start-up's refusals come up in boxes.
    running.SetMessages(runMessages);
    quillon::SystemClock clock;
    // A notified run or one asked to show its transfers gets windows when a desktop answers;
    // under cron, systemd or ssh everything goes to the log, stderr and stdout instead.
    bool notify = task.notify || quillon::ReadNumber(task.slot, "Notify", task.storePath) == 1;
    std::unique_ptr<QApplication> gui;
    std::unique_ptr<quillon::TaskRunWindows> windows;
    quillon::TaskRunView view;
    if ((notify || task.showWindow) && quillon::DesktopAvailable()) {
      if (!QApplication::instance()) gui = std::make_unique<QApplication>(argc, argv);
      setWindowIcon();
      windows = std::make_unique<quillon::TaskRunWindows>(notify, quillon::TaskRun::Title(task));
      view = windows->View();
    }
    quillon::TaskRun run(running, clock, view);
    if (!run.Dispatch(task)) running.SetExitCode(1);
  };
  int code = app.Run(arguments, hooks);
  return code & 0xFF;  // -1 reaches the shell as 255
}
