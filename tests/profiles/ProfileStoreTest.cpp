#include <gtest/gtest.h>

#include <functional>

#include "profiles/ConnectParameters.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

class ProfileStoreTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string ini = dir.file("Quillon.ini");

  // A locked profile in `slot` as an administrator's set-up writes it.
  void WriteLocked(int32_t slot, const std::string& address, const std::string& password,
                   const std::string& lock, const std::string& root) {
    ASSERT_TRUE(WriteText(slot, "Profile", "Locked site", ini));
    ASSERT_TRUE(WriteText(slot, "Address", "0.0.0.0", ini));
    ASSERT_TRUE(WriteProtected(slot, "Password", address + ":[QVR]:" + password, ini));
    ASSERT_TRUE(WriteProtected(slot, "UserName", "locked-user", ini));
    ASSERT_TRUE(WriteProtected(slot, "LockPassword", lock, ini));
    ASSERT_TRUE(WriteBound(slot, "RMTROOT", root, lock, ini));
  }
};

// What a connector gets of a stored profile: the server's real address and login, never the
// profile's keys or folders.
TEST_F(ProfileStoreTest, ConnectParametersCarryTheServerOfTheProfile) {
  WriteLocked(3, "ftp.hidden.org", "pw", "lockpw", "/jail");
  ASSERT_TRUE(WriteText(3, "Port", "2121", ini));
  ASSERT_TRUE(WriteText(3, "PASVMode", "1", ini));
  ASSERT_TRUE(WriteText(3, "Protocol", "sftp", ini));
  ASSERT_TRUE(WriteText(3, "PrivateKeyFile", "/home/u/.ssh/id_ed25519", ini));
  ConnectionProfile profile;
  ASSERT_TRUE(ReadProfile(3, profile, ini));

  const FtpConnectParameters server = ConnectParametersOf(profile);
  EXPECT_EQ(server.host, "ftp.hidden.org");  // not the "0.0.0.0" stored in the clear
  EXPECT_EQ(server.port, 2121);
  EXPECT_EQ(server.user, "locked-user");
  EXPECT_EQ(server.password, "pw");
  EXPECT_TRUE(server.passive);
  EXPECT_EQ(server.protocol, ServerProtocol::Sftp);
  EXPECT_EQ(server.privateKeyFile, "/home/u/.ssh/id_ed25519");
  EXPECT_EQ(server.privateKeyPassphrase, profile.privateKeyPassphrase);
}

TEST_F(ProfileStoreTest, ProtectedValuesRoundTripAndEmptyDeletesTheKey) {
  ASSERT_TRUE(WriteProtected(0, "Password", "s3cret", ini));
  const std::string stored = ReadText(0, "Password", ini);
  EXPECT_NE(stored.find('='), std::string::npos);
  EXPECT_EQ(stored.find("s3cret"), std::string::npos);
  EXPECT_EQ(ReadProtected(0, "Password", ini), "s3cret");

  ASSERT_TRUE(WriteProtected(0, "Password", "", ini));
  EXPECT_EQ(ini::Read(ini, "SESSION00", "Password"), std::nullopt);
  EXPECT_EQ(test::ReadFile(ini).find("Password"), std::string::npos);

  // Missing, empty and undecryptable values read as empty.
  EXPECT_EQ(ReadProtected(0, "Missing", ini), "");
  ASSERT_TRUE(WriteText(0, "Empty", "", ini));
  EXPECT_EQ(ReadProtected(0, "Empty", ini), "");
  ASSERT_TRUE(WriteText(0, "Plain", "not sealed at all", ini));
  EXPECT_EQ(ReadProtected(0, "Plain", ini), "");
}

TEST_F(ProfileStoreTest, ValuesTooLongToReadBackAreRefused) {
  // 364 characters still fit the 511 characters of a read once sealed; 365 do not.
  ASSERT_TRUE(WriteProtected(1, "Long", std::string(364, 'a'), ini));
  EXPECT_EQ(ReadProtected(1, "Long", ini), std::string(364, 'a'));
  EXPECT_FALSE(WriteProtected(1, "Long", std::string(365, 'b'), ini));
  EXPECT_EQ(ReadProtected(1, "Long", ini), std::string(364, 'a'));  // unchanged
  EXPECT_FALSE(WriteBound(1, "Bound", std::string(400, 'c'), "lock", ini));
  EXPECT_EQ(ini::Read(ini, "SESSION01", "Bound"), std::nullopt);
}

TEST_F(ProfileStoreTest, BoundValuesReadOnlyWithTheirBinding) {
  ASSERT_TRUE(WriteBound(2, "RMTROOT", "/home/site", "lockpw", ini));
  EXPECT_EQ(ReadBound(2, "RMTROOT", "lockpw", ini), "/home/site");
  EXPECT_EQ(ReadProtected(2, "RMTROOT", ini), "lockpw:[QVR]:/home/site");
  for (const char* other : {"LOCKPW", "lockp", "lockpw:", "", "lockpw2"}) {
    EXPECT_EQ(ReadBound(2, "RMTROOT", other, ini), "") << other;
  }
  ASSERT_TRUE(WriteBound(2, "RemoteDir", "", "lockpw", ini));  // an empty value is still written
  EXPECT_TRUE(ini::Read(ini, "SESSION02", "RemoteDir"));
  EXPECT_EQ(ReadBound(2, "RemoteDir", "lockpw", ini), "");
  // A protected value without the marker, or a value shorter than the prefix, is empty.
  ASSERT_TRUE(WriteProtected(2, "Plain", "lockpw", ini));
  EXPECT_EQ(ReadBound(2, "Plain", "lockpw", ini), "");
}

TEST_F(ProfileStoreTest, UnlockedProfileReadingRules) {
  ASSERT_TRUE(WriteText(3, "Profile", "Plain site", ini));
  ASSERT_TRUE(WriteText(3, "Address", "ftp.example.org", ini));
  ASSERT_TRUE(WriteText(3, "UserName", "alice", ini));
  ASSERT_TRUE(WriteProtected(3, "Password", "pw", ini));
  ASSERT_TRUE(WriteText(3, "SavePassword", "1", ini));
  ASSERT_TRUE(WriteText(3, "PASVMode", "2", ini));
  ASSERT_TRUE(WriteText(3, "BinaryMode", "0", ini));
  ASSERT_TRUE(WriteText(3, "DeleteAfterUpload", "1", ini));
  ASSERT_TRUE(WriteText(3, "DeleteAfterDownload", "2", ini));
  ASSERT_TRUE(WriteText(3, "RemoteDir", "/pub", ini));
  ASSERT_TRUE(WriteText(3, "LockPassword", "ignored", ini));
  ASSERT_TRUE(WriteProtected(3, "EncryptionKeyName", "name", ini));
  ASSERT_TRUE(WriteProtected(3, "EncryptionKey", "key", ini));
  ASSERT_TRUE(WriteProtected(3, "DecryptionKey", "dkey", ini));

  ConnectionProfile p;
  ASSERT_TRUE(ReadProfile(3, p, ini));
  EXPECT_EQ(p.slot, 3);
  EXPECT_EQ(p.name, "Plain site");
  EXPECT_EQ(p.address, "ftp.example.org");
  EXPECT_EQ(p.userName, "alice");
  EXPECT_EQ(p.password, "pw");
  EXPECT_FALSE(p.locked);
  EXPECT_EQ(p.remoteRoot, "/");
  EXPECT_EQ(p.remoteDir, "/pub");
  EXPECT_EQ(p.lockPassword, "");
  EXPECT_EQ(p.port, -1);        // missing
  EXPECT_EQ(p.threadCount, 3);  // missing
  EXPECT_TRUE(p.passiveMode);   // 2 counts: "> 0"
  EXPECT_FALSE(p.binaryMode);
  EXPECT_TRUE(p.deleteAfterUpload);
  EXPECT_FALSE(p.deleteAfterDownload);  // 2 does not: "= 1"
  EXPECT_EQ(p.encryptionKeyName, "name");
  EXPECT_EQ(p.encryptionKey, "key");
  EXPECT_EQ(p.decryptionKey, "dkey");
  EXPECT_FALSE(p.encryptionKeyBound);
  EXPECT_FALSE(p.decryptionKeyBound);

  // "SavePassword" decides whether the stored password is read.
  for (const char* save : {"0", "2", ""}) {
    ASSERT_TRUE(WriteText(3, "SavePassword", save, ini));
    ASSERT_TRUE(ReadProfile(3, p, ini));
    EXPECT_EQ(p.password, "") << save;
    EXPECT_FALSE(p.savePassword);
  }
  ASSERT_TRUE(WriteText(3, "MaxThread", "-4", ini));
  ASSERT_TRUE(WriteText(3, "Port", "2121", ini));
  ASSERT_TRUE(ReadProfile(3, p, ini));
  EXPECT_EQ(p.threadCount, 3);
  EXPECT_EQ(p.port, 2121);
}

TEST_F(ProfileStoreTest, LockedProfileCarriesAddressPasswordAndRoot) {
  WriteLocked(4, "ftp.hidden.org", "pw:[QVR]:with marker", "lockpw", "/jail");
  ConnectionProfile p;
  ASSERT_TRUE(ReadProfile(4, p, ini));
  EXPECT_TRUE(p.locked);
  EXPECT_EQ(p.address, "ftp.hidden.org");
  EXPECT_EQ(p.password, "pw:[QVR]:with marker");  // everything after the first marker
  EXPECT_EQ(p.userName, "locked-user");
  EXPECT_EQ(p.lockPassword, "lockpw");
  EXPECT_EQ(p.remoteRoot, "/jail");
  EXPECT_EQ(p.remoteDir, "/jail");  // no bound "RemoteDir": opens at the root
  EXPECT_FALSE(p.savePassword);

  ASSERT_TRUE(WriteBound(4, "RemoteDir", "/jail/in", "lockpw", ini));
  ASSERT_TRUE(ReadProfile(4, p, ini));
  EXPECT_EQ(p.remoteDir, "/jail/in");
  // A "RemoteDir" in plain text (or bound elsewhere) is not taken.
  ASSERT_TRUE(WriteText(4, "RemoteDir", "/elsewhere", ini));
  ASSERT_TRUE(ReadProfile(4, p, ini));
  EXPECT_EQ(p.remoteDir, "/jail");
}

TEST_F(ProfileStoreTest, LockedProfileKeysBoundOrProtected) {
  WriteLocked(5, "host", "pw", "lockpw", "/r");
  ASSERT_TRUE(WriteProtected(5, "EncryptionKeyName", "own name", ini));
  ASSERT_TRUE(WriteProtected(5, "EncryptionKey", "own key", ini));
  ASSERT_TRUE(WriteProtected(5, "DecryptionKey", "own dkey", ini));
  ConnectionProfile p;
  ASSERT_TRUE(ReadProfile(5, p, ini));
  EXPECT_EQ(p.encryptionKeyName, "own name");
  EXPECT_EQ(p.encryptionKey, "own key");
  EXPECT_EQ(p.decryptionKey, "own dkey");
  EXPECT_FALSE(p.encryptionKeyBound);
  EXPECT_FALSE(p.decryptionKeyBound);

  // Imposed keys: both name and key must be bound for the encryption key to count as bound.
  ASSERT_TRUE(WriteBound(5, "EncryptionKey", "imposed key", "lockpw", ini));
  ASSERT_TRUE(ReadProfile(5, p, ini));
  EXPECT_FALSE(p.encryptionKeyBound);
  // The bound key alone is not taken, nor read through the protected fallback.
  EXPECT_EQ(p.encryptionKey, "");
  EXPECT_EQ(p.encryptionKeyName, "own name");
  ASSERT_TRUE(WriteBound(5, "EncryptionKeyName", "imposed", "lockpw", ini));
  ASSERT_TRUE(WriteBound(5, "DecryptionKey", "imposed dkey", "lockpw", ini));
  ASSERT_TRUE(ReadProfile(5, p, ini));
  EXPECT_TRUE(p.encryptionKeyBound);
  EXPECT_TRUE(p.decryptionKeyBound);
  EXPECT_EQ(p.encryptionKeyName, "imposed");
  EXPECT_EQ(p.encryptionKey, "imposed key");
  EXPECT_EQ(p.decryptionKey, "imposed dkey");
}

TEST_F(ProfileStoreTest, ValuesCopiedFromAnotherProfileReadAsEmpty) {
  WriteLocked(6, "host6", "pw6", "lock-six", "/six");
  WriteLocked(7, "host7", "pw7", "lock-seven", "/seven");
  ASSERT_TRUE(WriteBound(6, "RemoteDir", "/six/dir", "lock-six", ini));
  ASSERT_TRUE(WriteBound(6, "DecryptionKey", "six key", "lock-six", ini));
  ASSERT_TRUE(WriteText(7, "RemoteDir", ReadText(6, "RemoteDir", ini), ini));
  ASSERT_TRUE(WriteText(7, "DecryptionKey", ReadText(6, "DecryptionKey", ini), ini));
  ConnectionProfile p;
  ASSERT_TRUE(ReadProfile(7, p, ini));
  EXPECT_EQ(p.remoteDir, "/seven");
  EXPECT_EQ(p.decryptionKey, "");

  // A root copied from another profile makes the profile unreadable.
  ASSERT_TRUE(WriteText(7, "RMTROOT", ReadText(6, "RMTROOT", ini), ini));
  EXPECT_FALSE(ReadProfile(7, p, ini));
}

TEST_F(ProfileStoreTest, FailuresOfReadProfile) {
  ConnectionProfile p;
  WriteLocked(8, "host", "pw", "lockpw", "/r");
  ASSERT_TRUE(ReadProfile(8, p, ini));
  EXPECT_FALSE(ReadProfile(-1, p, ini));
  EXPECT_FALSE(ReadProfile(20, p, ini));
  EXPECT_FALSE(ReadProfile(9, p, ini));  // free slot
  EXPECT_FALSE(ReadProfile(0, p, dir.file("missing.ini")));

  const struct {
    const char* what;
    std::function<void()> damage;
  } cases[] = {
      {"password without marker",
       [&] { ASSERT_TRUE(WriteProtected(8, "Password", "host pw", ini)); }},
      {"nothing before the marker",
       [&] { ASSERT_TRUE(WriteProtected(8, "Password", ":[QVR]:pw", ini)); }},
      {"password not sealed", [&] { ASSERT_TRUE(WriteText(8, "Password", "host:[QVR]:pw", ini)); }},
      {"no lock password", [&] { ASSERT_TRUE(WriteProtected(8, "LockPassword", "", ini)); }},
      {"root bound elsewhere", [&] { ASSERT_TRUE(WriteBound(8, "RMTROOT", "/r", "other", ini)); }},
      {"empty root", [&] { ASSERT_TRUE(WriteBound(8, "RMTROOT", "", "lockpw", ini)); }},
      {"root missing", [&] { ASSERT_TRUE(WriteText(8, "RMTROOT", std::nullopt, ini)); }},
  };
  for (const auto& c : cases) {
    WriteLocked(8, "host", "pw", "lockpw", "/r");
    c.damage();
    EXPECT_FALSE(ReadProfile(8, p, ini)) << c.what;
  }
}

TEST_F(ProfileStoreTest, SecureTransportKeys) {
  ConnectionProfile p;
  ASSERT_TRUE(WriteText(3, "Address", "sftp.example.com", ini));
  ASSERT_TRUE(ReadProfile(3, p, ini));
  EXPECT_EQ(p.protocol, ServerProtocol::Ftp);  // a profile without the keys is plain FTP
  EXPECT_EQ(p.privateKeyFile, "");
  EXPECT_EQ(p.privateKeyPassphrase, "");

  const struct {
    const char* stored;
    ServerProtocol expected;
  } names[] = {{"", ServerProtocol::Ftp},
               {"ftp", ServerProtocol::Ftp},
               {"ftpes", ServerProtocol::FtpExplicitTls},
               {"FTPS", ServerProtocol::FtpImplicitTls},
               {"Sftp", ServerProtocol::Sftp}};
  for (const auto& n : names) {
    ASSERT_TRUE(WriteText(3, "Protocol", n.stored, ini));
    ASSERT_TRUE(ReadProfile(3, p, ini)) << n.stored;
    EXPECT_EQ(p.protocol, n.expected) << n.stored;
  }

  ASSERT_TRUE(WriteText(3, "PrivateKeyFile", "/home/u/.ssh/id_ed25519", ini));
  ASSERT_TRUE(WriteProtected(3, "PrivateKeyPassphrase", "key phrase", ini));
  EXPECT_EQ(test::ReadFile(ini).find("key phrase"), std::string::npos);
  ASSERT_TRUE(ReadProfile(3, p, ini));
  EXPECT_EQ(p.privateKeyFile, "/home/u/.ssh/id_ed25519");
  EXPECT_EQ(p.privateKeyPassphrase, "key phrase");

  // The same keys in a locked profile.
  WriteLocked(4, "locked.example.com", "pw", "lockpw", "/r");
  ASSERT_TRUE(WriteText(4, "Protocol", "ftpes", ini));
  ASSERT_TRUE(ReadProfile(4, p, ini));
  EXPECT_EQ(p.protocol, ServerProtocol::FtpExplicitTls);
  EXPECT_EQ(p.address, "locked.example.com");

  // A protocol this build does not know never leaves an earlier profile's protocol behind.
  ASSERT_TRUE(WriteText(3, "Protocol", "sftp", ini));
  ASSERT_TRUE(ReadProfile(3, p, ini));
  ASSERT_TRUE(WriteText(4, "Protocol", "ftp+quic", ini));
  EXPECT_FALSE(ReadProfile(4, p, ini));
  EXPECT_EQ(p.protocol, ServerProtocol::Unknown);
}

TEST(ServerProtocolTest, NamesAndDefaultPorts) {
  for (const ServerProtocol protocol : {ServerProtocol::Ftp, ServerProtocol::FtpExplicitTls,
                                        ServerProtocol::FtpImplicitTls, ServerProtocol::Sftp})
    EXPECT_EQ(ProtocolFromName(ProtocolName(protocol)), protocol);
  EXPECT_EQ(ProtocolName(ServerProtocol::Unknown), "");
  EXPECT_FALSE(ProtocolFromName(""));
  EXPECT_FALSE(ProtocolFromName("ftp "));
  EXPECT_EQ(DefaultPort(ServerProtocol::Ftp), 21);
  EXPECT_EQ(DefaultPort(ServerProtocol::FtpExplicitTls), 21);
  EXPECT_EQ(DefaultPort(ServerProtocol::FtpImplicitTls), 990);
  EXPECT_EQ(DefaultPort(ServerProtocol::Sftp), 22);
}

}  // namespace
}  // namespace quillon
