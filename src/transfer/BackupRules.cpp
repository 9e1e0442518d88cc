#include "transfer/BackupRules.h"

#include <cctype>

namespace quillon {

std::string BackupStamp(TimePoint now) { return FormatLocalTime(now, "_%Y_%m_%d_%H_%M_%S"); }

BackupParts SplitBackupPath(std::string_view path) {
  BackupParts parts;
  size_t slash = path.rfind('/');
  size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  parts.folder = std::string(path.substr(0, nameStart));
  std::string_view name = path.substr(nameStart);
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    parts.stem = std::string(name);
  } else {
    parts.hasDot = true;
    parts.stem = std::string(name.substr(0, dot));
    parts.extension = std::string(name.substr(dot + 1));
  }
  return parts;
}

std::string BackupPathFor(std::string_view path, std::string_view stamp) {
  BackupParts parts = SplitBackupPath(path);
  std::string result = parts.folder + parts.stem + std::string(stamp);
  if (parts.hasDot) result += "." + parts.extension;
  return result;
}

// "_YYYY_MM_DD_HH_MM_SS": 20 characters, digits except the underscores at 0, 5, 8, 11, 14, 17.
static bool IsStamp(std::string_view text) {
  if (text.size() != 20) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool underscore = i == 0 || i == 5 || i == 8 || i == 11 || i == 14 || i == 17;
    if (underscore ? text[i] != '_' : !std::isdigit(static_cast<unsigned char>(text[i])))
      return false;
  }
  return true;
}

bool IsBackupName(std::string_view name, const BackupParts& parts) {
  std::string tail = parts.hasDot ? "." + parts.extension : std::string();
  if (name.size() != parts.stem.size() + 20 + tail.size()) return false;
  if (name.substr(0, parts.stem.size()) != parts.stem) return false;
  if (name.substr(name.size() - tail.size()) != tail) return false;
  return IsStamp(name.substr(parts.stem.size(), 20));
}

std::string StampBeforeLastDot(std::string_view fileName, std::string_view stamp) {
  size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return std::string(fileName) + std::string(stamp);
  return std::string(fileName.substr(0, dot)) + std::string(stamp) +
         std::string(fileName.substr(dot));
}

std::optional<size_t> BackupToPrune(const std::vector<BackupCandidate>& backups, int copies) {
  if (backups.empty() || static_cast<int64_t>(backups.size()) < copies) return std::nullopt;
  size_t oldest = 0;
  for (size_t i = 1; i < backups.size(); ++i) {
    const auto& b = backups[i];
    const auto& o = backups[oldest];
    if (b.lastWrite < o.lastWrite || (b.lastWrite == o.lastWrite && b.name < o.name)) oldest = i;
  }
  return oldest;
}

}  // namespace quillon
