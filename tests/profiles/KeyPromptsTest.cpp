#include <gtest/gtest.h>

#include "profiles/IniFile.h"
#include "profiles/KeyPrompts.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

class KeyPromptsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");

  ConnectionProfile Read(int32_t slot) {
    ConnectionProfile profile;
    EXPECT_TRUE(ReadProfile(slot, profile, ini));
    return profile;
  }
  void WriteUnlocked(int32_t slot) {
    ASSERT_TRUE(WriteText(slot, "Profile", "Site", ini));
    ASSERT_TRUE(WriteText(slot, "Address", "ftp.example.org", ini));
  }
};

TEST_F(KeyPromptsTest, EncryptionKeyIsPresetAndRememberedOrForgotten) {
  WriteUnlocked(1);
  KeyRequest request = EncryptionKeyPrompt(Read(1), ini);
  EXPECT_EQ(request.purpose, KeyPurpose::Encryption);
  EXPECT_TRUE(request.showRemember);
  EXPECT_FALSE(request.remember);
  EXPECT_EQ(request.keyName, "default");
  EXPECT_EQ(request.key, "");

  ConnectionProfile profile = Read(1);
  ASSERT_TRUE(StoreEncryptionKey({"Payroll", "s3cret", true}, profile, ini));
  EXPECT_EQ(profile.encryptionKey, "s3cret");
  EXPECT_EQ(ReadText(1, "EncryptionKey", ini).find("s3cret"), std::string::npos);
  request = EncryptionKeyPrompt(Read(1), ini);
  EXPECT_EQ(request.keyName, "Payroll");
  EXPECT_EQ(request.key, "s3cret");
  EXPECT_EQ(request.confirmation, "s3cret");
  EXPECT_TRUE(request.remember);

  // Not remembered: the section keeps both keys as empty text; this session keeps the key.
  ASSERT_TRUE(StoreEncryptionKey({"Payroll", "n3w", false}, profile, ini));
  EXPECT_EQ(profile.encryptionKey, "n3w");
  EXPECT_EQ(ini::Read(ini, "SESSION01", "EncryptionKey"), "");
  EXPECT_EQ(ini::Read(ini, "SESSION01", "EncryptionKeyName"), "");
  EXPECT_FALSE(EncryptionKeyPrompt(Read(1), ini).remember);
}

TEST_F(KeyPromptsTest, DecryptionKeyLikewise) {
  WriteUnlocked(0);
  ConnectionProfile profile = Read(0);
  ASSERT_TRUE(StoreDecryptionKey({"", "d3c", true}, profile, ini));
  const KeyRequest request = DecryptionKeyPrompt(Read(0), ini);
  EXPECT_EQ(request.purpose, KeyPurpose::Decryption);
  EXPECT_TRUE(request.showRemember && request.remember);
  EXPECT_EQ(request.key, "d3c");
  ASSERT_TRUE(StoreDecryptionKey({"", "d3c", false}, profile, ini));
  EXPECT_EQ(ini::Read(ini, "SESSION00", "DecryptionKey"), "");
  EXPECT_EQ(Read(0).decryptionKey, "");
  EXPECT_EQ(profile.decryptionKey, "d3c");
}

TEST_F(KeyPromptsTest, AKeyImposedByALockedProfileIsNeitherShownNorOverwritten) {
  ASSERT_TRUE(WriteText(2, "Profile", "Locked", ini));
  ASSERT_TRUE(WriteText(2, "Address", "0.0.0.0", ini));
  ASSERT_TRUE(WriteProtected(2, "Password", "ftp.example.org:[QVR]:pw", ini));
  ASSERT_TRUE(WriteProtected(2, "LockPassword", "lock", ini));
  ASSERT_TRUE(WriteBound(2, "RMTROOT", "/site", "lock", ini));
  ASSERT_TRUE(WriteBound(2, "EncryptionKeyName", "Imposed", "lock", ini));
  ASSERT_TRUE(WriteBound(2, "EncryptionKey", "imposed-key", "lock", ini));
  ASSERT_TRUE(WriteBound(2, "DecryptionKey", "imposed-dec", "lock", ini));
  ConnectionProfile profile = Read(2);
  ASSERT_TRUE(profile.encryptionKeyBound && profile.decryptionKeyBound);

  const KeyRequest encryption = EncryptionKeyPrompt(profile, ini);
  EXPECT_EQ(encryption.keyName, "default");
  EXPECT_EQ(encryption.key + encryption.confirmation, "");
  EXPECT_EQ(DecryptionKeyPrompt(profile, ini).key, "");

  for (bool remember : {false, true}) {
    ASSERT_TRUE(StoreEncryptionKey({"Mine", "typed", remember}, profile, ini));
    ASSERT_TRUE(StoreDecryptionKey({"", "typed-dec", remember}, profile, ini));
    EXPECT_EQ(profile.encryptionKey, "typed");
    EXPECT_EQ(profile.decryptionKey, "typed-dec");
    const ConnectionProfile stored = Read(2);
    EXPECT_EQ(stored.encryptionKeyName, "Imposed");
    EXPECT_EQ(stored.encryptionKey, "imposed-key");
    EXPECT_EQ(stored.decryptionKey, "imposed-dec");
  }
}

}  // namespace
}  // namespace quillon
