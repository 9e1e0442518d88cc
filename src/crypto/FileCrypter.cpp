#include "crypto/FileCrypter.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/FileIo.h"
#include "crypto/BuiltInKeys.h"

namespace quillon {

namespace {

// Pieces in which files are read; bounds what a reader or writer holds.
constexpr size_t kChunkSize = 256 * 1024;
// The first MiB of a file is encrypted, or decrypted and written, on the calling thread alone:
// small files start no helper.
constexpr uint64_t kHandledInline = 1 << 20;

// Whether long pieces are worth splitting between two threads. The table cipher (some 400 MiB/s
// a core) gains from a second core; the AES instructions (over 3 GiB/s) outrun disk and wire on
// one, and there the hand-over per piece and the core it takes from the writer cost more than
// they save (measured with bench/tool_file_speed.sh).
bool ShareCipherWork(const RijndaelKey& key) { return key.ActivePath() == CipherPath::Table; }

constexpr std::string_view kOutOfMemory = ": Out of memory.";
constexpr std::string_view kCannotRead = ": Cannot read.";
constexpr std::string_view kAlreadyEncrypted = ": already encrypted.";
constexpr std::string_view kCannotEncrypt = ": Cannot encrypt file.";
constexpr std::string_view kCannotDecrypt = ": Cannot decrypt file.";
constexpr std::string_view kIncorrectKey = " ERROR: Incorrect value for the key: ";
constexpr std::string_view kCannotWrite = ": Cannot write.";

bool StartsWith(const uint8_t* data, size_t size, std::string_view magic) {
  return size >= magic.size() && std::memcmp(data, magic.data(), magic.size()) == 0;
}

void Wipe(std::string& s) {
  std::fill(s.begin(), s.end(), '\0');
  s.clear();
}

}  // namespace

// ---- UploadReader ----

UploadReader::UploadReader(FileCrypter& crypter, std::string path, UniqueFd fd, uint64_t fileSize)
    : crypter_(crypter),
      path_(std::move(path)),
      fd_(std::move(fd)),
      fileLeft_(fileSize),
      size_(fileSize) {}

UploadReader::~UploadReader() {
  std::fill(chunk_.begin(), chunk_.end(), uint8_t{0});
  std::fill(staged_.begin(), staged_.end(), uint8_t{0});
}

bool UploadReader::Refill() {
  staged_.clear();
  stagedAt_ = 0;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, fileLeft_));
  chunk_.resize(want);
  if (want == 0 || ReadUpTo(fd_.Get(), chunk_.data(), want) != want) {
    crypter_.SetMessage(path_, kCannotRead);
    return false;
  }
  fileLeft_ -= want;
  if (!encrypt_) {
    staged_.swap(chunk_);
    return true;
  }
  // Past the first MiB, long pieces are encrypted on two threads (tables only).
  if (!cipherHelper_ && given_ > kHandledInline && ShareCipherWork(crypter_.cipherKey_)) {
    cipherHelper_ = std::make_unique<HelperThread>();
    encryptor_.ShareWork(cipherHelper_.get());
  }
  // The pieces add up to the length announced at Begin; were they not to, the container would
  // be damaged, so the upload fails instead.
  if (!encryptor_.Update(chunk_.data(), want, staged_) ||
      (fileLeft_ == 0 && !encryptor_.Finish(staged_))) {
    crypter_.SetMessage(path_, kCannotEncrypt);
    return false;
  }
  return true;
}

int64_t UploadReader::Read(uint8_t* out, size_t capacity) {
  if (failed_) return -1;
  size_t copied = 0;
  while (copied < capacity && given_ < size_) {
    // Plain bytes need no staging: once the staged ones are gone, the file is read straight
    // into the caller's buffer (one copy less for every byte of a plain upload).
    if (!encrypt_ && stagedAt_ == staged_.size()) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(capacity - copied, fileLeft_));
      if (want == 0 || ReadUpTo(fd_.Get(), out + copied, want) != want) {
        crypter_.SetMessage(path_, kCannotRead);
        failed_ = true;
        fd_.Reset();
        return -1;
      }
      fileLeft_ -= want;
      copied += want;
      given_ += want;
      continue;
    }
    if (stagedAt_ == staged_.size() && !Refill()) {
      failed_ = true;
      fd_.Reset();
      return -1;
    }
    const size_t take = std::min(capacity - copied, staged_.size() - stagedAt_);
    std::memcpy(out + copied, staged_.data() + stagedAt_, take);
    stagedAt_ += take;
    copied += take;
    given_ += take;
  }
  if (given_ == size_) fd_.Reset();
  return static_cast<int64_t>(copied);
}

// ---- DownloadWriter ----

DownloadWriter::DownloadWriter(FileCrypter& crypter, std::string path, bool decrypt,
                               StagedFile file)
    : crypter_(crypter), path_(std::move(path)), decrypt_(decrypt), file_(std::move(file)) {}

DownloadWriter::~DownloadWriter() {
  if (mode_ != Mode::Done) Abort();
}

void DownloadWriter::Abort() {
  output_.reset();  // its helper thread writes to the file
  file_.Discard();
  if (mode_ != Mode::Done) mode_ = Mode::Failed;
  std::fill(plain_.begin(), plain_.end(), uint8_t{0});
}

// The system's reason goes with the message ("No space left on device").
bool DownloadWriter::FailWrite() {
  const int error = writeError_.load();
  crypter_.SetMessage(path_, error ? std::string(kCannotWrite) + " " + std::strerror(error) + "."
                                   : std::string(kCannotWrite));
  Abort();
  return false;
}

bool DownloadWriter::FailDecrypt() {
  crypter_.lastMessage_ = crypter_.DecryptFailure(path_, head_.data());
  Abort();
  return false;
}

bool DownloadWriter::Output(const uint8_t* data, size_t size) {
  if (size > 0 && !WriteAll(file_.Fd(), data, size)) {
    writeError_.store(errno);
    return FailWrite();
  }
  return true;
}

// Writes and empties plain_.
bool DownloadWriter::OutputPlain() {
  if (output_) return output_->Push(plain_) || FailWrite();
  const bool ok = Output(plain_.data(), plain_.size());
  plain_.clear();
  return ok;
}

void DownloadWriter::WriteInBackground() { background_ = true; }

void DownloadWriter::StartWritingBehind() {
  constexpr size_t kPiecesBehind = 4;
  const int fd = file_.Fd();
  output_ = std::make_unique<WriteBehindQueue>(
      [this, fd](const uint8_t* data, size_t size) {
        if (WriteAll(fd, data, size)) return true;
        writeError_.store(errno);
        return false;
      },
      kPiecesBehind, kHandledInline);
}

// Called once the first 41 bytes are in, or at Finish with fewer: a container is decrypted
// (when asked), anything else is written as it came.
bool DownloadWriter::Decide() {
  const std::string_view magic = StartsWith(head_.data(), head_.size(), kMagicQvr5) ? kMagicQvr5
                                 : StartsWith(head_.data(), head_.size(), kMagicQvr4)
                                     ? kMagicQvr4
                                     : std::string_view();
  if (decrypt_ && !magic.empty()) crypter_.UseKeyFor(magic);
  if (!decrypt_ || magic.empty() || head_.size() < kMinContainerSize) {
    mode_ = Mode::Plain;
    return Output(head_.data(), head_.size());
  }
  mode_ = Mode::Decrypt;
  decryptor_ = std::make_unique<BlobDecryptor>(crypter_.cipherKey_);
  if (background_) StartWritingBehind();
  plain_.clear();
  if (!decryptor_->Update(head_.data() + kContainerHeaderSize, head_.size() - kContainerHeaderSize,
                          plain_)) {
    return FailDecrypt();
  }
  return OutputPlain();
}

bool DownloadWriter::Write(const uint8_t* data, size_t size) {
  // Without decryption every file is written as it comes.
  if (mode_ == Mode::Undecided && !decrypt_) mode_ = Mode::Plain;
  if (mode_ == Mode::Undecided) {
    const size_t take = std::min(size, kMinContainerSize - head_.size());
    head_.insert(head_.end(), data, data + take);
    data += take;
    size -= take;
    if (head_.size() < kMinContainerSize) return true;
    if (!Decide()) return false;
  }
  switch (mode_) {
    case Mode::Plain:
      if (!background_) return Output(data, size);
      // Copied, so that the caller can refill its buffer while the file is written.
      if (!output_) StartWritingBehind();
      plain_.assign(data, data + size);
      return OutputPlain();
    case Mode::Decrypt:
      // Past the first MiB, long pieces are decrypted on two threads (tables only).
      received_ += size;
      if (background_ && !cipherHelper_ && received_ > kHandledInline &&
          ShareCipherWork(crypter_.cipherKey_)) {
        cipherHelper_ = std::make_unique<HelperThread>();
        decryptor_->ShareWork(cipherHelper_.get());
      }
      if (!decryptor_->Update(data, size, plain_)) return FailDecrypt();
      return OutputPlain();
    default:
      return false;
  }
}

int DownloadWriter::Finish() {
  if (mode_ == Mode::Done) return 1;
  if (mode_ == Mode::Failed) return -1;
  if (mode_ == Mode::Undecided && !Decide()) return -1;
  if (mode_ == Mode::Decrypt && !decryptor_->Finish()) {
    FailDecrypt();
    return -1;
  }
  if (output_ && !output_->Finish()) {
    FailWrite();
    return -1;
  }
  output_.reset();
  if (!file_.Commit()) {
    writeError_.store(errno);
    FailWrite();
    return -1;
  }
  mode_ = Mode::Done;
  return 1;
}

// ---- FileCrypter ----

FileCrypter::FileCrypter(std::string_view userId, std::string_view encryptionKeyName) {
  idKey_.SetKeyLength(256);
  idKey_.SetKeyBytes(IdKey().data(), IdKey().size());
  idKey_.ExpandKey(8);
  idBlock_.SetBlockWords(8);
  idBlock_.BindKey(&idKey_);
  const size_t userLength = std::min(userId.size(), kIdFieldLength);
  const size_t nameLength = std::min(encryptionKeyName.size(), kIdFieldLength);
  std::memcpy(idArea_.data(), userId.data(), userLength);
  std::memcpy(idArea_.data() + 16, encryptionKeyName.data(), nameLength);
  idBlock_.Attach(idArea_.data());
  idBlock_.EncryptBlock();
}

FileCrypter::~FileCrypter() { Wipe(decryptionKey_); }

void FileCrypter::SetMessage(const std::string& path, std::string_view text) {
  lastMessage_ = path;
  lastMessage_ += text;
}

// An empty key text is no key at all: encryption and decryption then fail rather than use
// the publicly known padding bytes as a key.
void FileCrypter::SetEncryptionKey(std::string_view key) {
  cipherKey_.SetKeyLength(128);
  const std::string_view offered = key.substr(0, std::min<size_t>(key.size(), 32));
  if (offered.empty()) {
    cipherKey_.SetKeyBytes(nullptr, 0);
    cipherKey_.SetKeyLength(128);
  } else {
    cipherKey_.SetKeyBytes(offered);
    cipherKey_.ExpandKey(6);
  }
  currentMagic_ = kMagicQvr4;
}

void FileCrypter::SetDecryptionKey(std::string_view key) {
  Wipe(decryptionKey_);
  decryptionKey_ = key;
  currentMagic_.clear();
  UseKeyFor(kMagicQvr4);
}

void FileCrypter::UseKeyFor(std::string_view magic) {
  if (currentMagic_ == magic) return;
  currentMagic_ = magic;
  if (decryptionKey_.empty()) {
    cipherKey_.SetKeyBytes(nullptr, 0);
    cipherKey_.SetKeyLength(magic == kMagicQvr5 ? 256 : 128);
    return;
  }
  cipherKey_.SetKeyLength(magic == kMagicQvr5 ? 256 : 128);
  cipherKey_.SetKeyBytes(decryptionKey_);
  cipherKey_.ExpandKey(6);
}

std::string FileCrypter::KeyNameOf(const uint8_t* idBlock) const {
  uint8_t block[32];
  std::memcpy(block, idBlock, sizeof block);
  RijndaelBlock view;
  view.SetBlockWords(8);
  view.BindKey(&idKey_);
  view.Attach(block);
  view.DecryptBlock();
  const uint8_t* name = block + 16;
  const size_t length = std::find(name, name + 16, uint8_t{0}) - name;
  return std::string(reinterpret_cast<const char*>(name), length);
}

std::string FileCrypter::DecryptFailure(const std::string& path, const uint8_t* head) const {
  std::string message = path;
  message += kCannotDecrypt;
  if (StartsWith(head, kMinContainerSize, kMagicQvr4)) {
    message += kIncorrectKey;
    message += KeyNameOf(head + kMagicQvr4.size());
  }
  return message;
}

std::unique_ptr<UploadReader> FileCrypter::OpenUpload(const std::string& path, bool encrypt) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetMessage(path, kCannotRead);
    return nullptr;
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  std::unique_ptr<UploadReader> reader(new UploadReader(*this, path, std::move(fd), fileSize));
  if (fileSize == 0) return reader;  // an empty file stays empty, also when encrypting

  // The first piece is read now: it tells whether the file is a container already.
  if (!reader->Refill()) return nullptr;
  if (!encrypt) return reader;
  if (StartsWith(reader->staged_.data(), reader->staged_.size(), kMagicQvr4)) {
    SetMessage(path, kAlreadyEncrypted);
    reader->alreadyEncrypted_ = true;
    return reader;
  }
  std::vector<uint8_t> head(idArea_.size() + kMagicQvr4.size());
  std::memcpy(head.data(), kMagicQvr4.data(), kMagicQvr4.size());
  std::memcpy(head.data() + kMagicQvr4.size(), idArea_.data(), idArea_.size());
  if (!reader->encryptor_.Begin(cipherKey_, fileSize, head)) {
    SetMessage(path, kCannotEncrypt);
    return nullptr;
  }
  reader->encrypt_ = true;
  reader->size_ = kContainerHeaderSize + BlobSize(cipherKey_.BlockWords(), fileSize);
  // Encrypt the piece already read behind the container's head.
  std::vector<uint8_t> first;
  first.swap(reader->staged_);
  reader->staged_ = std::move(head);
  const bool encrypted = reader->encryptor_.Update(first.data(), first.size(), reader->staged_) &&
                         (reader->fileLeft_ != 0 || reader->encryptor_.Finish(reader->staged_));
  std::fill(first.begin(), first.end(), uint8_t{0});
  if (!encrypted) {
    SetMessage(path, kCannotEncrypt);
    return nullptr;
  }
  return reader;
}

std::unique_ptr<DownloadWriter> FileCrypter::OpenDownload(const std::string& path, bool decrypt) {
  // A new file gets 0666 less the umask, a replaced one keeps its permissions; no fsync, as
  // for any program that writes a file.
  std::optional<StagedFile> file =
      StagedFile::Create(path, {.mode = std::nullopt, .keepExistingMode = true, .sync = false});
  if (!file) {
    SetMessage(path, kCannotWrite);
    return nullptr;
  }
  return std::unique_ptr<DownloadWriter>(
      new DownloadWriter(*this, path, decrypt, std::move(*file)));
}

std::optional<std::vector<uint8_t>> FileCrypter::ReadLocalFile(const std::string& path,
                                                               bool encrypt) {
  auto reader = OpenUpload(path, encrypt);
  if (!reader) return std::nullopt;
  std::vector<uint8_t> contents;
  try {
    contents.resize(static_cast<size_t>(reader->Size()));
  } catch (const std::bad_alloc&) {
    SetMessage(path, kOutOfMemory);
    return std::nullopt;
  } catch (const std::length_error&) {
    SetMessage(path, kOutOfMemory);
    return std::nullopt;
  }
  size_t got = 0;
  while (got < contents.size()) {
    const int64_t n = reader->Read(contents.data() + got, contents.size() - got);
    if (n <= 0) return std::nullopt;
    got += static_cast<size_t>(n);
  }
  return contents;
}

int FileCrypter::WriteLocalFile(const uint8_t* data, size_t size, const std::string& path,
                                bool decrypt) {
  auto writer = OpenDownload(path, decrypt);
  if (!writer) return -1;
  if (size > 0 && !writer->Write(data, size)) return -1;
  return writer->Finish();
}

}  // namespace quillon
