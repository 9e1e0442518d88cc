#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "common/LockedTextFile.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(LockedTextFileTest, ReadsMissingAsEmptyAndFoldersAsUnreadable) {
  TempDir dir;
  EXPECT_EQ(ReadTextFile(dir.file("missing")), "");
  EXPECT_FALSE(ReadTextFile(dir.path().string()));
  EXPECT_FALSE(EditTextFile(dir.path().string(), [](std::string&) { return true; }));
}

TEST(LockedTextFileTest, EditsInPlaceKeepingModeAndLinks) {
  TempDir dir;
  const std::string file = dir.file("trust");
  // An edit that declines writes nothing, not even an empty file.
  EXPECT_TRUE(EditTextFile(file, [](std::string& text) {
    text = "ignored";
    return false;
  }));
  EXPECT_FALSE(std::filesystem::exists(file));

  ASSERT_TRUE(EditTextFile(file, [](std::string& text) {
    text += "one\n";
    return true;
  }));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // new files are private
  chmod(file.c_str(), 0644);

  // Through a symbolic link: the target changes, the link stays a link.
  const std::string link = dir.file("link");
  std::filesystem::create_symlink(file, link);
  ASSERT_TRUE(EditTextFile(link, [](std::string& text) {
    text += "two\n";
    return true;
  }));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(file), "one\ntwo\n");
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

// A file made read-only is refused before it is read, like an INI file; what editors killed
// half-way left beside it goes with the next edit.
TEST(LockedTextFileTest, RefusesReadOnlyFilesAndClearsStaleTemporaries) {
  TempDir dir;
  const std::string file = dir.file("trust");
  WriteFile(file, "kept\n");
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  bool asked = false;
  EXPECT_FALSE(IsRewritableTextFile(file));
  EXPECT_FALSE(EditTextFile(file, [&](std::string& text) {
    asked = true;
    text = "lost";
    return true;
  }));
  EXPECT_FALSE(asked);
  EXPECT_EQ(ReadFile(file), "kept\n");

  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  EXPECT_TRUE(IsRewritableTextFile(file));
  EXPECT_TRUE(IsRewritableTextFile(dir.file("missing")));
  EXPECT_FALSE(IsRewritableTextFile(dir.path().string()));
  WriteFile(dir.file(".trust.tmp-0123456789ab"), "half");
  WriteFile(dir.file("trust.tmp-abcdef"), "half");
  ASSERT_TRUE(EditTextFile(file, [](std::string& text) {
    text += "added\n";
    return true;
  }));
  EXPECT_EQ(ReadFile(file), "kept\nadded\n");
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"trust", "trust.lock"}));
}

}  // namespace
}  // namespace quillon
