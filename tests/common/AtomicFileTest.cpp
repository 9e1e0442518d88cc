// The file toolkit: owned descriptors, whole reads and writes, staged files put in place whole,
// renames that never replace, and the clean-up of temporaries left by killed writers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/UniqueFd.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnceAndHandsOver) {
  TempDir dir;
  int raw = ::open(dir.file("f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(raw, 0);
  {
    UniqueFd first(raw);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first.Valid());
    EXPECT_EQ(second.Get(), raw);
    UniqueFd third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  UniqueFd released(::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC));
  const int kept = released.Release();
  EXPECT_TRUE(IsOpen(kept));
  ::close(kept);
  UniqueFd closed(::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_TRUE(closed.Close());
  EXPECT_FALSE(closed.Valid());
  EXPECT_TRUE(closed.Close());  // holding none is no error
}

TEST(FileIo, WholeWritesAndReads) {
  TempDir dir;
  const std::string big(3 * 65536 + 17, 'x');
  UniqueFd out(::open(dir.file("big").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_TRUE(WriteAll(out.Get(), big));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(ReadWholeFile(dir.file("big")), big);

  UniqueFd in(::open(dir.file("big").c_str(), O_RDONLY | O_CLOEXEC));
  std::string part(100, '\0');
  EXPECT_EQ(ReadUpTo(in.Get(), part.data(), part.size()), 100u);
  std::string rest(big.size(), '\0');
  EXPECT_EQ(ReadUpTo(in.Get(), rest.data(), rest.size()), big.size() - 100);  // the end came first

  EXPECT_FALSE(ReadWholeFile(dir.file("missing")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(ReadWholeFile(dir.path().string()));
  UniqueFd readOnly(::open(dir.file("big").c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_FALSE(WriteAll(readOnly.Get(), std::string_view("x")));
  EXPECT_EQ(errno, EBADF);
}

// What holds the destination before, and what a commit of each placement leaves there.
TEST(StagedFile, CommitsByPlacementWhateverHoldsTheName) {
  enum class Before { Nothing, File, Link, DanglingLink, Folder };
  struct Case {
    const char* name;
    Before before;
    StagedFile::Placement placement;
    bool committed;
  } cases[] = {
      {"new name, replace", Before::Nothing, StagedFile::Placement::Replace, true},
      {"new name, new only", Before::Nothing, StagedFile::Placement::NewName, true},
      {"file, replace", Before::File, StagedFile::Placement::Replace, true},
      {"file, new only", Before::File, StagedFile::Placement::NewName, false},
      {"link, replace", Before::Link, StagedFile::Placement::Replace, true},
      {"dangling link, replace", Before::DanglingLink, StagedFile::Placement::Replace, true},
      {"dangling link, new only", Before::DanglingLink, StagedFile::Placement::NewName, false},
      {"folder, replace", Before::Folder, StagedFile::Placement::Replace, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string target = dir.file("target");
    WriteFile(dir.file("other"), "other");
    switch (c.before) {
      case Before::Nothing:
        break;
      case Before::File:
        WriteFile(target, "old");
        break;
      case Before::Link:
        fs::create_symlink(dir.file("other"), target);
        break;
      case Before::DanglingLink:
        fs::create_symlink(dir.file("nowhere"), target);
        break;
      case Before::Folder:
        fs::create_directory(target);
        break;
    }
    const std::vector<std::string> before = test::NamesIn(dir.path());
    std::optional<StagedFile> file = StagedFile::Create(target);
    ASSERT_TRUE(file);
    ASSERT_TRUE(WriteAll(file->Fd(), std::string_view("new")));
    EXPECT_EQ(test::NamesIn(dir.path()), before);  // nothing shows before the commit
    EXPECT_EQ(file->Commit(c.placement), c.committed);
    const std::vector<std::string> added{"other", "target"};
    EXPECT_EQ(test::NamesIn(dir.path()),
              c.before == Before::Nothing && c.committed ? added : before);
    EXPECT_EQ(ReadFile(dir.file("other")), "other");  // a link is replaced, never written through
    if (c.committed) {
      EXPECT_FALSE(fs::is_symlink(target));
      EXPECT_EQ(ReadFile(target), "new");
    }
    EXPECT_FALSE(file->Commit());  // once only
  }
}

TEST(StagedFile, ModesOfNewAndReplacedFiles) {
  TempDir dir;
  const mode_t oldMask = ::umask(027);
  struct Case {
    const char* name;
    std::optional<mode_t> existing;
    StagingOptions options;
    mode_t expected;
  } cases[] = {
      {"umask decides", std::nullopt, {}, 0640},
      {"exact mode", std::nullopt, {.mode = 0755}, 0755},
      {"exact mode over a file", 0600, {.mode = 0644}, 0644},
      {"kept from the file", 0604, {.mode = 0600, .keepExistingMode = true}, 0604},
      {"nothing to keep", std::nullopt, {.mode = 0600, .keepExistingMode = true}, 0600},
      {"kept, without sync",
       0660,
       {.mode = std::nullopt, .keepExistingMode = true, .sync = false},
       0660},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    if (c.existing) {
      WriteFile(path, "old");
      ASSERT_EQ(::chmod(path.c_str(), *c.existing), 0);
    }
    ASSERT_TRUE(WriteFileAtomically(path, "new", c.options));
    EXPECT_EQ(ModeOf(path), c.expected);
    EXPECT_EQ(ReadFile(path), "new");
  }
  ::umask(oldMask);
}

TEST(StagedFile, DroppedOrFailedLeavesNothing) {
  TempDir dir;
  WriteFile(dir.file("kept"), "kept");
  {
    std::optional<StagedFile> dropped = StagedFile::Create(dir.file("kept"));
    ASSERT_TRUE(dropped);
    ASSERT_TRUE(WriteAll(dropped->Fd(), std::string_view("lost")));
  }
  std::optional<StagedFile> discarded = StagedFile::Create(dir.file("new"));
  ASSERT_TRUE(discarded);
  discarded->Discard();
  EXPECT_FALSE(discarded->Commit());
  EXPECT_FALSE(StagedFile::Create(dir.file("missing/file")));
  EXPECT_FALSE(WriteFileAtomically(dir.file("missing/file"), "x"));
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"kept"});
  EXPECT_EQ(ReadFile(dir.file("kept")), "kept");

  // The longest name a folder may hold still leaves room for a temporary beside it.
  const std::string longest = dir.file(std::string(255, 'n'));
  ASSERT_TRUE(WriteFileAtomically(longest, "long"));
  ASSERT_TRUE(WriteFileAtomically(longest, "longer"));
  EXPECT_EQ(ReadFile(longest), "longer");
}

TEST(StagedFile, StaleTemporariesOfOneFileGo) {
  TempDir dir;
  const std::string target = dir.file("Quillon.ini");
  for (const char* name : {".Quillon.ini.tmp-0123456789ab", "Quillon.ini.tmp-AbCdEf",
                           ".Other.ini.tmp-0123456789ab", "Quillon.ini.lock", "Quillon.ini"})
    WriteFile(dir.file(name), "x");
  RemoveStaleTemporaries(target);
  EXPECT_EQ(
      test::NamesIn(dir.path()),
      (std::vector<std::string>{".Other.ini.tmp-0123456789ab", "Quillon.ini", "Quillon.ini.lock"}));
}

// Both ways, with the flag and the way taken where a file system refuses it.
TEST(RenameWithoutReplacing, MovesOnlyToAFreeName) {
  using Rename = bool (*)(const std::string&, const std::string&);
  struct Way {
    const char* name;
    Rename rename;
  } ways[] = {{"with the flag", RenameWithoutReplacing},
              {"without the flag", RenameWithoutReplacingFallback}};
  enum class Item { File, Folder, Link };
  enum class Held { Free, File, EmptyFolder, Link };
  for (const Way& way : ways) {
    for (Item item : {Item::File, Item::Folder, Item::Link}) {
      for (Held held : {Held::Free, Held::File, Held::EmptyFolder, Held::Link}) {
        SCOPED_TRACE(std::string(way.name) + " item " + std::to_string(int(item)) + " held " +
                     std::to_string(int(held)));
        TempDir dir;
        const std::string from = dir.file("from");
        const std::string to = dir.file("to");
        if (item == Item::File) WriteFile(from, "item");
        if (item == Item::Folder) {
          fs::create_directory(from);
          WriteFile(dir.file("from/inside"), "item");
        }
        if (item == Item::Link) fs::create_symlink("nowhere", from);
        if (held == Held::File) WriteFile(to, "held");
        if (held == Held::EmptyFolder) fs::create_directory(to);
        if (held == Held::Link) fs::create_symlink("elsewhere", to);

        const bool moved = way.rename(from, to);
        EXPECT_EQ(moved, held == Held::Free);
        const int error = errno;
        // What stands at each name afterwards: the item moved, or both as they were.
        const std::string atTo = item == Item::Folder ? dir.file("to/inside") : to;
        if (moved) {
          EXPECT_FALSE(fs::exists(fs::symlink_status(from)));
        } else {
          EXPECT_EQ(error, EEXIST);
          EXPECT_TRUE(fs::exists(fs::symlink_status(from)));
        }
        if (moved && item == Item::Link) {
          EXPECT_EQ(fs::read_symlink(to), "nowhere");
        } else if (moved) {
          EXPECT_EQ(ReadFile(atTo), "item");
        } else if (held == Held::File) {
          EXPECT_EQ(ReadFile(to), "held");
        } else if (held == Held::EmptyFolder) {
          EXPECT_TRUE(fs::is_empty(to));
        } else {
          EXPECT_EQ(fs::read_symlink(to), "elsewhere");
        }
      }
    }
    TempDir dir;
    EXPECT_FALSE(way.rename(dir.file("missing"), dir.file("to")));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(fs::is_empty(dir.path()));
  }
}

}  // namespace
}  // namespace quillon
