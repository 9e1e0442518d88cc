#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>
#include <cstring>

#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "tasks/ui/TaskRunWindows.h"

namespace quillon {
namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(TaskRunWindows, ADesktopCountsOnlyWhenItsDisplayAnswers) {
  test::TempDir dir;
  std::string socketPath = dir.file("wayland-test");
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);

  ScopedEnv noX("DISPLAY", ":987");  // no such display
  {
    ScopedEnv wayland("WAYLAND_DISPLAY", socketPath);
    EXPECT_TRUE(DesktopAvailable());
  }
  {
    ScopedEnv wayland("WAYLAND_DISPLAY", dir.file("gone"));
    EXPECT_FALSE(DesktopAvailable());
  }
  {
    ScopedEnv wayland("WAYLAND_DISPLAY", "");
    ScopedEnv forwarded("DISPLAY", "127.0.0.1:5987");  // nothing on port 11987
    EXPECT_FALSE(DesktopAvailable());
  }
  close(listener);
}

TEST(TaskRunWindows, TheLogWindowShowsTheFramedLog) {
  TaskRunWindows windows(false, "Harbell task [T] of [/x/QvrTask.ini]");
  TaskRunView view = windows.View();
  QString shown;
  test::WhenModalOpens([&](QWidget* modal) {
    shown = modal->findChild<QPlainTextEdit*>("text")->toPlainText();
    modal->findChild<QPushButton*>("close")->click();
  });
  view.showLog("Harbell task [T]\nStarted at: now\n");
  EXPECT_EQ(shown,
            "=======================\nHarbell task [T]\nStarted at: now\n"
            "=======================\n");
  EXPECT_EQ(TaskRunWindows::FramedLog("a\nb\n"),
            "=======================\r\na\r\nb\r\n=======================\r\n");
}

}  // namespace
}  // namespace quillon
