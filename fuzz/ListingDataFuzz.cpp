// The bytes of a listing's data connection, cut into pieces as the network may cut them: the
// first byte picks MLSD or LIST and the piece size. Whatever the pieces, the listing read is
// the same as the one read from a single piece.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ftp/ListingReader.h"
#include "remote/RemoteListing.h"

using namespace quillon;

namespace {

struct Outcome {
  bool ok = false;
  std::string refusal;
  std::vector<RemoteEntry> entries;
  std::vector<std::string> dropped;
};

Outcome Read(bool mlsd, std::string_view bytes, size_t piece, TimePoint now) {
  ListingReader reader(mlsd, "/folder", now);
  Outcome outcome;
  bool ok = true;
  for (size_t at = 0; ok && at < bytes.size(); at += piece)
    ok = reader.Add(bytes.substr(at, piece));
  outcome.ok = ok && reader.Finish();
  outcome.refusal = reader.Refusal();
  outcome.entries = reader.TakeEntries();
  outcome.dropped = reader.Dropped();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool mlsd = data[0] & 1;
  const size_t piece = 1 + (data[0] >> 1);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const TimePoint now =
      std::chrono::sys_days(std::chrono::year(2024) / 6 / 15) + std::chrono::hours(12);

  const Outcome whole = Read(mlsd, bytes, bytes.size() + 1, now);
  const Outcome cut = Read(mlsd, bytes, piece, now);
  FUZZ_CHECK(whole.ok == whole.refusal.empty());
  FUZZ_CHECK(cut.ok == whole.ok);
  FUZZ_CHECK(cut.refusal == whole.refusal);
  FUZZ_CHECK(cut.dropped == whole.dropped);
  FUZZ_CHECK(cut.entries.size() == whole.entries.size());
  for (size_t i = 0; i < cut.entries.size(); ++i) {
    const RemoteEntry& entry = cut.entries[i];
    FUZZ_CHECK(entry.name == whole.entries[i].name);
    FUZZ_CHECK(entry.size == whole.entries[i].size);
    FUZZ_CHECK(IsSafeRemoteName(entry.name));
    FUZZ_CHECK(entry.path == "/folder/" + entry.name);
  }
  return 0;
}
