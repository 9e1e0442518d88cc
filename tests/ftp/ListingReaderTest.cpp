#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ftp/ListingReader.h"
#include "remote/RemoteListing.h"

namespace quillon {
namespace {

const TimePoint kNow =
    std::chrono::sys_days(std::chrono::year(2024) / 6 / 15) + std::chrono::hours(12);

std::vector<std::string> Names(const std::vector<RemoteEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(ListingReader, LinesAreTheSameHoweverTheBytesAreCut) {
  const std::string listing =
      "type=dir;modify=20240101000000; docs\r\n"
      "type=file;size=12;modify=20240105120000; a b.txt\r\n"
      "type=cdir; .\r\n"
      "type=file;size=3; last\r\n";
  for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, listing.size()}) {
    SCOPED_TRACE(piece);
    ListingReader reader(/*mlsd=*/true, "/in", kNow);
    for (size_t at = 0; at < listing.size(); at += piece)
      ASSERT_TRUE(reader.Add(std::string_view(listing).substr(at, piece)));
    ASSERT_TRUE(reader.Finish());
    auto entries = reader.TakeEntries();
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"docs", "a b.txt", "last"}));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].isFolder);
    EXPECT_EQ(entries[1].path, "/in/a b.txt");
    EXPECT_EQ(entries[1].size, 12u);
  }
}

// A server may end its last line without a line end; that entry is still one of the folder's.
TEST(ListingReader, TakesALastLineWithoutLineEnd) {
  ListingReader reader(/*mlsd=*/false, "/", kNow);
  ASSERT_TRUE(
      reader.Add("-rw-r--r-- 1 u g 5 Jan 02 2023 first\r\n"
                 "drwxr-xr-x 2 u g 0 Mar 01 10:00 second"));
  ASSERT_TRUE(reader.Finish());
  auto entries = reader.TakeEntries();
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(entries[1].path, "/second");
  EXPECT_TRUE(entries[1].isFolder);
}

TEST(ListingReader, UnsafeNamesAreSetAsideAndDotsDroppedQuietly) {
  ListingReader reader(/*mlsd=*/true, "/", kNow);
  ASSERT_TRUE(
      reader.Add("type=file;size=1; ok\r\n"
                 "type=file;size=1; ..\r\n"
                 "type=dir; .\r\n"
                 "type=file;size=1; bad\x1b[31m\r\n"
                 "type=file;size=1; a/b\r\n"
                 "not a listing line\r\n"));
  ASSERT_TRUE(reader.Finish());
  EXPECT_EQ(Names(reader.TakeEntries()), (std::vector<std::string>{"ok"}));
  EXPECT_EQ(reader.Dropped(), (std::vector<std::string>{"bad\x1b[31m", "a/b"}));
}

TEST(ListingReader, RefusesOverlongLinesWhetherInOnePieceOrMany) {
  const std::string longLine = "type=file;size=1; " + std::string(kMaxListingLine, 'x') + "\n";
  const std::string refusal =
      "A line of the server's listing is longer than " + std::to_string(kMaxListingLine) + " bytes";
  {
    ListingReader reader(true, "/", kNow);
    EXPECT_FALSE(reader.Add(longLine));
    EXPECT_EQ(reader.Refusal(), refusal);
    EXPECT_FALSE(reader.Add("type=file;size=1; after\n"));  // nothing after a refusal
    EXPECT_FALSE(reader.Finish());
  }
  {
    ListingReader reader(true, "/", kNow);
    bool refused = false;
    for (size_t at = 0; at < longLine.size() && !refused; at += 1000)
      refused = !reader.Add(std::string_view(longLine).substr(at, 1000));
    EXPECT_TRUE(refused);
    EXPECT_EQ(reader.Refusal(), refusal);
  }
  {
    // Exactly at the limit (CR included) is still a line.
    ListingReader reader(true, "/", kNow);
    std::string name(kMaxListingLine - std::string("type=file;size=1; \r").size(), 'y');
    ASSERT_TRUE(reader.Add("type=file;size=1; " + name + "\r\n"));
    ASSERT_TRUE(reader.Finish());
    EXPECT_EQ(reader.TakeEntries().size(), 1u);
  }
}

TEST(ListingReader, RefusesMoreLinesThanItsLimit) {
  ListingReader reader(false, "/", kNow);
  const std::string blank(kMaxListingEntries, '\n');
  ASSERT_TRUE(reader.Add(blank));
  EXPECT_TRUE(reader.Refusal().empty());
  EXPECT_FALSE(reader.Add("\n"));
  EXPECT_EQ(reader.Refusal(),
            "The server's listing has more than " + std::to_string(kMaxListingEntries) + " lines");
}

TEST(ListingReader, ALastUnendedLineCountsTowardsTheLimit) {
  ListingReader reader(false, "/", kNow);
  ASSERT_TRUE(
      reader.Add(std::string(kMaxListingEntries, '\n') + "-rw-r--r-- 1 u g 5 Jan 02 2023 x"));
  EXPECT_FALSE(reader.Finish());
  EXPECT_FALSE(reader.Refusal().empty());
}

}  // namespace
}  // namespace quillon
