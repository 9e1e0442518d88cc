#pragma once

#include <cstdint>
#include <string>

#include "profiles/ConnectionProfile.h"

namespace quillon {

// The program-wide settings of one process: where its files are, the profile it works with, the
// encrypt and decrypt switches, the warning level and the backup-copies limit. Start-up fills
// them; the main window or the task run changes them on the start-up thread; a transfer batch
// takes a copy (MakeTransferSettings), so lanes never read them.
class ProgramSettings {
 public:
  // `programFolder` gets a trailing "/" when it has none.
  explicit ProgramSettings(std::string programFolder);

  const std::string& ProgramFolder() const { return programFolder_; }
  std::string ProfileFile() const { return programFolder_ + "Quillon.ini"; }  // "Quillon.ini"
  std::string TaskFile() const { return programFolder_ + "QvrTask.ini"; }     // "QvrTask.ini"

  // Start-up: the defaults of the current profile before anything is loaded (slot -1, "/" as
  // the remote folder, binary, three lanes, port 21, nothing deleted or backed up) and
  // "BackupCopies" of "Quillon.ini" when it is 1 to 255 (else the built-in 4 stays), and
  // "SafeUploads".
  void LoadStartupValues();
  // Interactive start-up: "SuppressWarningLevel" as stored (default 2); a task run keeps 0.
  void LoadWarningLevel();

  ConnectionProfile currentProfile;
  int32_t encryptMode = 0;   // uploads are encrypted
  int32_t decryptMode = 0;   // downloaded containers are decrypted
  int32_t warningLevel = 0;  // questions below 1, warnings below 3
  int32_t backupCopies = 4;  // time-stamped backups kept of one file
  bool safeUploads = true;   // "SafeUploads": uploads go to a temporary name, renamed when whole

 private:
  std::string programFolder_;
};

}  // namespace quillon
