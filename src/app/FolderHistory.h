#pragma once

#include <string>
#include <vector>

namespace quillon {

// The Back/Forward history of one side of the main window: at most 15 folders. A push drops
// the oldest entry when full and appends the new one as current, without cutting off the
// entries after the current one; Back and Forward only move the index.
class FolderHistory {
 public:
  static constexpr size_t kLimit = 15;

  void Push(std::string folder);
  void Clear();

  // Move and return the folder to show; false when there is nowhere to go.
  bool Back(std::string& folder);
  bool Forward(std::string& folder);

  bool CanGoBack() const { return index_ >= 1; }
  bool CanGoForward() const { return index_ >= 0 && static_cast<size_t>(index_) + 1 < entries_.size(); }

  int Index() const { return index_; }  // -1 when empty
  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  std::vector<std::string> entries_;
  int index_ = -1;
};

}  // namespace quillon
