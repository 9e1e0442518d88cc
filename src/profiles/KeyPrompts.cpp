#include "profiles/KeyPrompts.h"

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

namespace quillon {
namespace {

bool IsSlot(int32_t slot) { return slot >= 0 && slot < 20; }

bool StoresKey(const ConnectionProfile& profile, std::string_view key, const std::string& file) {
  return IsSlot(profile.slot) && !ReadText(profile.slot, key, file).empty();
}

}  // namespace

KeyRequest EncryptionKeyPrompt(const ConnectionProfile& profile, const std::string& profileFile) {
  KeyRequest request;
  request.purpose = KeyPurpose::Encryption;
  request.showRemember = true;
  if (!profile.encryptionKeyBound) {
    if (!profile.encryptionKeyName.empty()) request.keyName = profile.encryptionKeyName;
    request.key = profile.encryptionKey;
    request.confirmation = profile.encryptionKey;
  }
  request.remember = StoresKey(profile, "EncryptionKey", profileFile);
  return request;
}

bool StoreEncryptionKey(const EnteredKey& entered, ConnectionProfile& profile,
                        const std::string& profileFile) {
  profile.encryptionKeyName = entered.keyName;
  profile.encryptionKey = entered.key;
  // A key imposed by a locked profile stays in the file, whatever is typed for this session.
  if (profile.encryptionKeyBound || !IsSlot(profile.slot)) return true;
  const int32_t slot = profile.slot;
  if (entered.remember) {
    const bool key = WriteProtected(slot, "EncryptionKey", entered.key, profileFile);
    return WriteProtected(slot, "EncryptionKeyName", entered.keyName, profileFile) && key;
  }
  const bool key = WriteText(slot, "EncryptionKey", "", profileFile);
  return WriteText(slot, "EncryptionKeyName", "", profileFile) && key;
}

KeyRequest DecryptionKeyPrompt(const ConnectionProfile& profile, const std::string& profileFile) {
  KeyRequest request;
  request.purpose = KeyPurpose::Decryption;
  request.showRemember = true;
  if (!profile.decryptionKeyBound) request.key = profile.decryptionKey;
  request.remember = StoresKey(profile, "DecryptionKey", profileFile);
  return request;
}

bool StoreDecryptionKey(const EnteredKey& entered, ConnectionProfile& profile,
                        const std::string& profileFile) {
  profile.decryptionKey = entered.key;
  if (profile.decryptionKeyBound || !IsSlot(profile.slot)) return true;
  if (entered.remember)
    return WriteProtected(profile.slot, "DecryptionKey", entered.key, profileFile);
  return WriteText(profile.slot, "DecryptionKey", "", profileFile);
}

}  // namespace quillon
