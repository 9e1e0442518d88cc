#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "ftp/FtpReplies.h"

namespace quillon {
namespace {

// The replies a reader makes of `lines`, each given as libcurl hands them over.
std::vector<FtpReply> Read(const std::vector<const char*>& lines, size_t maxBytes = 65536) {
  ReplyReader reader(maxBytes);
  for (const char* line : lines) EXPECT_TRUE(reader.AddLine(line)) << line;
  return reader.Replies();
}

TEST(ReplyReader, FramesSingleAndMultiLineReplies) {
  struct Case {
    const char* what;
    std::vector<const char*> lines;
    std::vector<std::pair<int, std::string>> replies;
  };
  const std::vector<Case> cases = {
      {"one line", {"220 Welcome\r\n"}, {{220, "220 Welcome"}}},
      {"bare code", {"200\r\n"}, {{200, "200"}}},
      {"LF only", {"226 Done\n"}, {{226, "226 Done"}}},
      {"two replies",
       {"350 Ready\r\n", "250 Renamed\r\n"},
       {{350, "350 Ready"}, {250, "250 Renamed"}}},
      {"multi-line",
       {"211-Features:\r\n", " MLST type*;size*;\r\n", " SIZE\r\n", "211 End\r\n"},
       {{211, "211-Features:\n MLST type*;size*;\n SIZE\n211 End"}}},
      {"inner lines that look like other replies",
       {"230-Hello\r\n", "220 not the end\r\n", "230-still going\r\n", "230 Logged in\r\n"},
       {{230, "230-Hello\n220 not the end\n230-still going\n230 Logged in"}}},
      {"libcurl's made-up headers are no replies",
       {"Last-Modified: x\r\n", "Content-Length: 12\r\n", "213 12\r\n"},
       {{213, "213 12"}}},
      {"a code not followed by a blank or dash", {"200x\r\n", "2000\r\n", "20 short\r\n"}, {}},
      {"a multi-line reply that never ends", {"150-Opening\r\n", "more\r\n"}, {}},
      {"empty lines", {"\r\n", "\n", ""}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto replies = Read(c.lines);
    ASSERT_EQ(replies.size(), c.replies.size());
    for (size_t i = 0; i < replies.size(); ++i) {
      EXPECT_EQ(replies[i].code, c.replies[i].first);
      EXPECT_EQ(replies[i].text, c.replies[i].second);
    }
  }
}

TEST(ReplyReader, RefusesMoreTextThanItsLimitUntilCleared) {
  ReplyReader reader(32);
  EXPECT_TRUE(reader.AddLine("220-0123456789\r\n"));
  EXPECT_TRUE(reader.AddLine("220 0123456789\r\n"));  // 32 bytes in all: still taken
  EXPECT_FALSE(reader.AddLine("2"));
  EXPECT_FALSE(reader.AddLine(""));  // and nothing after it
  ASSERT_EQ(reader.Replies().size(), 1u);
  reader.Clear();
  EXPECT_TRUE(reader.Replies().empty());
  EXPECT_TRUE(reader.AddLine("200 OK\r\n"));
  ASSERT_EQ(reader.Replies().size(), 1u);
  EXPECT_EQ(reader.Replies()[0].code, 200);
}

TEST(ReplyReader, ClearDropsAHalfReadReply) {
  ReplyReader reader(1024);
  EXPECT_TRUE(reader.AddLine("211-Features:\r\n"));
  reader.Clear();
  EXPECT_TRUE(reader.AddLine("211 End\r\n"));
  ASSERT_EQ(reader.Replies().size(), 1u);
  EXPECT_EQ(reader.Replies()[0].text, "211 End");
}

TEST(FtpReply, FirstLineAndSuccess) {
  FtpReply multi{250, "250-First\n250 Second"};
  EXPECT_EQ(multi.FirstLine(), "250-First");
  EXPECT_TRUE(multi.IsSuccess());
  EXPECT_FALSE((FtpReply{199, "199 x"}).IsSuccess());
  EXPECT_FALSE((FtpReply{300, "300 x"}).IsSuccess());
  EXPECT_FALSE((FtpReply{550, "550 No"}).IsSuccess());
  EXPECT_EQ((FtpReply{}).FirstLine(), "");
}

TEST(PwdReply, FolderIsTheQuotedTextWithDoubledQuotes) {
  struct Case {
    FtpReply reply;
    std::optional<std::string> folder;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{257, "257 \"/home/user\" is the current directory"}, "/home/user"},
           {{257, "257 \"/\""}, "/"},
           {{257, "257 \"/a \"\"quoted\"\" name\" here"}, "/a \"quoted\" name"},
           {{257, "257 \"/with space/\""}, "/with space/"},
           {{257, "257-\"/first\"\n257 \"/second\""}, "/first"},  // the first line counts
           {{257, "257 \"\""}, std::nullopt},                     // empty: no usable path
           {{257, "257 \"/no end"}, std::nullopt},
           {{257, "257 /no quotes"}, std::nullopt},
           {{257, std::string("257 \"/a\0b\"", 11)}, std::nullopt},  // NUL inside
           {{257, "257 \"/a\rb\""}, std::nullopt},
           {{257, "257 \"/ends with a doubled quote\"\""}, std::nullopt},
           {{550, "550 \"/x\""}, std::nullopt},
       }) {
    SCOPED_TRACE(c.reply.text);
    EXPECT_EQ(ParsePwdReply(c.reply), c.folder);
  }
}

TEST(FeatReply, OffersMlsdWhenListed) {
  struct Case {
    const char* what;
    std::vector<FtpReply> replies;
    bool mlsd;
  };
  for (const Case& c : std::vector<Case>{
           {"MLST", {{211, "211-Features:\n MLST type*;size*;modify*;\n SIZE\n211 End"}}, true},
           {"MLSD alone", {{211, "211-Features:\n MLSD\n211 End"}}, true},
           {"lower case", {{211, "211-Features:\n mlst type*;\n211 End"}}, true},
           {"no leading blank", {{211, "211-Features:\nMLST size*;\n211 End"}}, true},
           {"only SIZE", {{211, "211-Features:\n SIZE\n UTF8\n211 End"}}, false},
           {"MLST in the first line is no feature", {{211, "211 MLST"}}, false},
           {"not a feature line", {{211, "211-Features:\n XMLST\n211 End"}}, false},
           {"FEAT unknown", {{500, "500 Unknown command"}}, false},
           {"no reply", {}, false},
       }) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ParseFeatReply(c.replies).mlsd, c.mlsd);
  }
}

TEST(CommandRefusal, TextNamesTheCommandAndTheReplyWithoutThePassword) {
  struct Case {
    const char* command;
    FtpReply reply;
    const char* password;
    const char* text;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"CWD /x", {550, "550 No such folder."}, "", "CWD /x: 550 No such folder."},
           {"DELE a", {550, "550-Denied ...  \n550 End"}, "", "DELE a: 550-Denied."},
           {"MKD s3cret", {550, "550 s3cret exists"}, "s3cret", "MKD ****: 550 **** exists."},
           {"RNTO b", {553, "553 Bad\tname\x01"}, "", "RNTO b: 553 Bad name."},
           {"SIZE f", {}, "", "SIZE f:."},
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CommandRefusalText(c.command, c.reply, c.password), c.text);
  }
  // A password that the length limit of the text would cut in half is masked whole first.
  for (size_t at = 1005; at < 1020; ++at) {
    SCOPED_TRACE(at);
    const FtpReply echo{530, "530 " + std::string(at, '.') + " s3cret-Pw and more"};
    const std::string text = CommandRefusalText("PASS", echo, "s3cret-Pw");
    EXPECT_EQ(text.find("s3c"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace quillon
