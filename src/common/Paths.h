#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The parts of "/"-separated paths, local or remote, taken as text: nothing here looks at the
// file system.

// `folder` + "/" + `name`, without doubling a "/" that ends `folder` ("/" + "a" is "/a"). An
// empty folder gives `name` alone.
std::string JoinPath(std::string_view folder, std::string_view name);

// The text after the last "/": "/a/b" -> "b", "b" -> "b", "/a/" -> "", "/" -> "".
std::string BaseNameOf(std::string_view path);

// `path` without the "/" that end it, except that a path of only "/" stays "/" (the top folder):
// "/a/b//" -> "/a/b", "///" -> "/", "" -> "".
std::string WithoutTrailingSlashes(std::string_view path);

// The folder that holds what `path` names, for making files beside it: "/a/b" -> "/a",
// "/a" -> "/", "b" -> ".".
std::string FolderOf(std::string_view path);

}  // namespace quillon
