#include "common/LockedTextFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/UniqueFd.h"

namespace quillon {

namespace {

// A symbolic link is written through to its target, not replaced by a plain file.
std::string Target(const std::string& path) {
  struct stat st;
  char resolved[PATH_MAX];
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), resolved))
    return resolved;
  return path;
}

bool MayRewrite(const std::string& target) {
  struct stat st;
  if (stat(target.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 && access(target.c_str(), W_OK) == 0;
}

// Holds an exclusive advisory lock on "<target>.lock" for its lifetime; closing releases it.
UniqueFd LockBeside(const std::string& target) {
  UniqueFd lock(open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.Valid()) return lock;
  while (flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return UniqueFd();
  }
  return lock;
}

}  // namespace

std::optional<std::string> ReadTextFile(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text && errno == ENOENT) return std::string();
  return text;
}

bool EditTextFile(const std::string& path, const std::function<bool(std::string& text)>& edit) {
  const std::string target = Target(path);
  if (!MayRewrite(target)) return false;
  const UniqueFd lock = LockBeside(target);
  if (!lock.Valid()) return false;
  // Under the lock no live editor owns a temporary of this file.
  RemoveStaleTemporaries(target);
  const std::optional<std::string> before = ReadTextFile(target);
  if (!before) return false;
  std::string text = *before;
  if (!edit(text) || text == *before) return true;
  // Profiles hold protected passwords: private unless the file says otherwise.
  return WriteFileAtomically(target, text, {.mode = 0600, .keepExistingMode = true});
}

bool IsRewritableTextFile(const std::string& path) { return MayRewrite(Target(path)); }

}  // namespace quillon
