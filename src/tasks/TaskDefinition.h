#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// The in-memory record of one task: a saved unattended upload and/or download with its keys,
// hooks and notification settings. Filled by LoadTask, written by SaveTask (TaskStore.h); each
// field has the meaning of the task key named beside it. A fresh record is empty: every string
// empty, slot -1, every number 0.
struct TaskDefinition {
  std::string name;                  // "Profile": task name, list caption, log file base name
  int32_t slot = -1;                 // section number 0..19; -1 = no task
  bool upload = false;               // "Upload"
  bool download = false;             // "Download"
  int32_t downloadAgeMode = 0;       // 0 = all files, 1 = files modified within downloadAgeHours
  int32_t uploadAgeMode = 0;         // the same for upload
  float downloadAgeHours = 0;        // "DownloadFileAge" (stored in seconds), 1/100 hour steps
  float uploadAgeHours = 0;          // "UploadFileAge"
  std::string uploadFrom;            // "UploadFrom": local source folder
  std::string uploadTo;              // "UploadTo": remote target folder
  std::string downloadFrom;          // "DownloadFrom": remote source folder
  std::string downloadTo;            // "DownloadTo": local target folder
  bool encryptFiles = false;         // encryptionKey is not empty
  bool decryptFiles = false;         // decryptionKey is not empty
  std::string encryptionKeyName;     // "EncryptionKeyName"
  std::string encryptionKey;         // "EncryptionKey": encrypts uploads
  std::string decryptionKey;         // "DecryptionKey": decrypts downloads
  bool deleteAfterUpload = false;    // "DeleteAfterUpload": delete (or move to backupDir)
  bool deleteAfterDownload = false;  // "DeleteAfterDownload": delete the remote files
  bool locked = false;               // the section is a locked profile ("Address" is "0.0.0.0")
  std::string backupDir;             // "BackupDir": where uploaded local files are moved
  bool backupLocalFile = false;      // "BackupLocalFile": back up a local file before download
  bool backupRemoteFile = false;     // "BackupRemoteFile": back up a remote file before upload
  bool isNew = false;                // made by "New Task" and not saved yet (not stored)
  std::string runBeforeUpload;       // "RunBeforeUpload": command lines of the hooks
  std::string runBeforeDownload;     // "RunBeforeDownload"
  std::string runAfterUpload;        // "RunAfterUpload"
  std::string runAfterDownload;      // "RunAfterDownload"
  bool useEmail = false;             // "UseEmail": mail the log after a run
  std::string emailServer;           // "EmailServer"
  std::string emailFrom;             // "EmailFrom"
  std::string emailTo;               // "EmailTo"
  bool lockMode = false;             // "LockMode": the keys come from a locked profile and the
                                     // encrypt/decrypt boxes may not be changed

  bool operator==(const TaskDefinition&) const = default;
};

}  // namespace quillon
