#include "platform/MimeRegistration.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/CommandRunner.h"

namespace quillon {
namespace {

std::filesystem::path DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return data;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/") / ".local/share";
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
  SystemCommands().Run({"update-mime-database", mime.string()});
}

}  // namespace quillon
