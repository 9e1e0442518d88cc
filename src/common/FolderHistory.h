#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// The Back/Forward history of visited folders (paths): at most 15 entries and the index of the
// current one (-1 while empty). A push appends after the last entry, never after the current
// one, and drops the oldest entry first when the history is full; Back and Forward only move.
class FolderHistory {
 public:
  static constexpr size_t kLimit = 15;

  void Push(std::string folder);
  void Clear();

  bool CanGoBack() const { return index_ >= 1; }
  bool CanGoForward() const { return index_ + 1 < static_cast<int>(entries_.size()); }

  // Moves one step and returns the folder now current; nullopt (and no move) at either end.
  std::optional<std::string> Back();
  std::optional<std::string> Forward();

  int index() const { return index_; }
  const std::vector<std::string>& entries() const { return entries_; }
  std::optional<std::string> Current() const;

 private:
  std::vector<std::string> entries_;
  int index_ = -1;
};

}  // namespace quillon
