#include "ftp/ListingReader.h"

#include "remote/RemoteListing.h"

namespace quillon {

bool ListingReader::TakeLine(std::string_view line) {
  if (++lines_ > kMaxListingEntries) {
    refusal_ =
        "The server's listing has more than " + std::to_string(kMaxListingEntries) + " lines";
    return false;
  }
  auto parsed = mlsd_ ? ParseMlsdLine(line) : ParseListLine(line, now_);
  if (!parsed) return true;
  if (!IsSafeRemoteName(parsed->name)) {
    // "." and ".." are a listing's own entries, not worth a report.
    if (parsed->name != "." && parsed->name != "..") dropped_.push_back(std::move(parsed->name));
    return true;
  }
  RemoteEntry entry;
  entry.path = JoinRemotePath(folder_, parsed->name);
  entry.name = std::move(parsed->name);
  entry.isFolder = parsed->isFolder;
  entry.size = parsed->size;
  entry.lastWrite = parsed->lastWrite;
  entries_.push_back(std::move(entry));
  return true;
}

bool ListingReader::Add(std::string_view data) {
  if (!refusal_.empty()) return false;
  while (!data.empty()) {
    auto newline = data.find('\n');
    partial_.append(data.substr(0, newline));
    // Checked before the line is read, so that no parser sees a longer line, however the
    // bytes were cut into pieces.
    if (partial_.size() > kMaxListingLine) {
      refusal_ = "A line of the server's listing is longer than " +
                 std::to_string(kMaxListingLine) + " bytes";
      return false;
    }
    if (newline == std::string_view::npos) break;
    data.remove_prefix(newline + 1);
    if (!TakeLine(partial_)) return false;
    partial_.clear();
  }
  return true;
}

bool ListingReader::Finish() {
  if (!refusal_.empty()) return false;
  if (partial_.empty()) return true;
  bool ok = TakeLine(partial_);
  partial_.clear();
  return ok;
}

}  // namespace quillon
