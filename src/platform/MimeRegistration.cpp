#include "platform/MimeRegistration.h"

#include <filesystem>

#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/UserFolders.h"
#include "platform/CommandRunner.h"

namespace quillon {

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
  std::filesystem::path mime = std::filesystem::path(UserDataFolder()) / "mime";
  std::filesystem::path package = mime / "packages" / "quillon-qvr.xml";
  std::string wanted = EncryptedFileTypePackage();
  if (ReadWholeFile(package.string()) == wanted) return;
  std::error_code error;
  std::filesystem::create_directories(package.parent_path(), error);
  if (error || !WriteFileAtomically(package.string(), wanted)) return;
  SystemCommands().Run({"update-mime-database", mime.string()});
}

}  // namespace quillon
