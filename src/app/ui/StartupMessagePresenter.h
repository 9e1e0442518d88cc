#pragma once

#include <QApplication>
#include <memory>

#include "common/Messages.h"

namespace quillon {

// Where start-up tells why it refuses a task command line. Every text goes to stderr, the only
// trace of a run under cron or systemd (a mail, a journal line); with `boxes` on (a desktop
// answers and the line asked to notify, as launchers do) it also comes up in a message box,
// since a launcher has no terminal to show stderr in. The box needs a QApplication: the one
// that exists, else one made here from `argc`/`argv` on the first message. Main thread only.
class StartupMessagePresenter : public MessagePresenter {
 public:
  StartupMessagePresenter(int& argc, char** argv, bool boxes)
      : argc_(argc), argv_(argv), boxes_(boxes) {}

  MessageAnswer Show(std::string_view text, MessageButtons buttons, MessageIcon icon) override;

 private:
  int& argc_;
  char** argv_;
  bool boxes_;
  std::unique_ptr<QApplication> application_;
};

}  // namespace quillon
