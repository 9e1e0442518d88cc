// An SFTP folder's long names and plain names (split at the first NUL byte): whatever the
// server sends, every entry is a safe name that its plain line names exactly, under the folder.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "ftp/SftpListing.h"
#include "remote/RemoteListing.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t split = bytes.find('\0');
  const std::string_view longNames = bytes.substr(0, split);
  const std::string_view plainNames =
      split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
  const TimePoint now =
      std::chrono::sys_days(std::chrono::year(2024) / 6 / 15) + std::chrono::hours(12);
  auto listing = ReadSftpListing(longNames, plainNames, "/folder", now);
  if (!listing) return 0;
  const std::string plain = "\n" + std::string(plainNames) + "\n";
  for (const RemoteEntry& entry : listing->entries) {
    FUZZ_CHECK(IsSafeRemoteName(entry.name));
    FUZZ_CHECK(entry.path == "/folder/" + entry.name);
    FUZZ_CHECK(plain.find("\n" + entry.name + "\n") != std::string::npos ||
               plain.find("\n" + entry.name + "\r\n") != std::string::npos);
  }
  FUZZ_CHECK(listing->entries.size() + listing->skipped.size() <= size + 1);
  return 0;
}
