#include <gtest/gtest.h>

#include <filesystem>

#include "localfs/DirListing.h"
#include "localfs/LocalMenu.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

LocalEntry Folder(const std::string& name, int day = 1) {
  LocalEntry e;
  e.name = name;
  e.isFolder = true;
  e.lastWrite = FromLocalTime(2024, 1, day, 12, 0, 0);
  return e;
}
LocalEntry File(const std::string& name, uint64_t size, int day = 1) {
  LocalEntry e;
  e.name = name;
  e.isFile = true;
  e.size = size;
  e.lastWrite = FromLocalTime(2024, 1, day, 12, 0, 0);
  return e;
}
LocalEntry FolderLink(const std::string& name, int day = 1) {
  LocalEntry e = Folder(name, day);
  e.isFolder = false;
  e.isLink = e.linkToFolder = true;
  return e;
}

std::vector<std::string> Names(const std::vector<LocalEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(DirListing, RowsOfEntries) {
  // Links to folders sort and show as folders; an empty file has no size text.
  std::vector<LocalEntry> entries = {File("b.txt", 300), FolderLink("link"), File("a", 0),
                                     Folder("Zeta")};
  SortDirEntries(entries, FileColumn::Name, true);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"link", "Zeta", "a", "b.txt"}));
  EXPECT_TRUE(RowKey(entries[0]).folder);
  EXPECT_EQ(LocalSizeText(entries[2]), "");
  EXPECT_EQ(LocalSizeText(entries[3]), "1 KB");
}

TEST(DirListing, ListsWhatTheFolderHoldsWithoutHiddenItems) {
  TempDir dir;
  fs::create_directories(dir.file("b-folder"));
  fs::create_directories(dir.file(".hidden-folder"));
  WriteFile(dir.file("a.txt"), "x");
  WriteFile(dir.file(".profile"), "x");
  fs::create_directory_symlink(dir.file("b-folder"), dir.file("c-link"));
  auto entries = ListShownEntries(dir.path().string());
  ASSERT_TRUE(entries);
  EXPECT_EQ(Names(*entries), (std::vector<std::string>{"b-folder", "c-link", "a.txt"}));
  EXPECT_TRUE(IsShownAsFolder((*entries)[1]));
  EXPECT_FALSE((*entries)[1].isFolder);  // still a link to every other part
  EXPECT_EQ((*entries)[2].path, dir.file("a.txt"));
  std::string why;
  EXPECT_FALSE(ListShownEntries(dir.file("missing"), &why));
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_FALSE(ListShownEntries(dir.file("a.txt"), &why));
  EXPECT_EQ(why, "Not a directory");
}

TEST(LocalMenu, EntriesFollowTheSelection) {
  auto Texts = [](const std::vector<LocalEntry>& selection) {
    std::vector<std::string> texts;
    for (const auto& e : LocalMenuEntries(selection))
      texts.push_back((e.separatorBefore ? "|" : "") + e.text);
    return texts;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(Texts({}), (V{"New Folder", "Refresh"}));
  EXPECT_EQ(Texts({File("a", 1)}), (V{"&Open", "|&Delete", "Rename"}));
  EXPECT_EQ(Texts({Folder("f"), File("a", 1)}), (V{"&Open", "E&xplore", "|&Delete", "Rename"}));
  EXPECT_EQ(Texts({FolderLink("l")}), (V{"&Open", "E&xplore", "|&Delete", "Rename"}));
  EXPECT_EQ(Texts({File("a", 1), Folder("f")}), (V{"&Open", "|&Delete", "Rename"}));
}

}  // namespace
}  // namespace quillon
