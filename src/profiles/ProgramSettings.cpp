#include "profiles/ProgramSettings.h"

#include "profiles/IniFile.h"

namespace quillon {

ProgramSettings::ProgramSettings(std::string programFolder)
    : programFolder_(std::move(programFolder)) {
  if (!programFolder_.empty() && programFolder_.back() != '/') programFolder_ += '/';
}

void ProgramSettings::LoadStartupValues() {
  currentProfile = ConnectionProfile{};
  currentProfile.slot = -1;
  currentProfile.localDir.clear();
  currentProfile.remoteDir = "/";
  currentProfile.binaryMode = true;
  currentProfile.threadCount = 3;
  currentProfile.port = 21;
  currentProfile.deleteAfterDownload = false;
  currentProfile.deleteAfterUpload = false;
  currentProfile.backupRemoteFile = false;
  currentProfile.backupLocalFile = false;

  const int32_t copies = ReadProgramNumber(ProfileFile(), kBackupCopies);
  if (copies >= 1 && copies <= 255) backupCopies = copies;
  safeUploads = ReadProgramNumber(ProfileFile(), kSafeUploads) != 0;
}

void ProgramSettings::LoadWarningLevel() {
  warningLevel = ReadProgramNumber(ProfileFile(), kSuppressWarningLevel);
}

}  // namespace quillon
