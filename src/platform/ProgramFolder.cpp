#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>

#include "common/UserFolders.h"

namespace quillon {

std::optional<std::string> ProgramFolder() {
  const char* chosen = std::getenv("QUILLON_HOME");
  std::string folder = chosen ? chosen : "";
  if (folder.empty()) folder = UserConfigFolder() + "/quillon";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return std::nullopt;
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace quillon
