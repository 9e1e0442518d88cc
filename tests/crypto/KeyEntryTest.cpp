#include <gtest/gtest.h>

#include "crypto/KeyEntry.h"

namespace quillon {
namespace {

TEST(KeyEntry, CheckOnOk) {
  const struct {
    KeyPurpose purpose;
    std::string key;
    std::string confirmation;
    KeyCheck expected;
  } cases[] = {
      {KeyPurpose::Encryption, "", "", KeyCheck::EmptyKey},
      {KeyPurpose::Encryption, "Secret", "Secret", KeyCheck::Accept},
      {KeyPurpose::Encryption, "Secret", "secret", KeyCheck::KeysDiffer},
      {KeyPurpose::Encryption, "Secret", "", KeyCheck::KeysDiffer},
      {KeyPurpose::Encryption, "Secret ", "Secret", KeyCheck::KeysDiffer},
      {KeyPurpose::Decryption, "", "", KeyCheck::EmptyKey},
      {KeyPurpose::Decryption, "anything", "", KeyCheck::Accept},
      {KeyPurpose::Decryption, "anything", "other", KeyCheck::Accept},
      {KeyPurpose::ConfirmedDecryption, "", "", KeyCheck::EmptyKey},
      {KeyPurpose::ConfirmedDecryption, "Key", "key", KeyCheck::KeysDiffer},
      {KeyPurpose::ConfirmedDecryption, "Key", "Key", KeyCheck::Accept},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckKeyEntry(c.purpose, c.key, c.confirmation), c.expected)
        << static_cast<int>(c.purpose) << " [" << c.key << "] [" << c.confirmation << "]";
}

TEST(KeyEntry, LookPerPurpose) {
  const KeyDialogLook encryption = LookFor(KeyPurpose::Encryption);
  EXPECT_EQ(encryption.title, "Enter your encryption key...");
  EXPECT_EQ(encryption.messageLine, "Do not forget your encryption key!");
  EXPECT_TRUE(encryption.keyNameEnabled && encryption.keyNameHelpVisible &&
              encryption.confirmationEnabled);
  for (KeyPurpose purpose : {KeyPurpose::Decryption, KeyPurpose::ConfirmedDecryption}) {
    const KeyDialogLook look = LookFor(purpose);
    EXPECT_EQ(look.title, "Enter the decryption key...");
    EXPECT_EQ(look.messageLine, "Please enter the decryption key.");
    EXPECT_FALSE(look.keyNameEnabled || look.keyNameHelpVisible);
    EXPECT_EQ(look.confirmationEnabled, purpose == KeyPurpose::ConfirmedDecryption);
  }
  EXPECT_FALSE(WarnsOnRemember(KeyPurpose::Encryption));
  EXPECT_TRUE(WarnsOnRemember(KeyPurpose::Decryption));
  EXPECT_FALSE(WarnsOnRemember(KeyPurpose::ConfirmedDecryption));
}

TEST(KeyEntry, FitToFieldNeverSplitsACharacter) {
  const struct {
    std::string text;
    size_t max;
    std::string expected;
  } cases[] = {
      {"default", 15, "default"},
      {std::string(16, 'n'), 15, std::string(15, 'n')},
      {"", 15, ""},
      {"aaaaaaaaaaaaaa\xC3\xA9", 15, "aaaaaaaaaaaaaa"},  // é would need bytes 15 and 16
      {"aaaaaaaaaaaaa\xC3\xA9x", 15, "aaaaaaaaaaaaa\xC3\xA9"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC"},  // two euro signs, 3 bytes each
      {"\xF0\x9F\x94\x91", 3, ""},                      // a 4-byte character does not fit
  };
  for (const auto& c : cases) EXPECT_EQ(FitToField(c.text, c.max), c.expected) << c.text;
}

}  // namespace
}  // namespace quillon
