#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillon {

// Small text files that several processes may change at once (the trust files of the program
// folder, edited by the main window, a task run and quillon-tool alike). Safe from any thread.

// The file's content; the empty text when it does not exist; nullopt when it exists but cannot
// be read.
[[nodiscard]] std::optional<std::string> ReadTextFile(const std::string& path);

// Reads the file (empty when missing), lets `edit` change the text and, when it changed, writes
// it back: into a temporary file beside it, flushed, then renamed over it, so readers see the
// old or the new content and never a part. An advisory lock on "<path>.lock" is held from the
// read to the rename, so concurrent editors never lose each other's changes. `edit` returns
// false to leave the file alone. A new file gets mode 0600, an existing one keeps its mode; a
// symbolic link is written through to its target. False when the file cannot be read, locked
// or written (then it is unchanged and no temporary file is left).
[[nodiscard]] bool EditTextFile(const std::string& path,
                                const std::function<bool(std::string& text)>& edit);

}  // namespace quillon
