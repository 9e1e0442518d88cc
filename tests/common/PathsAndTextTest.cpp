// Path parts, letter-case rules, percent-encoding and shell quoting, as tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "common/Paths.h"
#include "common/Text.h"

namespace quillon {
namespace {

TEST(Paths, JoinBaseNameAndFolder) {
  struct Case {
    std::string_view path;
    std::string_view baseName;
    std::string_view folder;
  } cases[] = {
      {"/a/b", "b", "/a"}, {"/a", "a", "/"},      {"a", "a", "."},
      {"a/b", "b", "a"},   {"/a/b/", "", "/a/b"}, {"/", "", "/"},
      {"", "", "."},       {"//a", "a", "/"},     {"/a b/c d", "c d", "/a b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BaseNameOf(c.path), c.baseName) << c.path;
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
  }
  struct Join {
    std::string_view folder;
    std::string_view name;
    std::string_view joined;
  } joins[] = {
      {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"},  {"/", "b", "/b"},
      {"", "b", "b"},      {"a", "b/c", "a/b/c"}, {"/a", "", "/a/"},
  };
  for (const Join& j : joins) EXPECT_EQ(JoinPath(j.folder, j.name), j.joined) << j.folder;
  struct Trim {
    std::string_view path;
    std::string_view trimmed;
  } trims[] = {{"/a/b//", "/a/b"}, {"/a", "/a"}, {"///", "/"}, {"/", "/"}, {"", ""}, {"a/", "a"}};
  for (const Trim& t : trims) EXPECT_EQ(WithoutTrailingSlashes(t.path), t.trimmed) << t.path;
}

TEST(Text, LetterCaseOfTheCLocaleOnly) {
  struct Case {
    std::string_view a;
    std::string_view b;
    bool equal;
  } cases[] = {
      {"Quillon", "qUILLON", true},
      {"SESSION00", "session00", true},
      {"", "", true},
      {"a", "ab", false},
      {"[", "{", false},                // 0x5B and 0x7B differ by the case bit
      {"\xC3\x89", "\xC3\xA9", false},  // UTF-8 letters keep their case
      {"@", "`", false},
  };
  for (const Case& c : cases) EXPECT_EQ(EqualsIgnoringCase(c.a, c.b), c.equal) << c.a;
  EXPECT_TRUE(StartsWithIgnoringCase("SHA256:abc", "sha256:"));
  EXPECT_FALSE(StartsWithIgnoringCase("SHA", "sha256:"));
  EXPECT_TRUE(EndsWithIgnoringCase("report.QVR", ".qvr"));
  EXPECT_FALSE(EndsWithIgnoringCase("qvr", ".qvr"));
  EXPECT_EQ(LowerCased("MiXeD 123 \xC3\x89"), "mixed 123 \xC3\x89");
}

TEST(Text, PercentEncoding) {
  struct Case {
    std::string_view text;
    std::string_view alsoKept;
    std::string_view encoded;
  } cases[] = {
      {"a-b_c.d~e", "", "a-b_c.d~e"},
      {"/home/u/two words", "/", "/home/u/two%20words"},
      {"/home/u", "", "%2Fhome%2Fu"},
      {"100%?#&=+", "", "100%25%3F%23%26%3D%2B"},
      {"\xC3\xA9t\xC3\xA9", "", "%C3%A9t%C3%A9"},
      {std::string_view("nul\0\n\x7F", 6), "", "nul%00%0A%7F"},
      {"", "/", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentEncode(c.text, c.alsoKept), c.encoded) << c.text;
}

TEST(Text, SplitLines) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("one"), Lines{"one"});
  EXPECT_EQ(SplitLines("one\r\ntwo\n"), (Lines{"one", "two"}));
  EXPECT_EQ(SplitLines("\n\nlast"), (Lines{"", "", "last"}));
  EXPECT_EQ(SplitLines("a\rb\r\r\n"), (Lines{"a\rb\r"}));
}

TEST(Text, DigitsAtReadsExactlyTheDigitsAsked) {
  struct Case {
    std::string_view text;
    size_t at, count;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"2026-12-11", 0, 4, 2026},     {"2026-12-11", 5, 2, 12},
      {"2026-12-11", 8, 2, 11},       {"09:05", 3, 2, 5},
      {"+1", 0, 2, std::nullopt},     {"-1", 0, 2, std::nullopt},
      {" 1", 0, 2, std::nullopt},     {"1", 0, 2, std::nullopt},
      {"12", 3, 1, std::nullopt},     {"12", 2, 1, std::nullopt},
      {"12", 0, 0, std::nullopt},     {"9999999999", 0, 10, std::nullopt},
      {"999999999", 0, 9, 999999999},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DigitsAt(c.text, c.at, c.count), c.expected) << c.text << " at " << c.at;
  }
}

TEST(Text, LeadingNumberReadsAsScanfDoesWithinRange) {
  const std::pair<std::string_view, std::optional<int>> cases[] = {
      {"5", 5},
      {"05 rest", 5},
      {"  -12x", -12},
      {"+7", 7},
      {"\t3", 3},
      {"", std::nullopt},
      {"x1", std::nullopt},
      {"-", std::nullopt},
      {"+ 1", std::nullopt},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(LeadingNumber(text), expected) << text;
}

// What /bin/sh makes of `word` as the argument of printf %s.
std::string ReadBackBySh(const std::string& word) {
  FILE* pipe = popen(("printf %s " + word).c_str(), "r");
  if (!pipe) return "(sh did not start)";
  std::string out;
  char buffer[256];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST(Text, SingleQuotedIsOneWordForSh) {
  struct Case {
    std::string_view text;
    std::string_view quoted;
  } cases[] = {
      {"", "''"},
      {"plain", "'plain'"},
      {"two  spaces ", "'two  spaces '"},
      {"it's", R"('it'\''s')"},
      {"''", R"(''\'''\''')"},
      {"line\nbreak\r\n", "'line\nbreak\r\n'"},
      {R"($HOME `id` \ "*" ; & 100%)", R"('$HOME `id` \ "*" ; & 100%')"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SingleQuoted(c.text), c.quoted) << c.text;
    EXPECT_EQ(ReadBackBySh(SingleQuoted(c.text)), c.text) << c.text;
  }
}

}  // namespace
}  // namespace quillon
