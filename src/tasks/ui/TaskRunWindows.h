#pragma once

#include <QSystemTrayIcon>
#include <memory>
#include <string>

#include "tasks/TaskRun.h"

namespace quillon {

// The windows of a task run on a desktop: a notification-area icon while a notified run works
// (its tip is the task title when that fits in 63 characters), the progress window for
// "-ShowWin", and the "Information" window with the log at the end. Needs a QApplication.
class TaskRunWindows {
 public:
  TaskRunWindows(bool notify, const std::string& title);
  ~TaskRunWindows();

  TaskRunView View();

  // The log framed as the end of a notified run shows it, with CR LF line ends.
  static QString FramedLog(const std::string& log);

 private:
  std::unique_ptr<QSystemTrayIcon> tray_;
};

// True when a desktop can show windows: the Wayland or X11 display that the environment names
// answers.
bool DesktopAvailable();

}  // namespace quillon
