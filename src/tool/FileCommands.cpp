#include <algorithm>
#include <vector>

#include "crypto/FileCrypter.h"
#include "platform/UserName.h"
#include "tool/ToolCommands.h"

namespace quillon::tool {

namespace {

constexpr size_t kPiece = 256 * 1024;

struct Paths {
  std::string in;
  std::string out;
};

Paths InAndOut(const Arguments& a) {
  if (a.Positional().size() != 2) throw Failure{"give exactly two files: IN OUT"};
  return {a.Positional()[0], a.Positional()[1]};
}

// Moves what `reader` gives into `writer`, a piece at a time, and finishes the file. The
// writers are set to write behind: the file is written on a helper thread while the next piece
// is read and enciphered.
void Pump(FileCrypter& crypter, UploadReader& reader, DownloadWriter& writer) {
  std::vector<uint8_t> buffer(kPiece);
  for (;;) {
    const int64_t n = reader.Read(buffer.data(), buffer.size());
    if (n < 0) throw Failure{crypter.LastMessage()};
    if (n == 0) break;
    if (!writer.Write(buffer.data(), static_cast<size_t>(n))) throw Failure{crypter.LastMessage()};
  }
  if (writer.Finish() != 1) throw Failure{crypter.LastMessage()};
}

}  // namespace

void Encrypt(const Arguments& a) {
  const std::string key = SecretFromEnvironment(a.Required("--key-env"));
  const std::string keyName = a.Get("--key-name").value_or("default");
  const Paths paths = InAndOut(a);
  if (keyName.size() > kIdFieldLength) {
    throw Failure{"--key-name must be at most " + std::to_string(kIdFieldLength) + " characters"};
  }
  FileCrypter crypter(CurrentUserName(), keyName);
  crypter.SetEncryptionKey(key);
  auto reader = crypter.OpenUpload(paths.in, true);
  if (!reader) throw Failure{crypter.LastMessage()};
  // A container is not encrypted twice.
  if (reader->AlreadyEncrypted()) throw Failure{crypter.LastMessage()};
  auto writer = crypter.OpenDownload(paths.out, false);
  if (!writer) throw Failure{crypter.LastMessage()};
  writer->WriteInBackground();
  Pump(crypter, *reader, *writer);
}

void Decrypt(const Arguments& a) {
  const std::string key = SecretFromEnvironment(a.Required("--key-env"));
  const Paths paths = InAndOut(a);
  FileCrypter crypter(CurrentUserName(), "");
  crypter.SetDecryptionKey(key);
  auto reader = crypter.OpenUpload(paths.in, false);
  if (!reader) throw Failure{crypter.LastMessage()};

  // Only containers are decrypted here; anything else would be copied unchanged. An empty
  // file stands for an empty one, as encryption leaves empty files empty.
  std::vector<uint8_t> head(kMinContainerSize);
  size_t got = 0;
  while (got < head.size()) {
    const int64_t n = reader->Read(head.data() + got, head.size() - got);
    if (n < 0) throw Failure{crypter.LastMessage()};
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  head.resize(got);
  const auto startsWith = [&](std::string_view magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
  };
  if (got > 0 && (got < kMinContainerSize || !(startsWith(kMagicQvr4) || startsWith(kMagicQvr5)))) {
    throw Failure{paths.in + ": not an encrypted file (no QVR4 or QVR5 container)."};
  }
  auto writer = crypter.OpenDownload(paths.out, true);
  if (!writer) throw Failure{crypter.LastMessage()};
  writer->WriteInBackground();
  if (!writer->Write(head.data(), head.size())) throw Failure{crypter.LastMessage()};
  Pump(crypter, *reader, *writer);
}

}  // namespace quillon::tool
