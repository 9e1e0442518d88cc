#include <gtest/gtest.h>

#include "transfer/BackupRules.h"
#include "transfer/TransferNames.h"

namespace quillon {
namespace {

TimePoint Stamped() { return FromLocalTime(2024, 3, 5, 14, 7, 9); }

TEST(BackupRules, StampIsLocalTimeWithUnderscores) {
  EXPECT_EQ(BackupStamp(Stamped()), "_2024_03_05_14_07_09");
  EXPECT_EQ(BackupStamp(FromLocalTime(1999, 12, 31, 23, 59, 58)), "_1999_12_31_23_59_58");
}

TEST(BackupRules, BackupNameGoesBeforeTheFirstDotOfTheName) {
  struct Case {
    const char* path;
    const char* backup;
  } cases[] = {
      {"/d/report.txt", "/d/report_2024_03_05_14_07_09.txt"},
      {"/d/archive.tar.gz", "/d/archive_2024_03_05_14_07_09.tar.gz"},
      {"/d/readme", "/d/readme_2024_03_05_14_07_09"},
      {"/docs.old/readme", "/docs.old/readme_2024_03_05_14_07_09"},  // dot only in the folder
      {"/d/x.", "/d/x_2024_03_05_14_07_09."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BackupPathFor(c.path, BackupStamp(Stamped())), c.backup) << c.path;
}

TEST(BackupRules, MovedUploadStampGoesBeforeTheLastDot) {
  std::string stamp = BackupStamp(Stamped());
  EXPECT_EQ(StampBeforeLastDot("b.txt", stamp), "b_2024_03_05_14_07_09.txt");
  EXPECT_EQ(StampBeforeLastDot("x.tar.gz", stamp), "x.tar_2024_03_05_14_07_09.gz");
  EXPECT_EQ(StampBeforeLastDot("readme", stamp), "readme_2024_03_05_14_07_09");
}

TEST(BackupRules, OnlyNamesOfTheExactStampShapeAreBackups) {
  BackupParts report = SplitBackupPath("/d/report.txt");
  struct Case {
    const char* name;
    bool backup;
  } cases[] = {
      {"report_2024_03_05_14_07_09.txt", true},
      {"report_1999_12_31_23_59_58.txt", true},
      {"report_final.txt", false},             // matches stem + "_*." + extension only
      {"report_2024_03_05_14_07.txt", false},  // stamp too short
      {"report_2024_03_05_14_07_09x.txt", false},
      {"report_2024-03-05_14_07_09.txt", false},
      {"report_2024_03_05_14_07_0a.txt", false},
      {"report_2024_03_05_14_07_09.txt.bak", false},
      {"Report_2024_03_05_14_07_09.txt", false},
      {"report.txt", false},
      {"report_2024_03_05_14_07_09", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsBackupName(c.name, report), c.backup) << c.name;

  BackupParts readme = SplitBackupPath("/d/readme");
  EXPECT_TRUE(IsBackupName("readme_2024_03_05_14_07_09", readme));
  EXPECT_FALSE(IsBackupName("readme_2024_03_05_14_07_09.txt", readme));
  EXPECT_FALSE(IsBackupName("readme_old", readme));
}

TEST(BackupRules, PruneTakesTheOldestOnlyWhenTheLimitIsReached) {
  using std::chrono::seconds;
  TimePoint t = Stamped();
  std::vector<BackupCandidate> three = {
      {"a_2024_03_05_14_07_09.txt", t},
      {"a_2024_03_04_14_07_09.txt", t - seconds(100)},
      {"a_2024_03_06_14_07_09.txt", t + seconds(100)},
  };
  EXPECT_EQ(BackupToPrune(three, 3), std::optional<size_t>(1));
  EXPECT_EQ(BackupToPrune(three, 4), std::nullopt);
  EXPECT_EQ(BackupToPrune({}, 1), std::nullopt);
  // Equal times: the earliest stamp goes.
  std::vector<BackupCandidate> ties = {{"a_2024_03_06_00_00_00.txt", t},
                                       {"a_2024_03_05_00_00_00.txt", t}};
  EXPECT_EQ(BackupToPrune(ties, 2), std::optional<size_t>(1));
}

TEST(TransferNames, PlainNamesAndRemoteJoins) {
  EXPECT_TRUE(IsPlainName("a.txt"));
  EXPECT_TRUE(IsPlainName("..a"));
  for (const char* bad : {"", ".", "..", "a/b", "/"}) EXPECT_FALSE(IsPlainName(bad)) << bad;
  EXPECT_FALSE(IsPlainName(std::string("a\0b", 3)));
  EXPECT_EQ(JoinRemote("/", "a"), "/a");
  EXPECT_EQ(JoinRemote("/up", "a"), "/up/a");
  EXPECT_EQ(JoinRemote("/up/", "a"), "/up/a");
  EXPECT_EQ(JoinRemote("", "a"), "/a");  // the server's top folder
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(TransferNames, TemporaryUploadNamesStayInTheFolderAndHideTheirKind) {
  EXPECT_EQ(TemporaryUploadPath("/in/a.txt.qvr", 0xab), "/in/.a.txt.qvr.quillon-0000000000ab");
  EXPECT_EQ(TemporaryUploadPath("/a", 0xfedcba9876543210ull), "/.a.quillon-ba9876543210");
  EXPECT_EQ(TemporaryUploadPath("rel", 1), ".rel.quillon-000000000001");
  // A long name is cut, so that the temporary name stays within 255 bytes.
  std::string longName(250, 'n');
  std::string path = TemporaryUploadPath("/in/" + longName, 7);
  EXPECT_EQ(path.size() - 4, 1 + 200 + 21u);
  EXPECT_EQ(path.rfind("/in/.", 0), 0u);
}

TEST(TransferNames, ShownPathsCannotStartALine) {
  EXPECT_EQ(ShownPath("/a/plain name.txt"), "/a/plain name.txt");
  EXPECT_EQ(ShownPath("z\nOK: payroll.xlsx"), "z\\x0AOK: payroll.xlsx");
  EXPECT_EQ(ShownPath("\r\t\x1b\x7f"), "\\x0D\\x09\\x1B\\x7F");
  // Shown twice is shown once: nothing of it is a control character any more.
  EXPECT_EQ(ShownPath(ShownPath("a\nb")), ShownPath("a\nb"));
}

}  // namespace
}  // namespace quillon
