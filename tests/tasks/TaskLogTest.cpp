#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"
#include "tasks/TaskLog.h"

namespace quillon {
namespace {

TEST(TaskLog, HoldsOnlyTheLatestRunAndStaysInTheProgramFolder) {
  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  {
    TaskLog first(folder, "Nightly");
    ASSERT_TRUE(first.IsOpen());
    first.Write("first run\n");
  }
  {
    TaskLog second(folder, "Nightly");
    second.Write("second run\n");
    EXPECT_EQ(second.ReadAll(), "second run\n");
  }
  EXPECT_EQ(TaskLog::PathFor(folder, "../../etc/x"), folder + ".._.._etc_x.log");
  TaskLog slashed(folder, "a/b");
  ASSERT_TRUE(slashed.IsOpen());
  EXPECT_TRUE(std::filesystem::exists(folder + "a_b.log"));
}

TEST(TaskLog, ASecondRunOfTheSameTaskLeavesTheLogAlone) {
  test::TempDir dir;
  std::string folder = dir.path().string() + "/";
  TaskLog running(folder, "Nightly");
  running.Write("in progress\n");
  TaskLog second(folder, "Nightly");
  EXPECT_EQ(second.state(), TaskLog::State::Busy);
  second.Write("must not appear\n");
  running.Write("still mine\n");
  EXPECT_EQ(running.ReadAll(), "in progress\nstill mine\n");
}

TEST(TaskLog, AnUncreatableLogSkipsEveryWrite) {
  test::TempDir dir;
  TaskLog log(dir.path().string() + "/missing-folder/", "T");
  EXPECT_EQ(log.state(), TaskLog::State::Unavailable);
  log.Write("dropped");
  EXPECT_EQ(log.ReadAll(), "");
}

}  // namespace
}  // namespace quillon
