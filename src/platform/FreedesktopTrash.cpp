#include "platform/FreedesktopTrash.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace quillon {
namespace {

std::string ErrorText(int error) { return std::strerror(error); }

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, void (*)(void*)> real(realpath(path.c_str(), nullptr), std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

// The device of `path`, or of its nearest ancestor that can be seen when it does not exist
// yet (or is blocked by a file): a trash that cannot be made must fail on its own file system
// rather than send the item to another trash.
std::optional<dev_t> DeviceOf(std::string path) {
  for (int depth = 0; depth < 4096; ++depth) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return st.st_dev;
    if (path == "/") return std::nullopt;
    path = ParentOf(path);
  }
  return std::nullopt;
}

// The top folder of the file system that holds folder `real` (a resolved path on device `dev`).
std::string MountTop(std::string real, dev_t dev) {
  while (real != "/") {
    std::string up = ParentOf(real);
    struct stat st;
    if (stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    real = up;
  }
  return real;
}

// A folder of the user's own that is no link, made (mode 0700, with missing parents when
// `parents`) when missing.
bool EnsurePrivateFolder(const std::string& path, bool parents, std::string& error) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    if (errno == ENOENT && parents && path != "/" &&
        EnsurePrivateFolder(ParentOf(path), true, error))
      return EnsurePrivateFolder(path, false, error);
    if (error.empty()) error = "cannot make " + path + ": " + ErrorText(errno);
    return false;
  }
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = path + " is not a folder";
    return false;
  }
  return true;
}

// A trash folder that another user could have planted must be ours and no link.
bool IsOwnFolder(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: the name was reserved through its record, check it again.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// "name", "name.2", ... with the number before the last extension ("a.txt" -> "a.2.txt").
std::string Candidate(const std::string& name, int n) {
  if (n == 1) return name;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::string FreedesktopTrash::HomeTrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return Join(data, "Trash");
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
    home = h;
  } else if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  }
  if (home.empty()) return {};
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return Join(home, ".local/share/Trash");
}

std::string FreedesktopTrash::EscapePath(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

FreedesktopTrash::Result FreedesktopTrash::MoveToTrash(const std::string& given) const {
  Result result;
  std::string path = given;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path[0] != '/') {
    result.error = "not an absolute path";
    return result;
  }
  std::string name = path.substr(path.rfind('/') + 1);
  if (name.empty() || name == "." || name == "..") {
    result.error = "not a file or folder name";
    return result;
  }
  struct stat item;
  if (lstat(path.c_str(), &item) != 0) {
    result.error = ErrorText(errno);
    return result;
  }
  auto parent = RealPath(ParentOf(path));
  struct stat parentStat;
  if (!parent || stat(parent->c_str(), &parentStat) != 0) {
    result.error = ErrorText(errno);
    return result;
  }
  // The record names the item where it really is, so that putting it back needs no link.
  std::string original = Join(*parent, name);

  // The trash on the item's own file system: a rename moves it there, and only a rename is
  // both safe and reversible (a copy across file systems could be left half-done).
  std::string trash;
  std::string recordedPath;
  std::string home = homeTrash_.empty() ? HomeTrashFolder() : homeTrash_;
  std::string error;
  if (auto homeDev = home.empty() ? std::nullopt : DeviceOf(home);
      homeDev && *homeDev == parentStat.st_dev) {
    if (!EnsurePrivateFolder(home, true, error)) {
      result.error = "the trash cannot be used: " + error;
      return result;
    }
    trash = home;
    recordedPath = original;
  } else {
    std::string top = MountTop(*parent, parentStat.st_dev);
    std::string uid = std::to_string(geteuid());
    std::string shared = Join(top, ".Trash");
    struct stat st;
    bool sharedUsable = lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                        (st.st_mode & S_ISVTX) != 0;
    if (sharedUsable) {
      std::string own = Join(shared, uid);
      std::string ignored;
      if (EnsurePrivateFolder(own, false, ignored) && IsOwnFolder(own)) trash = own;
    }
    if (trash.empty()) {
      std::string own = Join(top, ".Trash-" + uid);
      if (!EnsurePrivateFolder(own, false, error) || !IsOwnFolder(own)) {
        result.error = "there is no trash on the file system of " + top +
                       (error.empty() ? "" : " (" + error + ")");
        return result;
      }
      trash = own;
    }
    recordedPath = top == "/" ? original.substr(1) : original.substr(top.size() + 1);
  }

  std::string files = Join(trash, "files");
  std::string infos = Join(trash, "info");
  if (!EnsurePrivateFolder(files, false, error) || !EnsurePrivateFolder(infos, false, error)) {
    result.error = "the trash cannot be used: " + error;
    return result;
  }
  if (auto realTrash = RealPath(trash)) {
    if (*realTrash == original || realTrash->rfind(original + "/", 0) == 0) {
      result.error = "it holds the trash";
      return result;
    }
  }
  auto dev = DeviceOf(files);
  if (!dev || *dev != parentStat.st_dev) {
    result.error = "the trash is on another file system";
    return result;
  }

  std::string record = "[Trash Info]\nPath=" + EscapePath(recordedPath) + "\nDeletionDate=" +
                       FormatLocalTime(clock_.Now(), "%Y-%m-%dT%H:%M:%S") + "\n";
  for (int n = 1; n <= 10000; ++n) {
    std::string trashName = Candidate(name, n);
    std::string info = Join(infos, trashName + ".trashinfo");
    std::string target = Join(files, trashName);
    // Creating the record first reserves the name against other programs trashing at once.
    int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      result.error = "the trash cannot be used: " + ErrorText(errno);
      return result;
    }
    struct stat taken;
    if (lstat(target.c_str(), &taken) == 0) {  // a leftover without its record
      close(fd);
      unlink(info.c_str());
      continue;
    }
    bool written = WriteAll(fd, record);
    if (close(fd) != 0) written = false;
    if (!written) {
      int saved = errno;
      unlink(info.c_str());
      result.error = "the trash cannot be used: " + ErrorText(saved);
      return result;
    }
    if (!RenameNoReplace(path, target)) {
      int saved = errno;
      unlink(info.c_str());
      if (saved == EEXIST) continue;
      result.error = ErrorText(saved);
      return result;
    }
    result.ok = true;
    result.trashed = target;
    result.info = info;
    return result;
  }
  result.error = "the trash holds too many items of this name";
  return result;
}

}  // namespace quillon
