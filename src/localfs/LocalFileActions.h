#pragma once

#include <optional>
#include <string>

namespace quillon {

// Renaming and making folders in the local list, and the texts it shows when they fail.

enum class RenameOutcome {
  Renamed,    // the item has its new name
  Unchanged,  // nothing to do: the new name is empty or the same
  Failed,     // the item keeps its name; show CannotRenameText
};

// Renames `oldName` in `folder` to `newName`. Fails when the folder cannot be written (the
// item cannot be renamed), when the new name is no plain name ("/" in it, "." or ".."), when
// an item of that name exists (nothing is ever replaced) or when the rename itself fails.
[[nodiscard]] RenameOutcome RenameLocalItem(const std::string& folder, const std::string& oldName,
                                            const std::string& newName);

// Makes a new folder in `folder`: "New Folder", or "New Folder (2)", "(3)" ... when the name is
// taken. Returns the name made; nullopt with `error` (the system's reason) when none could be.
[[nodiscard]] std::optional<std::string> CreateNewFolder(const std::string& folder,
                                                         std::string& error);

// "Cannot rename \"OLD\""
std::string CannotRenameText(const std::string& oldName);
// "Cannot move \"NAME\" to the trash: REASON"
std::string CannotTrashText(const std::string& name, const std::string& reason);
// "Cannot create folder \"NAME\": REASON"
std::string CannotCreateFolderText(const std::string& name, const std::string& reason);
// "Cannot open \"NAME\""
std::string CannotOpenText(const std::string& name);
// "Cannot open folder \"PATH\": REASON"
std::string CannotShowFolderText(const std::string& path, const std::string& reason);
// The question before the selection goes to the trash.
inline constexpr const char* kConfirmTrashText =
    "Are you sure you want to move the selected items to the trash?";

}  // namespace quillon
