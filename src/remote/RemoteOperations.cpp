#include "remote/RemoteOperations.h"

namespace quillon {

bool CreateRemoteFolderTree(FtpConnection& connection, const std::string& path) {
  if (path.empty()) return true;
  auto slash = path.rfind('/');
  if (slash != std::string::npos) CreateRemoteFolderTree(connection, path.substr(0, slash));
  return connection.CreateFolder(path);
}

std::unique_ptr<RemoteFile> OpenRemoteFile(FtpConnection& connection, const std::string& path,
                                           RemoteFileMode mode, bool binary) {
  constexpr int kAttempts = 2;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (auto file = connection.OpenFile(path, mode, binary)) return file;
  }
  return nullptr;
}

std::unique_ptr<RemoteFile> OpenRemoteUpload(FtpConnection& connection, const std::string& path,
                                             bool binary, const UploadFinish& finish) {
  constexpr int kAttempts = 2;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (auto file = connection.OpenUpload(path, binary, finish)) return file;
  }
  return nullptr;
}

}  // namespace quillon
