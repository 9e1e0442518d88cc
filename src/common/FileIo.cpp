#include "common/FileIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/UniqueFd.h"

namespace quillon {

bool WriteAll(int fd, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, next, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {  // a device that takes nothing would keep the loop going for ever
      errno = EIO;
      return false;
    }
    next += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, std::string_view text) { return WriteAll(fd, text.data(), text.size()); }

size_t ReadUpTo(int fd, void* out, size_t size) {
  char* next = static_cast<char*>(out);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, next + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

std::optional<std::string> ReadToEnd(int fd) {
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return content;
    content.append(buffer, static_cast<size_t>(n));
  }
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return std::nullopt;
  return ReadToEnd(fd.Get());
}

}  // namespace quillon
