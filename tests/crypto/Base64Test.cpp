#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crypto/Base64.h"

namespace quillon {
namespace {

std::string Decoded(std::string_view text) {
  const auto bytes = Base64Decode(text);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, EncodesWithOneExtraPaddingCharacter) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", "="},
      {"a", "YQ==="},
      {"ab", "YWI=="},
      {"abc", "YWJj="},
      {"abcd", "YWJjZA==="},
      {std::string("\xff\xfe\x00", 3), "//4A="},
      {"Man is", "TWFuIGlz="},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Encode(c.in), c.out) << c.in;
}

TEST(Base64, LengthIsFourPerGroupPlusOne) {
  for (size_t n = 0; n < 100; ++n) {
    const std::string text = Base64Encode(std::string(n, 'x'));
    EXPECT_EQ(text.size(), 4 * ((n + 2) / 3) + 1) << n;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  }
  const std::string text32 = Base64Encode(std::string(32, '\x5a'));
  EXPECT_EQ(text32.size(), 45u);
  EXPECT_EQ(text32.substr(43), "==");
}

TEST(Base64, DecodeStopsAtFirstEqualsAndSkipsForeignCharacters) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"YWJj=", "abc"},
      {"YW\r\nJj=", "abc"},
      {"Y W\tJ j\n=", "abc"},
      {"YWJj=YWJj", "abc"},  // nothing after the first "="
      {"YWJj", "abc"},       // no padding at all
      {"YQ===", "a"},
      {"YWI==", "ab"},
      {"YWJjZ", "abc"},  // a single leftover value is dropped
      {"=", ""},
      {"", ""},
      {"!!YW*Jj$$=", "abc"},
      {"//4A=", std::string("\xff\xfe\x00", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(Decoded(c.in), c.out) << c.in;
}

TEST(Base64, RoundTripsEveryLengthAndByte) {
  std::mt19937 random(7);
  for (size_t n = 0; n < 300; ++n) {
    std::string bytes(n, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    EXPECT_EQ(Decoded(Base64Encode(bytes)), bytes) << n;
  }
}

}  // namespace
}  // namespace quillon
