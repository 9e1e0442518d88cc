#pragma once

#include <string>

#include "common/ActivityLog.h"
#include "remote/FtpConnection.h"

namespace quillon {

// Deletes the remote folder `folder` with everything in it, on the connection's thread:
// 1. Remembers the server's current folder and enters `folder` (failure: false).
// 2. Lists it; each file is deleted after "Delete: " + its path went to `log`. The first file
//    that cannot be deleted ends the walk with false, and the server's current folder then
//    stays `folder`.
// 3. Otherwise the sub-folders are deleted the same way in listing order (the first failure
//    ends it with false), the remembered folder is restored, "Delete: " + `folder` goes to the
//    log, and when everything below was deleted the folder itself is removed: the result is
//    that of the removal.
// A listing that fails restores the remembered folder and gives false. Folders nested deeper
// than kMaxRemoteDeleteDepth levels are not walked (false), so a server that lists folders
// without end cannot make the walk endless.
inline constexpr int kMaxRemoteDeleteDepth = 256;
bool DeleteRemoteFolder(FtpConnection& connection, const std::string& folder, ActivityLog& log);

}  // namespace quillon
