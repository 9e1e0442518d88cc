#include "app/FolderHistory.h"

namespace quillon {

void FolderHistory::Push(std::string folder) {
  if (entries_.size() >= kLimit) entries_.erase(entries_.begin());
  entries_.push_back(std::move(folder));
  index_ = static_cast<int>(entries_.size()) - 1;
}

void FolderHistory::Clear() {
  entries_.clear();
  index_ = -1;
}

bool FolderHistory::Back(std::string& folder) {
  if (!CanGoBack()) return false;
  folder = entries_[static_cast<size_t>(--index_)];
  return true;
}

bool FolderHistory::Forward(std::string& folder) {
  if (!CanGoForward()) return false;
  folder = entries_[static_cast<size_t>(++index_)];
  return true;
}

}  // namespace quillon
