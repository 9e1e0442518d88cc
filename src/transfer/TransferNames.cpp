#include "transfer/TransferNames.h"

#include <cstdio>

#include "common/Paths.h"
#include "remote/RemoteListing.h"

namespace quillon {

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string JoinRemote(std::string_view folder, std::string_view name) {
  return JoinPath(folder.empty() ? std::string_view("/") : folder, name);
}

std::string TemporaryUploadPath(std::string_view destination, uint64_t tag) {
  constexpr size_t kMaxNameBytes = 200;
  size_t slash = destination.rfind('/');
  std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : destination.substr(0, slash + 1);
  std::string_view name =
      slash == std::string_view::npos ? destination : destination.substr(slash + 1);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".quillon-%012llx",
                static_cast<unsigned long long>(tag & 0xFFFFFFFFFFFFull));
  return std::string(folder) + "." + std::string(name.substr(0, kMaxNameBytes)) + suffix;
}

std::string ShownPath(std::string_view path) { return PrintableName(path); }

}  // namespace quillon
