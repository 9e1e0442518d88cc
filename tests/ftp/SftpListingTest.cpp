// An SFTP folder's long and plain names read together: names with line breaks never pass for
// other files.
#include <gtest/gtest.h>

#include "ftp/SftpListing.h"

namespace quillon {
namespace {

const TimePoint kNow = FromLocalTime(2026, 12, 11, 10, 0, 0);

std::string Long(const std::string& name, const std::string& size = "5", char type = '-') {
  return std::string(1, type) + "rw-r--r--    1 root     root     " + size + " Dec 11 04:51 " +
         name + "\n";
}

std::vector<std::string> Names(const SftpListing& listing) {
  std::vector<std::string> names;
  for (const auto& e : listing.entries) names.push_back(e.name);
  return names;
}

TEST(SftpListing, TakesWhatBothReadsNameAlike) {
  std::string longNames = Long(".", "4096", 'd') + Long("..", "4096", 'd') + Long("a b.txt", "12") +
                          Long("sub", "4096", 'd') + Long("big", "5368709121") +
                          "lrwxrwxrwx    1 root     root        5 Dec 11 04:51 link -> a b.txt\n";
  auto listing = ReadSftpListing(longNames, ".\n..\na b.txt\nsub\nbig\nlink\n", "/srv", kNow);
  ASSERT_TRUE(listing);
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{"a b.txt", "sub", "big", "link"}));
  EXPECT_EQ(listing->entries[0].path, "/srv/a b.txt");
  EXPECT_EQ(listing->entries[0].size, 12u);
  EXPECT_TRUE(listing->entries[1].isFolder);
  EXPECT_EQ(listing->entries[2].size, 5368709121u);
  EXPECT_EQ(listing->entries[0].lastWrite, FromLocalTime(2026, 12, 11, 4, 51, 0));
  EXPECT_TRUE(listing->skipped.empty());
}

TEST(SftpListing, NamesWithLineBreaksAreSkippedWhole) {
  for (const std::string& name :
       {std::string("evil\nname.txt"), std::string("a\nb\nc"),
        "x\n" + Long("fake").substr(0, Long("fake").size() - 1),  // a second line that parses
        std::string("tail\n")}) {
    SCOPED_TRACE(name);
    // The real "evil" beside it keeps its place; the server sends each name as it is.
    std::string longNames = Long("evil", "13") + Long(name) + Long("after");
    std::string plainNames = "evil\n" + name + "\nafter\n";
    auto listing = ReadSftpListing(longNames, plainNames, "/", kNow);
    ASSERT_TRUE(listing);
    EXPECT_EQ(Names(*listing), (std::vector<std::string>{"evil", "after"}));
    EXPECT_EQ(listing->entries[0].size, 13u);
    ASSERT_EQ(listing->skipped.size(), 1u);
    EXPECT_EQ(listing->skipped[0], name);
  }
}

TEST(SftpListing, RefusesReadsThatDisagreeAndUnsafeNames) {
  EXPECT_FALSE(ReadSftpListing(Long("a") + Long("b"), "a\n", "/", kNow));
  auto listing = ReadSftpListing(Long("tab\there") + Long("ok"), "tab\there\nok\n", "/", kNow);
  ASSERT_TRUE(listing);
  EXPECT_EQ(Names(*listing), std::vector<std::string>{"ok"});
  EXPECT_EQ(listing->skipped, std::vector<std::string>{"tab\there"});
  auto empty = ReadSftpListing("", "", "/", kNow);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->entries.empty());
}

}  // namespace
}  // namespace quillon
