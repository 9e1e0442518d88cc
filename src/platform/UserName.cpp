#include "platform/UserName.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace quillon {

std::string CurrentUserName() {
  long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024);
  // getpwuid_r, unlike getpwuid, keeps no shared buffer; it asks for more room with ERANGE.
  for (int attempt = 0; attempt < 8; ++attempt) {
    passwd entry{};
    passwd* found = nullptr;
    const int rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (rc == ERANGE) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || found == nullptr || found->pw_name == nullptr) return {};
    return found->pw_name;
  }
  return {};
}

}  // namespace quillon
