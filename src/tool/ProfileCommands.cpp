#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <istream>
#include <ostream>

#include "common/Text.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "tool/ToolCommands.h"

namespace quillon::tool {

namespace {

constexpr int kLastSlot = 19;
constexpr int kMaxThreads = 6;

// The section of one slot, edited in memory and written back in one piece, so that a profile
// is never seen half-written (an unlocked address with a locked password, say).
class SectionEdit {
 public:
  SectionEdit(std::string file, int slot)
      : file_(std::move(file)),
        section_(SessionSection(slot)),
        entries_(ini::ReadSection(file_, section_).value_or(ini::KeyValues{})) {}

  std::optional<std::string> Get(std::string_view key) const {
    const auto it = Find(key);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
  }

  void Set(std::string_view key, std::string value) {
    auto it = Find(key);
    if (it != entries_.end()) {
      it->second = std::move(value);
    } else {
      entries_.emplace_back(std::string(key), std::move(value));
    }
  }

  void Remove(std::string_view key) {
    auto it = Find(key);
    if (it != entries_.end()) entries_.erase(it);
  }

  void Save() const {
    if (!ini::WriteSection(file_, section_, entries_)) throw Failure{"cannot write " + file_};
  }

 private:
  ini::KeyValues::iterator Find(std::string_view key) {
    return std::find_if(entries_.begin(), entries_.end(),
                        [&](const auto& entry) { return EqualsIgnoringCase(entry.first, key); });
  }
  ini::KeyValues::const_iterator Find(std::string_view key) const {
    return const_cast<SectionEdit*>(this)->Find(key);
  }

  std::string file_;
  std::string section_;
  ini::KeyValues entries_;
};

std::string Sealed(std::optional<std::string> form, std::string_view what) {
  if (!form) throw Failure{std::string(what) + " is too long to be stored"};
  return *form;
}

int Slot(const Arguments& a) { return ParseNumber(a.Required("--slot"), 0, kLastSlot, "--slot"); }

std::string NoProfile(int slot, const std::string& file) {
  return "slot " + std::to_string(slot) + " of " + file + " holds no readable profile";
}

void RequireSingleLine(const std::string& value, std::string_view what) {
  if (value.find_first_of("\r\n") != std::string::npos || value.find('\0') != std::string::npos) {
    throw Failure{std::string(what) + " must be one line"};
  }
}

// `dir` is `root` or lies below it.
bool Inside(const std::string& dir, std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root == "/") return !dir.empty() && dir[0] == '/';
  return dir == root || (dir.size() > root.size() && dir.compare(0, root.size(), root) == 0 &&
                         dir[root.size()] == '/');
}

// The protocol of --protocol (plain FTP when not given).
ServerProtocol Protocol(const Arguments& a) {
  const std::string name = a.Get("--protocol").value_or("ftp");
  const auto protocol = ProtocolFromName(name);
  if (!protocol) throw Failure{"--protocol must be ftp, ftpes, ftps or sftp, not '" + name + "'"};
  return *protocol;
}

// The absolute path of --key-file, which must name a readable file.
std::string KeyFile(const std::string& given) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(given, error);
  if (given.empty() || error || !std::filesystem::is_regular_file(path, error) ||
      access(path.c_str(), R_OK) != 0) {
    throw Failure{"--key-file '" + given + "' is not a readable file"};
  }
  return path.lexically_normal().string();
}

}  // namespace

void ProfileSet(const Arguments& a, std::istream& in) {
  const std::string file = a.Required("--ini");
  const int slot = Slot(a);
  const std::string name = a.Required("--name");
  const std::string address = a.Required("--address");
  const ServerProtocol protocol = Protocol(a);
  const int port =
      a.Get("--port") ? ParseNumber(*a.Get("--port"), 1, 65535, "--port") : DefaultPort(protocol);
  const std::string user = a.Get("--user").value_or("");
  const int threads = ParseNumber(a.Get("--threads").value_or("3"), 1, kMaxThreads, "--threads");
  if (!a.Positional().empty()) throw Failure{"unexpected argument '" + a.Positional()[0] + "'"};
  if (name.empty()) throw Failure{"--name must not be empty"};
  if (address.empty() || address == kLockedAddress ||
      address.find(kBindingMarker) != std::string::npos ||
      address.find_first_of(" \t") != std::string::npos) {
    throw Failure{"--address must be a host name or address, not '" + address + "'"};
  }
  RequireSingleLine(name, "--name");
  RequireSingleLine(user, "--user");
  const bool keyLogin = a.Get("--key-file").has_value();
  if (keyLogin && protocol != ServerProtocol::Sftp)
    throw Failure{"--key-file goes with --protocol sftp"};
  if (a.Flag("--passphrase-stdin") && !keyLogin)
    throw Failure{"--passphrase-stdin goes with --key-file"};
  const std::string keyFile = keyLogin ? KeyFile(*a.Get("--key-file")) : std::string();
  RequireSingleLine(keyFile, "--key-file");

  // Both secrets on standard input: the password on the first line, the passphrase after it.
  std::string password;
  if (a.Flag("--password-stdin")) {
    const auto line = ReadLine(in);
    if (!line || line->empty()) throw Failure{"no password on standard input"};
    password = *line;
  }
  std::string passphrase;
  if (a.Flag("--passphrase-stdin")) {
    const auto line = ReadLine(in);
    if (!line || line->empty()) throw Failure{"no key passphrase on standard input"};
    passphrase = *line;
  }

  SectionEdit section(file, slot);
  // Rewriting a locked slot: its locked-layout values would be misread by an unlocked profile.
  if (section.Get("Address") == std::string(kLockedAddress)) {
    for (const char* key : {"RMTROOT", "LockPassword", "RemoteDir", "EncryptionKeyName",
                            "EncryptionKey", "DecryptionKey"}) {
      section.Remove(key);
    }
  }
  section.Set("Profile", name);
  section.Set("Address", address);
  section.Set("Port", std::to_string(port));
  section.Set("UserName", user);
  if (password.empty()) {
    section.Remove("Password");
  } else {
    section.Set("Password", Sealed(ProtectedForm(password), "the password"));
  }
  section.Set("SavePassword", password.empty() ? "0" : "1");
  section.Set("PASVMode", a.Flag("--passive") ? "1" : "0");
  section.Set("BinaryMode", a.Flag("--binary") ? "1" : "0");
  section.Set("MaxThread", std::to_string(threads));
  // A plain FTP profile carries none of the secure-transport keys, as before they existed.
  if (protocol == ServerProtocol::Ftp) {
    section.Remove(kProtocolKey);
  } else {
    section.Set(kProtocolKey, std::string(ProtocolName(protocol)));
  }
  if (keyFile.empty()) {
    section.Remove(kPrivateKeyFileKey);
  } else {
    section.Set(kPrivateKeyFileKey, keyFile);
  }
  if (passphrase.empty()) {
    section.Remove(kPrivateKeyPassphraseKey);
  } else {
    section.Set(kPrivateKeyPassphraseKey, Sealed(ProtectedForm(passphrase), "the key passphrase"));
  }
  section.Save();

  ConnectionProfile check;
  if (!ReadProfile(slot, check, file) || check.address != address || check.protocol != protocol ||
      check.privateKeyPassphrase != passphrase) {
    throw Failure{"the profile written to " + file + " does not read back"};
  }
}

void ProfileLock(const Arguments& a) {
  const std::string file = a.Required("--ini");
  const int slot = Slot(a);
  const std::string lockPassword = SecretFromEnvironment(a.Required("--lock-password-env"));
  const std::string root = a.Required("--root");
  if (!a.Positional().empty()) throw Failure{"unexpected argument '" + a.Positional()[0] + "'"};
  if (root.empty() || root[0] != '/') throw Failure{"--root must be an absolute remote folder"};
  RequireSingleLine(root, "--root");
  RequireSingleLine(lockPassword, "the lock password");

  ConnectionProfile profile;
  if (!ReadProfile(slot, profile, file)) throw Failure{NoProfile(slot, file)};
  if (profile.locked) throw Failure{"slot " + std::to_string(slot) + " is locked already"};

  SectionEdit section(file, slot);
  section.Set("Address", std::string(kLockedAddress));
  section.Set("Password", Sealed(ProtectedForm(profile.address + std::string(kBindingMarker) +
                                               profile.password),
                                 "the address and password"));
  if (profile.userName.empty()) {
    section.Remove("UserName");
  } else {
    section.Set("UserName", Sealed(ProtectedForm(profile.userName), "the user name"));
  }
  section.Set("LockPassword", Sealed(ProtectedForm(lockPassword), "the lock password"));
  section.Set("RMTROOT", Sealed(LockedForm(root, lockPassword), "--root"));
  // The start folder stays only when it lies inside the root; otherwise the profile opens at
  // the root.
  if (!profile.remoteDir.empty() && Inside(profile.remoteDir, root)) {
    section.Set("RemoteDir", Sealed(LockedForm(profile.remoteDir, lockPassword), "RemoteDir"));
  } else {
    section.Remove("RemoteDir");
  }
  section.Save();

  ConnectionProfile check;
  if (!ReadProfile(slot, check, file) || !check.locked || check.address != profile.address ||
      check.remoteRoot != root) {
    throw Failure{"the locked profile written to " + file + " does not read back"};
  }
}

void ProfileShow(const Arguments& a, std::ostream& out) {
  const std::string file = a.Required("--ini");
  const int slot = Slot(a);
  if (!a.Positional().empty()) throw Failure{"unexpected argument '" + a.Positional()[0] + "'"};
  ConnectionProfile p;
  if (!ReadProfile(slot, p, file)) throw Failure{NoProfile(slot, file)};
  const auto secret = [](const std::string& s) { return s.empty() ? "" : "***"; };
  const auto flag = [](bool b) { return b ? "1" : "0"; };
  out << "slot=" << p.slot << '\n'
      << "name=" << p.name << '\n'
      << "address=" << p.address << '\n'
      << "userName=" << p.userName << '\n'
      << "password=" << secret(p.password) << '\n'
      << "port=" << p.port << '\n'
      << "localDir=" << p.localDir << '\n'
      << "remoteDir=" << p.remoteDir << '\n'
      << "threadCount=" << p.threadCount << '\n'
      << "savePassword=" << flag(p.savePassword) << '\n'
      << "binaryMode=" << flag(p.binaryMode) << '\n'
      << "passiveMode=" << flag(p.passiveMode) << '\n'
      << "deleteAfterDownload=" << flag(p.deleteAfterDownload) << '\n'
      << "deleteAfterUpload=" << flag(p.deleteAfterUpload) << '\n'
      << "remoteRoot=" << p.remoteRoot << '\n'
      << "locked=" << flag(p.locked) << '\n'
      << "lockPassword=" << secret(p.lockPassword) << '\n'
      << "encryptionKeyName=" << p.encryptionKeyName << '\n'
      << "encryptionKey=" << secret(p.encryptionKey) << '\n'
      << "decryptionKey=" << secret(p.decryptionKey) << '\n'
      << "encryptionKeyBound=" << flag(p.encryptionKeyBound) << '\n'
      << "decryptionKeyBound=" << flag(p.decryptionKeyBound) << '\n'
      << "backupRemoteFile=" << flag(p.backupRemoteFile) << '\n'
      << "backupLocalFile=" << flag(p.backupLocalFile) << '\n'
      << "protocol=" << ProtocolName(p.protocol) << '\n'
      << "privateKeyFile=" << p.privateKeyFile << '\n'
      << "privateKeyPassphrase=" << secret(p.privateKeyPassphrase) << '\n';
}

}  // namespace quillon::tool
