#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillon {

// Small text files that several processes may change at once: the INI files and the trust files
// of the program folder, edited by the main window, a task run and quillon-tool alike. Safe from
// any thread.

// The file's content; the empty text when it does not exist; nullopt when it exists but cannot
// be read.
[[nodiscard]] std::optional<std::string> ReadTextFile(const std::string& path);

// Reads the file (empty when missing), lets `edit` change the text and, when it changed, writes
// it back: into a file beside it, flushed, then put in its place (WriteFileAtomically), so
// readers see the old or the new content and never a part. An advisory lock on "<path>.lock" is
// held from the read to the rename, so concurrent editors never lose each other's changes, and
// under it the temporaries of editors killed half-way are removed. `edit` returns false to leave
// the file alone. A new file gets mode 0600, an existing one keeps its mode; a symbolic link is
// written through to its target. A file that may not be changed (see IsRewritableTextFile) is
// refused before anything is read. False when the file is refused or cannot be read, locked or
// written (then it is unchanged and no temporary file is left).
[[nodiscard]] bool EditTextFile(const std::string& path,
                                const std::function<bool(std::string& text)>& edit);

// False for a file that exists but may not be changed: not a regular file, not writable by this
// process, or without any write permission bit (chmod 0444), which refuses the edit even for
// root, although a rename over it would succeed. True for a missing file. A symbolic link is
// judged by its target.
[[nodiscard]] bool IsRewritableTextFile(const std::string& path);

}  // namespace quillon
