#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// Local folder paths as the browser keeps them: absolute, "/"-separated, no "." or ".."
// parts, no doubled or trailing "/" (except the top folder "/"). Links are not resolved, so a
// folder reached through a link keeps the link's path and its parent is the link's folder.

// The kept form of `path`, or nullopt when it is not absolute. ".." at the top stays at "/".
[[nodiscard]] std::optional<std::string> NormalizeLocalPath(const std::string& path);

// The folder above `folder` (a kept path); nullopt for "/".
std::optional<std::string> ParentFolder(const std::string& folder);

// Every level of `folder` from the top down, without "/" itself:
// "/a/b" -> {"/a", "/a/b"}; "/" -> {}.
std::vector<std::string> FolderLevels(const std::string& folder);

// folder + "/" + name, without doubling the "/" of the top folder.
std::string JoinLocalPath(const std::string& folder, const std::string& name);

// The last part of a kept path ("/a/b" -> "b"; "/" -> "/").
std::string LastPathPart(const std::string& path);

}  // namespace quillon
