#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"

namespace quillon {

// Local file-system operations of the transfers and the local list. Paths use "/". None of them
// follows a symbolic link to a folder while walking, and none replaces an existing file by
// accident.

// Makes folder `path` and its missing parents. True when `path` is a folder afterwards
// (also when it already was one); false when it or a parent cannot be made or is a file.
bool CreateLocalFolderTree(const std::string& path);

// One entry of a local folder, seen without following links.
struct LocalEntry {
  std::string name;
  std::string path;           // folder + "/" + name
  bool isFolder = false;      // a real folder (never a link to one)
  bool isFile = false;        // a regular file, or a link to one
  bool isLink = false;        // a symbolic link (to a file, a folder, or nothing)
  bool linkToFolder = false;  // a symbolic link whose target is a folder
  uint64_t size = 0;          // of the file itself, or of a link's target file
  TimePoint lastWrite{};
};

// The entries of `folder` without "." and "..", sorted by name; nullopt when it cannot be read.
std::optional<std::vector<LocalEntry>> ListLocalFolder(const std::string& folder);

// What stands at `path`, links not followed.
enum class LocalKind { Missing, File, Folder, Link, Other };
LocalKind LocalKindOf(const std::string& path);

// A file or folder the user may write: it has its owner's write bit (the read-only attribute
// of other systems) and the process may write it.
bool IsLocalWritable(const std::string& path);

// Moves file `from` to `to` unless `to` exists: a rename where possible, else a copy made as a
// new file (removed again if the copy fails) followed by deleting `from`. False when `to`
// existed, the copy failed, or `from` could not be deleted (the copy then stays).
bool MoveFileNoReplace(const std::string& from, const std::string& to);

// The path up to its last "/" ("/a/b.txt" -> "/a"; "/b" -> "/"; "b" -> "").
std::string LocalParent(const std::string& path);

// True when the folder that will hold `path` is `base` or lies below it once every link is
// resolved, and the name of `path` is an ordinary name (not empty, ".", ".."). Both folders
// must exist.
bool IsInsideFolder(const std::string& path, const std::string& base);

// The same with `realBase` already resolved (ResolvedPath), for checks of many files.
bool IsInsideResolvedFolder(const std::string& path, const std::string& realBase);

// The first folder on the way from `base` to `path` (below `base`, not `base` itself) that is a
// symbolic link, or anything else that is not a real folder; nullopt when every existing one
// is a real folder (missing ones are made later as real folders). A `path` that does not lie
// below `base` by its text, or holds a "." or ".." part there, gives itself.
std::optional<std::string> NotARealFolderBelow(const std::string& base, const std::string& path);

// `path` with every link, "." and ".." resolved; nothing when it does not exist.
std::optional<std::string> ResolvedPath(const std::string& path);

}  // namespace quillon
