#include "localfs/LocalFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/UniqueFd.h"

namespace quillon {

// A stamp past the years TimePoint holds (a file touched to 9999) ends at its last second.
static TimePoint ModifiedTime(const struct stat& st) {
  return ClampedTimePoint(std::chrono::sys_seconds(std::chrono::seconds(st.st_mtim.tv_sec)),
                          std::chrono::nanoseconds(st.st_mtim.tv_nsec));
}

static bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateLocalFolderTree(const std::string& path) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  std::string parent = LocalParent(path);
  if (!parent.empty() && parent != path && !CreateLocalFolderTree(parent)) return false;
  if (mkdir(path.c_str(), 0777) == 0) return true;
  // Another lane or process may have made it meanwhile.
  return errno == EEXIST && IsFolder(path);
}

std::optional<std::vector<LocalEntry>> ListLocalFolder(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::nullopt;
  std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::vector<LocalEntry> entries;
  while (dirent* d = readdir(dir.get())) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    LocalEntry entry;
    entry.name = name;
    entry.path = prefix + name;
    struct stat st;
    if (lstat(entry.path.c_str(), &st) != 0) continue;  // gone meanwhile
    if (S_ISLNK(st.st_mode)) {
      entry.isLink = true;
      struct stat target;
      if (stat(entry.path.c_str(), &target) == 0) {
        entry.linkToFolder = S_ISDIR(target.st_mode);
        entry.isFile = S_ISREG(target.st_mode);
        if (S_ISREG(target.st_mode)) entry.size = static_cast<uint64_t>(target.st_size);
        entry.lastWrite = ModifiedTime(target);
      } else {
        entry.lastWrite = ModifiedTime(st);
      }
    } else {
      entry.isFolder = S_ISDIR(st.st_mode);
      entry.isFile = S_ISREG(st.st_mode);
      if (S_ISREG(st.st_mode)) entry.size = static_cast<uint64_t>(st.st_size);
      entry.lastWrite = ModifiedTime(st);
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const LocalEntry& a, const LocalEntry& b) { return a.name < b.name; });
  return entries;
}

LocalKind LocalKindOf(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return LocalKind::Missing;
  if (S_ISLNK(st.st_mode)) return LocalKind::Link;
  if (S_ISDIR(st.st_mode)) return LocalKind::Folder;
  if (S_ISREG(st.st_mode)) return LocalKind::File;
  return LocalKind::Other;
}

bool IsLocalWritable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & S_IWUSR) != 0 && access(path.c_str(), W_OK) == 0;
}

static bool CopyToNewFile(const std::string& from, const std::string& to) {
  UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.Valid()) return false;
  UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!out.Valid()) return false;
  bool ok = true;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t n = read(in.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out.Get(), buffer.data(), static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  struct stat st;
  if (ok && fstat(in.Get(), &st) == 0) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out.Get(), times);
  }
  if (!out.Close()) ok = false;
  if (!ok) unlink(to.c_str());
  return ok;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  if (RenameWithoutReplacing(from, to)) return true;
  if (errno != EXDEV) return false;
  if (!CopyToNewFile(from, to)) return false;
  return unlink(from.c_str()) == 0;
}

std::string LocalParent(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::optional<std::string> NotARealFolderBelow(const std::string& base, const std::string& path) {
  std::string prefix = base;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix != "/") prefix += '/';
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return path;
  // Every part between the base and the file's own name, one lstat each.
  size_t start = prefix.size();
  for (;;) {
    size_t slash = path.find('/', start);
    std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") return path;
    if (slash == std::string::npos) return std::nullopt;  // the file's own name
    std::string folder = path.substr(0, slash);
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0) return std::nullopt;  // missing: made as a real folder
    if (!S_ISDIR(st.st_mode)) return folder;
    start = slash + 1;
  }
}

std::optional<std::string> ResolvedPath(const std::string& path) {
  std::unique_ptr<char, void (*)(void*)> real(realpath(path.c_str(), nullptr), std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool IsInsideFolder(const std::string& path, const std::string& base) {
  auto realBase = ResolvedPath(base.empty() ? "." : base);
  return realBase && IsInsideResolvedFolder(path, *realBase);
}

bool IsInsideResolvedFolder(const std::string& path, const std::string& realBase) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;
  std::string parent = LocalParent(path);
  if (parent.empty()) parent.push_back('.');
  auto realParent = ResolvedPath(parent);
  if (!realParent) return false;
  if (*realParent == realBase) return true;
  // Below the base: its path, then a "/" (the root "/" already ends in one).
  const std::string& inner = *realParent;
  size_t length = realBase.size();
  if (inner.size() <= length || inner.compare(0, length, realBase) != 0) return false;
  return realBase.back() == '/' || inner[length] == '/';
}

}  // namespace quillon
