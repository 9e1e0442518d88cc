// quillon-screenshots: renders the pictures of the README from the real windows, on the X
// display it is given (scripts/screenshots.sh runs it under Xvfb against the demo server):
//   main-window.png      the main window connected to the server of slot 0
//   progress-window.png  the progress window in the middle of an encrypted upload
//   task-manager.png     the task manager with the tasks of the program folder
// Usage: quillon-screenshots --home PROGRAM_FOLDER --local FOLDER --remote FOLDER --upload FILE
//                            --out FOLDER
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/MainApp.h"
#include "app/ui/MainWindow.h"
#include "common/Messages.h"
#include "ftp/CurlFtp.h"
#include "localfs/ui/CDirList.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "remote/ConnectionWorker.h"
#include "tasks/ui/TaskManagerDialog.h"

namespace {

// Runs the event loop until `done` holds; false after `seconds`.
bool Until(const std::function<bool()>& done, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

void Settle(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  Until([&] { return std::chrono::steady_clock::now() >= end; });
}

// What the X server shows of the window (no window manager draws a frame around it).
bool Save(QWidget& window, const QString& path) {
  Settle(300);
  const QPixmap picture = window.screen()->grabWindow(window.winId());
  if (picture.isNull() || !picture.save(path)) {
    std::fprintf(stderr, "quillon-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("wrote %s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
  return true;
}

const char* Argument(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const char* home = Argument(argc, argv, "--home");
  const char* local = Argument(argc, argv, "--local");
  const char* remote = Argument(argc, argv, "--remote");
  const char* upload = Argument(argc, argv, "--upload");
  const char* out = Argument(argc, argv, "--out");
  if (!home || !local || !remote || !upload || !out) {
    std::fputs(
        "Usage: quillon-screenshots --home FOLDER --local FOLDER --remote FOLDER --upload FILE "
        "--out FOLDER\n",
        stderr);
    return 2;
  }
  if (!quillon::InitCurlGlobal()) return 1;
  QApplication gui(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  const QString outFolder = QString::fromLocal8Bit(out);
  QDir().mkpath(outFolder);

  // Message boxes would wait for a click: their texts go to stderr instead.
  quillon::StreamMessagePresenter messages(stderr);
  quillon::MainApp app(home, messages);
  app.SetSession(std::make_unique<quillon::CurlFtpConnector>());
  app.warningLevel = 2;

  // Where the profile opens, and the demo's key remembered: encryption starts on.
  if (!quillon::WriteText(0, "RemoteDir", remote, app.ProfileFile()) ||
      !quillon::WriteProtected(0, "EncryptionKeyName", "demo key", app.ProfileFile()) ||
      !quillon::WriteProtected(0, "EncryptionKey", "a demo pass phrase", app.ProfileFile())) {
    std::fprintf(stderr, "quillon-screenshots: cannot write %s\n", app.ProfileFile().c_str());
    return 1;
  }

  int failures = 0;
  {
    quillon::MainWindow window(app);
    window.resize(960, 600);
    window.show();
    window.GoToLocalPath(local);
    window.ConnectClicked();
    if (!Until([&] { return window.IsConnected() && !window.IsBusy(); })) {
      std::fputs("quillon-screenshots: the demo server did not answer\n", stderr);
      return 1;
    }
    window.LocalList().SelectItem(upload);
    window.LocalList().setFocus();
    if (!Save(window, outFolder + "/main-window.png")) ++failures;

    // The upload's progress window is modal: it is pictured from a timer once its lanes have
    // moved for a while, then cancelled.
    QTimer::singleShot(4000, [&] {
      QWidget* progress = QApplication::activeModalWidget();
      if (!progress || !Save(*progress, outFolder + "/progress-window.png")) ++failures;
      if (progress)
        if (auto* cancel = progress->findChild<QWidget*>(QStringLiteral("cancelButton")))
          QMetaObject::invokeMethod(cancel, "click", Qt::QueuedConnection);
    });
    window.Upload();
    Until([&] { return window.IsConnected() && !window.IsBusy(); });

    quillon::TaskManagerSetup setup;
    setup.programFolder = app.ProgramFolder();
    setup.program = QCoreApplication::applicationFilePath().toStdString();
    setup.connector = &app.Connector();
    quillon::TaskManagerDialog tasks(std::move(setup), messages, &window);
    if (!tasks.Open()) ++failures;
    tasks.show();
    if (!Save(tasks, outFolder + "/task-manager.png")) ++failures;
    tasks.close();
    window.DisconnectProfile(true);
  }
  quillon::ConnectionWorker::WaitForDropped(std::chrono::seconds(5));
  return failures == 0 ? 0 : 1;
}
