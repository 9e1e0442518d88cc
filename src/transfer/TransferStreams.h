#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

// The bytes of one upload, produced piece by piece from a local file (encrypted on the way
// when asked). Used by one lane thread.
class UploadSource {
 public:
  virtual ~UploadSource() = default;
  // Fills at most `size` bytes; 0 at the end; -1 on failure (ErrorText says why).
  virtual int64_t Read(char* buffer, size_t size) = 0;
  virtual const std::string& ErrorText() const = 0;
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

// A new temporary file in the folder of `destination`, opened for writing with the ordinary
// permissions of a new file. Returns the descriptor and sets `tempPath`; -1 on failure.
int CreateTempBeside(const std::string& destination, std::string& tempPath);

// Plain sources and sinks: the file's bytes as they are.
std::unique_ptr<UploadSource> OpenPlainSource(const std::string& path);
// Writes to descriptor `fd` (owned) of temporary file `tempPath` and renames it over
// `destination` at Commit. Errors read `destination` + ": Cannot write.".
std::unique_ptr<DownloadSink> OpenPlainSink(int fd, const std::string& tempPath,
                                            const std::string& destination);

// Renames finished temporary file `tempPath` over `destination`.
bool CommitTemp(const std::string& tempPath, const std::string& destination);

}  // namespace quillon
