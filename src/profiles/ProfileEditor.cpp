#include "profiles/ProfileEditor.h"

#include <strings.h>

#include <algorithm>

#include "profiles/ConnectionProfile.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

namespace quillon {

namespace {

constexpr int32_t kMaxThreads = 6;

bool SameKey(const std::string& a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.c_str(), b.data(), b.size()) == 0;
}

void SetKey(ini::KeyValues& entries, std::string_view key, std::string value) {
  auto it = std::find_if(entries.begin(), entries.end(),
                         [&](const auto& entry) { return SameKey(entry.first, key); });
  if (it != entries.end())
    it->second = std::move(value);
  else
    entries.emplace_back(std::string(key), std::move(value));
}

void RemoveKey(ini::KeyValues& entries, std::string_view key) {
  std::erase_if(entries, [&](const auto& entry) { return SameKey(entry.first, key); });
}

bool OneLine(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

std::vector<ProfileSummary> ListProfiles(const std::string& file) {
  std::vector<ProfileSummary> profiles;
  for (int32_t slot = 0; slot < kProfileSlots; ++slot) {
    const std::string address = ReadText(slot, "Address", file);
    if (address.empty()) continue;
    ProfileSummary summary;
    summary.slot = slot;
    summary.name = ReadText(slot, "Profile", file);
    summary.locked = address == kLockedAddress;
    if (!summary.locked) summary.address = address;
    ConnectionProfile record;
    summary.readable = ReadProfile(slot, record, file);
    profiles.push_back(std::move(summary));
  }
  return profiles;
}

bool HasAnyProfile(const std::string& file) { return !ListProfiles(file).empty(); }

std::optional<int32_t> FirstFreeSlot(const std::string& file) {
  for (int32_t slot = 0; slot < kProfileSlots; ++slot)
    if (ReadText(slot, "Address", file).empty()) return slot;
  return std::nullopt;
}

ProfileFields NewProfileFields() {
  ProfileFields fields;
  fields.name = "New site";
  return fields;
}

std::optional<ProfileFields> ReadProfileFields(int32_t slot, const std::string& file) {
  ConnectionProfile record;
  if (!ReadProfile(slot, record, file)) return std::nullopt;
  ProfileFields fields;
  fields.name = record.name;
  fields.protocol = record.protocol;
  fields.address = record.locked ? std::string() : record.address;
  fields.port = record.port > 0 ? record.port : 21;
  fields.userName = record.userName;
  fields.password = record.locked ? std::string() : record.password;
  fields.savePassword = record.savePassword;
  fields.passive = record.passiveMode;
  fields.binary = record.binaryMode;
  fields.threads = std::clamp(record.threadCount, 1, kMaxThreads);
  fields.localDir = record.localDir;
  fields.remoteDir = record.locked ? std::string() : record.remoteDir;
  fields.privateKeyFile = record.privateKeyFile;
  fields.keyPassphrase = record.locked ? std::string() : record.privateKeyPassphrase;
  return fields;
}

std::optional<std::string> CheckProfileFields(const ProfileFields& f) {
  if (f.name.empty()) return "Please enter a name for the connection.";
  if (f.address.empty()) return "Please enter the address of the server.";
  if (f.address == kLockedAddress || f.address.find(kBindingMarker) != std::string::npos ||
      f.address.find_first_of(" \t") != std::string::npos)
    return "The address \"" + f.address + "\" is not a host name or an IP address.";
  if (f.port < 1 || f.port > 65535) return "The port must be a number from 1 to 65535.";
  if (f.threads < 1 || f.threads > kMaxThreads) return "The number of threads must be 1 to 6.";
  if (f.protocol == ServerProtocol::Unknown) return "Please choose how to reach the server.";
  if (f.protocol != ServerProtocol::Sftp && !f.privateKeyFile.empty())
    return "A private key file is used with SFTP only.";
  if (!f.privateKeyFile.empty() && f.privateKeyFile.front() != '/')
    return "The private key file must be an absolute path (starting with \"/\").";
  if (f.privateKeyFile.empty() && !f.keyPassphrase.empty())
    return "A passphrase needs a private key file.";
  for (const std::string* text : {&f.name, &f.address, &f.userName, &f.password, &f.localDir,
                                  &f.remoteDir, &f.privateKeyFile, &f.keyPassphrase}) {
    if (!OneLine(*text)) return "A setting may not hold a line break.";
    if (text->size() > kMaxStoredText) return "A setting is too long to be stored.";
  }
  if (f.savePassword && !f.password.empty() && !ProtectedForm(f.password))
    return "The password is too long to be stored.";
  if (!f.keyPassphrase.empty() && !ProtectedForm(f.keyPassphrase))
    return "The passphrase is too long to be stored.";
  if (!f.localDir.empty() && f.localDir.front() != '/')
    return "The local folder must be an absolute path (starting with \"/\").";
  return std::nullopt;
}

bool WriteProfileFields(int32_t slot, const ProfileFields& f, const std::string& file,
                        std::string& error) {
  if (slot < 0 || slot >= kProfileSlots) {
    error = "There is no connection slot " + std::to_string(slot) + ".";
    return false;
  }
  if (auto refused = CheckProfileFields(f)) {
    error = *refused;
    return false;
  }
  const std::string section = SessionSection(slot);
  ini::KeyValues entries = ini::ReadSection(file, section).value_or(ini::KeyValues{});
  for (const auto& [key, value] : entries) {
    if (SameKey(key, "Address") && value == kLockedAddress) {
      error = "This connection is locked: its settings cannot be changed here.";
      return false;
    }
  }
  SetKey(entries, "Profile", f.name);
  SetKey(entries, "Address", f.address);
  SetKey(entries, "Port", std::to_string(f.port));
  SetKey(entries, "UserName", f.userName);
  if (f.savePassword && !f.password.empty())
    SetKey(entries, "Password", *ProtectedForm(f.password));
  else
    RemoveKey(entries, "Password");
  SetKey(entries, "SavePassword", f.savePassword ? "1" : "0");
  SetKey(entries, "PASVMode", f.passive ? "1" : "0");
  SetKey(entries, "BinaryMode", f.binary ? "1" : "0");
  SetKey(entries, "MaxThread", std::to_string(f.threads));
  SetKey(entries, "LocalDir", f.localDir);
  SetKey(entries, "RemoteDir", f.remoteDir);
  if (f.protocol == ServerProtocol::Ftp)
    RemoveKey(entries, kProtocolKey);
  else
    SetKey(entries, kProtocolKey, std::string(ProtocolName(f.protocol)));
  if (f.privateKeyFile.empty())
    RemoveKey(entries, kPrivateKeyFileKey);
  else
    SetKey(entries, kPrivateKeyFileKey, f.privateKeyFile);
  if (f.keyPassphrase.empty())
    RemoveKey(entries, kPrivateKeyPassphraseKey);
  else
    SetKey(entries, kPrivateKeyPassphraseKey, *ProtectedForm(f.keyPassphrase));
  if (!ini::WriteSection(file, section, entries)) {
    error = "Cannot write " + file + ".";
    return false;
  }
  return true;
}

bool DeleteProfile(int32_t slot, const std::string& file) {
  if (slot < 0 || slot >= kProfileSlots) return false;
  return ini::RemoveSection(file, SessionSection(slot));
}

std::optional<int32_t> DuplicateProfile(int32_t slot, const std::string& file) {
  if (slot < 0 || slot >= kProfileSlots || ReadText(slot, "Address", file).empty())
    return std::nullopt;
  const std::optional<int32_t> free = FirstFreeSlot(file);
  if (!free) return std::nullopt;
  ini::KeyValues entries = ini::ReadSection(file, SessionSection(slot)).value_or(ini::KeyValues{});
  SetKey(entries, "Profile", "Copy of " + ReadText(slot, "Profile", file));
  if (!ini::WriteSection(file, SessionSection(*free), entries)) return std::nullopt;
  return free;
}

}  // namespace quillon
