#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"

namespace quillon {

// Names of time-stamped copies. A stamp is the local time as "_%Y_%m_%d_%H_%M_%S", e.g.
// 2024-03-05 14:07:09 gives "_2024_03_05_14_07_09". Paths use "/" as separator.

std::string BackupStamp(TimePoint now);

// A path cut the way backups of an existing file are named: the stem runs up to the first "."
// of the file name, the extension is everything after that dot ("archive.tar.gz" gives stem
// "archive" and extension "tar.gz"). `folder` is the path up to and including its last "/".
struct BackupParts {
  std::string folder;     // "/data/" (empty when the path has no "/")
  std::string stem;       // "archive"
  std::string extension;  // "tar.gz", empty when the name has no "."
  bool hasDot = false;    // the name has a "." (an extension, possibly empty)
};
BackupParts SplitBackupPath(std::string_view path);

// The backup name of an existing file: the stamp goes before the first "." of the file name,
// or at the end when the name has none ("/d/archive.tar.gz" -> "/d/archive_<stamp>.tar.gz").
std::string BackupPathFor(std::string_view path, std::string_view stamp);

// True when `name` (a bare file name) is a backup of the file that `parts` describes: exactly
// stem, "_YYYY_MM_DD_HH_MM_SS" with digits, then "." and the extension (or nothing when the
// file has no "."). "report_final.txt" is no backup of "report.txt".
bool IsBackupName(std::string_view name, const BackupParts& parts);

// The name a moved-away upload source gets: the stamp before the last "." of the file name, or
// at the end without one ("x.tar.gz" -> "x.tar<stamp>.gz", "readme" -> "readme<stamp>").
std::string StampBeforeLastDot(std::string_view fileName, std::string_view stamp);

// One existing backup found in a folder.
struct BackupCandidate {
  std::string name;
  TimePoint lastWrite{};
};

// Which backups to delete before one more is made, keeping at most `copies` in all: when
// there are `copies` or more, the one with the earliest last-write time (ties: the smallest
// name, which is the earliest stamp). Empty when nothing has to go.
std::optional<size_t> BackupToPrune(const std::vector<BackupCandidate>& backups, int copies);

}  // namespace quillon
