#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/FreedesktopTrash.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class FreedesktopTrashTest : public ::testing::Test {
 protected:
  FreedesktopTrashTest() : clock_(FromLocalTime(2024, 3, 9, 14, 5, 7)), trash_(clock_, Home()) {}
  std::string Home() const { return dir_.file("data/Trash"); }
  std::string Record(const std::string& path) const {
    return "[Trash Info]\nPath=" + FreedesktopTrash::EscapePath(path) +
           "\nDeletionDate=2024-03-09T14:05:07\n";
  }
  size_t RecordCount() const {
    if (!fs::exists(Home() + "/info")) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(Home() + "/info"), {}));
  }

  TempDir dir_;
  FixedClock clock_;
  FreedesktopTrash trash_;
};

TEST_F(FreedesktopTrashTest, MovesEachKindOfItemAndNeverFollowsLinks) {
  fs::create_directories(dir_.file("work/folder/inner"));
  WriteFile(dir_.file("work/folder/inner/f"), "keep me");
  fs::create_directories(dir_.file("target/deep"));
  WriteFile(dir_.file("target/deep/precious"), "precious");
  WriteFile(dir_.file("work/plain file.txt"), "abc");
  fs::create_directory_symlink(dir_.file("target"), dir_.file("work/dirlink"));
  fs::create_directory_symlink(dir_.file("target"), dir_.file("work/dirlink2"));
  fs::create_symlink(dir_.file("nowhere"), dir_.file("work/dangling"));

  struct Case {
    std::string given;  // what the caller passes
    std::string name;   // the item's name
    fs::file_type kind;
  } cases[] = {
      {dir_.file("work/plain file.txt"), "plain file.txt", fs::file_type::regular},
      {dir_.file("work/folder"), "folder", fs::file_type::directory},
      {dir_.file("work/dirlink"), "dirlink", fs::file_type::symlink},
      {dir_.file("work/dirlink2/"), "dirlink2", fs::file_type::symlink},
      {dir_.file("work/dangling"), "dangling", fs::file_type::symlink},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    auto result = trash_.MoveToTrash(c.given);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.trashed, Home() + "/files/" + c.name);
    EXPECT_EQ(result.info, Home() + "/info/" + c.name + ".trashinfo");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.file("work/" + c.name))));
    EXPECT_EQ(fs::symlink_status(result.trashed).type(), c.kind);
    auto real = fs::canonical(dir_.file("work")).string() + "/" + c.name;
    EXPECT_EQ(ReadFile(result.info), Record(real));
  }
  EXPECT_EQ(ReadFile(Home() + "/files/folder/inner/f"), "keep me");
  EXPECT_EQ(ReadFile(dir_.file("target/deep/precious")), "precious");
  EXPECT_EQ(fs::read_symlink(Home() + "/files/dirlink"), dir_.file("target"));
  struct stat st;
  ASSERT_EQ(stat(Home().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(FreedesktopTrashTest, ANameAlreadyInTheTrashGetsANumber) {
  struct Case {
    std::string name;
    std::string second;
    std::string third;
  } cases[] = {
      {"a.txt", "a.2.txt", "a.3.txt"},
      {"noext", "noext.2", "noext.3"},
      {".hidden", ".hidden.2", ".hidden.3"},
  };
  for (const auto& c : cases) {
    std::string expected[] = {c.name, c.second, c.third};
    for (int i = 0; i < 3; ++i) {
      std::string folder = dir_.file("f" + std::to_string(i));
      fs::create_directories(folder);
      WriteFile(folder + "/" + c.name, std::to_string(i));
      auto result = trash_.MoveToTrash(folder + "/" + c.name);
      ASSERT_TRUE(result.ok) << result.error;
      EXPECT_EQ(result.trashed, Home() + "/files/" + expected[i]);
      EXPECT_EQ(ReadFile(result.trashed), std::to_string(i));
      EXPECT_EQ(ReadFile(result.info), Record(fs::canonical(folder).string() + "/" + c.name));
    }
  }
  // A file left in files/ without its record is not replaced either.
  WriteFile(Home() + "/files/orphan", "old");
  WriteFile(dir_.file("orphan"), "new");
  auto result = trash_.MoveToTrash(dir_.file("orphan"));
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.trashed, Home() + "/files/orphan.2");
  EXPECT_EQ(ReadFile(Home() + "/files/orphan"), "old");
  EXPECT_FALSE(fs::exists(Home() + "/info/orphan.trashinfo"));
}

TEST_F(FreedesktopTrashTest, RefusalsLeaveTheItemAndNoRecord) {
  fs::create_directories(dir_.file("keep"));
  fs::create_directories(Home());
  WriteFile(dir_.file("keep/file"), "x");
  struct Case {
    std::string path;
    std::string error;
  } cases[] = {
      {dir_.file("missing"), "No such file or directory"},
      {"relative/file", "not an absolute path"},
      {"/", "not a file or folder name"},
      {dir_.file("keep/.."), "not a file or folder name"},
      {dir_.file("data"), "it holds the trash"},
      {dir_.file("data/Trash"), "it holds the trash"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto result = trash_.MoveToTrash(c.path);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(RecordCount(), 0u);
  }
  EXPECT_TRUE(fs::is_directory(dir_.file("data/Trash/files")));

  // A trash that cannot be made.
  FreedesktopTrash blocked(clock_, dir_.file("blocked/Trash"));
  WriteFile(dir_.file("blocked"), "a file where the data folder should be");
  auto result = blocked.MoveToTrash(dir_.file("keep/file"));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("the trash cannot be used"), std::string::npos) << result.error;
  EXPECT_EQ(ReadFile(dir_.file("keep/file")), "x");
}

TEST_F(FreedesktopTrashTest, AnItemOnAnotherFileSystemGoesToThatFileSystemsTrash) {
  struct stat tmp, shm;
  if (stat(dir_.path().c_str(), &tmp) != 0 || stat("/dev/shm", &shm) != 0 ||
      tmp.st_dev == shm.st_dev || access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "/dev/shm is no other writable file system here";
  std::string uid = std::to_string(geteuid());
  std::string topTrash = "/dev/shm/.Trash-" + uid;
  struct stat st;
  if (lstat("/dev/shm/.Trash", &st) == 0) GTEST_SKIP() << "/dev/shm has a shared trash";
  bool existed = fs::exists(topTrash);
  std::string folder = "/dev/shm/quillon-trash-" + std::to_string(getpid());
  fs::create_directories(folder);
  WriteFile(folder + "/a b", "on tmpfs");

  auto result = trash_.MoveToTrash(folder + "/a b");
  ASSERT_TRUE(result.ok) << result.error;
  std::string name = result.trashed.substr(result.trashed.rfind('/') + 1);
  EXPECT_EQ(result.trashed, topTrash + "/files/" + name);
  EXPECT_EQ(ReadFile(result.trashed), "on tmpfs");
  // Paths in a file system's own trash are relative to its top folder.
  EXPECT_EQ(ReadFile(result.info), Record(folder.substr(std::string("/dev/shm/").size()) + "/a b"));
  EXPECT_EQ(RecordCount(), 0u);
  ASSERT_EQ(lstat(topTrash.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  fs::remove(result.trashed);
  fs::remove(result.info);
  fs::remove(folder);
  if (!existed) {
    rmdir((topTrash + "/files").c_str());
    rmdir((topTrash + "/info").c_str());
    rmdir(topTrash.c_str());
  }
}

TEST(FreedesktopTrash, PathEscapingAndTheHomeTrash) {
  struct Case {
    std::string path;
    std::string escaped;
  } cases[] = {
      {"/home/u/a-b_c.d~e", "/home/u/a-b_c.d~e"},
      {"/home/u/two words", "/home/u/two%20words"},
      {"/x/100%?#&=+", "/x/100%25%3F%23%26%3D%2B"},
      {"/x/\xC3\xA9t\xC3\xA9", "/x/%C3%A9t%C3%A9"},
      {"/x/new\nline", "/x/new%0Aline"},
  };
  for (const auto& c : cases) EXPECT_EQ(FreedesktopTrash::EscapePath(c.path), c.escaped);

  std::string savedData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
  std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", "/home/someone/", 1);
  setenv("XDG_DATA_HOME", "/data/here", 1);
  EXPECT_EQ(FreedesktopTrash::HomeTrashFolder(), "/data/here/Trash");
  setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
  EXPECT_EQ(FreedesktopTrash::HomeTrashFolder(), "/home/someone/.local/share/Trash");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(FreedesktopTrash::HomeTrashFolder(), "/home/someone/.local/share/Trash");
  savedHome.empty() ? unsetenv("HOME") : setenv("HOME", savedHome.c_str(), 1);
  if (!savedData.empty()) setenv("XDG_DATA_HOME", savedData.c_str(), 1);

  // Without an explicit folder the environment decides at every call.
  TempDir dir;
  setenv("XDG_DATA_HOME", dir.file("xdg").c_str(), 1);
  WriteFile(dir.file("f"), "x");
  SystemClock clock;
  auto result = FreedesktopTrash(clock).MoveToTrash(dir.file("f"));
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.trashed, dir.file("xdg/Trash/files/f"));
  savedData.empty() ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", savedData.c_str(), 1);
}

}  // namespace
}  // namespace quillon
