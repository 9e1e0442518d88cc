#pragma once

#include <cstdint>
#include <string>

#include "profiles/ServerProtocol.h"

namespace quillon {

// The in-memory record of one connection profile (or the profile part of a task). Filled by
// ReadProfile; every field has the meaning of the profile key of the same name.
struct ConnectionProfile {
  int32_t slot = -1;                 // session slot 0..19, -1 while none is connected
  std::string name;                  // "Profile"
  std::string address;               // real server address, also for a locked profile
  std::string userName;              // "UserName"; empty means anonymous
  std::string password;              // "Password"
  int32_t port = 21;                 // "Port"
  std::string localDir;              // "LocalDir"
  std::string remoteDir = "/";       // "RemoteDir"
  int32_t threadCount = 3;           // "MaxThread"
  bool savePassword = false;         // "SavePassword"
  bool binaryMode = true;            // "BinaryMode"
  bool passiveMode = false;          // "PASVMode"
  bool deleteAfterDownload = false;  // "DeleteAfterDownload"
  bool deleteAfterUpload = false;    // "DeleteAfterUpload"
  std::string remoteRoot = "/";      // "RMTROOT"; "/" for an unlocked profile
  bool locked = false;
  std::string lockPassword;         // "LockPassword"
  std::string encryptionKeyName;    // "EncryptionKeyName"
  std::string encryptionKey;        // "EncryptionKey"
  std::string decryptionKey;        // "DecryptionKey"
  bool encryptionKeyBound = false;  // key name and key were read in locked form
  bool decryptionKeyBound = false;
  bool backupRemoteFile = false;                  // "BackupRemoteFile"
  bool backupLocalFile = false;                   // "BackupLocalFile"
  ServerProtocol protocol = ServerProtocol::Ftp;  // "Protocol"; missing means plain FTP
  std::string privateKeyFile;        // "PrivateKeyFile": SFTP login with this OpenSSH key
  std::string privateKeyPassphrase;  // "PrivateKeyPassphrase" (protected form)
};

}  // namespace quillon
