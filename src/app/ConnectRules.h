#pragma once

#include <string>

#include "profiles/ConnectionProfile.h"

namespace quillon {

// The decisions of connecting and disconnecting that need no window.

inline constexpr const char* kCaptionNeverConnected = "Harbell (Not connected)";
inline constexpr const char* kCaptionDisconnected = "Harbell: (Not connected)";
std::string ConnectedCaption(const ConnectionProfile& profile);  // "Harbell: Connected to: <name>"

// A locked profile hides its address: its name stands for it.
std::string DisplayName(const ConnectionProfile& profile);

// The folder to open after connecting: "RemoteDir", else a locked profile's root, else "/".
std::string StartFolder(const ConnectionProfile& profile);

// "Browsing remote folder", with ": " and the folder for an unlocked profile only.
std::string BrowsingLine(const ConnectionProfile& profile, const std::string& startFolder);

// Encrypt mode is on when the profile has both a key name and a key; decrypt mode with a
// decryption key.
bool EncryptModeFor(const ConnectionProfile& profile);
bool DecryptModeFor(const ConnectionProfile& profile);

// Saves the last folders of a connected profile into its section of `file` (slots 0..19 only):
// "LocalDir" plain; "RemoteDir" (the remote path, or the root when it is empty) plain for an
// unlocked profile, and for a locked one only with `save`, bound to its lock password. False
// when a key cannot be written.
[[nodiscard]] bool SaveFolders(const ConnectionProfile& profile, const std::string& localFolder,
                               const std::string& remotePath, bool save, const std::string& file);

}  // namespace quillon
