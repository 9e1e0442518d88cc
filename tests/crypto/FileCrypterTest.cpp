#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "CryptoTestUtil.h"
#include "crypto/BuiltInKeys.h"
#include "crypto/FileCrypter.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string RandomText(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(random());
  return out;
}

std::string AsString(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

int Write(FileCrypter& crypter, const std::string& bytes, const std::string& path, bool decrypt) {
  return crypter.WriteLocalFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path,
                                decrypt);
}

// A "QVR5" container, which the program reads but never writes.
std::string MakeQvr5(const std::string& plain, const std::string& keyText) {
  RijndaelKey key;
  key.SetKeyLength(256);
  key.SetKeyBytes(keyText);
  key.ExpandKey(6);
  const auto blob =
      *EncryptBuffer(key, reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
  return "QVR5" + std::string(36, '\0') + AsString(blob);
}

class FileCrypterTest : public ::testing::Test {
 protected:
  std::string Encrypt(const std::string& plain, const std::string& key,
                      const std::string& keyName = "work") {
    test::WriteFile(dir.file("plain.txt"), plain);
    FileCrypter crypter("alice", keyName);
    crypter.SetEncryptionKey(key);
    const auto bytes = crypter.ReadLocalFile(dir.file("plain.txt"), true);
    EXPECT_TRUE(bytes) << crypter.LastMessage();
    return bytes ? AsString(*bytes) : std::string();
  }

  TempDir dir;
};

TEST_F(FileCrypterTest, ContainersRoundTripAtEverySize) {
  for (size_t n : {size_t{1}, size_t{3}, size_t{4}, size_t{20}, size_t{21}, size_t{24},
                   size_t{1000}, size_t{256 * 1024}, size_t{600 * 1024 + 5}}) {
    const std::string plain = RandomText(n, static_cast<unsigned>(n));
    const std::string container = Encrypt(plain, "right key");
    ASSERT_EQ(container.size(), kContainerHeaderSize + BlobSize(6, n)) << n;
    EXPECT_EQ(container.substr(0, 4), "QVR4");

    FileCrypter reader("bob", "");
    reader.SetDecryptionKey("right key");
    ASSERT_EQ(Write(reader, container, dir.file("out.txt"), true), 1) << reader.LastMessage();
    EXPECT_EQ(test::ReadFile(dir.file("out.txt")), plain) << n;
  }
}

TEST_F(FileCrypterTest, ContainerHeadCarriesIdBlockAndBlobWidths) {
  const std::string container = Encrypt("abc", "k", "a key name that is long");
  // The ID block is one 256-bit block under the built-in ID key.
  RijndaelKey idKey;
  idKey.SetKeyLength(256);
  idKey.SetKeyBytes(IdKey().data(), IdKey().size());
  idKey.ExpandKey(8);
  uint8_t id[32];
  std::memcpy(id, container.data() + 4, 32);
  idKey.DecryptBlock(id, id);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id), 16),
            std::string("alice") + std::string(11, '\0'));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id + 16), 16),
            std::string("a key name that") + '\0');
  EXPECT_EQ(container.substr(36, 4), std::string(4, '\0'));
  EXPECT_EQ(container.substr(40, 8), std::string("\0\0\0\3\6\4\0", 7) + container[47]);
}

TEST_F(FileCrypterTest, UploadRules) {
  // An empty file stays empty and leaves no message.
  test::WriteFile(dir.file("empty"), "");
  FileCrypter crypter("alice", "work");
  crypter.SetEncryptionKey("key");
  const auto empty = crypter.ReadLocalFile(dir.file("empty"), true);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_EQ(crypter.LastMessage(), "");

  // A file that already is a container is sent unchanged, with a message; "QVR5" is not checked.
  const std::string qvr4 = "QVR4 and then anything";
  test::WriteFile(dir.file("already"), qvr4);
  const auto same = crypter.ReadLocalFile(dir.file("already"), true);
  ASSERT_TRUE(same);
  EXPECT_EQ(AsString(*same), qvr4);
  EXPECT_EQ(crypter.LastMessage(), dir.file("already") + ": already encrypted.");
  test::WriteFile(dir.file("five"), "QVR5 is encrypted again");
  EXPECT_EQ(AsString(*crypter.ReadLocalFile(dir.file("five"), true)).substr(0, 4), "QVR4");
  // The message stays after a later success.
  EXPECT_EQ(crypter.LastMessage(), dir.file("already") + ": already encrypted.");

  auto reader = crypter.OpenUpload(dir.file("already"), true);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->AlreadyEncrypted());
  EXPECT_EQ(reader->Size(), qvr4.size());
  EXPECT_FALSE(crypter.OpenUpload(dir.file("five"), true)->AlreadyEncrypted());

  // Without the encrypt flag the file goes as it is.
  test::WriteFile(dir.file("plain"), "plain text");
  EXPECT_EQ(AsString(*crypter.ReadLocalFile(dir.file("plain"), false)), "plain text");

  // Failures.
  EXPECT_FALSE(crypter.ReadLocalFile(dir.file("missing"), true));
  EXPECT_EQ(crypter.LastMessage(), dir.file("missing") + ": Cannot read.");
  EXPECT_FALSE(crypter.ReadLocalFile(dir.path().string(), false));
  EXPECT_EQ(crypter.LastMessage(), dir.path().string() + ": Cannot read.");
  FileCrypter noKey("alice", "work");
  EXPECT_FALSE(noKey.ReadLocalFile(dir.file("plain"), true));
  EXPECT_EQ(noKey.LastMessage(), dir.file("plain") + ": Cannot encrypt file.");
  noKey.SetEncryptionKey("");
  EXPECT_FALSE(noKey.ReadLocalFile(dir.file("plain"), true));
  EXPECT_EQ(noKey.LastMessage(), dir.file("plain") + ": Cannot encrypt file.");
}

TEST_F(FileCrypterTest, TooLongForTheLengthFieldIsRefusedBeforeAnyByte) {
  const std::string big = dir.file("big");
  test::WriteFile(big, "x");
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(kMaxBlobPlaintext) + 1), 0);  // sparse
  FileCrypter crypter("alice", "work");
  crypter.SetEncryptionKey("key");
  EXPECT_FALSE(crypter.OpenUpload(big, true));
  EXPECT_EQ(crypter.LastMessage(), big + ": Cannot encrypt file.");
  auto plain = crypter.OpenUpload(big, false);  // sending it unencrypted is fine
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->Size(), kMaxBlobPlaintext + 1);
}

// Encrypted pieces are staged; plain ones are read straight into the caller's buffer. Both
// notice a file that got shorter.
TEST_F(FileCrypterTest, FileThatShrinksWhileReadFails) {
  for (bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt ? "encrypted" : "plain");
    const std::string path = dir.file("shrinks");
    test::WriteFile(path, RandomText(700 * 1024, 5));
    FileCrypter crypter("alice", "work");
    crypter.SetEncryptionKey("key");
    auto reader = crypter.OpenUpload(path, encrypt);
    ASSERT_TRUE(reader);
    ASSERT_EQ(::truncate(path.c_str(), 300 * 1024), 0);
    std::vector<uint8_t> buffer(64 * 1024);
    int64_t n = 0;
    while ((n = reader->Read(buffer.data(), buffer.size())) > 0) {
    }
    EXPECT_EQ(n, -1);
    EXPECT_EQ(crypter.LastMessage(), path + ": Cannot read.");
    EXPECT_EQ(reader->Read(buffer.data(), buffer.size()), -1);
  }
}

TEST_F(FileCrypterTest, DownloadRules) {
  const std::string container = Encrypt("the plaintext", "right key", "mykey");
  const std::string out = dir.file("out.txt");
  FileCrypter crypter("bob", "");
  crypter.SetDecryptionKey("right key");

  // Not a container, too short, or decryption off: written as received.
  const struct {
    std::string bytes;
    bool decrypt;
  } unchanged[] = {
      {"just text", true},
      {container.substr(0, 40), true},  // "QVR4" but only 40 bytes
      {container, false},
      {"", true},
  };
  for (const auto& c : unchanged) {
    ASSERT_EQ(Write(crypter, c.bytes, out, c.decrypt), 1) << crypter.LastMessage();
    EXPECT_EQ(test::ReadFile(out), c.bytes);
  }

  // A wrong key names the key the file was encrypted with, and the old file stays.
  test::WriteFile(out, "old contents");
  FileCrypter wrong("bob", "");
  wrong.SetDecryptionKey("wrong key");
  EXPECT_EQ(Write(wrong, container, out, true), -1);
  EXPECT_EQ(wrong.LastMessage(),
            out + ": Cannot decrypt file. ERROR: Incorrect value for the key: mykey");
  EXPECT_EQ(test::ReadFile(out), "old contents");

  // 41 bytes starting with "QVR4" that do not decrypt.
  EXPECT_EQ(Write(crypter, container.substr(0, 41), out, true), -1);
  EXPECT_EQ(crypter.LastMessage(),
            out + ": Cannot decrypt file. ERROR: Incorrect value for the key: mykey");
  // A damaged last block: the check byte matches, the end mark does not.
  std::string damaged = container;
  damaged.back() = static_cast<char>(damaged.back() ^ 1);
  EXPECT_EQ(Write(crypter, damaged, out, true), -1);
  EXPECT_EQ(test::ReadFile(out), "old contents");
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"out.txt", "plain.txt"}));

  // A destination that cannot be created.
  EXPECT_EQ(Write(crypter, container, dir.file("no/such/dir"), true), -1);
  EXPECT_EQ(crypter.LastMessage(), dir.file("no/such/dir") + ": Cannot write.");
}

TEST_F(FileCrypterTest, Qvr5AndQvr4OnOneLane) {
  const std::string key = "a key that is longer than sixteen bytes, 40 in all";
  const std::string qvr5 = MakeQvr5("version five", key);
  const std::string qvr4 = Encrypt("version four", key);
  FileCrypter crypter("bob", "");
  crypter.SetDecryptionKey(key);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(Write(crypter, qvr5, dir.file("five"), true), 1) << crypter.LastMessage();
    EXPECT_EQ(test::ReadFile(dir.file("five")), "version five");
    ASSERT_EQ(Write(crypter, qvr4, dir.file("four"), true), 1) << crypter.LastMessage();
    EXPECT_EQ(test::ReadFile(dir.file("four")), "version four");
  }
  // "QVR5" takes 32 key bytes, "QVR4" 16; a "QVR5" failure has no key name to show.
  FileCrypter shortKey("bob", "");
  shortKey.SetDecryptionKey(key.substr(0, 16));
  EXPECT_EQ(Write(shortKey, qvr4, dir.file("four"), true), 1);
  EXPECT_EQ(Write(shortKey, qvr5, dir.file("five"), true), -1);
  EXPECT_EQ(shortKey.LastMessage(), dir.file("five") + ": Cannot decrypt file.");
}

TEST_F(FileCrypterTest, StreamingEqualsWholeBuffer) {
  const std::string plain = RandomText(300 * 1024 + 17, 9);
  test::WriteFile(dir.file("plain.txt"), plain);
  FileCrypter crypter("alice", "work");
  crypter.SetEncryptionKey("stream key");
  const auto whole = *crypter.ReadLocalFile(dir.file("plain.txt"), true);

  for (size_t piece : {size_t{1} << 20, size_t{4096}, size_t{4099}, size_t{7}}) {
    auto reader = crypter.OpenUpload(dir.file("plain.txt"), true);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Size(), whole.size());
    std::vector<uint8_t> streamed;
    std::vector<uint8_t> buffer(piece);
    for (int64_t n; (n = reader->Read(buffer.data(), buffer.size())) > 0;) {
      streamed.insert(streamed.end(), buffer.begin(), buffer.begin() + n);
    }
    EXPECT_EQ(streamed, whole) << piece;
  }

  // Download in pieces of several sizes, including pieces that split the container's head.
  FileCrypter receiver("bob", "");
  receiver.SetDecryptionKey("stream key");
  for (size_t piece : {size_t{1}, size_t{3}, size_t{40}, size_t{41}, size_t{4096}}) {
    auto writer = receiver.OpenDownload(dir.file("streamed.txt"), true);
    ASSERT_TRUE(writer);
    // Byte by byte only through the head and the first blocks, then the rest at once.
    const size_t limit = piece == 1 ? 5000 : whole.size();
    size_t at = 0;
    for (; at < limit; at += std::min(piece, whole.size() - at)) {
      ASSERT_TRUE(writer->Write(whole.data() + at, std::min(piece, whole.size() - at)));
    }
    if (at < whole.size()) {
      ASSERT_TRUE(writer->Write(whole.data() + at, whole.size() - at));
    }
    ASSERT_EQ(writer->Finish(), 1) << receiver.LastMessage();
    EXPECT_EQ(test::ReadFile(dir.file("streamed.txt")), plain) << piece;
  }
}

TEST_F(FileCrypterTest, StreamingDownloadFailsEarlyOnAWrongKeyAndLeavesNothing) {
  const std::string container = Encrypt(RandomText(5000, 3), "right key", "named");
  test::WriteFile(dir.file("dest"), "old");
  const auto before = test::NamesIn(dir.path());

  FileCrypter wrong("bob", "");
  wrong.SetDecryptionKey("riGht key");  // differs in bit 5 of byte 2, which the check byte holds
  auto writer = wrong.OpenDownload(dir.file("dest"), true);
  ASSERT_TRUE(writer);
  EXPECT_FALSE(writer->Write(reinterpret_cast<const uint8_t*>(container.data()), 100));
  EXPECT_EQ(wrong.LastMessage(),
            dir.file("dest") + ": Cannot decrypt file. ERROR: Incorrect value for the key: named");
  EXPECT_EQ(test::NamesIn(dir.path()), before);
  EXPECT_EQ(writer->Finish(), -1);

  // Abort, and a writer dropped without Finish, leave the destination and no temporary file;
  // the file being written has no name at all until Finish.
  FileCrypter right("bob", "");
  right.SetDecryptionKey("right key");
  {
    auto aborted = right.OpenDownload(dir.file("dest"), true);
    ASSERT_TRUE(aborted->Write(reinterpret_cast<const uint8_t*>(container.data()), 2000));
    EXPECT_EQ(test::NamesIn(dir.path()), before);
    aborted->Abort();
    EXPECT_EQ(test::NamesIn(dir.path()), before);
    auto dropped = right.OpenDownload(dir.file("dest"), true);
    ASSERT_TRUE(dropped->Write(reinterpret_cast<const uint8_t*>(container.data()), 2000));
  }
  EXPECT_EQ(test::NamesIn(dir.path()), before);
  EXPECT_EQ(test::ReadFile(dir.file("dest")), "old");
}

// Large files write behind the cipher on a helper thread and share the decryption with a
// second one: the bytes and the failure rules are those of the plain path.
TEST_F(FileCrypterTest, BackgroundWritingGivesTheSameFileAndTheSameFailures) {
  const std::string plain = RandomText(3 * 1024 * 1024 + 5, 21);
  const std::string container = Encrypt(plain, "big key");
  const auto* bytes = reinterpret_cast<const uint8_t*>(container.data());
  FileCrypter receiver("bob", "");
  receiver.SetDecryptionKey("big key");
  auto receive = [&](const std::string& data, size_t piece, bool decrypt = true) {
    auto writer = receiver.OpenDownload(dir.file("big.bin"), decrypt);
    writer->WriteInBackground();
    for (size_t at = 0; at < data.size(); at += piece) {
      const size_t n = std::min(piece, data.size() - at);
      if (!writer->Write(reinterpret_cast<const uint8_t*>(data.data()) + at, n)) return -1;
    }
    return writer->Finish();
  };
  for (size_t piece : {size_t{4096}, size_t{65536}, size_t{300 * 1024}}) {
    ASSERT_EQ(receive(container, piece), 1) << receiver.LastMessage();
    EXPECT_EQ(test::ReadFile(dir.file("big.bin")), plain) << piece;
  }
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"big.bin", "plain.txt"}));
  // Bytes written as they come (no decryption asked, or no container) go behind too.
  for (const bool decrypt : {false, true}) {
    ASSERT_EQ(receive(plain, 300 * 1024, decrypt), 1) << receiver.LastMessage();
    EXPECT_TRUE(test::ReadFile(dir.file("big.bin")) == plain) << decrypt;
  }
  ASSERT_EQ(receive(container, 65536, false), 1);
  EXPECT_TRUE(test::ReadFile(dir.file("big.bin")) == container);
  ASSERT_EQ(receive(container, 65536), 1);

  // A damaged end mark and a cut container fail at the end; the file stays as it was.
  std::string damaged = container;
  damaged[damaged.size() - 2] ^= 0x40;
  EXPECT_EQ(receive(damaged, 65536), -1);
  EXPECT_EQ(receive(container.substr(0, container.size() - 100), 65536), -1);
  EXPECT_EQ(receiver.LastMessage().rfind(dir.file("big.bin") + ": Cannot decrypt file.", 0), 0u);
  EXPECT_EQ(test::ReadFile(dir.file("big.bin")), plain);
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"big.bin", "plain.txt"}));

  // Dropped half-way, with pieces still queued: nothing is left behind.
  {
    auto writer = receiver.OpenDownload(dir.file("big.bin"), true);
    writer->WriteInBackground();
    ASSERT_TRUE(writer->Write(bytes, container.size() / 2));
  }
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"big.bin", "plain.txt"}));
}

TEST_F(FileCrypterTest, LongestFileNamesCanBeWritten) {
  const std::string path = dir.file(std::string(255, 'n'));
  FileCrypter crypter("bob", "");
  ASSERT_EQ(Write(crypter, "data", path, false), 1) << crypter.LastMessage();
  EXPECT_EQ(test::ReadFile(path), "data");
}

// A new file gets 0666 less the umask; whatever holds the name already is replaced, never
// written through (a link that leads nowhere too); a folder there is an error that says so.
TEST_F(FileCrypterTest, FinishedFileTakesItsNameWhateverHeldIt) {
  FileCrypter crypter("bob", "");
  const mode_t oldMask = ::umask(027);
  EXPECT_EQ(Write(crypter, "fresh", dir.file("new"), false), 1);
  ::umask(oldMask);
  struct stat st;
  ASSERT_EQ(::lstat(dir.file("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(test::ReadFile(dir.file("new")), "fresh");

  ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("dangling").c_str()), 0);
  EXPECT_EQ(Write(crypter, "linked", dir.file("dangling"), false), 1);
  ASSERT_EQ(::lstat(dir.file("dangling").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_NE(::access(dir.file("nowhere").c_str(), F_OK), 0);

  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
  const auto before = test::NamesIn(dir.path());
  EXPECT_EQ(Write(crypter, "x", dir.file("folder"), false), -1);
  EXPECT_EQ(crypter.LastMessage(), dir.file("folder") + ": Cannot write. Is a directory.");
  EXPECT_EQ(test::NamesIn(dir.path()), before);
}

TEST_F(FileCrypterTest, ReplacedFileKeepsItsPermissions) {
  const std::string path = dir.file("private");
  test::WriteFile(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  FileCrypter crypter("bob", "");
  ASSERT_EQ(Write(crypter, "new", path, false), 1);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(test::ReadFile(path), "new");
}

TEST_F(FileCrypterTest, EncryptionUsesSixteenKeyBytes) {
  const std::string container = Encrypt("sixteen", "0123456789abcdef-one");
  FileCrypter crypter("bob", "");
  crypter.SetDecryptionKey("0123456789abcdef-two");
  ASSERT_EQ(Write(crypter, container, dir.file("out"), true), 1);
  EXPECT_EQ(test::ReadFile(dir.file("out")), "sixteen");
  crypter.SetDecryptionKey("0123456789abcdeF");
  EXPECT_EQ(Write(crypter, container, dir.file("out"), true), -1);
}

}  // namespace
}  // namespace quillon
