#include "profiles/SessionOptions.h"

#include <algorithm>

#include "profiles/IniFile.h"

namespace quillon {
namespace {

constexpr std::string_view kAutoConnectKey = "AutoConnect";

bool IsSlot(int32_t slot) { return slot >= 0 && slot < 20; }

std::string_view Flag(bool on) { return on ? "1" : "0"; }

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

int32_t ThreadChoiceOf(int32_t threadCount) {
  return std::clamp(threadCount - 1, 0, kThreadChoices - 1);
}

int32_t AfterUploadChoice(bool deleteAfterUpload, std::string_view backupDir) {
  if (!deleteAfterUpload) return kKeepUploaded;
  return backupDir.empty() ? kDeleteUploaded : kMoveUploaded;
}

SessionOptions SessionOptionsOfProfile(const ConnectionProfile& profile,
                                       const std::string& profileFile) {
  SessionOptions options;
  options.binaryMode = profile.binaryMode;
  options.threadChoice = ThreadChoiceOf(profile.threadCount);
  options.backupRemoteFile = profile.backupRemoteFile;
  options.backupLocalFile = profile.backupLocalFile;
  const std::string backupDir =
      IsSlot(profile.slot) ? ReadText(profile.slot, "BackupDir", profileFile) : std::string();
  options.afterUpload = AfterUploadChoice(profile.deleteAfterUpload, backupDir);
  if (options.afterUpload == kMoveUploaded) options.moveFolder = backupDir;
  options.afterDownload = profile.deleteAfterDownload ? 1 : 0;
  return options;
}

bool StoreSessionOptions(const SessionOptions& options, ConnectionProfile& profile,
                         const std::string& profileFile) {
  profile.threadCount = options.threadChoice + 1;
  profile.binaryMode = options.binaryMode;
  profile.deleteAfterUpload = options.afterUpload > kKeepUploaded;
  profile.deleteAfterDownload = options.afterDownload == 1;
  profile.backupLocalFile = options.backupLocalFile;
  profile.backupRemoteFile = options.backupRemoteFile;
  // Slots outside 0..19 name no section of the file.
  if (!IsSlot(profile.slot)) return true;
  const int32_t slot = profile.slot;
  const std::string_view backupDir =
      options.afterUpload == kMoveUploaded ? std::string_view(options.moveFolder) : "";
  bool ok = WriteText(slot, "BackupDir", backupDir, profileFile);
  ok = WriteText(slot, "BinaryMode", Flag(profile.binaryMode), profileFile) && ok;
  ok = WriteText(slot, "DeleteAfterDownload", Flag(profile.deleteAfterDownload), profileFile) && ok;
  ok = WriteText(slot, "DeleteAfterUpload", Flag(profile.deleteAfterUpload), profileFile) && ok;
  ok = WriteText(slot, "BackupLocalFile", Flag(profile.backupLocalFile), profileFile) && ok;
  ok = WriteText(slot, "BackupRemoteFile", Flag(profile.backupRemoteFile), profileFile) && ok;
  ok = WriteNumber(slot, "MaxThread", profile.threadCount, profileFile) && ok;
  return ok;
}

MoveFolderCheck FinishMoveFolder(SessionOptions& options) {
  if (options.afterUpload != kMoveUploaded) {
    options.moveFolder.clear();
    return MoveFolderCheck::Accept;
  }
  options.moveFolder = std::string(TrimBlanks(options.moveFolder));
  // A relative folder would depend on the directory a run happens to start in.
  if (options.moveFolder.empty() || options.moveFolder.front() != '/')
    return MoveFolderCheck::NeedFolder;
  return MoveFolderCheck::Accept;
}

std::string CommandForProgram(std::string_view path) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
  };
  if (!path.empty() && std::all_of(path.begin(), path.end(), plain)) return std::string(path);
  std::string quoted = "'";
  for (char c : path) {
    if (c == '\'')
      quoted += "'\\''";  // end the quote, an escaped quote, quote again
    else
      quoted += c;
  }
  return quoted + "'";
}

bool IsStartupConnection(int32_t slot, const std::string& profileFile) {
  return IsSlot(slot) &&
         ReadProgramNumber(profileFile, {kAutoConnectKey, kAutoConnectUnsetInDialog}) == slot;
}

bool ClickStartupConnection(bool ticked, int32_t slot, bool savePassword,
                            const std::string& profileFile, MessagePresenter& messages) {
  if (ticked) {
    // Connecting at start-up without a stored password could only fail.
    if (!savePassword) {
      messages.Show(sessiontext::kSavePasswordNeeded);
      return false;
    }
    if (!IsSlot(slot)) return false;
    return ini::Write(profileFile, kProgramSection, kAutoConnectKey, std::to_string(slot));
  }
  // Empty text (not a removed key) reads as "none" at the next start.
  return !ini::Write(profileFile, kProgramSection, kAutoConnectKey, std::string_view());
}

void CommandWarning::OnTicked(MessagePresenter& messages) {
  if (shown_) return;
  shown_ = true;
  messages.Show(sessiontext::kCommandWarning);
}

CommandWarning& CommandWarning::ForThisRun() {
  static CommandWarning warning;
  return warning;
}

}  // namespace quillon
