#include "transfer/TransferNames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "remote/RemoteListing.h"

namespace quillon {

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::string ToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string JoinRemote(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  return path + std::string(name);
}

std::string LastPart(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WithoutTrailingSlash(std::string_view path) {
  std::string result(path);
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
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
