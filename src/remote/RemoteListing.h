#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Clock.h"
#include "remote/FtpConnection.h"

namespace quillon {

// Parsing of FTP folder listings and the checks that keep a server's names and Quillon's own
// commands safe. Pure functions, usable from any thread.

// Limits of what a server may send, so that an endless reply or listing fails the operation
// instead of exhausting memory.
inline constexpr size_t kMaxListingLine = 16 * 1024;   // bytes in one listing line
inline constexpr size_t kMaxListingEntries = 500'000;  // lines in one listing
inline constexpr size_t kMaxReplyBytes = 64 * 1024;    // control-connection text per operation

// One parsed listing line, before the name is checked.
struct ListedEntry {
  std::string name;
  bool isFolder = false;
  uint64_t size = 0;
  TimePoint lastWrite{};
};

// A byte count from the server: decimal digits only, at most 20 of them, no overflow; nullopt
// for anything else. Every number a server sends goes through a check like this one.
std::optional<uint64_t> ParseByteCount(std::string_view digits);

// The size in a SIZE reply line ("213 1234"); nullopt when the line holds no such number
// ("213 123456789012345678901234567890", "213 -1", "213 12 bytes").
std::optional<uint64_t> ParseSizeReply(std::string_view line);

// "." and ".." and names containing "/" or a control character (NUL, CR, LF, tab, escape,
// DEL ...) are not names Quillon may use.
bool IsSafeRemoteName(std::string_view name);

// A path Quillon may put into a command of its own: not empty and no CR, LF or NUL.
bool IsSafeRemotePath(std::string_view path);

// folder + "/" + name, without doubling a trailing "/" of the folder.
std::string JoinRemotePath(std::string_view folder, std::string_view name);

// The name shown in logs for an untrusted name: control bytes as "\xNN".
std::string PrintableName(std::string_view name);

// One MLSD line ("type=file;size=12;modify=20240105120000; name"). Entries of type cdir and
// pdir, and lines without a name or a type, give nullopt. Links (OS.unix=slink...) are files.
// The modify fact is UTC.
std::optional<ListedEntry> ParseMlsdLine(std::string_view line);

// One LIST line in the Unix ("ls -l") format or the DOS/IIS format; "total" lines and anything
// unrecognised give nullopt. A symbolic link ("l...") is a plain file named by the part before
// " -> ". Times are read as UTC; a Unix time without a year falls in the twelve months up to
// `now` (plus one day of clock skew).
std::optional<ListedEntry> ParseListLine(std::string_view line, TimePoint now);
std::optional<ListedEntry> ParseUnixListLine(std::string_view line, TimePoint now);
std::optional<ListedEntry> ParseDosListLine(std::string_view line);

}  // namespace quillon
