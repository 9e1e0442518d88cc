#include "localfs/LocalPaths.h"

#include "common/Paths.h"

namespace quillon {

std::optional<std::string> NormalizeLocalPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return std::nullopt;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = slash + 1;
  }
  std::string kept;
  for (const auto& part : parts) kept += "/" + part;
  return kept.empty() ? "/" : kept;
}

std::optional<std::string> ParentFolder(const std::string& folder) {
  if (folder.empty() || folder == "/" || folder.find('/') == std::string::npos) return std::nullopt;
  return FolderOf(folder);
}

std::vector<std::string> FolderLevels(const std::string& folder) {
  std::vector<std::string> levels;
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1))
    levels.push_back(folder.substr(0, slash));
  if (folder.size() > 1) levels.push_back(folder);
  return levels;
}

std::string JoinLocalPath(const std::string& folder, const std::string& name) {
  return JoinPath(folder, name);
}

std::string LastPathPart(const std::string& path) { return path == "/" ? path : BaseNameOf(path); }

}  // namespace quillon
