#include "common/FolderHistory.h"

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

std::optional<std::string> FolderHistory::Back() {
  if (!CanGoBack()) return std::nullopt;
  --index_;
  return entries_[static_cast<size_t>(index_)];
}

std::optional<std::string> FolderHistory::Forward() {
  if (!CanGoForward()) return std::nullopt;
  ++index_;
  return entries_[static_cast<size_t>(index_)];
}

std::optional<std::string> FolderHistory::Current() const {
  if (index_ < 0) return std::nullopt;
  return entries_[static_cast<size_t>(index_)];
}

}  // namespace quillon
