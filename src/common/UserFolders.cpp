#include "common/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "common/Paths.h"

namespace quillon {
namespace {

// The variable's value when it is an absolute path.
std::optional<std::string> AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  return WithoutTrailingSlashes(value);
}

}  // namespace

std::optional<UserAccount> ProcessOwnerAccount() {
  const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(hint > 0 ? static_cast<size_t>(hint) : 1024, '\0');
  // getpwuid_r, unlike getpwuid, keeps no shared buffer; it asks for more room with ERANGE.
  for (int attempt = 0; attempt < 8; ++attempt) {
    passwd entry{};
    passwd* found = nullptr;
    const int rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (rc == ERANGE) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || found == nullptr) return std::nullopt;
    return UserAccount{found->pw_name ? found->pw_name : "", found->pw_dir ? found->pw_dir : ""};
  }
  return std::nullopt;
}

std::string UserHomeFolder() {
  if (std::optional<std::string> home = AbsoluteVariable("HOME")) return *home;
  if (std::optional<UserAccount> account = ProcessOwnerAccount();
      account && account->home.starts_with('/')) {
    return WithoutTrailingSlashes(account->home);
  }
  return "/";
}

std::string UserDataFolder() {
  if (std::optional<std::string> data = AbsoluteVariable("XDG_DATA_HOME")) return *data;
  const std::string home = UserHomeFolder();
  return (home == "/" ? "" : home) + "/.local/share";
}

std::string UserConfigFolder() {
  if (std::optional<std::string> config = AbsoluteVariable("XDG_CONFIG_HOME")) return *config;
  const std::string home = UserHomeFolder();
  return (home == "/" ? "" : home) + "/.config";
}

std::vector<std::string> SystemDataFolders() {
  const char* variable = std::getenv("XDG_DATA_DIRS");
  const std::string_view list =
      variable && *variable ? std::string_view(variable) : "/usr/local/share:/usr/share";
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= list.size()) {
    size_t colon = list.find(':', start);
    if (colon == std::string_view::npos) colon = list.size();
    const std::string_view folder = list.substr(start, colon - start);
    if (folder.starts_with('/')) folders.push_back(WithoutTrailingSlashes(folder));
    start = colon + 1;
  }
  return folders;
}

}  // namespace quillon
