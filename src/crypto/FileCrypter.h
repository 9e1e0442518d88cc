#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/AtomicFile.h"
#include "common/UniqueFd.h"
#include "common/WriteBehindQueue.h"
#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"

namespace quillon {

// The encrypted-file container:
//   offset 0   4 bytes  magic "QVR4" (written and read) or "QVR5" (read only)
//   offset 4  32 bytes  ID block: user ID (bytes 0-15) and key name (bytes 16-31), each at most
//                       15 characters and zero-filled, encrypted as one 256-bit block under the
//                       built-in ID key (256-bit key, 14 rounds)
//   offset 36  4 bytes  zero
//   offset 40  rest     cipher blob of the whole plaintext file (CipherBlob.h)
// "QVR4" blobs use a 128-bit key with 192-bit blocks (10 rounds), "QVR5" blobs a 256-bit key
// with 192-bit blocks (14 rounds). The key is the user's key text: for encryption its first
// 16 bytes, for decryption its first 16 ("QVR4") or 32 ("QVR5") bytes, a shorter text padded as
// RijndaelKey::SetKeyBytes says. Containers are at least 41 bytes long.
inline constexpr std::string_view kMagicQvr4 = "QVR4";
inline constexpr std::string_view kMagicQvr5 = "QVR5";
inline constexpr size_t kIdAreaSize = 36;           // the encrypted ID block and four zero bytes
inline constexpr size_t kContainerHeaderSize = 40;  // magic + ID area
inline constexpr size_t kMinContainerSize = 41;
inline constexpr size_t kIdFieldLength = 15;  // most characters of user ID and key name

class FileCrypter;

// The bytes to upload for one local file, pulled piece by piece (FileCrypter::OpenUpload).
// Holds the file open and at most about 256 KiB of data, whatever the file size. Belongs to
// the thread of its crypter, which must outlive it and keep its key while it is read.
class UploadReader {
 public:
  ~UploadReader();
  UploadReader(const UploadReader&) = delete;
  UploadReader& operator=(const UploadReader&) = delete;

  // Exactly how many bytes Read gives in total: the file length, or the container size when
  // encrypting (known before the first byte is read).
  uint64_t Size() const { return size_; }

  // Encryption was asked for but the file already starts with "QVR4": it is read unchanged.
  bool AlreadyEncrypted() const { return alreadyEncrypted_; }

  // Copies up to `capacity` bytes to `out` and returns how many; 0 once Size() bytes were given.
  // -1 when the file yields fewer bytes than its length: the crypter's last message is then
  // path + ": Cannot read." and every later call fails too.
  [[nodiscard]] int64_t Read(uint8_t* out, size_t capacity);

 private:
  friend class FileCrypter;
  UploadReader(FileCrypter& crypter, std::string path, UniqueFd fd, uint64_t fileSize);
  [[nodiscard]] bool Refill();

  FileCrypter& crypter_;
  std::string path_;
  UniqueFd fd_;
  uint64_t fileLeft_ = 0;  // file bytes not read yet
  uint64_t size_ = 0;
  uint64_t given_ = 0;
  bool encrypt_ = false;
  bool alreadyEncrypted_ = false;
  bool failed_ = false;
  BlobEncryptor encryptor_;
  std::unique_ptr<HelperThread> cipherHelper_;  // shares the encryption of long pieces
  std::vector<uint8_t> staged_;                 // bytes ready for Read
  size_t stagedAt_ = 0;
  std::vector<uint8_t> chunk_;
};

// Receives the bytes of one download piece by piece (FileCrypter::OpenDownload) and writes the
// file, decrypting a container when asked. The bytes go to a file without a name in the
// destination's folder (a hidden temporary file where the file system cannot make one), which
// gets the destination's name only by a successful Finish: a wrong key, a damaged container, a
// write error or Abort leave the destination untouched and no file behind. Holds at most a few
// hundred KiB whatever the file size. Belongs to the thread of its crypter, which must outlive it.
class DownloadWriter {
 public:
  ~DownloadWriter();  // Abort() unless finished
  DownloadWriter(const DownloadWriter&) = delete;
  DownloadWriter& operator=(const DownloadWriter&) = delete;

  // False once the file is known to fail (": Cannot write.", or ": Cannot decrypt file." when a
  // wrong key shows in the container's header); the crypter's last message says why, the
  // temporary file is already gone and later calls fail too.
  [[nodiscard]] bool Write(const uint8_t* data, size_t size);

  // 1 when the whole file was written and renamed into place; -1 with the last message set
  // (": Cannot decrypt file." with the key name for "QVR4", or ": Cannot write.").
  [[nodiscard]] int Finish();

  // Drops the temporary file; the destination stays as it was. No message.
  void Abort();

  // For large files: bytes beyond the first MiB go to the file on a helper thread, so that
  // writing overlaps with decrypting (or, for plain bytes, producing) the next ones; when
  // decrypting on the table cipher, long pieces are also decrypted on two threads. Call before
  // the first Write.
  void WriteInBackground();

 private:
  friend class FileCrypter;
  DownloadWriter(FileCrypter& crypter, std::string path, bool decrypt, StagedFile file);
  enum class Mode { Undecided, Plain, Decrypt, Failed, Done };
  [[nodiscard]] bool Decide();
  void StartWritingBehind();
  [[nodiscard]] bool Output(const uint8_t* data, size_t size);
  [[nodiscard]] bool OutputPlain();
  bool FailDecrypt();
  bool FailWrite();

  FileCrypter& crypter_;
  std::string path_;
  bool decrypt_ = false;
  StagedFile file_;  // the file until Finish gives it the destination's name
  Mode mode_ = Mode::Undecided;
  std::vector<uint8_t> head_;  // the first bytes, until the container question is decided
  std::unique_ptr<BlobDecryptor> decryptor_;
  std::vector<uint8_t> plain_;  // decrypted bytes on their way to the file
  bool background_ = false;
  std::unique_ptr<HelperThread> cipherHelper_;  // shares the decryption of long pieces
  uint64_t received_ = 0;           // container bytes given to the decryptor after the head
  std::atomic<int> writeError_{0};  // errno of the failed write (also from the helper thread)
  std::unique_ptr<WriteBehindQueue> output_;
};

// Encrypts files for upload and decrypts downloaded containers: one per transfer lane, used by
// that lane's thread only (no lock). Every failure leaves a message, prefixed with the file's
// full local path, which stays until the next message replaces it:
//   ": Out of memory."        no memory for a whole-file buffer (ReadLocalFile)
//   ": Cannot read."          the file cannot be opened or yields fewer bytes than its length
//   ": already encrypted."    encrypting a file that starts with "QVR4": sent unchanged, no failure
//   ": Cannot encrypt file."  no usable key, or the file is longer than a blob can hold (4 GiB - 1)
//   ": Cannot decrypt file."  wrong key or damaged container; for "QVR4" followed by
//                             " ERROR: Incorrect value for the key: " and the key name from
//                             the container's ID block
//   ": Cannot write."         the local file cannot be created or written
// The whole-buffer calls and the streaming forms produce the same bytes and messages.
class FileCrypter {
 public:
  // `userId` (the login name of the process owner) and `encryptionKeyName` go into the ID block
  // of every container this crypter writes, each cut to 15 bytes; empty gives zero bytes.
  FileCrypter(std::string_view userId, std::string_view encryptionKeyName);
  ~FileCrypter();
  FileCrypter(const FileCrypter&) = delete;
  FileCrypter& operator=(const FileCrypter&) = delete;

  // A crypter serves one direction, like its lane: set the key for that direction only (both
  // share the one cipher key, so the later call decides).
  // The key for uploads: the first min(length, 32) bytes of `key` are offered, of which a
  // 128-bit key takes 16; expanded for 192-bit blocks.
  void SetEncryptionKey(std::string_view key);
  // The key for downloads: kept whole, so that a "QVR5" container can take 32 bytes of it; the
  // cipher key is set up for "QVR4" and switched when a container of the other version arrives.
  void SetDecryptionKey(std::string_view key);

  // The bytes to upload: the file as it is, or with `encrypt` a "QVR4" container of it (a file
  // that already starts with "QVR4" is returned unchanged with ": already encrypted." as the
  // message). An empty file gives an empty buffer without a message, also with `encrypt`.
  // Nothing on failure, with the last message set.
  [[nodiscard]] std::optional<std::vector<uint8_t>> ReadLocalFile(const std::string& path,
                                                                  bool encrypt);

  // Writes received bytes to `path`: decrypted when `decrypt` is on and they are a container
  // (at least 41 bytes starting with "QVR4" or "QVR5"), else as they are. 1 when written, -1
  // with the last message set; on -1 the file at `path` is untouched. Never 0.
  [[nodiscard]] int WriteLocalFile(const uint8_t* data, size_t size, const std::string& path,
                                   bool decrypt);

  const std::string& LastMessage() const { return lastMessage_; }

  // Streaming forms of ReadLocalFile and WriteLocalFile for transfers of any size.
  // OpenUpload: nothing on failure (": Cannot read.", ": Cannot encrypt file."), with the last
  // message set; ": already encrypted." is left as the message when the reader passes the file
  // unchanged.
  [[nodiscard]] std::unique_ptr<UploadReader> OpenUpload(const std::string& path, bool encrypt);
  // OpenDownload: creates the temporary file beside `path` at once; nothing, with
  // ": Cannot write.", when it cannot be created.
  [[nodiscard]] std::unique_ptr<DownloadWriter> OpenDownload(const std::string& path, bool decrypt);

 private:
  friend class UploadReader;
  friend class DownloadWriter;
  void SetMessage(const std::string& path, std::string_view text);
  // Re-keys the cipher key for the container version of `magic` when it is not the current one.
  void UseKeyFor(std::string_view magic);
  // The key name in the encrypted ID block of a received container.
  std::string KeyNameOf(const uint8_t* idBlock) const;
  // The message for a container (its first 41 bytes at `head`) that does not decrypt.
  std::string DecryptFailure(const std::string& path, const uint8_t* head) const;

  std::string lastMessage_;
  RijndaelKey cipherKey_;
  std::string currentMagic_{kMagicQvr4};
  std::array<uint8_t, kIdAreaSize> idArea_{};
  RijndaelKey idKey_;
  RijndaelBlock idBlock_;
  std::string decryptionKey_;
};

}  // namespace quillon
