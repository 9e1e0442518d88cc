#include "remote/RemotePaths.h"

namespace quillon {

std::string NormaliseRemoteFolder(std::string_view folder) {
  while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  if (folder.empty()) return "/";
  return std::string(folder);
}

std::optional<std::string> RemoteParentFolder(std::string_view folder) {
  std::string normal = NormaliseRemoteFolder(folder);
  auto slash = normal.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  return NormaliseRemoteFolder(std::string_view(normal).substr(0, slash));
}

std::string RemoteBaseName(std::string_view path) {
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool SameRemoteFolder(std::string_view a, std::string_view b) {
  return NormaliseRemoteFolder(a) == NormaliseRemoteFolder(b);
}

bool IsWithinRemoteRoot(std::string_view folder, std::string_view root) {
  std::string f = NormaliseRemoteFolder(folder);
  std::string r = NormaliseRemoteFolder(root);
  if (f == r) return true;
  if (r == "/") return f.front() == '/';
  return f.size() > r.size() && f.compare(0, r.size(), r) == 0 && f[r.size()] == '/';
}

std::string FolderBelowRoot(std::string_view folder, std::string_view root) {
  std::string f = NormaliseRemoteFolder(folder);
  std::string r = NormaliseRemoteFolder(root);
  if (r == "/" || !IsWithinRemoteRoot(f, r)) return f;
  if (f == r) return "/";
  return f.substr(r.size());
}

std::string RemoteIconName(std::string_view name) {
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return "A";
  return "A" + std::string(name.substr(dot));
}

}  // namespace quillon
