#include <gtest/gtest.h>

#include <filesystem>

#include "app/ConnectRules.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

ConnectionProfile Unlocked() {
  ConnectionProfile p;
  p.slot = 4;
  p.name = "Office";
  p.address = "ftp.example.org";
  p.remoteDir = "";
  p.remoteRoot = "/";
  return p;
}

ConnectionProfile Locked() {
  ConnectionProfile p = Unlocked();
  p.locked = true;
  p.remoteRoot = "/jail";
  p.lockPassword = "lock";
  return p;
}

TEST(ConnectRules, NamesFoldersAndLinesOfAProfile) {
  ConnectionProfile open = Unlocked(), locked = Locked();
  EXPECT_EQ(DisplayName(open), "ftp.example.org");
  EXPECT_EQ(DisplayName(locked), "Office");
  EXPECT_EQ(StartFolder(open), "/");
  EXPECT_EQ(StartFolder(locked), "/jail");
  EXPECT_EQ(BrowsingLine(open, "/"), "Browsing remote folder: /");
  EXPECT_EQ(BrowsingLine(locked, "/jail"), "Browsing remote folder");
  locked.remoteDir = "/jail/in";
  EXPECT_EQ(StartFolder(locked), "/jail/in");
  EXPECT_EQ(ConnectedCaption(open), "Harbell: Connected to: Office");

  open.encryptionKey = "k";
  EXPECT_FALSE(EncryptModeFor(open)) << "a key without a name";
  open.encryptionKeyName = "n";
  EXPECT_TRUE(EncryptModeFor(open));
  EXPECT_FALSE(DecryptModeFor(open));
}

TEST(ConnectRules, SaveFoldersKeepsALockedFolderBoundAndOnlyWhenAsked) {
  test::TempDir dir;
  std::string file = dir.file("Quillon.ini");
  ConnectionProfile open = Unlocked();
  EXPECT_TRUE(SaveFolders(open, "/home/me", "", true, file));
  EXPECT_EQ(ReadText(4, "LocalDir", file), "/home/me");
  EXPECT_EQ(ReadText(4, "RemoteDir", file), "/") << "the root stands for an empty path";

  ConnectionProfile locked = Locked();
  locked.slot = 5;
  EXPECT_TRUE(SaveFolders(locked, "/tmp", "/jail/x", false, file));
  EXPECT_EQ(ReadText(5, "LocalDir", file), "/tmp");
  EXPECT_EQ(ReadText(5, "RemoteDir", file), "") << "not saved without the flag";
  EXPECT_TRUE(SaveFolders(locked, "/tmp", "/jail/x", true, file));
  EXPECT_EQ(ReadBound(5, "RemoteDir", "lock", file), "/jail/x");
  EXPECT_NE(ReadText(5, "RemoteDir", file), "/jail/x") << "never in clear";

  ConnectionProfile gone = Unlocked();
  gone.slot = -1;
  EXPECT_TRUE(SaveFolders(gone, "/nowhere", "/x", true, file));
  EXPECT_EQ(ini::SectionNames(file), (std::vector<std::string>{"SESSION04", "SESSION05"}));

  // A file that cannot be written is said.
  std::string blocked = dir.file("folder-in-the-way");
  std::filesystem::create_directory(blocked);
  EXPECT_FALSE(SaveFolders(open, "/home/me", "", true, blocked));
}

}  // namespace
}  // namespace quillon
