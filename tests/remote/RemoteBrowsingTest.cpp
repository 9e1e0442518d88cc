// The rules of the remote browser that need no window: folder texts, rows and their cells,
// sorting, the history and the folder combo's items.
#include <gtest/gtest.h>

#include "common/FolderHistory.h"
#include "remote/RemoteComboItems.h"
#include "remote/RemoteListItem.h"
#include "remote/RemotePaths.h"

namespace quillon {
namespace {

TEST(RemotePaths, FolderTexts) {
  struct Case {
    std::string folder;
    std::string normal;
    std::optional<std::string> parent;
    std::string base;
  } cases[] = {
      {"/", "/", "/", ""},
      {"", "/", "/", ""},
      {"//", "/", "/", ""},
      {"/pub", "/pub", "/", "pub"},
      {"/pub/", "/pub", "/", "pub"},
      {"/pub/docs//", "/pub/docs", "/pub", "docs"},
      {"/a/b/c", "/a/b/c", "/a/b", "c"},
      {"relative", "relative", std::nullopt, "relative"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormaliseRemoteFolder(c.folder), c.normal) << c.folder;
    EXPECT_EQ(RemoteParentFolder(c.folder), c.parent) << c.folder;
    EXPECT_EQ(RemoteBaseName(NormaliseRemoteFolder(c.folder)), c.base) << c.folder;
  }
  EXPECT_TRUE(SameRemoteFolder("/pub/", "/pub"));
  EXPECT_TRUE(SameRemoteFolder("", "/"));
  EXPECT_FALSE(SameRemoteFolder("/Pub", "/pub"));
}

TEST(RemotePaths, ConfinementToTheRoot) {
  struct Case {
    std::string folder;
    std::string root;
    bool within;
    std::string shown;
  } cases[] = {
      {"/", "/", true, "/"},
      {"/pub/docs", "/", true, "/pub/docs"},
      {"/home/ann", "/home/ann/", true, "/"},
      {"/home/ann/reports/", "/home/ann", true, "/reports"},
      {"/home/anne", "/home/ann", false, "/home/anne"},
      {"/home", "/home/ann", false, "/home"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWithinRemoteRoot(c.folder, c.root), c.within) << c.folder << " in " << c.root;
    EXPECT_EQ(FolderBelowRoot(c.folder, c.root), c.shown) << c.folder << " in " << c.root;
  }
}

TEST(RemotePaths, IconNamesComeFromTheFileNameAlone) {
  EXPECT_EQ(RemoteIconName("report.pdf"), "A.pdf");
  EXPECT_EQ(RemoteIconName("archive.tar.gz"), "A.gz");
  EXPECT_EQ(RemoteIconName("README"), "A");
  EXPECT_EQ(RemoteIconName(".profile"), "A.profile");
}

RemoteListItem File(std::string path, uint64_t size, TimePoint time = {}) {
  return {std::move(path), size, time, false};
}
RemoteListItem Folder(std::string path, uint64_t size = 0, TimePoint time = {}) {
  return {std::move(path), size, time, true};
}

TEST(RemoteListItem, Cells) {
  EXPECT_EQ(RemoteSizeText(File("/f", 0)), "0 KB");
  EXPECT_EQ(RemoteSizeText(File("/f", 1001)), "2 KB");
  EXPECT_EQ(RemoteSizeText(File("/f", 5'368'709'120ULL)), "5.4 GB");
  EXPECT_EQ(RemoteSizeText(Folder("/d", 0)), "");
  EXPECT_EQ(RemoteSizeText(Folder("/d", 4096)), "5 KB");
  // Times are shown as the server listed them, whatever this machine's time zone.
  EXPECT_EQ(RemoteTimeText(File("/f", 1)), "");
  const TimePoint listed = std::chrono::sys_days{std::chrono::year{2024} / 1 / 5} +
                           std::chrono::hours{15} + std::chrono::minutes{4};
  EXPECT_EQ(RemoteTimeText(File("/f", 1, listed)), "01/05/2024 03:04 PM");
}

TEST(RemoteListItem, RowsAreFoldersThenFilesInListingOrder) {
  std::vector<RemoteEntry> entries = {
      {"b.txt", "/x/b.txt", false, 5, {}}, {"zeta", "/x/zeta", true, 0, {}},
      {"a.txt", "/x/a.txt", false, 7, {}}, {"..", "/x/..", true, 0, {}},
      {"Alpha", "/x/Alpha", true, 0, {}},  {".", "/x/.", true, 0, {}},
  };
  auto rows = MakeRemoteListRows(entries, "/pub");
  std::vector<std::string> paths;
  for (const auto& row : rows) paths.push_back(row.path);
  EXPECT_EQ(paths,
            (std::vector<std::string>{"/pub/zeta", "/pub/Alpha", "/pub/b.txt", "/pub/a.txt"}));
  EXPECT_EQ(MakeRemoteListRows(entries, "/").front().path, "/zeta");
  EXPECT_EQ(rows[2].Name(), "b.txt");
  EXPECT_EQ(rows[2].size, 5u);
}

TEST(RemoteListItem, SortingKeepsFoldersInFront) {
  using V = std::vector<std::string>;
  std::vector<RemoteListItem> rows = {File("/b.TXT", 300), Folder("/Docs"), File("/A.txt", 20),
                                      Folder("/bin")};
  SortRemoteListItems(rows, FileColumn::Name, false);
  V names;
  for (const auto& row : rows) names.push_back(row.Name());
  EXPECT_EQ(names, (V{"Docs", "bin", "b.TXT", "A.txt"}));
  EXPECT_EQ(RowKey(rows[0]).name, "Docs");
}

std::vector<std::string> Folders(int from, int to) {
  std::vector<std::string> folders;
  for (int i = from; i <= to; ++i) folders.push_back("/f" + std::to_string(i));
  return folders;
}

TEST(FolderHistory, SixteenthVisitDropsTheFirst) {
  FolderHistory history;
  EXPECT_FALSE(history.Current());
  for (const auto& folder : Folders(1, 16)) history.Push(folder);
  EXPECT_EQ(history.entries(), Folders(2, 16));
  EXPECT_EQ(history.index(), 14);
  int steps = 0;
  while (history.Back()) ++steps;
  EXPECT_EQ(steps, 14);
  EXPECT_EQ(history.Current(), "/f2");
  EXPECT_FALSE(history.CanGoBack());
}

TEST(FolderHistory, BackTwiceThenVisitAppendsAfterTheLast) {
  FolderHistory history;
  for (const auto& folder : Folders(1, 4)) history.Push(folder);
  EXPECT_EQ(history.Back(), "/f3");
  EXPECT_EQ(history.Back(), "/f2");
  EXPECT_TRUE(history.CanGoForward());
  history.Push("/new");
  EXPECT_EQ(history.entries(), (std::vector<std::string>{"/f1", "/f2", "/f3", "/f4", "/new"}));
  EXPECT_EQ(history.Current(), "/new");
  EXPECT_FALSE(history.Forward());
  EXPECT_EQ(history.Back(), "/f4");
  EXPECT_EQ(history.Forward(), "/new");
  history.Clear();
  EXPECT_EQ(history.index(), -1);
  EXPECT_FALSE(history.Back());
}

std::vector<std::string> Shown(const RemoteComboItems& combo) {
  std::vector<std::string> shown;
  for (const auto& item : combo.items())
    shown.push_back(std::string(static_cast<size_t>(item.indent), '.') + item.text);
  return shown;
}

TEST(RemoteComboItems, RootAndItsSubfolders) {
  using V = std::vector<std::string>;
  RemoteComboItems combo;
  combo.Reset("/", {"pub", "incoming"});
  EXPECT_EQ(Shown(combo), (V{"/", ".pub", ".incoming"}));
  EXPECT_EQ(combo.selected(), 0u);
  EXPECT_EQ(combo.items()[1].path, "/pub");

  combo.Reset("/home/ann/", {"reports"});
  EXPECT_EQ(Shown(combo), (V{"ann", ".reports"}));
  EXPECT_EQ(combo.items()[0].path, "/home/ann");
  EXPECT_EQ(combo.items()[1].path, "/home/ann/reports");
}

TEST(RemoteComboItems, SelectingInsertsTheMissingLevels) {
  using V = std::vector<std::string>;
  struct Case {
    std::string root;
    std::string folder;
    V shown;
    size_t selected;
  } cases[] = {
      {"/", "/", V{"/", ".pub", ".incoming"}, 0},
      {"/", "", V{"/", ".pub", ".incoming"}, 0},
      {"/", "/incoming", V{"/", ".pub", ".incoming"}, 2},
      {"/", "/pub/docs/2024/", V{"/", ".pub", "..docs", "...2024", ".incoming"}, 3},
      {"/", "/new/deep", V{"/", ".new", "..deep", ".pub", ".incoming"}, 2},
      {"/srv", "/srv/pub/x", V{"srv", ".pub", "..x", ".incoming"}, 2},
      {"/srv", "/elsewhere", V{"srv", ".pub", ".incoming", "elsewhere"}, 3},
  };
  for (const auto& c : cases) {
    RemoteComboItems combo;
    combo.Reset(c.root, {"pub", "incoming"});
    EXPECT_EQ(combo.Select(c.folder), c.selected) << c.folder;
    EXPECT_EQ(Shown(combo), c.shown) << c.folder;
  }
  RemoteComboItems combo;
  combo.Reset("/", {});
  combo.Select("/a/b");
  combo.Select("/a/c");
  EXPECT_EQ(Shown(combo), (V{"/", ".a", "..c", "..b"}));
  EXPECT_EQ(combo.items()[2].path, "/a/c");
}

}  // namespace
}  // namespace quillon
