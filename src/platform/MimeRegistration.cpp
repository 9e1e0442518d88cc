#include "platform/MimeRegistration.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace quillon {
namespace {

std::filesystem::path DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return data;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/") / ".local/share";
}

void RunQuietly(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (auto& a : copy) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status;
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace

std::string EncryptedFileTypePackage() {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-quillon-encrypted">
    <comment>Quillon encrypted file</comment>
    <icon name="quillon"/>
    <glob pattern="*.qvr"/>
    <magic priority="60">
      <match type="string" offset="0" value="QVR4"/>
      <match type="string" offset="0" value="QVR5"/>
    </magic>
  </mime-type>
</mime-info>
)";
}

void RegisterEncryptedFileType() {
  std::filesystem::path mime = DataHome() / "mime";
  std::filesystem::path package = mime / "packages" / "quillon-qvr.xml";
  std::string wanted = EncryptedFileTypePackage();
  {
    std::ifstream in(package, std::ios::binary);
    std::ostringstream current;
    current << in.rdbuf();
    if (in && current.str() == wanted) return;
  }
  std::error_code error;
  std::filesystem::create_directories(package.parent_path(), error);
  if (error) return;
  std::filesystem::path temp = package;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << wanted;
    if (!out.flush()) return;
  }
  std::filesystem::rename(temp, package, error);
  if (error) return;
  RunQuietly({"update-mime-database", mime.string()});
}

}  // namespace quillon
