#include "common/LockedTextFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool Replace(const std::string& target, const std::string& text) {
  mode_t mode = 0600;
  struct stat st;
  if (stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
  std::string temporary = target + ".tmp-XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace

std::optional<std::string> ReadTextFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

bool EditTextFile(const std::string& path, const std::function<bool(std::string& text)>& edit) {
  const std::string target = Target(path);
  const int lock = open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return false;
  while (flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(lock);
      return false;
    }
  }
  bool ok = false;
  if (const std::optional<std::string> before = ReadTextFile(target)) {
    std::string text = *before;
    ok = !edit(text) || text == *before || Replace(target, text);
  }
  close(lock);  // releases the lock
  return ok;
}

}  // namespace quillon
