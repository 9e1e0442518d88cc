#include "platform/FreedesktopTrash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/UserFolders.h"

namespace quillon {
namespace {

std::string ErrorText(int error) { return std::strerror(error); }

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
    path = FolderOf(path);
  }
  return std::nullopt;
}

// The top folder of the file system that holds folder `real` (a resolved path on device `dev`).
std::string MountTop(std::string real, dev_t dev) {
  while (real != "/") {
    std::string up = FolderOf(real);
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
        EnsurePrivateFolder(FolderOf(path), true, error))
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

// "name", "name.2", ... with the number before the last extension ("a.txt" -> "a.2.txt").
std::string Candidate(const std::string& name, int n) {
  if (n == 1) return name;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::string FreedesktopTrash::HomeTrashFolder() { return JoinPath(UserDataFolder(), "Trash"); }

std::string FreedesktopTrash::EscapePath(const std::string& path) {
  return PercentEncode(path, "/");
}

FreedesktopTrash::Result FreedesktopTrash::MoveToTrash(const std::string& given) const {
  Result result;
  std::string path = given;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path[0] != '/') {
    result.error = "not an absolute path";
    return result;
  }
  std::string name = BaseNameOf(path);
  if (name.empty() || name == "." || name == "..") {
    result.error = "not a file or folder name";
    return result;
  }
  struct stat item;
  if (lstat(path.c_str(), &item) != 0) {
    result.error = ErrorText(errno);
    return result;
  }
  auto parent = RealPath(FolderOf(path));
  struct stat parentStat;
  if (!parent || stat(parent->c_str(), &parentStat) != 0) {
    result.error = ErrorText(errno);
    return result;
  }
  // The record names the item where it really is, so that putting it back needs no link.
  std::string original = JoinPath(*parent, name);

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
    std::string shared = JoinPath(top, ".Trash");
    struct stat st;
    bool sharedUsable =
        lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
    if (sharedUsable) {
      std::string own = JoinPath(shared, uid);
      std::string ignored;
      if (EnsurePrivateFolder(own, false, ignored) && IsOwnFolder(own)) trash = own;
    }
    if (trash.empty()) {
      std::string own = JoinPath(top, ".Trash-" + uid);
      if (!EnsurePrivateFolder(own, false, error) || !IsOwnFolder(own)) {
        result.error = "there is no trash on the file system of " + top +
                       (error.empty() ? "" : " (" + error + ")");
        return result;
      }
      trash = own;
    }
    recordedPath = top == "/" ? original.substr(1) : original.substr(top.size() + 1);
  }

  std::string files = JoinPath(trash, "files");
  std::string infos = JoinPath(trash, "info");
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

  std::string record = "[Trash Info]\nPath=" + EscapePath(recordedPath) +
                       "\nDeletionDate=" + FormatLocalTime(clock_.Now(), "%Y-%m-%dT%H:%M:%S") +
                       "\n";
  for (int n = 1; n <= 10000; ++n) {
    std::string trashName = Candidate(name, n);
    std::string info = JoinPath(infos, trashName + ".trashinfo");
    std::string target = JoinPath(files, trashName);
    // The record appears whole under its name, and taking that name first reserves it against
    // other programs trashing at once.
    std::optional<StagedFile> staged = StagedFile::Create(info, {.mode = 0600});
    if (!staged || !WriteAll(staged->Fd(), record) ||
        !staged->Commit(StagedFile::Placement::NewName)) {
      if (errno == EEXIST) continue;
      result.error = "the trash cannot be used: " + ErrorText(errno);
      return result;
    }
    struct stat taken;
    if (lstat(target.c_str(), &taken) == 0) {  // a leftover without its record
      unlink(info.c_str());
      continue;
    }
    if (!RenameWithoutReplacing(path, target)) {
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
