#include "crypto/KeyEntry.h"

namespace quillon {

KeyDialogLook LookFor(KeyPurpose purpose) {
  if (purpose == KeyPurpose::Encryption)
    return {keytext::kEncryptionTitle, keytext::kDoNotForget, true, true, true};
  // A decryption key comes with the name the container carries, so none is asked for.
  return {keytext::kDecryptionTitle, keytext::kEnterDecryptionKey, false, false,
          purpose == KeyPurpose::ConfirmedDecryption};
}

KeyCheck CheckKeyEntry(KeyPurpose purpose, std::string_view key, std::string_view confirmation) {
  if (key.empty()) return KeyCheck::EmptyKey;
  if (purpose == KeyPurpose::Decryption) return KeyCheck::Accept;
  return key == confirmation ? KeyCheck::Accept : KeyCheck::KeysDiffer;
}

std::string FitToField(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the character that would be cut.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

bool WarnsOnRemember(KeyPurpose purpose) { return purpose == KeyPurpose::Decryption; }

}  // namespace quillon
