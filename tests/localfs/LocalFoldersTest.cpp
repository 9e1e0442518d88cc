#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "localfs/LocalFolders.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(LocalFolders, CreateLocalFolderTreeMakesMissingParents) {
  TempDir dir;
  std::string deep = dir.file("a/b/c");
  EXPECT_TRUE(CreateLocalFolderTree(deep));
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(CreateLocalFolderTree(deep));  // already there
  WriteFile(dir.file("file"), "x");
  EXPECT_FALSE(CreateLocalFolderTree(dir.file("file")));
  EXPECT_FALSE(CreateLocalFolderTree(dir.file("file/sub")));
}

TEST(LocalFolders, ListingSeesLinksWithoutFollowingThem) {
  TempDir dir;
  fs::create_directories(dir.file("outside/secret"));
  fs::create_directories(dir.file("tree/sub"));
  WriteFile(dir.file("tree/a.txt"), "abc");
  fs::create_directory_symlink(dir.file("outside"), dir.file("tree/link"));
  fs::create_symlink(dir.file("tree/a.txt"), dir.file("tree/filelink"));
  mkfifo(dir.file("tree/pipe").c_str(), 0600);

  auto entries = ListLocalFolder(dir.file("tree"));
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 5u);
  std::map<std::string, LocalEntry> byName;
  for (const auto& e : *entries) byName[e.name] = e;
  EXPECT_TRUE(byName["a.txt"].isFile);
  EXPECT_EQ(byName["a.txt"].size, 3u);
  EXPECT_EQ(byName["a.txt"].path, dir.file("tree/a.txt"));
  EXPECT_TRUE(byName["sub"].isFolder);
  EXPECT_FALSE(byName["link"].isFolder);
  EXPECT_TRUE(byName["link"].linkToFolder);
  EXPECT_FALSE(byName["link"].isFile);
  EXPECT_TRUE(byName["filelink"].isFile);
  EXPECT_TRUE(byName["filelink"].isLink);
  EXPECT_FALSE(byName["pipe"].isFile);
  EXPECT_FALSE(byName["pipe"].isFolder);
  EXPECT_FALSE(ListLocalFolder(dir.file("missing")));
}

// A file stamped past the years a TimePoint holds (touch -d 2300-01-01) lists at its last second.
TEST(LocalFolders, AStampBeyondTheYear2262IsHeldAtTheEnd) {
  TempDir dir;
  WriteFile(dir.file("far.txt"), "x");
  const timespec far[2] = {{10'413'792'000, 5}, {10'413'792'000, 5}};  // 2300-01-01
  ASSERT_EQ(utimensat(AT_FDCWD, dir.file("far.txt").c_str(), far, 0), 0);
  struct stat st;
  ASSERT_EQ(stat(dir.file("far.txt").c_str(), &st), 0);
  if (st.st_mtim.tv_sec != far[1].tv_sec) GTEST_SKIP() << "the file system cannot hold 2300";
  auto entries = ListLocalFolder(dir.path().string());
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].lastWrite, ClampedTimePoint(std::chrono::sys_seconds::max()));
}

TEST(LocalFolders, MoveFileNoReplaceAcrossFileSystems) {
  TempDir dir;
  // /dev/shm is another file system on most machines; the copy path runs there.
  std::string other = "/dev/shm/quillon-move-" + std::to_string(getpid());
  WriteFile(dir.file("a"), std::string(3'000'000, 'z'));
  ASSERT_TRUE(MoveFileNoReplace(dir.file("a"), other));
  EXPECT_EQ(ReadFile(other).size(), 3'000'000u);
  EXPECT_FALSE(fs::exists(dir.file("a")));
  WriteFile(dir.file("b"), "b");
  EXPECT_FALSE(MoveFileNoReplace(dir.file("b"), other));
  EXPECT_TRUE(fs::exists(dir.file("b")));
  EXPECT_EQ(ReadFile(other).size(), 3'000'000u);
  fs::remove(other);
  // A dangling link counts as a taken name too, on the same file system.
  fs::create_symlink(dir.file("nowhere"), dir.file("d"));
  EXPECT_FALSE(MoveFileNoReplace(dir.file("b"), dir.file("d")));
  EXPECT_TRUE(fs::exists(dir.file("b")));
  EXPECT_FALSE(fs::exists(dir.file("nowhere")));
}

TEST(LocalFolders, WritableMeansTheOwnerWriteBit) {
  TempDir dir;
  WriteFile(dir.file("f"), "x");
  EXPECT_TRUE(IsLocalWritable(dir.file("f")));
  chmod(dir.file("f").c_str(), 0444);
  EXPECT_FALSE(IsLocalWritable(dir.file("f")));
  EXPECT_FALSE(IsLocalWritable(dir.file("missing")));
}

TEST(LocalFolders, InsideFolderResolvesLinksAndRejectsOddNames) {
  TempDir dir;
  fs::create_directories(dir.file("base/sub"));
  fs::create_directories(dir.file("elsewhere"));
  fs::create_directory_symlink(dir.file("elsewhere"), dir.file("base/escape"));
  std::string base = dir.file("base");
  EXPECT_TRUE(IsInsideFolder(base + "/a.txt", base));
  EXPECT_TRUE(IsInsideFolder(base + "/sub/a.txt", base));
  EXPECT_FALSE(IsInsideFolder(base + "/escape/a.txt", base));
  EXPECT_FALSE(IsInsideFolder(base + "/sub/../../a.txt", base));
  EXPECT_FALSE(IsInsideFolder(base + "/..", base));
  EXPECT_FALSE(IsInsideFolder(base + "/", base));
  EXPECT_FALSE(IsInsideFolder(dir.file("elsewhere/a.txt"), base));
  EXPECT_FALSE(IsInsideFolder(dir.file("base2/a.txt"), base));
}

TEST(LocalFolders, EveryFolderBelowTheBaseMustBeARealOne) {
  TempDir dir;
  fs::create_directories(dir.file("base/sub/deep"));
  fs::create_directories(dir.file("elsewhere/deep"));
  // Even a link that points back inside the base is refused: nothing acts through a link.
  fs::create_directory_symlink(dir.file("elsewhere"), dir.file("base/out"));
  fs::create_directory_symlink(dir.file("base/sub"), dir.file("base/in"));
  WriteFile(dir.file("base/file"), "f");
  std::string base = dir.file("base");
  struct Case {
    std::string path;
    std::optional<std::string> found;
  };
  for (const Case& c : std::vector<Case>{
           {base + "/a.txt", std::nullopt},
           {base + "/sub/deep/a.txt", std::nullopt},
           {base + "/missing/deeper/a.txt", std::nullopt},  // made later, as real folders
           {base + "/out/a.txt", base + "/out"},
           {base + "/out/deep/a.txt", base + "/out"},
           {base + "/in/a.txt", base + "/in"},
           {base + "/file/a.txt", base + "/file"},
           {base + "/sub/../a.txt", base + "/sub/../a.txt"},
           {dir.file("elsewhere/a.txt"), dir.file("elsewhere/a.txt")},
       }) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(NotARealFolderBelow(base, c.path), c.found);
    EXPECT_EQ(NotARealFolderBelow(base + "/", c.path), c.found);
  }
  // The base itself may be a link: the user chose it.
  fs::create_directory_symlink(dir.file("base"), dir.file("chosen"));
  EXPECT_EQ(NotARealFolderBelow(dir.file("chosen"), dir.file("chosen/sub/a.txt")), std::nullopt);
}

}  // namespace
}  // namespace quillon
