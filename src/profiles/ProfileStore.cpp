#include "profiles/ProfileStore.h"

#include "crypto/SealedString.h"
#include "profiles/IniFile.h"

namespace quillon {

namespace {

constexpr int32_t kSlotCount = 20;
constexpr int32_t kDefaultThreads = 3;

std::string Joined(std::string_view binding, std::string_view value) {
  std::string text(binding);
  text += kBindingMarker;
  text += value;
  return text;
}

// The protected fallback of a locked profile's key values. A text that carries the marker is a
// locked-form value whose binding did not match (copied from another profile, or bound to
// another lock password): taking it as a protected value would hand out that other binding and
// its value, so it reads as empty like every wrongly bound value.
std::string ReadUnboundKey(int32_t slot, std::string_view key, const std::string& file) {
  std::string value = ReadProtected(slot, key, file);
  if (value.find(kBindingMarker) != std::string::npos) return {};
  return value;
}

}  // namespace

std::optional<std::string> ProtectedForm(std::string_view value) {
  auto sealed = SealString(value);
  // A longer text would be cut on reading and then never unseal: refuse it here instead.
  if (!sealed || sealed->size() > kMaxStoredText) return std::nullopt;
  return sealed;
}

std::optional<std::string> LockedForm(std::string_view value, std::string_view binding) {
  return ProtectedForm(Joined(binding, value));
}

std::string ValueOfProtected(std::string_view stored) {
  return UnsealString(stored).value_or(std::string());
}

std::string ValueOfLocked(std::string_view stored, std::string_view binding) {
  const std::string text = ValueOfProtected(stored);
  const std::string prefix = Joined(binding, {});
  if (text.size() < prefix.size() || text.compare(0, prefix.size(), prefix) != 0) return {};
  return text.substr(prefix.size());
}

std::string ReadProtected(int32_t slot, std::string_view key, const std::string& file) {
  return ValueOfProtected(ReadText(slot, key, file));
}

bool WriteProtected(int32_t slot, std::string_view key, std::string_view value,
                    const std::string& file) {
  if (value.empty()) return WriteText(slot, key, std::nullopt, file);
  const auto stored = ProtectedForm(value);
  return stored && WriteText(slot, key, *stored, file);
}

std::string ReadBound(int32_t slot, std::string_view key, std::string_view binding,
                      const std::string& file) {
  return ValueOfLocked(ReadText(slot, key, file), binding);
}

bool WriteBound(int32_t slot, std::string_view key, std::string_view value,
                std::string_view binding, const std::string& file) {
  const auto stored = LockedForm(value, binding);
  return stored && WriteText(slot, key, *stored, file);
}

bool ReadProfile(int32_t slot, ConnectionProfile& record, const std::string& file) {
  if (slot < 0 || slot >= kSlotCount) return false;
  record.locked = false;

  // First, so that a record whose read fails never keeps the protocol of an earlier profile:
  // a caller that goes on with it must not reach a server by the wrong protocol.
  const std::string protocol = ReadText(slot, kProtocolKey, file);
  record.protocol = protocol.empty() ? ServerProtocol::Ftp
                                     : ProtocolFromName(protocol).value_or(ServerProtocol::Unknown);
  record.privateKeyFile = ReadText(slot, kPrivateKeyFileKey, file);
  record.privateKeyPassphrase = ReadProtected(slot, kPrivateKeyPassphraseKey, file);
  if (record.protocol == ServerProtocol::Unknown) return false;

  std::string address = ReadText(slot, "Address", file);
  if (address.empty()) return false;
  std::string lockedPassword;
  if (address == kLockedAddress) {
    record.locked = true;
    const std::string text = ReadProtected(slot, "Password", file);
    const size_t marker = text.find(kBindingMarker);
    if (marker == std::string::npos || marker == 0) return false;
    address = text.substr(0, marker);
    lockedPassword = text.substr(marker + kBindingMarker.size());
  }
  record.address = address;
  record.slot = slot;

  if (record.locked) {
    record.userName = ReadProtected(slot, "UserName", file);
    record.lockPassword = ReadProtected(slot, "LockPassword", file);
    if (record.lockPassword.empty()) return false;
    const std::string& binding = record.lockPassword;
    record.remoteRoot = ReadBound(slot, "RMTROOT", binding, file);
    if (record.remoteRoot.empty()) return false;
    record.remoteDir = ReadBound(slot, "RemoteDir", binding, file);
    if (record.remoteDir.empty()) record.remoteDir = record.remoteRoot;
    record.encryptionKeyName = ReadBound(slot, "EncryptionKeyName", binding, file);
    record.encryptionKey = ReadBound(slot, "EncryptionKey", binding, file);
    record.decryptionKey = ReadBound(slot, "DecryptionKey", binding, file);
    if (!record.encryptionKeyName.empty() && !record.encryptionKey.empty()) {
      record.encryptionKeyBound = true;
    } else {
      record.encryptionKeyName = ReadUnboundKey(slot, "EncryptionKeyName", file);
      record.encryptionKey = ReadUnboundKey(slot, "EncryptionKey", file);
      record.encryptionKeyBound = false;
    }
    if (record.decryptionKey.empty()) {
      record.decryptionKey = ReadUnboundKey(slot, "DecryptionKey", file);
      record.decryptionKeyBound = false;
    } else {
      record.decryptionKeyBound = true;
    }
  } else {
    record.remoteRoot = std::string(1, '/');  // a literal here trips a false GCC 12 -Wrestrict
    record.userName = ReadText(slot, "UserName", file);
    record.remoteDir = ReadText(slot, "RemoteDir", file);
    record.lockPassword.clear();
    record.encryptionKeyName = ReadProtected(slot, "EncryptionKeyName", file);
    record.encryptionKey = ReadProtected(slot, "EncryptionKey", file);
    record.decryptionKey = ReadProtected(slot, "DecryptionKey", file);
    record.encryptionKeyBound = false;
    record.decryptionKeyBound = false;
  }

  record.name = ReadText(slot, "Profile", file);
  record.savePassword = ReadNumber(slot, "SavePassword", file) == 1;
  if (record.locked) {
    record.password = lockedPassword;
  } else {
    record.password = record.savePassword ? ReadProtected(slot, "Password", file) : std::string();
  }

  record.port = ReadNumber(slot, "Port", file);
  record.localDir = ReadText(slot, "LocalDir", file);
  record.threadCount = ReadNumber(slot, "MaxThread", file);
  if (record.threadCount < 0) record.threadCount = kDefaultThreads;
  record.binaryMode = ReadNumber(slot, "BinaryMode", file) > 0;
  record.passiveMode = ReadNumber(slot, "PASVMode", file) > 0;
  record.deleteAfterDownload = ReadNumber(slot, "DeleteAfterDownload", file) == 1;
  record.deleteAfterUpload = ReadNumber(slot, "DeleteAfterUpload", file) == 1;
  record.backupRemoteFile = ReadNumber(slot, "BackupRemoteFile", file) == 1;
  record.backupLocalFile = ReadNumber(slot, "BackupLocalFile", file) == 1;
  return true;
}

}  // namespace quillon
