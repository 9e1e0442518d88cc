// The connection manager's rules: the profiles listed, and fields written in the forms every
// reader of "Quillon.ini" expects.
#include <gtest/gtest.h>

#include "profiles/ConnectionProfile.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileEditor.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

class ProfileEditorTest : public ::testing::Test {
 protected:
  ProfileFields Demo() {
    ProfileFields f;
    f.name = "Demo server";
    f.address = "ftp.example.org";
    f.port = 2121;
    f.userName = "demo";
    f.password = "demo-password";
    f.savePassword = true;
    f.passive = true;
    f.binary = false;
    f.threads = 4;
    f.localDir = "/home/demo/outbox";
    f.remoteDir = "/exchange";
    return f;
  }
  void Write(int slot, const ProfileFields& fields) {
    std::string error;
    ASSERT_TRUE(WriteProfileFields(slot, fields, ini, error)) << error;
  }

  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");
};

TEST_F(ProfileEditorTest, WritesTheKeysAndFormsEveryReaderExpects) {
  // Keys of the section that the manager does not edit stay as they are.
  ASSERT_TRUE(WriteText(3, "BackupDir", "/backups", ini));
  ASSERT_TRUE(WriteProtected(3, "EncryptionKey", "kept key", ini));
  Write(3, Demo());
  using Keys = std::vector<std::pair<std::string, std::string>>;
  Keys stored = ini::ReadSection(ini, "SESSION03").value();
  std::erase_if(
      stored, [](const auto& kv) { return kv.first == "Password" || kv.first == "EncryptionKey"; });
  EXPECT_EQ(stored, (Keys{{"BackupDir", "/backups"},
                          {"Profile", "Demo server"},
                          {"Address", "ftp.example.org"},
                          {"Port", "2121"},
                          {"UserName", "demo"},
                          {"SavePassword", "1"},
                          {"PASVMode", "1"},
                          {"BinaryMode", "0"},
                          {"MaxThread", "4"},
                          {"LocalDir", "/home/demo/outbox"},
                          {"RemoteDir", "/exchange"}}));
  EXPECT_EQ(ReadText(3, "Password", ini).find("demo-password"), std::string::npos);
  EXPECT_EQ(ReadProtected(3, "Password", ini), "demo-password");
  EXPECT_EQ(ReadProtected(3, "EncryptionKey", ini), "kept key");

  ConnectionProfile read;
  ASSERT_TRUE(ReadProfile(3, read, ini));
  EXPECT_EQ(read.address, "ftp.example.org");
  EXPECT_EQ(read.password, "demo-password");
  EXPECT_EQ(read.threadCount, 4);
  EXPECT_FALSE(read.binaryMode);
  EXPECT_EQ(ReadProfileFields(3, ini), Demo());

  // Without "Save password" the password leaves the file.
  ProfileFields unsaved = Demo();
  unsaved.savePassword = false;
  Write(3, unsaved);
  EXPECT_EQ(ini::Read(ini, "SESSION03", "Password"), std::nullopt);
  EXPECT_EQ(ReadText(3, "SavePassword", ini), "0");
  unsaved.password.clear();
  EXPECT_EQ(ReadProfileFields(3, ini), unsaved);
}

// The secure transports' keys: written only when they say something, so a plain FTP profile
// keeps exactly the keys it always had.
TEST_F(ProfileEditorTest, SecureProtocolsWriteTheirKeysAndPlainFtpLeavesThemOut) {
  ProfileFields sftp = Demo();
  sftp.protocol = ServerProtocol::Sftp;
  sftp.port = 22;
  sftp.privateKeyFile = "/home/demo/.ssh/id_ed25519";
  sftp.keyPassphrase = "key passphrase";
  Write(1, sftp);
  EXPECT_EQ(ReadText(1, "Protocol", ini), "sftp");
  EXPECT_EQ(ReadText(1, "PrivateKeyFile", ini), "/home/demo/.ssh/id_ed25519");
  EXPECT_EQ(ReadText(1, "PrivateKeyPassphrase", ini).find("key passphrase"), std::string::npos);
  ConnectionProfile read;
  ASSERT_TRUE(ReadProfile(1, read, ini));
  EXPECT_EQ(read.protocol, ServerProtocol::Sftp);
  EXPECT_EQ(read.privateKeyPassphrase, "key passphrase");
  EXPECT_EQ(ReadProfileFields(1, ini), sftp);

  ProfileFields tls = Demo();
  tls.protocol = ServerProtocol::FtpImplicitTls;
  Write(1, tls);
  EXPECT_EQ(ReadText(1, "Protocol", ini), "ftps");
  for (const char* gone : {"PrivateKeyFile", "PrivateKeyPassphrase"})
    EXPECT_EQ(ini::Read(ini, "SESSION01", gone), std::nullopt) << gone;

  Write(1, Demo());
  EXPECT_EQ(ini::Read(ini, "SESSION01", "Protocol"), std::nullopt);
  EXPECT_EQ(ReadProfileFields(1, ini), Demo());
}

TEST_F(ProfileEditorTest, RefusesWhatCannotBeStored) {
  struct Case {
    std::function<void(ProfileFields&)> change;
    std::string message;
  } cases[] = {
      {[](ProfileFields& f) { f.name.clear(); }, "Please enter a name for the connection."},
      {[](ProfileFields& f) { f.address.clear(); }, "Please enter the address of the server."},
      {[](ProfileFields& f) { f.address = "0.0.0.0"; },
       "The address \"0.0.0.0\" is not a host name or an IP address."},
      {[](ProfileFields& f) { f.address = "a host"; },
       "The address \"a host\" is not a host name or an IP address."},
      {[](ProfileFields& f) { f.port = 0; }, "The port must be a number from 1 to 65535."},
      {[](ProfileFields& f) { f.threads = 7; }, "The number of threads must be 1 to 6."},
      {[](ProfileFields& f) { f.userName = "a\nb"; }, "A setting may not hold a line break."},
      {[](ProfileFields& f) { f.password = std::string(400, 'p'); },
       "The password is too long to be stored."},
      {[](ProfileFields& f) { f.localDir = "relative"; },
       "The local folder must be an absolute path (starting with \"/\")."},
      {[](ProfileFields& f) { f.privateKeyFile = "/home/demo/.ssh/id_ed25519"; },
       "A private key file is used with SFTP only."},
      {[](ProfileFields& f) {
         f.protocol = ServerProtocol::Sftp;
         f.privateKeyFile = "id_ed25519";
       },
       "The private key file must be an absolute path (starting with \"/\")."},
      {[](ProfileFields& f) {
         f.protocol = ServerProtocol::Sftp;
         f.keyPassphrase = "secret";
       },
       "A passphrase needs a private key file."},
  };
  for (const auto& c : cases) {
    ProfileFields fields = Demo();
    c.change(fields);
    EXPECT_EQ(CheckProfileFields(fields), c.message);
    std::string error;
    EXPECT_FALSE(WriteProfileFields(0, fields, ini, error));
    EXPECT_EQ(error, c.message);
  }
  EXPECT_FALSE(HasAnyProfile(ini)) << "nothing was written";
}

TEST_F(ProfileEditorTest, ListsAddsDuplicatesAndDeletesAndNeverTouchesALockedProfile) {
  EXPECT_FALSE(HasAnyProfile(ini));
  EXPECT_EQ(FirstFreeSlot(ini), 0);
  Write(0, Demo());
  ProfileFields second = Demo();
  second.name = "Second";
  Write(2, second);
  // A locked profile, as quillon-tool profile lock leaves it.
  ASSERT_TRUE(WriteText(1, "Profile", "Locked", ini));
  ASSERT_TRUE(WriteText(1, "Address", "0.0.0.0", ini));
  ASSERT_TRUE(WriteProtected(1, "Password", "hidden.example.org:[QVR]:pw", ini));
  ASSERT_TRUE(WriteProtected(1, "LockPassword", "lock", ini));
  ASSERT_TRUE(WriteBound(1, "RMTROOT", "/jail", "lock", ini));
  ASSERT_TRUE(WriteText(4, "Profile", "Broken", ini));
  ASSERT_TRUE(WriteText(4, "Address", "0.0.0.0", ini));

  auto list = ListProfiles(ini);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[1].slot, 1);
  EXPECT_TRUE(list[1].locked);
  EXPECT_EQ(list[1].address, "") << "a locked profile hides its address";
  EXPECT_TRUE(list[1].readable);
  EXPECT_FALSE(list[3].readable);
  EXPECT_EQ(FirstFreeSlot(ini), 3);

  std::string error;
  EXPECT_FALSE(WriteProfileFields(1, Demo(), ini, error));
  EXPECT_EQ(error, "This connection is locked: its settings cannot be changed here.");
  ConnectionProfile locked;
  ASSERT_TRUE(ReadProfile(1, locked, ini));
  EXPECT_EQ(locked.address, "hidden.example.org");

  EXPECT_EQ(DuplicateProfile(2, ini), 3);
  EXPECT_EQ(ReadText(3, "Profile", ini), "Copy of Second");
  EXPECT_EQ(ReadProtected(3, "Password", ini), "demo-password");
  EXPECT_EQ(DuplicateProfile(7, ini), std::nullopt) << "a free slot holds nothing to copy";

  EXPECT_TRUE(DeleteProfile(0, ini));
  EXPECT_EQ(ini::Read(ini, "SESSION00", "Address"), std::nullopt);
  EXPECT_EQ(FirstFreeSlot(ini), 0);
  for (int slot = 0; slot < kProfileSlots; ++slot)
    if (ReadText(slot, "Address", ini).empty()) Write(slot, Demo());
  EXPECT_EQ(FirstFreeSlot(ini), std::nullopt);
  EXPECT_EQ(DuplicateProfile(2, ini), std::nullopt) << "twenty is the limit";
}

}  // namespace
}  // namespace quillon
