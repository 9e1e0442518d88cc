#include "localfs/DirListing.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "localfs/LocalMenu.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

TEST(DirListing, SizeAndDateTexts) {
  struct Case {
    uint64_t size;
    std::string text;
  } sizes[] = {
      {0, ""},          {1, "1 KB"},         {999, "1 KB"},
      {1000, "1 KB"},   {1001, "2 KB"},      {1'000'000, "1000 KB"},
      {5'000'000'001ULL, "5000001 KB"},  // beyond 32 bits
  };
  for (const auto& c : sizes) EXPECT_EQ(SizeText(c.size), c.text) << c.size;

  EXPECT_EQ(DateText(TimePoint{}), "");
  EXPECT_EQ(DateText(FromLocalTime(2024, 3, 9, 14, 5, 59)), "03/09/2024 02:05 PM");
  EXPECT_EQ(DateText(FromLocalTime(2001, 12, 31, 0, 7, 0)), "12/31/2001 12:07 AM");
}

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

TEST(DirListing, SortsByEachColumnInBothDirections) {
  std::vector<LocalEntry> entries = {
      File("b.txt", 300, 5), Folder("Zeta", 2),      File("A.txt", 10, 9),  FolderLink("link", 7),
      File("c.txt", 300, 1), Folder("alpha", 8),     File("a.txt", 2000, 3),
  };
  struct Case {
    DirColumn column;
    bool ascending;
    std::vector<std::string> order;
  } cases[] = {
      {DirColumn::Name, true, {"alpha", "link", "Zeta", "A.txt", "a.txt", "b.txt", "c.txt"}},
      {DirColumn::Name, false, {"Zeta", "link", "alpha", "c.txt", "b.txt", "a.txt", "A.txt"}},
      // Files by size (equal sizes by name), folders by name.
      {DirColumn::Size, true, {"alpha", "link", "Zeta", "A.txt", "b.txt", "c.txt", "a.txt"}},
      {DirColumn::Size, false, {"Zeta", "link", "alpha", "a.txt", "c.txt", "b.txt", "A.txt"}},
      // By date, folders and files mixed.
      {DirColumn::Date, true, {"c.txt", "Zeta", "a.txt", "b.txt", "link", "alpha", "A.txt"}},
      {DirColumn::Date, false, {"A.txt", "alpha", "link", "b.txt", "a.txt", "Zeta", "c.txt"}},
  };
  for (const auto& c : cases) {
    auto sorted = entries;
    SortDirEntries(sorted, {c.column, c.ascending});
    EXPECT_EQ(Names(sorted), c.order) << static_cast<int>(c.column) << " " << c.ascending;
  }
}

TEST(DirListing, HeaderClicksToggleTheSameColumnAndStartAnotherAscending) {
  DirSortState sort;  // a shown folder starts by name, ascending
  struct Step {
    DirColumn clicked;
    DirColumn column;
    bool ascending;
  } steps[] = {
      {DirColumn::Name, DirColumn::Name, false}, {DirColumn::Name, DirColumn::Name, true},
      {DirColumn::Size, DirColumn::Size, true},  {DirColumn::Size, DirColumn::Size, false},
      {DirColumn::Date, DirColumn::Date, true},  {DirColumn::Name, DirColumn::Name, true},
  };
  for (const auto& s : steps) {
    sort.Click(s.clicked);
    EXPECT_EQ(sort.column, s.column);
    EXPECT_EQ(sort.ascending, s.ascending);
  }
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
  EXPECT_FALSE(ListShownEntries(dir.file("missing")));
  EXPECT_FALSE(ListShownEntries(dir.file("a.txt")));
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
