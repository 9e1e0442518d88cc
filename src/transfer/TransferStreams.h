#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

// The bytes of one upload, produced piece by piece from a local file (encrypted on the way
// when asked). Used by one lane thread.
class UploadSource {
 public:
  virtual ~UploadSource() = default;
  // Fills at most `size` bytes; 0 at the end; -1 on failure (ErrorText says why).
  virtual int64_t Read(char* buffer, size_t size) = 0;
  virtual const std::string& ErrorText() const = 0;
  // How many bytes Read gives in all, known when the source is opened.
  virtual uint64_t Size() const = 0;
};

// Where the received bytes of one download go: a new temporary file beside the destination,
// decrypted on the way when asked. Nothing is visible at the destination until Commit.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;  // removes the temporary file unless committed
  // Takes the next received bytes. False on failure (ErrorText says why).
  virtual bool Write(const char* data, size_t size) = 0;
  // All bytes were received: finishes the file (decryption checks its container here) and
  // renames it over the destination, replacing a file or a link there but never writing
  // through one. False on failure; then nothing is left behind.
  virtual bool Commit() = 0;
  virtual const std::string& ErrorText() const = 0;
};

// Runs `inner` on a helper thread ahead of its reader, at most `depth` pieces of `piece` bytes
// (encryption then overlaps with sending). The helper thread ends with the source.
std::unique_ptr<UploadSource> ReadAhead(std::unique_ptr<UploadSource> inner, size_t piece,
                                        size_t depth);

// Hands the received bytes to `inner` on a helper thread, at most `depth` writes behind
// (decryption then overlaps with receiving); the first MiB goes to `inner` directly, so small
// files need no thread. Commit waits for every write first. The helper thread ends with the
// sink.
std::unique_ptr<DownloadSink> WriteBehind(std::unique_ptr<DownloadSink> inner, size_t depth);

}  // namespace quillon
