#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace quillon {

bool WriteFileAtomically(const std::string& path, const std::string& content, mode_t mode) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  // A leading dot and a suffix after the name keep launcher folders and unit folders from
  // picking the half-written file up.
  std::string pattern = folder + "." + base + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      ok = false;
    }
  }
  ok = ok && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temp.data(), path.c_str()) == 0;
  if (!ok) unlink(temp.data());
  return ok;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

}  // namespace quillon
