#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "profiles/ConnectionProfile.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

namespace quillon::test {

// The connection keys of a profile section ("SESSIONnn" of "Quillon.ini", or of a task in
// "QvrTask.ini") as the connection manager leaves them and ReadProfile reads them: texts as they
// are, the password and the keys in protected form. An empty text is left out, so a task's
// section keeps its own "Profile" (the task's name); a switch is written as 1 when on and left
// out when off.
struct ProfileSection {
  std::string name{};      // "Profile"
  std::string address{};   // "Address"
  int32_t port = 0;        // "Port" (0: left out)
  std::string protocol{};  // "Protocol": "ftpes", "ftps", "sftp" (empty: plain FTP)
  std::string userName{};  // "UserName"
  std::string password{};  // "Password", with "SavePassword" 1
  bool passive = true;     // "PASVMode"
  bool binary = false;     // "BinaryMode"
  std::string localDir{};
  std::string remoteDir{};
  std::string encryptionKeyName{};
  std::string encryptionKey{};
  std::string decryptionKey{};

  // The address, port, user and password of a test server (FtpServer::Profile()).
  static ProfileSection Of(const ConnectionProfile& server, std::string name = {}) {
    ProfileSection section;
    section.name = std::move(name);
    section.address = server.address;
    section.port = server.port;
    section.userName = server.userName;
    section.password = server.password;
    return section;
  }

  // False when a key could not be written (the file then holds those before it).
  [[nodiscard]] bool Write(int32_t slot, const std::string& file) const {
    auto text = [&](std::string_view key, const std::string& value) {
      return value.empty() || WriteText(slot, key, value, file);
    };
    auto hidden = [&](std::string_view key, const std::string& value) {
      return value.empty() || WriteProtected(slot, key, value, file);
    };
    auto on = [&](std::string_view key, bool value) {
      return !value || WriteNumber(slot, key, 1, file);
    };
    return text("Profile", name) && text("Address", address) &&
           (port == 0 || WriteNumber(slot, "Port", port, file)) && text(kProtocolKey, protocol) &&
           text("UserName", userName) && hidden("Password", password) &&
           on("SavePassword", !password.empty()) && on("PASVMode", passive) &&
           on("BinaryMode", binary) && text("LocalDir", localDir) && text("RemoteDir", remoteDir) &&
           hidden("EncryptionKeyName", encryptionKeyName) &&
           hidden("EncryptionKey", encryptionKey) && hidden("DecryptionKey", decryptionKey);
  }
};

}  // namespace quillon::test
