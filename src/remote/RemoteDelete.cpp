#include "remote/RemoteDelete.h"

#include <vector>

#include "remote/RemoteListing.h"

namespace quillon {

namespace {

bool DeleteFolder(FtpConnection& connection, const std::string& folder, ActivityLog& log,
                  int depth) {
  if (depth > kMaxRemoteDeleteDepth) return false;
  std::optional<std::string> remembered = connection.CurrentFolder();
  if (!connection.SetCurrentFolder(folder)) return false;
  auto restore = [&] {
    if (remembered && !remembered->empty()) connection.SetCurrentFolder(*remembered);
  };

  auto entries = connection.List();
  if (!entries) {
    restore();
    return false;
  }
  std::vector<std::string> subfolders;
  for (const auto& entry : *entries) {
    if (!IsSafeRemoteName(entry.name)) continue;
    std::string path = JoinRemotePath(folder, entry.name);
    if (entry.isFolder) {
      subfolders.push_back(std::move(path));
      continue;
    }
    log.AddLine("Delete: " + path, colour::kNeutral);
    if (!connection.DeleteFile(path)) return false;  // the server stays in `folder`
  }

  bool below = true;
  for (const auto& sub : subfolders) {
    if (!DeleteFolder(connection, sub, log, depth + 1)) {
      below = false;
      break;
    }
  }
  restore();
  log.AddLine("Delete: " + folder, colour::kNeutral);
  if (!below) return false;
  return connection.RemoveFolder(folder);
}

}  // namespace

bool DeleteRemoteFolder(FtpConnection& connection, const std::string& folder, ActivityLog& log) {
  return DeleteFolder(connection, folder, log, 0);
}

}  // namespace quillon
