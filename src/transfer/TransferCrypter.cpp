#include "transfer/TransferCrypter.h"

#if __has_include("crypto/FileCrypter.h")
#include "crypto/FileCrypter.h"

namespace quillon {

namespace {

class CrypterSource : public UploadSource {
 public:
  CrypterSource(std::unique_ptr<UploadReader> reader, const FileCrypter& crypter)
      : reader_(std::move(reader)), crypter_(crypter) {}
  int64_t Read(char* buffer, size_t size) override {
    return reader_->Read(reinterpret_cast<uint8_t*>(buffer), size);
  }
  const std::string& ErrorText() const override { return crypter_.LastMessage(); }

 private:
  std::unique_ptr<UploadReader> reader_;
  const FileCrypter& crypter_;
};

class CrypterSink : public DownloadSink {
 public:
  CrypterSink(std::unique_ptr<DownloadWriter> writer, const FileCrypter& crypter)
      : writer_(std::move(writer)), crypter_(crypter) {}
  bool Write(const char* data, size_t size) override {
    return writer_->Write(reinterpret_cast<const uint8_t*>(data), size);
  }
  bool Commit() override { return writer_->Finish() == 1; }
  const std::string& ErrorText() const override { return crypter_.LastMessage(); }

 private:
  std::unique_ptr<DownloadWriter> writer_;  // drops its temporary file unless finished
  const FileCrypter& crypter_;
};

}  // namespace

struct TransferCrypter::State {
  explicit State(const TransferSettings& settings)
      : crypter(settings.userId, settings.encryptionKeyName) {}
  FileCrypter crypter;
};

TransferCrypter::TransferCrypter(const TransferSettings& settings, bool upload)
    : state_(std::make_unique<State>(settings)) {
  if (upload && settings.encrypt) state_->crypter.SetEncryptionKey(settings.encryptionKey);
  if (!upload && settings.decrypt) state_->crypter.SetDecryptionKey(settings.decryptionKey);
}

TransferCrypter::~TransferCrypter() = default;

std::unique_ptr<UploadSource> TransferCrypter::OpenSource(const std::string& path, bool encrypt,
                                                          std::string& error) {
  auto reader = state_->crypter.OpenUpload(path, encrypt);
  if (!reader) {
    error = state_->crypter.LastMessage();
    return nullptr;
  }
  return std::make_unique<CrypterSource>(std::move(reader), state_->crypter);
}

std::unique_ptr<DownloadSink> TransferCrypter::OpenSink(const std::string& destination,
                                                        bool decrypt, std::string& error) {
  auto writer = state_->crypter.OpenDownload(destination, decrypt);
  if (!writer) {
    error = state_->crypter.LastMessage();
    return nullptr;
  }
  return std::make_unique<CrypterSink>(std::move(writer), state_->crypter);
}

}  // namespace quillon

#else  // until the crypto module is in the tree: plain files only

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

std::unique_ptr<DownloadSink> TransferCrypter::OpenSink(const std::string& destination, bool,
                                                        std::string& error) {
  std::string tempPath;
  int fd = CreateTempBeside(destination, tempPath);
  if (fd < 0) {
    error = destination + ": Cannot write.";
    return nullptr;
  }
  return OpenPlainSink(fd, tempPath, destination);
}

}  // namespace quillon
#endif
