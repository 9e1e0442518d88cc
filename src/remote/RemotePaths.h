#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Folder texts of the remote browser. Remote paths use "/"; a folder is shown and compared
// without trailing "/" characters, and the server's top folder is "/". Pure functions.

// `folder` without its trailing "/" characters; "/" when nothing is left.
std::string NormaliseRemoteFolder(std::string_view folder);

// The folder one level up: `folder` (normalised) without its last "/"-part, "/" when only one
// part is left. nullopt when the folder contains no "/" (a relative name has no known parent).
std::optional<std::string> RemoteParentFolder(std::string_view folder);

// The text after the last "/" of `path` (all of it when there is none).
std::string RemoteBaseName(std::string_view path);

// True when both name the same folder once trailing "/" characters are ignored.
bool SameRemoteFolder(std::string_view a, std::string_view b);

// True when `folder` is `root` or lies below it.
bool IsWithinRemoteRoot(std::string_view folder, std::string_view root);

// `folder` as shown to a user confined to `root`: the root cut off its front, starting with
// "/" ("/" for the root itself). A folder outside the root is shown as it is.
std::string FolderBelowRoot(std::string_view folder, std::string_view root);

// The made-up name whose icon stands for a remote file: "A" followed by the file name's text
// from its last "." on ("A" alone when the name has no "."). Looked up by name only.
std::string RemoteIconName(std::string_view name);

}  // namespace quillon
