#include "transfer/TransferCrypter.h"

#include "crypto/FileCrypter.h"
#include "crypto/Rijndael.h"

namespace quillon {

namespace {

// Pieces in flight between a lane and its cipher thread: uploads 4 x 256 KiB (each one
// encryption call and one fill of the connection's send buffer), downloads 8 writes.
constexpr size_t kPiece = 256 << 10;
constexpr size_t kReadAheadDepth = 4;
constexpr size_t kWriteBehindDepth = 8;
// Files up to this size are encrypted on the lane's own thread: a helper thread costs more to
// start and to hand pieces to than the cipher takes for them.
constexpr uint64_t kEncryptedInline = 1 << 20;

// Whether the cipher is slow enough for helper threads to pay: the tables (some 400 MiB/s a
// core) take longer than the wire, so there encryption runs ahead of the lane and decryption
// and the file's writing behind it. The AES instructions take about a third of a second per
// GiB; handing the pieces from thread to thread costs more than that on a busy machine, so
// there the lane does it all itself (bench/transfer_bench.sh).
bool CipherNeedsHelpers() { return !HardwareCipherAllowed(); }

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
  // Encryption of a larger file runs ahead on its own thread, so the cipher and the network
  // work at once.
  if (encrypt && source->Size() > kEncryptedInline && CipherNeedsHelpers())
    return ReadAhead(std::move(source), kPiece, kReadAheadDepth);
  return source;
}

std::unique_ptr<DownloadSink> TransferCrypter::OpenSink(const std::string& destination,
                                                        bool decrypt, std::string& error) {
  auto writer = state_->crypter.OpenDownload(destination, decrypt);
  if (!writer) {
    error = state_->crypter.LastMessage();
    return nullptr;
  }
  if (!decrypt || !CipherNeedsHelpers())
    return std::make_unique<CrypterSink>(std::move(writer), state_->crypter);
  // Three stages of a large file work at once: receiving (the lane), decrypting (behind the
  // lane) and writing the file (behind the cipher).
  writer->WriteInBackground();
  auto sink = std::make_unique<CrypterSink>(std::move(writer), state_->crypter);
  return WriteBehind(std::move(sink), kWriteBehindDepth);
}

}  // namespace quillon
