#include "transfer/TransferCrypter.h"

#include "crypto/FileCrypter.h"

namespace quillon {

namespace {

// Pieces in flight between a lane and its cipher thread: 8 x 64 KiB.
constexpr size_t kPiece = 64 << 10;
constexpr size_t kDepth = 8;

class CrypterSource : public UploadSource {
 public:
  CrypterSource(std::unique_ptr<UploadReader> reader, const FileCrypter& crypter)
      : reader_(std::move(reader)), crypter_(crypter) {}
  int64_t Read(char* buffer, size_t size) override {
    return reader_->Read(reinterpret_cast<uint8_t*>(buffer), size);
  }
  const std::string& ErrorText() const override { return crypter_.LastMessage(); }
  uint64_t Size() const override { return reader_->Size(); }

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
  auto source = std::make_unique<CrypterSource>(std::move(reader), state_->crypter);
  // Encryption runs ahead on its own thread, so the cipher and the network work at once.
  if (encrypt) return ReadAhead(std::move(source), kPiece, kDepth);
  return source;
}

std::unique_ptr<DownloadSink> TransferCrypter::OpenSink(const std::string& destination,
                                                        bool decrypt, std::string& error) {
  auto writer = state_->crypter.OpenDownload(destination, decrypt);
  if (!writer) {
    error = state_->crypter.LastMessage();
    return nullptr;
  }
  if (!decrypt) return std::make_unique<CrypterSink>(std::move(writer), state_->crypter);
  // Three stages of a large file work at once: receiving (the lane), decrypting (behind the
  // lane) and writing the file (behind the cipher).
  writer->WriteInBackground();
  auto sink = std::make_unique<CrypterSink>(std::move(writer), state_->crypter);
  return WriteBehind(std::move(sink), kDepth);
}

}  // namespace quillon

