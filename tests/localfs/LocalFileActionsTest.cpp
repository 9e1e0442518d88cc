#include <gtest/gtest.h>

#include <filesystem>

#include "localfs/LocalFileActions.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(LocalFileActions, RenameNeverReplacesAndTakesOnlyPlainNames) {
  TempDir dir;
  std::string folder = dir.path().string();
  struct Case {
    std::string from;
    std::string to;
    RenameOutcome outcome;
  } cases[] = {
      {"a.txt", "b.txt", RenameOutcome::Renamed},   {"b.txt", "", RenameOutcome::Unchanged},
      {"b.txt", "b.txt", RenameOutcome::Unchanged}, {"b.txt", "taken", RenameOutcome::Failed},
      {"b.txt", "dangling", RenameOutcome::Failed},  // a link to nothing is a taken name too
      {"b.txt", "sub/x", RenameOutcome::Failed},    {"b.txt", "..", RenameOutcome::Failed},
      {"b.txt", ".", RenameOutcome::Failed},        {"gone", "other", RenameOutcome::Failed},
      {"b.txt", "B.TXT", RenameOutcome::Renamed},   {"dir", "new dir name", RenameOutcome::Renamed},
  };
  WriteFile(dir.file("a.txt"), "content");
  WriteFile(dir.file("taken"), "keep");
  fs::create_directories(dir.file("sub"));
  fs::create_directories(dir.file("dir"));
  fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  for (const auto& c : cases)
    EXPECT_EQ(RenameLocalItem(folder, c.from, c.to), c.outcome) << c.from << " -> " << c.to;
  EXPECT_EQ(ReadFile(dir.file("B.TXT")), "content");
  EXPECT_EQ(ReadFile(dir.file("taken")), "keep");
  EXPECT_TRUE(fs::is_directory(dir.file("new dir name")));
  EXPECT_FALSE(fs::exists(dir.file("sub/x")));
  EXPECT_EQ(RenameLocalItem(dir.file("missing-folder"), "a", "b"), RenameOutcome::Failed);
}

TEST(LocalFileActions, NewFolderTakesTheNextFreeName) {
  TempDir dir;
  std::string folder = dir.path().string();
  std::string error;
  WriteFile(dir.file("New Folder (2)"), "a file holds this name");
  for (auto expected : {"New Folder", "New Folder (3)", "New Folder (4)"}) {
    EXPECT_EQ(CreateNewFolder(folder, error), expected);
    EXPECT_TRUE(fs::is_directory(dir.file(expected)));
  }
  EXPECT_EQ(CreateNewFolder(dir.file("missing"), error), std::nullopt);
  EXPECT_EQ(error, "No such file or directory");
}

TEST(LocalFileActions, MessageTexts) {
  EXPECT_EQ(CannotRenameText("old name"), "Cannot rename \"old name\"");
  EXPECT_EQ(CannotTrashText("a", "Permission denied"),
            "Cannot move \"a\" to the trash: Permission denied");
  EXPECT_EQ(CannotCreateFolderText("New Folder", "Read-only file system"),
            "Cannot create folder \"New Folder\": Read-only file system");
  EXPECT_EQ(CannotOpenText("x.pdf"), "Cannot open \"x.pdf\"");
}

}  // namespace
}  // namespace quillon
