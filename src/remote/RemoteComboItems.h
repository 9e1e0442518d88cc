#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The items of the remote folder combo: one per folder path, in display order, each with its
// indent. The first item is the profile's remote root; below it the root's sub-folders, and the
// chain of folders down to the folder shown. Qt-free so the rules are testable; the combo
// widget mirrors these items.
class RemoteComboItems {
 public:
  struct Item {
    std::string path;  // normalised folder path
    std::string text;  // the last "/"-part of the path; "/" for the server's top folder
    int indent = 0;
  };

  // Removes everything and inserts the root (indent 0) and each of `subfolders` (names, in
  // listing order) at indent 1. The root is selected.
  void Reset(std::string_view root, const std::vector<std::string>& subfolders);

  // Makes `folder` the selected item, first selecting (and inserting when missing) its parent
  // chain; a missing folder goes right after its parent with the parent's indent + 1. "/" or an
  // empty text inserts nothing (an existing "/" item is selected). A folder whose parent chain
  // leaves every item behind (outside the root) is appended at indent 0. Returns the index.
  std::optional<size_t> Select(std::string_view folder);

  void Clear();

  const std::vector<Item>& items() const { return items_; }
  std::optional<size_t> selected() const { return selected_; }
  std::optional<size_t> Find(std::string_view folder) const;

 private:
  std::optional<size_t> SelectChain(const std::string& folder, int depth);

  std::vector<Item> items_;
  std::optional<size_t> selected_;
};

}  // namespace quillon
