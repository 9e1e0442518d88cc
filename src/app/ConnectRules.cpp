#include "app/ConnectRules.h"

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

namespace quillon {

std::string ConnectedCaption(const ConnectionProfile& profile) {
  return "Harbell: Connected to: " + profile.name;
}

std::string DisplayName(const ConnectionProfile& profile) {
  return profile.locked ? profile.name : profile.address;
}

std::string StartFolder(const ConnectionProfile& profile) {
  if (!profile.remoteDir.empty()) return profile.remoteDir;
  if (profile.locked) return profile.remoteRoot;
  return "/";
}

std::string BrowsingLine(const ConnectionProfile& profile, const std::string& startFolder) {
  std::string line = "Browsing remote folder";
  if (!profile.locked) line += ": " + startFolder;
  return line;
}

bool EncryptModeFor(const ConnectionProfile& profile) {
  return !profile.encryptionKeyName.empty() && !profile.encryptionKey.empty();
}

bool DecryptModeFor(const ConnectionProfile& profile) { return !profile.decryptionKey.empty(); }

bool SaveFolders(const ConnectionProfile& profile, const std::string& localFolder,
                 const std::string& remotePath, bool save, const std::string& file) {
  if (profile.slot < 0 || profile.slot > 19) return true;
  bool written = WriteText(profile.slot, "LocalDir", localFolder, file);
  std::string remote = remotePath.empty() ? profile.remoteRoot : remotePath;
  if (!profile.locked)
    written = WriteText(profile.slot, "RemoteDir", remote, file) && written;
  else if (save)
    written = WriteBound(profile.slot, "RemoteDir", remote, profile.lockPassword, file) && written;
  return written;
}

}  // namespace quillon
