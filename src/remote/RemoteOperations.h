#pragma once

#include <memory>
#include <string>

#include "remote/FtpConnection.h"

namespace quillon {

// Makes the remote folder `path` and its missing parents: an empty path succeeds; otherwise the
// tree of the part before the last "/" is made first, then the folder itself, and the result is
// that of making the folder itself. So the result is false when `path` already existed (callers
// report ": Folder exists or cannot be created.").
bool CreateRemoteFolderTree(FtpConnection& connection, const std::string& path);

// Opens `path` for a transfer with two attempts on the same connection (no reconnect between):
// null after the second refusal, with the connection's LastError saying why.
std::unique_ptr<RemoteFile> OpenRemoteFile(FtpConnection& connection, const std::string& path,
                                           RemoteFileMode mode, bool binary);

// The same for an upload with what follows its transfer (FtpConnection::OpenUpload).
std::unique_ptr<RemoteFile> OpenRemoteUpload(FtpConnection& connection, const std::string& path,
                                             bool binary, const UploadFinish& finish);

}  // namespace quillon
