#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Plain reads and writes on file descriptors, with the retries every caller needs. Safe from
// any thread.

// Writes all `size` bytes, going on after short writes and interrupted calls. False on the first
// error, with errno telling which.
[[nodiscard]] bool WriteAll(int fd, const void* data, size_t size);
[[nodiscard]] bool WriteAll(int fd, std::string_view text);

// Reads until `size` bytes arrived, the file ended or an error occurred; returns how many bytes
// arrived (errno tells the error when fewer arrived and it was not the end).
size_t ReadUpTo(int fd, void* out, size_t size);

// Everything from the descriptor's position to the end; nullopt on a read error.
std::optional<std::string> ReadToEnd(int fd);

// The whole content of the file at `path`; nullopt when it cannot be opened or read, with errno
// telling why (ENOENT for a missing file, EISDIR for a folder).
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace quillon
