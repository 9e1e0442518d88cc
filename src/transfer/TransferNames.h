#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The extension of encrypted files.
inline constexpr std::string_view kEncryptedExtension = ".qvr";

// A name that stays inside its folder: not empty, not "." or "..", no "/" or NUL.
bool IsPlainName(std::string_view name);

// folder + "/" + name with one separator ("/" + "a" gives "/a"); an empty folder is the
// server's top folder ("" + "a" gives "/a").
std::string JoinRemote(std::string_view folder, std::string_view name);

// The name a crash-safe upload is written under before it is renamed to `destination`: in the
// same folder, "." + the file name + ".quillon-" + 12 hex digits of `tag`, so a consumer of the
// folder takes it for neither the file nor any other ("/in/a.txt.qvr" with tag 0xab gives
// "/in/.a.txt.qvr.quillon-0000000000ab"). A long file name is cut to 200 bytes first, so that
// the temporary name stays within the usual limit of 255.
std::string TemporaryUploadPath(std::string_view destination, uint64_t tag);

// A local or remote path as written into a log line, the activity log or a message: control
// characters as "\xNN", so that a file name cannot start a line of its own.
std::string ShownPath(std::string_view path);

}  // namespace quillon
