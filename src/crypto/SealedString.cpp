#include "crypto/SealedString.h"

#include <algorithm>

#include "crypto/Base64.h"
#include "crypto/BuiltInKeys.h"
#include "crypto/CipherBlob.h"
#include "crypto/Rijndael.h"

namespace quillon {

namespace {

void MakeIniKey(RijndaelKey& key) {
  key.SetKeyLength(256);
  key.SetKeyBytes(IniKey().data(), IniKey().size());
  key.ExpandKey(4);
}

}  // namespace

std::optional<std::string> SealString(std::string_view text) {
  if (text.empty()) return std::nullopt;
  RijndaelKey key;
  MakeIniKey(key);
  // The zero byte travels with the text, as readers of the stored values expect it.
  std::string withZero(text);
  withZero.push_back('\0');
  auto blob =
      EncryptBuffer(key, reinterpret_cast<const uint8_t*>(withZero.data()), withZero.size());
  std::fill(withZero.begin(), withZero.end(), '\0');
  if (!blob) return std::nullopt;
  return Base64Encode(blob->data(), blob->size());
}

std::optional<std::string> UnsealString(std::string_view sealed) {
  if (sealed.empty()) return std::nullopt;
  RijndaelKey key;
  MakeIniKey(key);
  const std::vector<uint8_t> blob = Base64Decode(sealed);
  auto plain = DecryptBuffer(key, blob.data(), blob.size());
  if (!plain) return std::nullopt;
  // The text ends at its zero byte; a blob made without one still gives its whole plaintext.
  const auto end = std::find(plain->begin(), plain->end(), uint8_t{0});
  std::string text(plain->begin(), end);
  std::fill(plain->begin(), plain->end(), uint8_t{0});
  return text;
}

}  // namespace quillon
