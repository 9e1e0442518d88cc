#include "app/AppTransfers.h"

#include "platform/UserName.h"
#include "profiles/IniFile.h"

namespace quillon {

TransferSettings MakeTransferSettings(const MainApp& app, const std::string& iniFile) {
  const ConnectionProfile& profile = app.currentProfile;
  TransferSettings settings;
  settings.profile = profile;
  settings.encrypt = app.encryptMode != 0;
  settings.decrypt = app.decryptMode != 0;
  settings.encryptionKey = profile.encryptionKey;
  settings.encryptionKeyName = profile.encryptionKeyName;
  settings.decryptionKey = profile.decryptionKey;
  settings.userId = CurrentUserName();
  settings.warningLevel = app.warningLevel;
  settings.backupCopies = app.backupCopies;
  settings.backupDir = ReadText(profile.slot, "BackupDir", iniFile);
  settings.makeLower = ReadNumber(profile.slot, "MakeLower", iniFile) == 1;
  settings.safeUploads = app.safeUploads;
  return settings;
}

}  // namespace quillon
