#include "localfs/LocalFileActions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/AtomicFile.h"
#include "common/Paths.h"

namespace quillon {

RenameOutcome RenameLocalItem(const std::string& folder, const std::string& oldName,
                              const std::string& newName) {
  if (newName.empty() || newName == oldName) return RenameOutcome::Unchanged;
  if (newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
      newName.find('\0') != std::string::npos)
    return RenameOutcome::Failed;
  // An item can be renamed when its folder can be written.
  if (access(folder.c_str(), W_OK | X_OK) != 0) return RenameOutcome::Failed;
  return RenameWithoutReplacing(JoinPath(folder, oldName), JoinPath(folder, newName))
             ? RenameOutcome::Renamed
             : RenameOutcome::Failed;
}

std::optional<std::string> CreateNewFolder(const std::string& folder, std::string& error) {
  for (int n = 1; n <= 1000; ++n) {
    std::string name = n == 1 ? "New Folder" : "New Folder (" + std::to_string(n) + ")";
    if (mkdir(JoinPath(folder, name).c_str(), 0777) == 0) return name;
    if (errno != EEXIST) {
      error = std::strerror(errno);
      return std::nullopt;
    }
  }
  error = std::strerror(EEXIST);
  return std::nullopt;
}

std::string CannotRenameText(const std::string& oldName) {
  return "Cannot rename \"" + oldName + "\"";
}

std::string CannotTrashText(const std::string& name, const std::string& reason) {
  return "Cannot move \"" + name + "\" to the trash: " + reason;
}

std::string CannotCreateFolderText(const std::string& name, const std::string& reason) {
  return "Cannot create folder \"" + name + "\": " + reason;
}

std::string CannotOpenText(const std::string& name) { return "Cannot open \"" + name + "\""; }

std::string CannotShowFolderText(const std::string& path, const std::string& reason) {
  return "Cannot open folder \"" + path + "\": " + reason;
}

}  // namespace quillon
