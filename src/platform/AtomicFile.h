#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace quillon {

// Writes `content` to a temporary file beside `path`, flushes it, gives it `mode` and renames it
// over `path`, so readers see the old file or the whole new one, never a part. The folder must
// exist. False (and no temporary file left) on any failure. A symbolic link at `path` is
// replaced, not followed.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, const std::string& content,
                                       mode_t mode);

// The whole file, or nullopt when it cannot be read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace quillon
