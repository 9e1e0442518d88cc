#include "tasks/TaskStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

namespace quillon {

namespace {

constexpr const char* kCannotSave = "Cannot save task.";
constexpr const char* kMaximumReached = "Cannot save: Maximum tasks reached.";

void Warn(MessagePresenter& messages, std::string_view text) {
  messages.Show(text, MessageButtons::Ok, MessageIcon::Warning);
}

const char* Flag(bool set) { return set ? "1" : "0"; }

bool IsValidSlot(int32_t slot) { return slot >= 0 && slot < kMaxTasks; }

}  // namespace

float AgeHoursFromSeconds(int32_t seconds) {
  return static_cast<float>(std::trunc(seconds * 0.027777778 + 0.5) * 0.01);
}

int32_t AgeSecondsFromHours(float hours, int32_t mode) {
  // NaN and negative hours count as "no limit" like zero does.
  if (mode != 1 || !(hours > 0)) return 0;
  // In single precision, as the record holds it: 0.03 h gives 108 s, not 107.
  float seconds = hours * 3600.0f;
  if (seconds >= static_cast<float>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::trunc(seconds));
}

void LoadTask(TaskDefinition& task, int32_t slot, const std::string& file) {
  if (!IsValidSlot(slot)) {
    task = TaskDefinition{};
    return;
  }
  task.name = ReadText(slot, "Profile", file);
  task.deleteAfterDownload = ReadNumber(slot, "DeleteAfterDownload", file) == 1;
  task.deleteAfterUpload = ReadNumber(slot, "DeleteAfterUpload", file) == 1;
  task.backupDir = ReadText(slot, "BackupDir", file);

  task.locked = ReadText(slot, "Address", file) == kLockedAddress;
  if (task.locked) {
    std::string lockPassword = ReadProtected(slot, "LockPassword", file);
    task.downloadFrom = ReadBound(slot, "DownloadFrom", lockPassword, file);
    task.uploadTo = ReadBound(slot, "UploadTo", lockPassword, file);
    task.encryptionKeyName = ReadBound(slot, "EncryptionKeyName", lockPassword, file);
    task.encryptionKey = ReadBound(slot, "EncryptionKey", lockPassword, file);
    task.decryptionKey = ReadBound(slot, "DecryptionKey", lockPassword, file);
  } else {
    task.downloadFrom = ReadText(slot, "DownloadFrom", file);
    task.uploadTo = ReadText(slot, "UploadTo", file);
    task.encryptionKeyName = ReadProtected(slot, "EncryptionKeyName", file);
    task.encryptionKey = ReadProtected(slot, "EncryptionKey", file);
    task.decryptionKey = ReadProtected(slot, "DecryptionKey", file);
  }
  task.encryptFiles = !task.encryptionKey.empty();
  task.decryptFiles = !task.decryptionKey.empty();
  task.lockMode = ParseLeadingInt(ReadProtected(slot, "LockMode", file)) != 0;

  task.uploadFrom = ReadText(slot, "UploadFrom", file);
  task.downloadTo = ReadText(slot, "DownloadTo", file);
  task.download = ReadNumber(slot, "Download", file) == 1;
  if (!task.download) {
    task.downloadFrom.clear();
    task.downloadTo.clear();
  }
  task.upload = ReadNumber(slot, "Upload", file) == 1;
  if (!task.upload) {
    task.uploadFrom.clear();
    task.uploadTo.clear();
  }

  task.uploadAgeHours = AgeHoursFromSeconds(ReadNumber(slot, "UploadFileAge", file));
  task.downloadAgeHours = AgeHoursFromSeconds(ReadNumber(slot, "DownloadFileAge", file));
  // Derived from the hours alone, so a record loaded twice cannot keep a stale mode.
  task.uploadAgeMode = task.uploadAgeHours > 0 ? 1 : 0;
  task.downloadAgeMode = task.downloadAgeHours > 0 ? 1 : 0;

  task.backupLocalFile = ReadNumber(slot, "BackupLocalFile", file) == 1;
  task.backupRemoteFile = ReadNumber(slot, "BackupRemoteFile", file) == 1;
  task.runBeforeUpload = ReadText(slot, "RunBeforeUpload", file);
  task.runBeforeDownload = ReadText(slot, "RunBeforeDownload", file);
  task.runAfterUpload = ReadText(slot, "RunAfterUpload", file);
  task.runAfterDownload = ReadText(slot, "RunAfterDownload", file);
  task.emailServer = ReadText(slot, "EmailServer", file);
  task.emailFrom = ReadText(slot, "EmailFrom", file);
  task.emailTo = ReadText(slot, "EmailTo", file);
  task.useEmail = ReadNumber(slot, "UseEmail", file) == 1;
  task.slot = slot;
}

TaskDefinition NewTask(const std::string& profileFile, int32_t profileSlot) {
  TaskDefinition task;
  LoadTask(task, profileSlot, profileFile);
  task.isNew = true;
  task.name.clear();
  // A locked profile that imposes an encryption key keeps the user from changing the keys.
  task.lockMode = false;
  if (task.locked) {
    std::string lockPassword = ReadProtected(profileSlot, "LockPassword", profileFile);
    task.lockMode = !ReadBound(profileSlot, "EncryptionKey", lockPassword, profileFile).empty();
  }
  return task;
}

bool SaveTask(const TaskDefinition& task, const std::string& file) {
  const int32_t slot = task.slot;
  if (!IsValidSlot(slot)) return false;
  // Every key is written even after a failure, but the save only counts when all of them
  // landed: a task half saved is not saved.
  bool ok = true;
  auto text = [&](std::string_view key, const std::string& value) {
    ok = WriteText(slot, key, value, file) && ok;
  };
  auto number = [&](std::string_view key, int32_t value) {
    ok = WriteNumber(slot, key, value, file) && ok;
  };
  text("Profile", task.name);
  number("Download", task.download ? 1 : 0);
  number("DownloadFileAge", AgeSecondsFromHours(task.downloadAgeHours, task.downloadAgeMode));
  text("DownloadTo", task.downloadTo);
  number("DeleteAfterDownload", task.deleteAfterDownload ? 1 : 0);
  number("Upload", task.upload ? 1 : 0);
  number("UploadFileAge", AgeSecondsFromHours(task.uploadAgeHours, task.uploadAgeMode));
  text("UploadFrom", task.uploadFrom);
  number("DeleteAfterUpload", task.deleteAfterUpload ? 1 : 0);
  text("BackupDir", task.backupDir);
  if (task.locked) {
    std::string lockPassword = ReadProtected(slot, "LockPassword", file);
    auto bound = [&](std::string_view key, const std::string& value) {
      ok = WriteBound(slot, key, value, lockPassword, file) && ok;
    };
    bound("EncryptionKeyName", task.encryptionKeyName);
    bound("EncryptionKey", task.encryptionKey);
    bound("DecryptionKey", task.decryptionKey);
    bound("DownloadFrom", task.downloadFrom);
    bound("UploadTo", task.uploadTo);
  } else {
    auto protect = [&](std::string_view key, const std::string& value) {
      ok = WriteProtected(slot, key, value, file) && ok;
    };
    protect("EncryptionKeyName", task.encryptionKeyName);
    protect("EncryptionKey", task.encryptionKey);
    protect("DecryptionKey", task.decryptionKey);
    text("DownloadFrom", task.downloadFrom);
    text("UploadTo", task.uploadTo);
  }
  ok = WriteProtected(slot, "LockMode", Flag(task.lockMode), file) && ok;
  text("BackupLocalFile", Flag(task.backupLocalFile));
  text("BackupRemoteFile", Flag(task.backupRemoteFile));
  text("RunBeforeUpload", task.runBeforeUpload);
  text("RunBeforeDownload", task.runBeforeDownload);
  text("RunAfterUpload", task.runAfterUpload);
  text("RunAfterDownload", task.runAfterDownload);
  text("EmailServer", task.emailServer);
  text("EmailFrom", task.emailFrom);
  text("EmailTo", task.emailTo);
  text("UseEmail", Flag(task.useEmail));
  return ok;
}

bool ValidateTask(TaskDefinition& task, MessagePresenter& messages) {
  auto fail = [&](std::string_view text) {
    Warn(messages, text);
    return false;
  };
  if (task.slot < 0) return fail("Click 'New Task' to create a new task.");
  size_t end = task.name.find_last_not_of(" \t\r\n\v\f");
  task.name.erase(end == std::string::npos ? 0 : end + 1);
  if (task.name.empty()) return fail("Invalid task name.");
  if (!task.upload && !task.download) return fail("No download or upload checked.");
  // "Not positive" rather than "<= 0", so that a NaN from the hours field is refused too.
  if (task.download) {
    if (task.downloadFrom.empty() || task.downloadTo.empty())
      return fail("Invalid download From/To folder.");
    if (task.downloadAgeMode == 1 && !(task.downloadAgeHours > 0))
      return fail("Invalid download file time.");
  }
  if (!task.upload) return true;
  if (task.uploadFrom.empty() || task.uploadTo.empty())
    return fail("Invalid upload From/To folder.");
  if (task.uploadAgeMode == 1 && !(task.uploadAgeHours > 0))
    return fail("Invalid upload file time.");
  if (task.encryptionKey.empty()) return fail("Please check the `Encrypt Files' box.");
  if (task.download && task.decryptionKey.empty())
    return fail("Please check the `Decrypt Files' box.");
  return true;
}

bool IsTaskSlotUsed(int32_t slot, const std::string& file) {
  return !ReadText(slot, "Profile", file).empty();
}

std::optional<int32_t> FindFreeTaskSlot(const std::string& file) {
  for (int32_t slot = 0; slot < kMaxTasks; ++slot)
    if (!IsTaskSlotUsed(slot, file)) return slot;
  return std::nullopt;
}

bool TaskStoreIsWritable(const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return errno == ENOENT;  // made by the first write
  return S_ISREG(info.st_mode) && ::access(file.c_str(), R_OK) == 0 && ini::IsWritable(file);
}

bool PlaceNewTask(TaskDefinition& task, const std::string& profileFile, const std::string& taskFile,
                  MessagePresenter& messages) {
  std::optional<int32_t> free = FindFreeTaskSlot(taskFile);
  if (!free) {
    Warn(messages, kMaximumReached);
    return false;
  }
  // The whole section, however long: a cut copy would lose the connection keys at its end.
  ini::KeyValues profile;
  if (IsValidSlot(task.slot))
    profile = ini::ReadSection(profileFile, SessionSection(task.slot)).value_or(ini::KeyValues{});
  if (!ini::WriteSection(taskFile, SessionSection(*free), profile)) {
    Warn(messages, kCannotSave);
    return false;
  }
  task.slot = *free;
  task.isNew = false;
  return true;
}

std::optional<int32_t> SaveTaskChanges(TaskDefinition& task, const std::string& profileFile,
                                       const std::string& taskFile, MessagePresenter& messages) {
  if (!TaskStoreIsWritable(taskFile)) {
    Warn(messages, kCannotSave);
    return std::nullopt;
  }
  if (!ValidateTask(task, messages)) return std::nullopt;
  if (task.isNew && !PlaceNewTask(task, profileFile, taskFile, messages)) return std::nullopt;
  if (!SaveTask(task, taskFile)) {
    Warn(messages, kCannotSave);
    return std::nullopt;
  }
  return task.slot;
}

bool DeleteTask(int32_t slot, const std::string& file) {
  if (!IsValidSlot(slot)) return false;
  return ini::WriteSection(file, SessionSection(slot), {});
}

}  // namespace quillon
