#pragma once

#include <cstdint>
#include <string>

#include "common/Messages.h"
#include "profiles/ProgramSettings.h"
#include "remote/FtpConnection.h"

namespace quillon {

// What start-up hands to the unattended task run.
struct TaskHandOver {
  std::string storePath;
  int32_t slot = -1;
  bool notify = false;
  bool showWindow = false;
  std::string taskName;  // the section's "Profile"
};

// What a task run takes from the program: the settings it fills with the task's profile and
// switches, the connector that opens its FTP connections, and where its messages go.
struct TaskRunContext {
  ProgramSettings& settings;
  FtpConnector& connector;
  MessagePresenter& messages;
};

}  // namespace quillon
