#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

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

}  // namespace
}  // namespace quillon
