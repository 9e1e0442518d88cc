#pragma once

#include <cstdint>
#include <string>

#include "profiles/ConnectionProfile.h"

namespace quillon {

// The program-wide values a transfer batch depends on. MainApp fills one from its own state
// (switches, keys, warning level, backup-copies limit, current profile and the profile
// section's "BackupDir" and "MakeLower") when it makes a manager; tests fill it directly.
struct TransferSettings {
  ConnectionProfile profile;  // the current profile: connection data and the per-profile flags
  bool encrypt = false;       // encrypt mode: uploads become "QVR4" containers
  bool decrypt = false;       // decrypt mode: downloaded containers are decrypted
  std::string encryptionKey;  // the program-wide encryption key text
  std::string encryptionKeyName;
  std::string decryptionKey;  // the program-wide decryption key text
  std::string userId;         // written into the container's ID block
  int32_t warningLevel = 0;   // "SuppressWarningLevel": questions below 1, warnings below 3
  int32_t backupCopies = 4;   // "BackupCopies": time-stamped backups kept of one file
  std::string backupDir;      // "BackupDir" of the profile's section: move-after-upload folder
  bool makeLower = false;     // "MakeLower" = 1: upload names are made lower-case
  bool safeUploads = true;    // "SafeUploads" (program-wide, default 1): uploads go to a
                              // temporary name and are renamed into place when whole
  std::string trustFolder;    // the program folder: the trust files of secure connections
};

}  // namespace quillon
