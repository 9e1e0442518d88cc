#include "common/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/FileIo.h"
#include "common/Paths.h"

namespace quillon {
namespace {

// An unnamed file gets its name through /proc; without /proc only named temporaries work.
bool CanNameUnnamedFiles() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// The leading dot hides the file from launcher and unit folders and from a user's listing; the
// name is cut so that a destination near the file-name limit leaves room for the suffix.
std::string HiddenBaseName(const std::string& destination) {
  return "." + BaseNameOf(destination).substr(0, 200) + ".tmp-";
}

// Twelve hexadecimal digits that differ between processes and calls.
std::string RandomSuffix() {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = (static_cast<uint64_t>(::getpid()) << 32) ^
               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  char text[16];
  std::snprintf(text, sizeof text, "%012llx",
                static_cast<unsigned long long>(x & 0xFFFFFFFFFFFFull));
  return text;
}

std::string TemporaryPath(const std::string& destination) {
  return JoinPath(FolderOf(destination), HiddenBaseName(destination) + RandomSuffix());
}

constexpr int kNameAttempts = 100;

}  // namespace

StagedFile::StagedFile(std::string destination, StagingOptions options, UniqueFd fd,
                       std::string named)
    : destination_(std::move(destination)),
      options_(options),
      fd_(std::move(fd)),
      named_(std::move(named)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : destination_(std::move(other.destination_)),
      options_(other.options_),
      fd_(std::move(other.fd_)),
      named_(std::exchange(other.named_, {})) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    Discard();
    destination_ = std::move(other.destination_);
    options_ = other.options_;
    fd_ = std::move(other.fd_);
    named_ = std::exchange(other.named_, {});
  }
  return *this;
}

std::optional<StagedFile> StagedFile::Create(const std::string& destination,
                                             const StagingOptions& options) {
  // With a mode of its own the file stays private until it gets that mode.
  const mode_t createMode = options.mode ? 0600 : 0666;
  if (CanNameUnnamedFiles()) {
    UniqueFd fd(
        ::open(FolderOf(destination).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode));
    if (fd.Valid()) return StagedFile(destination, options, std::move(fd), {});
    // The file system cannot make one: a named temporary file serves instead.
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string path = TemporaryPath(destination);
    UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, createMode));
    if (fd.Valid()) return StagedFile(destination, options, std::move(fd), std::move(path));
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

void StagedFile::Discard() {
  fd_.Reset();
  if (!named_.empty()) ::unlink(named_.c_str());
  named_.clear();
}

bool StagedFile::Commit(Placement placement) {
  if (!fd_.Valid()) {
    errno = EBADF;
    return false;
  }
  const bool ok =
      PrepareForName() && (named_.empty() ? CommitUnnamed(placement) : CommitNamed(placement));
  if (!ok) {
    const int saved = errno;
    Discard();
    errno = saved;
  }
  return ok;
}

bool StagedFile::PrepareForName() {
  std::optional<mode_t> mode = options_.mode;
  struct stat existing;
  if (options_.keepExistingMode && ::stat(destination_.c_str(), &existing) == 0 &&
      S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
  }
  if (mode && ::fchmod(fd_.Get(), *mode) != 0) return false;
  return !options_.sync || ::fsync(fd_.Get()) == 0;
}

bool StagedFile::CommitUnnamed(Placement placement) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
  // A free name is linked at once: the file appears whole, in one step.
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    if (fd_.Close()) return true;
    // A close that fails may mean lost data: the name was free, so it is given back.
    const int saved = errno;
    ::unlink(destination_.c_str());
    errno = saved;
    return false;
  }
  if (errno != EEXIST || placement == Placement::NewName) return false;
  // A taken name is replaced by a rename, from a hidden name of the file's own.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string path = TemporaryPath(destination_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      named_ = std::move(path);
      return CommitNamed(placement);
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool StagedFile::CommitNamed(Placement placement) {
  // Closed before the rename, so that a write error reported at close never replaces anything.
  if (!fd_.Close()) return false;
  const bool renamed = placement == Placement::Replace
                           ? ::rename(named_.c_str(), destination_.c_str()) == 0
                           : RenameWithoutReplacing(named_, destination_);
  if (renamed) named_.clear();
  return renamed;
}

bool WriteFileAtomically(const std::string& path, std::string_view content,
                         const StagingOptions& options) {
  std::optional<StagedFile> file = StagedFile::Create(path, options);
  return file && WriteAll(file->Fd(), content) && file->Commit();
}

void RemoveStaleTemporaries(const std::string& destination) {
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(FolderOf(destination).c_str()), ::closedir);
  if (!folder) return;
  const std::string hidden = HiddenBaseName(destination);
  // Writers of earlier versions put their temporaries beside the file without the dot.
  const std::string visible = BaseNameOf(destination) + ".tmp-";
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string_view name = entry->d_name;
    if (name.starts_with(hidden) || name.starts_with(visible))
      ::unlinkat(::dirfd(folder.get()), entry->d_name, 0);
  }
}

bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  return RenameWithoutReplacingFallback(from, to);
}

bool RenameWithoutReplacingFallback(const std::string& from, const std::string& to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    // link() fails when anything holds the new name, and moves a symbolic link itself.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    if (::unlink(from.c_str()) == 0) return true;
    const int saved = errno;
    ::unlink(to.c_str());
    errno = saved;
    return false;
  }
  // mkdir() fails when anything holds the name; rename() may then replace only that empty folder.
  if (::mkdir(to.c_str(), 0700) != 0) return false;
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  const int saved = errno;
  ::rmdir(to.c_str());
  errno = saved;
  return false;
}

}  // namespace quillon
