#include "tasks/ProgramTransferSettings.h"

#include "platform/UserName.h"
#include "profiles/IniFile.h"

namespace quillon {

TransferSettings MakeTransferSettings(const ProgramSettings& program, const std::string& iniFile) {
  const ConnectionProfile& profile = program.currentProfile;
  TransferSettings settings;
  settings.profile = profile;
  settings.encrypt = program.encryptMode != 0;
  settings.decrypt = program.decryptMode != 0;
  settings.encryptionKey = profile.encryptionKey;
  settings.encryptionKeyName = profile.encryptionKeyName;
  settings.decryptionKey = profile.decryptionKey;
  settings.userId = CurrentUserName();
  settings.warningLevel = program.warningLevel;
  settings.backupCopies = program.backupCopies;
  settings.backupDir = ReadText(profile.slot, "BackupDir", iniFile);
  settings.makeLower = ReadNumber(profile.slot, "MakeLower", iniFile) == 1;
  settings.safeUploads = program.safeUploads;
  settings.trustFolder = program.ProgramFolder();
  return settings;
}

}  // namespace quillon
