// Protected INI values (sealed strings) and the cipher blob inside them: any text must unseal
// or be refused, the blob read in pieces must give what the blob read whole gives, and what
// unseals must seal and unseal to the same text.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "crypto/Base64.h"
#include "crypto/BuiltInKeys.h"
#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"
#include "crypto/SealedString.h"

using namespace quillon;

namespace {

void MakeIniKey(RijndaelKey& key) {
  key.SetKeyLength(256);
  key.SetKeyBytes(IniKey().data(), IniKey().size());
  key.ExpandKey(4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const size_t split = input.ConsumeIntegral<uint16_t>();
  const std::string sealed = input.ConsumeRemainingBytesAsString();

  const std::optional<std::string> text = UnsealString(sealed);
  if (text) {
    FUZZ_CHECK(text->find('\0') == std::string::npos);
    if (!text->empty()) FUZZ_CHECK(UnsealString(SealString(*text).value()) == text);
  }

  // The same blob in two pieces, split where the input says.
  const std::vector<uint8_t> blob = Base64Decode(sealed);
  RijndaelKey whole;
  MakeIniKey(whole);
  const auto plain = DecryptBuffer(whole, blob.data(), blob.size());

  RijndaelKey pieces;
  MakeIniKey(pieces);
  BlobDecryptor decryptor(pieces);
  std::vector<uint8_t> streamed;
  const size_t at = blob.empty() ? 0 : split % (blob.size() + 1);
  const bool fed = decryptor.Update(blob.data(), at, streamed) &&
                   decryptor.Update(blob.data() + at, blob.size() - at, streamed);
  const bool good = fed && decryptor.Finish() && blob.size() > kBlobHeaderSize;
  FUZZ_CHECK(good == plain.has_value());
  if (good) FUZZ_CHECK(streamed == *plain);
  return 0;
}
