#include "remote/RemoteComboItems.h"

#include "remote/RemoteListing.h"
#include "remote/RemotePaths.h"

namespace quillon {

namespace {

std::string ItemText(const std::string& path) {
  std::string text = RemoteBaseName(path);
  return text.empty() ? "/" : text;
}

// A path has no more levels than characters; this keeps a malformed path from recursing on.
constexpr int kMaxDepth = 4096;

}  // namespace

void RemoteComboItems::Reset(std::string_view root, const std::vector<std::string>& subfolders) {
  items_.clear();
  std::string rootPath = NormaliseRemoteFolder(root);
  items_.push_back({rootPath, ItemText(rootPath), 0});
  for (const auto& name : subfolders) {
    std::string path = JoinRemotePath(rootPath, name);
    items_.push_back({path, ItemText(path), 1});
  }
  selected_ = 0;
}

void RemoteComboItems::Clear() {
  items_.clear();
  selected_.reset();
}

std::optional<size_t> RemoteComboItems::Find(std::string_view folder) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].path == folder) return i;
  return std::nullopt;
}

std::optional<size_t> RemoteComboItems::Select(std::string_view folder) {
  if (folder.empty()) return selected_;
  auto index = SelectChain(NormaliseRemoteFolder(folder), 0);
  if (index) selected_ = index;
  return selected_;
}

std::optional<size_t> RemoteComboItems::SelectChain(const std::string& folder, int depth) {
  if (auto found = Find(folder)) return found;
  if (folder == "/" || depth > kMaxDepth) return std::nullopt;
  auto parentPath = RemoteParentFolder(folder);
  std::optional<size_t> parent;
  if (parentPath && *parentPath != folder) parent = SelectChain(*parentPath, depth + 1);
  if (!parent) {
    items_.push_back({folder, ItemText(folder), 0});
    return items_.size() - 1;
  }
  size_t at = *parent + 1;
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at),
                {folder, ItemText(folder), items_[*parent].indent + 1});
  return at;
}

}  // namespace quillon
