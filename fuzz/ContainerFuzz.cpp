// Downloaded files with decryption on: the input is what the server sent (a container or any
// bytes). Written whole and in pieces, the outcome must be the same, a failure must leave no
// file behind, and the input encrypted and decrypted again must come back unchanged.

#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "crypto/FileCrypter.h"

using namespace quillon;

namespace {

constexpr std::string_view kKey = "fuzzing key 0123";  // the key of the seed containers

std::string ReadAll(const std::string& path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, size_t(n));
  close(fd);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const size_t piece = input.ConsumeIntegralInRange<size_t>(1, 64);
  const std::string received = input.ConsumeRemainingBytesAsString();
  const auto* bytes = reinterpret_cast<const uint8_t*>(received.data());

  fuzz::EmptyScratchFolder();
  const std::string folder = fuzz::ScratchFolder();
  // A crypter serves one direction, as on a lane.
  FileCrypter crypter("fuzzer", "fuzzkey");
  crypter.SetDecryptionKey(kKey);

  const std::string whole = folder + "whole";
  const int wholeResult = crypter.WriteLocalFile(bytes, received.size(), whole, true);
  FUZZ_CHECK(wholeResult == 1 || wholeResult == -1);
  FUZZ_CHECK(fuzz::Exists(whole) == (wholeResult == 1));
  if (wholeResult == -1) FUZZ_CHECK(crypter.LastMessage().rfind(whole + ": ", 0) == 0);

  const std::string streamed = folder + "streamed";
  int streamedResult = -1;
  if (auto writer = crypter.OpenDownload(streamed, true)) {
    bool ok = true;
    for (size_t at = 0; ok && at < received.size(); at += piece)
      ok = writer->Write(bytes + at, std::min(piece, received.size() - at));
    streamedResult = ok ? writer->Finish() : -1;
  }
  FUZZ_CHECK(streamedResult == wholeResult);
  FUZZ_CHECK(fuzz::Exists(streamed) == (streamedResult == 1));
  if (wholeResult == 1) FUZZ_CHECK(ReadAll(whole) == ReadAll(streamed));
  // No temporary file of a failed or finished download is left behind.
  FUZZ_CHECK(fuzz::ScratchEntries() == (wholeResult == 1
                                            ? std::vector<std::string>{"streamed", "whole"}
                                            : std::vector<std::string>{}));

  unlink(whole.c_str());
  unlink(streamed.c_str());
  const std::string source = folder + "source";
  FUZZ_CHECK(fuzz::WriteWholeFile(source, received));
  FileCrypter encrypter("fuzzer", "fuzzkey");
  encrypter.SetEncryptionKey(kKey);
  const auto container = encrypter.ReadLocalFile(source, true);
  FUZZ_CHECK(container.has_value());
  FileCrypter decrypter("fuzzer", "fuzzkey");
  decrypter.SetDecryptionKey(kKey);
  const std::string back = folder + "back";
  const int backResult = decrypter.WriteLocalFile(container->data(), container->size(), back, true);
  // A file that starts with "QVR4" is sent as it is, and then decrypted (or refused) as such.
  if (received.rfind("QVR4", 0) != 0) FUZZ_CHECK(backResult == 1 && ReadAll(back) == received);
  return 0;
}
