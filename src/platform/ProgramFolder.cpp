#include "platform/ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace quillon {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

}  // namespace

std::optional<std::string> ProgramFolder() {
  std::string folder = Env("QUILLON_HOME");
  if (folder.empty()) {
    std::string config = Env("XDG_CONFIG_HOME");
    // XDG asks to ignore a relative XDG_CONFIG_HOME.
    if (config.empty() || config.front() != '/') config = HomeFolder() + "/.config";
    folder = config + "/quillon";
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return std::nullopt;
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace quillon
