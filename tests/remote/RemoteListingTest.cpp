#include <gtest/gtest.h>

#include "remote/FtpError.h"
#include "remote/RemoteListing.h"

namespace quillon {
namespace {

using namespace std::chrono;

TimePoint Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return sys_days(year_month_day{year(y), month(static_cast<unsigned>(mo)),
                                 day(static_cast<unsigned>(d))}) +
         hours(h) + minutes(mi) + seconds(s);
}

struct ListCase {
  const char* server;
  std::string line;
  std::string name;
  bool folder;
  uint64_t size;
  TimePoint time;
};

// The listings' "now": 1 March 2024, so "Jan 05 12:00" is this year and "Dec 31" last year.
const TimePoint kNow = Utc(2024, 3, 1, 10, 0);

TEST(ListParsing, ReadsRealServerLines) {
  const ListCase cases[] = {
      {"vsftpd", "-rw-r--r--    1 1000     1000         1234 Jan 05 12:00 report.txt", "report.txt",
       false, 1234, Utc(2024, 1, 5, 12, 0)},
      {"vsftpd", "drwxr-xr-x    2 1000     1000         4096 Mar 01  2023 photos", "photos", true,
       0, Utc(2023, 3, 1)},
      {"vsftpd symlink",
       "lrwxrwxrwx    1 0        0              11 Feb 10 08:30 latest -> report.txt", "latest",
       false, 11, Utc(2024, 2, 10, 8, 30)},
      {"ProFTPD 5 GiB", "-rw-r--r--   1 ftpuser  ftpgroup  5368709120 Jun 15  2022 big image.iso",
       "big image.iso", false, 5368709120ULL, Utc(2022, 6, 15)},
      {"ProFTPD last year",
       "-rw-r--r--   1 ftpuser  ftpgroup        42 Dec 31 23:59 name  with  two  blanks",
       "name  with  two  blanks", false, 42, Utc(2023, 12, 31, 23, 59)},
      {"Pure-FTPd", "-rw-r--r--    1 1001       1001            17 Jul  4 09:05 notes.md",
       "notes.md", false, 17, Utc(2023, 7, 4, 9, 5)},
      {"Pure-FTPd hidden", "drwx------    3 1001       1001          4096 Nov 11  2021 .hidden dir",
       ".hidden dir", true, 0, Utc(2021, 11, 11)},
      {"no group column", "-rw-r--r--   1 owner   4294967296 Jan 05  2020 four-gib.bin",
       "four-gib.bin", false, 4294967296ULL, Utc(2020, 1, 5)},
      {"leading blank", "-rw-r--r--   1 u g 5 Jan 05  2020  leading", " leading", false, 5,
       Utc(2020, 1, 5)},
      {"ACL mark", "-rw-r--r--+  1 u g 10 Jan 05  2020 acl.txt", "acl.txt", false, 10,
       Utc(2020, 1, 5)},
      {"pyftpdlib", "-rw-r--r--   1 user     user           3 Feb 29 13:14 leap.txt", "leap.txt",
       false, 3, Utc(2024, 2, 29, 13, 14)},
      {"IIS folder", "01-05-24  12:00PM       <DIR>          Folder Name", "Folder Name", true, 0,
       Utc(2024, 1, 5, 12, 0)},
      {"IIS file", "11-30-23  03:04AM                 1234 file.txt", "file.txt", false, 1234,
       Utc(2023, 11, 30, 3, 4)},
      {"IIS 4-digit year", "02-29-2024  11:59PM        5368709120 big.bin", "big.bin", false,
       5368709120ULL, Utc(2024, 2, 29, 23, 59)},
      {"IIS 24-hour", "07-04-99  21:00                   37 old file.txt", "old file.txt", false,
       37, Utc(1999, 7, 4, 21, 0)},
      {"CRLF kept by caller", "-rw-r--r--    1 1000     1000         1 Jan 05 12:00 crlf.txt\r",
       "crlf.txt", false, 1, Utc(2024, 1, 5, 12, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.server) + ": " + c.line);
    auto entry = ParseListLine(c.line, kNow);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, c.name);
    EXPECT_EQ(entry->isFolder, c.folder);
    EXPECT_EQ(entry->size, c.size);
    EXPECT_EQ(entry->lastWrite, c.time);
  }
}

TEST(ListParsing, IgnoresLinesThatAreNoEntries) {
  for (std::string line :
       {"total 24", "", "garbage", "-rw-r--r-- 1 u g 12 Jan 05 12:00",
        "drwxr-xr-x 2 u g x Jan 05 12:00 nosize", "13-45-24  12:00PM <DIR> bad date"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(ParseListLine(line, kNow).has_value());
  }
}

TEST(MlsdParsing, ReadsFactsAndKeepsNamesWhole) {
  auto file =
      ParseMlsdLine("type=file;size=5368709120;modify=20240105120000;perm=radfwMT; big file.bin\r");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->name, "big file.bin");
  EXPECT_FALSE(file->isFolder);
  EXPECT_EQ(file->size, 5368709120ULL);
  EXPECT_EQ(file->lastWrite, Utc(2024, 1, 5, 12, 0));

  auto folder = ParseMlsdLine("type=dir;sizd=4096;modify=20231231235959;perm=flcdmpe; sub");
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->isFolder);
  EXPECT_EQ(folder->size, 0u);
  EXPECT_EQ(folder->lastWrite, Utc(2023, 12, 31, 23, 59, 59));

  auto link = ParseMlsdLine("type=OS.unix=slink:/etc;size=4;modify=20240101000000; link");
  ASSERT_TRUE(link);
  EXPECT_FALSE(link->isFolder);
  EXPECT_EQ(link->name, "link");

  auto mixedCase = ParseMlsdLine("Type=File;Size=10;Modify=20240105120000.123; semi;colon name");
  ASSERT_TRUE(mixedCase);
  EXPECT_EQ(mixedCase->name, "semi;colon name");
  EXPECT_EQ(mixedCase->size, 10u);

  EXPECT_FALSE(ParseMlsdLine("type=cdir;modify=20240101000000; /home"));
  EXPECT_FALSE(ParseMlsdLine("type=pdir;modify=20240101000000; .."));
  EXPECT_FALSE(ParseMlsdLine("size=3; no-type"));
  EXPECT_FALSE(ParseMlsdLine("type=file;size=3;"));
}

// A time point counts nanoseconds (years 1678 to 2261); servers list any year up to 9999, and
// such a file is listed at the nearest end rather than at a wrapped-around date.
TEST(ListParsing, DatesBeyondATimePointsRangeKeepTheirEntry) {
  const struct {
    std::string line;
    bool late;
  } cases[] = {
      {"type=file;size=1;modify=99991231235959; mlsd-late", true},
      {"type=file;size=1;modify=00010101000000; mlsd-early", false},
      {"-rw-r--r--   1 u g 5 Dec 31  9999 unix-late", true},
      {"-rw-r--r--   1 u g 5 Jan 01  1000 unix-early", false},
      {"12-31-9999  11:59PM   5 dos-late", true},
      {"01-01-1601  12:00AM   5 dos-early", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto entry =
        c.line.rfind("type=", 0) == 0 ? ParseMlsdLine(c.line) : ParseListLine(c.line, kNow);
    ASSERT_TRUE(entry.has_value());
    if (c.late)
      EXPECT_GT(entry->lastWrite, Utc(2261, 12, 31));
    else
      EXPECT_LT(entry->lastWrite, Utc(1678, 12, 31));
  }
}

TEST(RemoteNames, UnsafeNamesAndPaths) {
  for (std::string name :
       {std::string("."), std::string(".."), std::string("a/b"), std::string("a\0b", 3),
        std::string("a\rb"), std::string("a\nb"), std::string(), std::string("../e1"),
        std::string("/abs"), std::string("tab\there"), std::string("esc\x1b[31m"),
        std::string("del\x7f")}) {
    SCOPED_TRACE(PrintableName(name));
    EXPECT_FALSE(IsSafeRemoteName(name));
  }
  for (std::string name : {"ok", ".hidden", "..x", "a b", "x.."})
    EXPECT_TRUE(IsSafeRemoteName(name));

  EXPECT_TRUE(IsSafeRemotePath("/a b/c"));
  for (std::string path :
       {std::string(), std::string("/a\r\nDELE x"), std::string("/a\nb"), std::string("/a\0b", 4)})
    EXPECT_FALSE(IsSafeRemotePath(path));

  EXPECT_EQ(JoinRemotePath("/", "a"), "/a");
  EXPECT_EQ(JoinRemotePath("/x", "a"), "/x/a");
  EXPECT_EQ(JoinRemotePath("/x/", "a"), "/x/a");
  EXPECT_EQ(PrintableName(std::string("a\0b\x7f", 4)), "a\\x00b\\x7F");
}

TEST(ServerNumbers, SizeRepliesAreBoundedNumbersOrNothing) {
  struct Case {
    const char* line;
    std::optional<uint64_t> size;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"213 0", 0},
           {"213 1234", 1234},
           {"213  77 ", 77},
           {"213 18446744073709551615", UINT64_MAX},
           {"213 18446744073709551616", std::nullopt},  // one past the largest count
           {"213 123456789012345678901234567890", std::nullopt},
           {"213 -1", std::nullopt},
           {"213 12 bytes", std::nullopt},
           {"213 0x10", std::nullopt},
           {"213 ", std::nullopt},
           {"213", std::nullopt},
           {"550 1234", std::nullopt},
       }) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseSizeReply(c.line), c.size);
  }
}

TEST(FtpErrorText, ConnectionRefusalsAreToldApart) {
  struct Case {
    const char* text;
    ConnectRefusal refusal;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"The server refused the connection: 421 Too many connections from the same IP "
            "address.",
            ConnectRefusal::ServerBusy},
           {"The server refused the connection: 530 Sorry, the maximum number of clients (2) "
            "from your host are already connected.",
            ConnectRefusal::ServerBusy},
           {"Couldn't connect to server: connection refused by 127.0.0.1 port 21.",
            ConnectRefusal::NotListening},
           {"Access denied: 530 Login incorrect.", ConnectRefusal::None},
           {"Timeout was reached.", ConnectRefusal::None},
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ClassifyConnectFailure(c.text), c.refusal);
  }
  EXPECT_TRUE(NamesConnectionLimit("530 Too many users, try later"));
  EXPECT_TRUE(NamesConnectionLimit("530 Sorry, the Maximum Number of clients is reached"));
  EXPECT_FALSE(NamesConnectionLimit("530 Login incorrect."));
}

TEST(FtpErrorText, TrimsAppendsDotAndStaysOnOneLine) {
  EXPECT_EQ(FtpError(""), "Unknown error.");
  EXPECT_EQ(FtpError(" \r\n"), "Unknown error.");
  EXPECT_EQ(FtpError("Couldn't connect to server \r\n"), "Couldn't connect to server.");
  EXPECT_EQ(FtpError("550 first\r\n550 second"), "550 first  550 second.");
  std::string longMessage(2000, 'x');
  EXPECT_EQ(FtpError(longMessage), std::string(1024, 'x') + ".");
}

}  // namespace
}  // namespace quillon
