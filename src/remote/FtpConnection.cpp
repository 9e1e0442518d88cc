#include "remote/FtpConnection.h"

#include <vector>

namespace quillon {

bool RemoteFile::WriteFrom(const FillFunction& fill) {
  std::vector<char> buffer(64 << 10);
  for (;;) {
    size_t n = fill(buffer.data(), buffer.size());
    if (n == 0) return true;
    if (!Write(buffer.data(), n)) return false;
  }
}

}  // namespace quillon
