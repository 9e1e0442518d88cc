#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

// The rules and texts of the key dialog, which asks the user for an encryption or decryption
// key. The window is crypto/ui/KeyDialog; everything it decides without a window is here.

// What the dialog asks for.
enum class KeyPurpose {
  Encryption = 0,           // a new encryption key: key name, key and confirmation
  Decryption = 1,           // a decryption key, no confirmation
  ConfirmedDecryption = 2,  // a decryption key typed twice
};

// The most bytes a key name takes (the key-name field of a container's ID block) and the most
// bytes of a key (the most a cipher key takes). Counted in UTF-8 bytes, so that what is typed
// is what reaches the container whole.
inline constexpr size_t kMaxKeyNameBytes = 15;
inline constexpr size_t kMaxKeyBytes = 32;

inline constexpr std::string_view kDefaultKeyName = "default";

namespace keytext {
inline constexpr std::string_view kEncryptionTitle = "Enter your encryption key...";
inline constexpr std::string_view kDecryptionTitle = "Enter the decryption key...";
inline constexpr std::string_view kDoNotForget = "Do not forget your encryption key!";
inline constexpr std::string_view kEnterDecryptionKey = "Please enter the decryption key.";
inline constexpr std::string_view kEnterValidKey = "Enter a valid key, or click cancel!";
inline constexpr std::string_view kKeysDiffer = "The keys you entered are different!";
inline constexpr std::string_view kRememberWarning =
    "Unless this is your private computer, this is not recommended.\t";
inline constexpr std::string_view kKeyNameHelp =
    "\nKey Name can be used later to remind you which key\t\t\nyou used to encrypt the files. "
    "So choose a name that\ncan help you remember the key.";
inline constexpr std::string_view kKeyHelp =
    "\nA key is similar to a password. It is used to encrypt your files.\t\nNobody will be able "
    "to open an encrypted file without knowing the key.\t\n\nAll files copied to Harbell are "
    "required to be encrypted.";
inline constexpr std::string_view kKeyNameLabel = "Key Name:";
inline constexpr std::string_view kKeyLabel = "Key:";
inline constexpr std::string_view kConfirmationLabel = "Re-enter the key:";
inline constexpr std::string_view kCaseSensitive = "(case-sensitive)";
inline constexpr std::string_view kRememberLabel = "Remember this key:";
}  // namespace keytext

// What a caller hands the dialog. For the decryption purposes the key name is not asked for
// and comes back empty. Presets longer than a field's limit are cut to it (FitToField).
struct KeyRequest {
  KeyPurpose purpose = KeyPurpose::Encryption;
  bool showRemember = false;  // show "Remember this key:"
  std::string keyName{kDefaultKeyName};
  std::string key;
  std::string confirmation;
  bool remember = false;  // the tick "Remember this key:" starts with
};

// What the dialog hands back on OK; the caller decides what to keep and store.
struct EnteredKey {
  std::string keyName;  // empty for the decryption purposes
  std::string key;      // never empty
  bool remember = false;

  bool operator==(const EnteredKey&) const = default;
};

// `text` cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string FitToField(std::string_view text, size_t maxBytes);

// How the dialog looks when it opens for `purpose`.
struct KeyDialogLook {
  std::string_view title;
  std::string_view messageLine;
  bool keyNameEnabled;  // false: the key name is emptied and disabled
  bool keyNameHelpVisible;
  bool confirmationEnabled;
};
KeyDialogLook LookFor(KeyPurpose purpose);

// The verdict on OK.
enum class KeyCheck {
  Accept,      // close with OK
  EmptyKey,    // message line kEnterValidKey, focus on the key, stay open
  KeysDiffer,  // message box kKeysDiffer, focus on the key, stay open
};
// An empty key is refused for every purpose; the decryption key (purpose 1) needs no
// confirmation; otherwise key and confirmation must be equal byte for byte (letter case counts).
[[nodiscard]] KeyCheck CheckKeyEntry(KeyPurpose purpose, std::string_view key,
                                     std::string_view confirmation);

// Whether ticking "Remember this key:" warns (kRememberWarning): only in the decryption dialog
// without confirmation.
bool WarnsOnRemember(KeyPurpose purpose);

}  // namespace quillon
