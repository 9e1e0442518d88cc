#include "transfer/TransferCrypter.h"

namespace quillon {

struct TransferCrypter::State {};

TransferCrypter::TransferCrypter(const TransferSettings&, bool) : state_(new State) {}
TransferCrypter::~TransferCrypter() = default;

std::unique_ptr<UploadSource> TransferCrypter::OpenSource(const std::string& path, bool encrypt,
                                                          std::string& error) {
  if (encrypt) {
    error = path + ": Cannot encrypt file.";
    return nullptr;
  }
  auto source = OpenPlainSource(path);
  if (!source) error = path + ": Cannot read.";
  return source;
}

std::unique_ptr<DownloadSink> TransferCrypter::OpenSink(int fd, const std::string& tempPath,
                                                        const std::string& destination, bool) {
  return OpenPlainSink(fd, tempPath, destination);
}

}  // namespace quillon
