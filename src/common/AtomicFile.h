#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "common/UniqueFd.h"

namespace quillon {

// How a staged file is finished.
struct StagingOptions {
  // Permission bits of the new file; nullopt gives 0666 less the umask, as for any new file.
  std::optional<mode_t> mode;
  // A regular file that is replaced hands its permission bits on (before `mode`).
  bool keepExistingMode = false;
  // The data reaches the disk (fsync) before the file takes its name, so a crash leaves the old
  // file or the whole new one.
  bool sync = true;
};

// A file written beside its destination and put in place whole: readers see what held the name
// before, or the whole new file, never a part. The bytes go to a file without a name in the
// destination's folder (O_TMPFILE) where the file system can make one, else to a hidden
// temporary file there (".<name>.tmp-<random>"). A staged file that is dropped or fails leaves
// nothing behind; a process killed while writing can leave only the hidden kind, which
// RemoveStaleTemporaries clears. Belongs to one thread at a time.
class StagedFile {
 public:
  enum class Placement {
    Replace,  // takes the name whatever holds it (a symbolic link is replaced, not followed)
    NewName,  // takes the name only when nothing holds it (else EEXIST), in one step
  };

  // A staged file for `destination`, whose folder must exist; nullopt (errno set) when no file
  // can be made there.
  static std::optional<StagedFile> Create(const std::string& destination,
                                          const StagingOptions& options = {});

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&& other) noexcept;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile() { Discard(); }

  // Where the content is written (with WriteAll); owned by the staged file.
  int Fd() const { return fd_.Get(); }
  const std::string& Destination() const { return destination_; }

  // Gives the file the destination's name. False (errno set) on any failure, a folder holding the
  // name among them: the destination is then as it was and no file is left. Once only.
  [[nodiscard]] bool Commit(Placement placement = Placement::Replace);

  // Drops the file; the destination stays as it was.
  void Discard();

 private:
  StagedFile(std::string destination, StagingOptions options, UniqueFd fd, std::string named);
  bool PrepareForName();
  bool CommitUnnamed(Placement placement);
  bool CommitNamed(Placement placement);

  std::string destination_;
  StagingOptions options_;
  UniqueFd fd_;
  std::string named_;  // the hidden temporary file's path; empty for an unnamed file
};

// Stages `content` for `path` and puts it in place (StagedFile, Placement::Replace).
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view content,
                                       const StagingOptions& options = {});

// Removes the hidden temporary files that writers of `destination` killed before their commit
// left in its folder. Only safe while no live writer stages that destination (under its lock).
void RemoveStaleTemporaries(const std::string& destination);

// Renames `from` to `to` only when nothing holds `to` (then false with EEXIST); never replaces
// anything, also on file systems that cannot rename without replacing (see below). A symbolic
// link is moved itself. False with errno set on any failure; `from` is then where it was.
[[nodiscard]] bool RenameWithoutReplacing(const std::string& from, const std::string& to);

// What RenameWithoutReplacing does where the file system refuses RENAME_NOREPLACE: a file (or link)
// is hard-linked to the new name, which fails when it is taken, and its old name removed; a folder
// claims the new name with an empty folder of its own and is renamed over that one. Public so
// that tests reach it on file systems that have the flag.
[[nodiscard]] bool RenameWithoutReplacingFallback(const std::string& from, const std::string& to);

}  // namespace quillon
