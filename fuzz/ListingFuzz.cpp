// Folder listings from a server: every line of the input through the MLSD and LIST parsers, and
// through the reader of SIZE replies.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "remote/RemoteListing.h"

using namespace quillon;

namespace {

void CheckEntry(const std::optional<ListedEntry>& entry) {
  if (!entry) return;
  FUZZ_CHECK(!entry->isFolder || entry->size == 0);
  // What the listing code does with every name next: judge it and show it.
  if (!IsSafeRemoteName(entry->name)) PrintableName(entry->name);
  JoinRemotePath("/folder", entry->name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  // A fixed "now", so that a crash replays the same way: 2024-06-15 12:00 UTC.
  const TimePoint now =
      std::chrono::sys_days(std::chrono::year(2024) / 6 / 15) + std::chrono::hours(12);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.size() > kMaxListingLine) continue;  // the connection refuses longer lines

    const auto mlsd = ParseMlsdLine(line);
    CheckEntry(mlsd);
    if (mlsd) FUZZ_CHECK(!mlsd->name.empty());

    const auto unix = ParseUnixListLine(line, now);
    const auto dos = ParseDosListLine(line);
    const auto list = ParseListLine(line, now);
    CheckEntry(unix);
    CheckEntry(dos);
    // LIST tries the Unix form first, then the DOS form.
    FUZZ_CHECK(list.has_value() == (unix.has_value() || dos.has_value()));
    if (list) FUZZ_CHECK(list->name == (unix ? unix->name : dos->name));

    // A size is only ever the digits the reply holds.
    if (const auto size = ParseSizeReply(line)) {
      FUZZ_CHECK(line.starts_with("213 "));
      FUZZ_CHECK(line.find(std::to_string(*size)) != std::string_view::npos);
    }
  }
  return 0;
}
