#pragma once

#include <memory>
#include <string>

#include "transfer/TransferSettings.h"
#include "transfer/TransferStreams.h"

namespace quillon {

// A lane's encryption: makes the streams of its files, encrypting uploads into "QVR4"
// containers in encrypt mode and decrypting received containers in decrypt mode, with the
// program-wide key prepared once per lane. Used by the lane's thread only.
class TransferCrypter {
 public:
  TransferCrypter(const TransferSettings& settings, bool upload);
  ~TransferCrypter();

  // The bytes to upload from `path`; null on failure with `error` set (": Cannot read." etc.).
  std::unique_ptr<UploadSource> OpenSource(const std::string& path, bool encrypt,
                                           std::string& error);
  // The sink of a download to `destination`: a new temporary file beside it, renamed over it
  // at the sink's commit. Null on failure with `error` set (": Cannot write.").
  std::unique_ptr<DownloadSink> OpenSink(const std::string& destination, bool decrypt,
                                         std::string& error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillon
