#include <gtest/gtest.h>

#include "app/FolderHistory.h"
#include "app/MainWindowLayout.h"

namespace quillon {
namespace {

TEST(FolderHistory, KeepsFifteenAndPushesAfterTheLastEntry) {
  FolderHistory history;
  for (int i = 1; i <= 16; ++i) history.Push("/f" + std::to_string(i));
  ASSERT_EQ(history.Entries().size(), 15u);
  EXPECT_EQ(history.Entries().front(), "/f2");
  std::string folder;
  int steps = 0;
  while (history.Back(folder)) ++steps;
  EXPECT_EQ(steps, 14);
  EXPECT_EQ(folder, "/f2");

  // Back, then a new folder: it goes after the last entry, not after the current one.
  FolderHistory short_;
  short_.Push("/a");
  short_.Push("/b");
  short_.Push("/c");
  ASSERT_TRUE(short_.Back(folder));
  EXPECT_EQ(folder, "/b");
  short_.Push("/d");
  EXPECT_EQ(short_.Entries(), (std::vector<std::string>{"/a", "/b", "/c", "/d"}));
  EXPECT_EQ(short_.Index(), 3);
  EXPECT_FALSE(short_.CanGoForward());
  EXPECT_FALSE(short_.Forward(folder));
  short_.Clear();
  EXPECT_FALSE(short_.CanGoBack());
  EXPECT_EQ(short_.Index(), -1);
}

TEST(MainWindowLayout, PlacesControlsForTheClientArea) {
  auto l = MainWindowLayout::For(640, 406);  // P = 272, Q = 324, M = 162, X = 284
  EXPECT_EQ(l.localCombo, (Rect{111, 8, 163, 22}));
  EXPECT_EQ(l.localList, (Rect{2, 34, 272, 324}));
  EXPECT_EQ(l.encrypt, (Rect{284, 145, 72, 16}));
  EXPECT_EQ(l.download, (Rect{284, 196, 72, 33}));
  EXPECT_EQ(l.remoteCombo, (Rect{475, 8, 163, 22}));
  EXPECT_EQ(l.remoteList, (Rect{366, 34, 272, 324}));
  EXPECT_EQ(l.exit, (Rect{284, 303, 72, 33}));
  EXPECT_EQ(l.activityLog, (Rect{2, 360, 636, 44}));
}

TEST(RepaintThreshold, RepaintsFrom21PixelsOn) {
  RepaintThreshold threshold;
  EXPECT_TRUE(threshold.Resized(640, 406));
  EXPECT_FALSE(threshold.Resized(660, 426));
  EXPECT_TRUE(threshold.Resized(661, 406));
  EXPECT_FALSE(threshold.Resized(641, 426));
  EXPECT_TRUE(threshold.Resized(661, 427));
}

}  // namespace
}  // namespace quillon
