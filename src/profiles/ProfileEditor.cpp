#include "profiles/ProfileEditor.h"

#include <algorithm>

#include "profiles/ConnectionProfile.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

namespace quillon {

namespace {

constexpr int32_t kMaxThreads = 6;

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

void SetConnectionKeys(ini::SectionEdit& section, const ProfileFields& f) {
  section.Set("Profile", f.name);
  section.Set("Address", f.address);
  section.Set("Port", std::to_string(f.port));
  section.Set("UserName", f.userName);
  if (f.savePassword && !f.password.empty())
    section.Set("Password", ProtectedForm(f.password).value_or(std::string()));
  else
    section.Remove("Password");
  section.Set("SavePassword", f.savePassword ? "1" : "0");
  section.Set("PASVMode", f.passive ? "1" : "0");
  section.Set("BinaryMode", f.binary ? "1" : "0");
  section.Set("MaxThread", std::to_string(f.threads));
  if (f.protocol == ServerProtocol::Ftp)
    section.Remove(kProtocolKey);
  else
    section.Set(kProtocolKey, std::string(ProtocolName(f.protocol)));
  if (f.privateKeyFile.empty())
    section.Remove(kPrivateKeyFileKey);
  else
    section.Set(kPrivateKeyFileKey, f.privateKeyFile);
  if (f.keyPassphrase.empty())
    section.Remove(kPrivateKeyPassphraseKey);
  else
    section.Set(kPrivateKeyPassphraseKey, ProtectedForm(f.keyPassphrase).value_or(std::string()));
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
  ini::SectionEdit section(file, SessionSection(slot));
  if (section.Get("Address") == std::string(kLockedAddress)) {
    error = "This connection is locked: its settings cannot be changed here.";
    return false;
  }
  SetConnectionKeys(section, f);
  section.Set("LocalDir", f.localDir);
  section.Set("RemoteDir", f.remoteDir);
  if (!section.Save()) {
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
  ini::SectionEdit copy(file, SessionSection(slot));
  copy.Set("Profile", "Copy of " + ReadText(slot, "Profile", file));
  if (!copy.SaveAs(SessionSection(*free))) return std::nullopt;
  return free;
}

}  // namespace quillon
