#pragma once

#include <string>

#include "crypto/KeyEntry.h"
#include "profiles/ConnectionProfile.h"

namespace quillon {

// The main window's key prompts over the connected profile: what the key dialog
// (crypto/ui/KeyDialog) is filled with, and what its answer changes in the profile and its
// section of `profileFile` ("Quillon.ini").

// The encryption key dialog (purpose 0, with "Remember this key:"): the profile's key name (the
// dialog's "default" while it has none) and key (key and confirmation), unless the profile fixes
// its encryption key (a locked profile with its own key), which is not shown; remember starts
// ticked when the section stores a non-empty "EncryptionKey".
KeyRequest EncryptionKeyPrompt(const ConnectionProfile& profile, const std::string& profileFile);

// On OK: the profile takes the key name and key. Remembered: both are written in protected
// form; otherwise "EncryptionKey" and "EncryptionKeyName" become empty text. A profile that
// fixes its key keeps its stored values, and a slot outside 0..19 writes nothing. False when a
// write fails.
[[nodiscard]] bool StoreEncryptionKey(const EnteredKey& entered, ConnectionProfile& profile,
                                      const std::string& profileFile);

// The same for the decryption key (purpose 1, with "Remember this key:") and "DecryptionKey".
KeyRequest DecryptionKeyPrompt(const ConnectionProfile& profile, const std::string& profileFile);
[[nodiscard]] bool StoreDecryptionKey(const EnteredKey& entered, ConnectionProfile& profile,
                                      const std::string& profileFile);

}  // namespace quillon
