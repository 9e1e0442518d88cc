#include <unistd.h>

#include <filesystem>
#include <istream>
#include <ostream>

#include "profiles/IniFile.h"
#include "profiles/ProfileEditor.h"
#include "profiles/ProfileStore.h"
#include "tool/ToolCommands.h"

namespace quillon::tool {

namespace {

constexpr int kLastSlot = 19;
constexpr int kMaxThreads = 6;

void Save(const ini::SectionEdit& section, const std::string& file) {
  if (!section.Save()) throw Failure{"cannot write " + file};
}

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

  ProfileFields fields;
  fields.name = name;
  fields.protocol = protocol;
  fields.address = address;
  fields.port = port;
  fields.userName = user;
  fields.password = password;
  fields.savePassword = !password.empty();
  fields.passive = a.Flag("--passive");
  fields.binary = a.Flag("--binary");
  fields.threads = threads;
  fields.privateKeyFile = keyFile;
  fields.keyPassphrase = passphrase;
  // The connection manager's rules too: no line break, nothing too long to be read back.
  if (auto refused = CheckProfileFields(fields)) throw Failure{*refused};

  ini::SectionEdit section(file, SessionSection(slot));
  // Rewriting a locked slot: its locked-layout values would be misread by an unlocked profile.
  if (section.Get("Address") == std::string(kLockedAddress)) {
    for (const char* key : {"RMTROOT", "LockPassword", "RemoteDir", "EncryptionKeyName",
                            "EncryptionKey", "DecryptionKey"}) {
      section.Remove(key);
    }
  }
  SetConnectionKeys(section, fields);
  Save(section, file);

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

  ini::SectionEdit section(file, SessionSection(slot));
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
  Save(section, file);

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
