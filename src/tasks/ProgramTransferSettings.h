#pragma once

#include <string>

#include "profiles/ProgramSettings.h"
#include "transfer/TransferSettings.h"

namespace quillon {

// What a transfer batch takes from the program: the current profile with its keys, the encrypt
// and decrypt switches, the warning level, the backup-copies limit, crash-safe uploads
// ("SafeUploads"), the user id of containers, and "BackupDir"/"MakeLower" of the profile's
// section in `iniFile` ("Quillon.ini" for the main window, the task store for a task run).
TransferSettings MakeTransferSettings(const ProgramSettings& program, const std::string& iniFile);

}  // namespace quillon
