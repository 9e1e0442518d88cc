#include "ftp/SftpListing.h"

#include "common/Text.h"
#include "remote/RemoteListing.h"

namespace quillon {

std::optional<SftpListing> ReadSftpListing(std::string_view longNames, std::string_view plainNames,
                                           const std::string& folder, TimePoint now) {
  const auto longLines = SplitLines(longNames);
  const auto plainLines = SplitLines(plainNames);
  if (longLines.size() != plainLines.size() || longLines.size() > kMaxListingEntries)
    return std::nullopt;
  const size_t count = longLines.size();
  std::vector<std::optional<ListedEntry>> parsed(count);
  std::vector<bool> continued(count, false);  // this line goes on the name of the line before
  std::vector<bool> bad(count, false);        // part of a name that spans lines
  for (size_t i = 0; i < count; ++i) {
    if (longLines[i].size() <= kMaxListingLine) parsed[i] = ParseUnixListLine(longLines[i], now);
    if (!parsed[i] || parsed[i]->name != plainLines[i]) {
      continued[i] = bad[i] = true;
      if (i > 0) bad[i - 1] = true;
    }
  }
  SftpListing listing;
  std::string pending;  // the pieces of one name that spans several lines
  for (size_t i = 0; i < count; ++i) {
    if (bad[i]) {
      if (!pending.empty()) pending += '\n';
      pending += plainLines[i];
      const bool continues = i + 1 < count && continued[i + 1];
      if (!continues) {
        if (pending != "." && pending != "..") listing.skipped.push_back(std::move(pending));
        pending.clear();
      }
      continue;
    }
    const ListedEntry& entry = *parsed[i];
    if (entry.name == "." || entry.name == "..") continue;
    if (!IsSafeRemoteName(entry.name)) {
      listing.skipped.push_back(entry.name);
      continue;
    }
    listing.entries.push_back(RemoteEntry{entry.name, JoinRemotePath(folder, entry.name),
                                          entry.isFolder, entry.size, entry.lastWrite});
  }
  return listing;
}

}  // namespace quillon
