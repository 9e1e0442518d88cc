#include <gtest/gtest.h>

#include "app/MainWindowLayout.h"

namespace quillon {
namespace {

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
