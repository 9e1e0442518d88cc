#include "tasks/ui/TaskRunWindows.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QStyle>
#include <cstdlib>
#include <cstring>

#include "common/ui/InformationDialog.h"
#include "transfer/ui/TransferProgressDialog.h"

namespace quillon {

namespace {

bool CanConnect(int family, const sockaddr* address, socklen_t length) {
  int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, address, length) == 0;
  close(fd);
  return ok;
}

bool UnixSocketAnswers(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return CanConnect(AF_UNIX, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

// An X11 display name "[host]:N[.S]": a local display answers on /tmp/.X11-unix/XN, a
// forwarded one (ssh -X gives "localhost:10.0") on TCP port 6000 + N.
bool X11DisplayAnswers(const std::string& display) {
  size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  int number = std::atoi(display.c_str() + colon + 1);
  std::string host = display.substr(0, colon);
  if (host.empty() || host == "unix")
    return UnixSocketAnswers("/tmp/.X11-unix/X" + std::to_string(number));
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0)
    return false;
  bool ok = false;
  for (addrinfo* a = found; a && !ok; a = a->ai_next)
    ok = CanConnect(a->ai_family, a->ai_addr, a->ai_addrlen);
  freeaddrinfo(found);
  return ok;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

bool DesktopAvailable() {
  // Qt ends the process when it cannot reach the display it is told to use, so a stale DISPLAY
  // (an ssh session, a cron job that copied the environment) must not count.
  std::string wayland = Env("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    std::string path = wayland.front() == '/' ? wayland : Env("XDG_RUNTIME_DIR") + "/" + wayland;
    if (UnixSocketAnswers(path)) return true;
  }
  std::string x11 = Env("DISPLAY");
  return !x11.empty() && X11DisplayAnswers(x11);
}

TaskRunWindows::TaskRunWindows(bool notify, const std::string& title) {
  if (!notify || !QSystemTrayIcon::isSystemTrayAvailable()) return;
  // Quillon's own icon when start-up found it, else a stock one.
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon);
  tray_ = std::make_unique<QSystemTrayIcon>(icon);
  if (!title.empty() && title.size() <= 63) tray_->setToolTip(QString::fromStdString(title));
  tray_->show();
}

TaskRunWindows::~TaskRunWindows() = default;

QString TaskRunWindows::FramedLog(const std::string& log) {
  QString text = QString::fromUtf8(log.data(), static_cast<qsizetype>(log.size()));
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  const QString rule = QStringLiteral("=======================\r\n");
  return rule + text + rule;
}

TaskRunView TaskRunWindows::View() {
  TaskRunView view;
  view.showLog = [](const std::string& log) {
    InformationDialog dialog;
    dialog.Append(FramedLog(log));
    dialog.exec();
  };
  view.runWithProgress = [](CFTPMgr& manager) {
    TransferProgressDialog dialog(manager, false);
    dialog.Run();
  };
  return view;
}

}  // namespace quillon
