#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "remote/FtpConnection.h"

namespace quillon {

// One folder as an SFTP server lists it, read twice: its long names ("ls -l" lines, which give
// sizes and times) and its plain names, one per line, in the same order. A name with a line
// break splits into lines in both, and the first part of it would pass for a file of another
// name; so every long line must name exactly the plain name on the same line. A line that does
// not, and the line before it (whose name went on), are left out and reported whole as unsafe,
// as are names IsSafeRemoteName refuses. "." and ".." are left out without a mention.
struct SftpListing {
  std::vector<RemoteEntry> entries;  // paths start with `folder`
  std::vector<std::string> skipped;
};

// Nullopt when the two reads have a different number of lines (the folder changed in between)
// or more than kMaxListingEntries lines. Pure.
std::optional<SftpListing> ReadSftpListing(std::string_view longNames, std::string_view plainNames,
                                           const std::string& folder, TimePoint now);

}  // namespace quillon
