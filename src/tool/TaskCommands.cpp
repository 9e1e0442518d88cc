#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <istream>
#include <limits>
#include <ostream>

#include "common/Messages.h"
#include "mail/MailAddress.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "tasks/TaskSettingsText.h"
#include "tasks/TaskStore.h"
#include "tool/ToolCommands.h"

namespace quillon::tool {

namespace {

namespace fs = std::filesystem;

constexpr int kLastSlot = kMaxTasks - 1;
// What the key dialog lets a user type: a key longer than this could never be entered there to
// decrypt the files, and the cipher would not use the rest anyway.
constexpr size_t kMaxKeyLength = 32;
constexpr size_t kMaxKeyNameLength = 15;
// The task log is "<name>.log" in the program folder; a longer name leaves no valid file name.
constexpr size_t kMaxNameLength = 251;
// Seconds of an age limit are stored as a 32-bit number.
constexpr double kMaxAgeHours = std::numeric_limits<int32_t>::max() / 3600.0;

// The task store's messages (ValidateTask, placing and saving), kept so that the first one
// becomes the command's error line instead of a message box.
class CollectedMessages : public MessagePresenter {
 public:
  MessageAnswer Show(std::string_view text, MessageButtons buttons, MessageIcon) override {
    if (first_.empty()) {
      // One line on stderr, whatever the message looks like.
      for (const char c : text) first_ += (c == '\r' || c == '\n') ? ' ' : c;
      const size_t end = first_.find_last_not_of(' ');
      first_.erase(end == std::string::npos ? 0 : end + 1);
      if (first_.empty()) first_ = "the task was refused";
    }
    return DefaultAnswer(buttons);
  }
  [[noreturn]] void Fail() const {
    throw Failure{first_.empty() ? std::string("the task was refused") : first_};
  }

 private:
  std::string first_;
};

int SlotOption(const Arguments& a, std::string_view option) {
  return ParseNumber(a.Required(option), 0, kLastSlot, option);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A plain value must read back as given: one line, short enough for a read to see whole,
// without blanks at its ends (reads trim them) and not wrapped in double quotes (reads remove
// them).
void RequireStorable(const std::string& value, std::string_view what) {
  const std::string name(what);
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw Failure{name + " must be one line"};
  if (value.size() > kMaxStoredText)
    throw Failure{name + " must be at most " + std::to_string(kMaxStoredText) + " characters"};
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())))
    throw Failure{name + " must not begin or end with a blank"};
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    throw Failure{name + " must not be wrapped in double quotes (they would be lost)"};
}

// A local folder as the run will see it, started from any working folder: absolute, without a
// trailing "/".
std::string LocalFolder(const std::string& given, std::string_view what) {
  if (given.empty()) throw Failure{std::string(what) + " must not be empty"};
  RequireStorable(given, what);
  std::error_code error;
  fs::path path = fs::absolute(given, error);
  if (error) throw Failure{std::string(what) + ": " + given + " cannot be made absolute"};
  std::string folder = path.lexically_normal().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  RequireStorable(folder, what);
  return folder;
}

std::string RemoteFolder(const std::string& given, std::string_view what) {
  if (given.empty() || given[0] != '/')
    throw Failure{std::string(what) + " must be an absolute remote folder, not '" + given + "'"};
  RequireStorable(given, what);
  return given;
}

// `dir` is `root` or lies below it (both normalised local folders).
bool InsideFolder(const std::string& dir, const std::string& root) {
  if (root == "/") return true;
  return dir == root || (dir.size() > root.size() && dir.compare(0, root.size(), root) == 0 &&
                         dir[root.size()] == '/');
}

// Hours rounded to 1/100 hour, as the store keeps them. Zero or less is left for the task's
// own check ("Invalid ... file time.").
float AgeHours(const std::string& text, std::string_view what) {
  const std::string bad = std::string(what) + " must be a number of hours, not '" + text + "'";
  if (text.empty() || IsBlank(text.front())) throw Failure{bad};
  char* end = nullptr;
  errno = 0;
  const double hours = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(hours))
    throw Failure{bad};
  if (hours > kMaxAgeHours) {
    throw Failure{std::string(what) + " must be at most " +
                  std::to_string(static_cast<int>(kMaxAgeHours)) + " hours"};
  }
  return static_cast<float>(std::round(hours * 100) / 100);
}

// A key from the environment variable named by `envOption` or from the next line of standard
// input with `stdinFlag`; nullopt when neither is given.
std::optional<std::string> Key(const Arguments& a, std::string_view envOption,
                               std::string_view stdinFlag, std::istream& in) {
  const auto variable = a.Get(envOption);
  if (variable && a.Flag(stdinFlag)) {
    throw Failure{"give " + std::string(envOption) + " or " + std::string(stdinFlag) +
                  ", not both"};
  }
  std::string key;
  if (variable) {
    key = SecretFromEnvironment(*variable);
  } else if (a.Flag(stdinFlag)) {
    const auto line = ReadLine(in);
    if (!line || line->empty()) {
      throw Failure{"no key on standard input for " + std::string(stdinFlag)};
    }
    key = *line;
  } else {
    return std::nullopt;
  }
  const std::string what = variable ? "the key in " + *variable : "the key on standard input";
  if (key.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw Failure{what + " must be one line"};
  if (key.size() > kMaxKeyLength)
    throw Failure{what + " must be at most " + std::to_string(kMaxKeyLength) + " characters"};
  return key;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code e1, e2;
  const fs::path pa = fs::weakly_canonical(a, e1);
  const fs::path pb = fs::weakly_canonical(b, e2);
  return !e1 && !e2 && pa == pb;
}

// The record as the store gives it back: ages compared in the 1/100 hour steps they are kept in.
bool SameTask(TaskDefinition written, const TaskDefinition& read) {
  const auto close = [](float x, float y) { return std::fabs(x - y) < 0.005f; };
  if (close(written.uploadAgeHours, read.uploadAgeHours))
    written.uploadAgeHours = read.uploadAgeHours;
  if (close(written.downloadAgeHours, read.downloadAgeHours))
    written.downloadAgeHours = read.downloadAgeHours;
  return written == read;
}

// Options that belong to one direction of the task.
void RequireDirection(const Arguments& a, std::initializer_list<std::string_view> options,
                      bool enabled, std::string_view direction) {
  for (const auto option : options) {
    if (!enabled && (a.Get(option) || a.Flag(option))) {
      throw Failure{std::string(option) + " is for a task that " + std::string(direction) +
                    " (give its folders)"};
    }
  }
}

// Fills the editable part of `task` from the options: everything the task manager lets a user
// set. What is not given is off or empty.
void ApplyOptions(const Arguments& a, std::istream& in, TaskDefinition& task,
                  const std::string& lockPassword) {
  task.name = a.Required("--name");
  {
    // Trailing blanks are the task check's to trim; a name of blanks is its to refuse.
    std::string trimmed = task.name;
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back())))
      trimmed.pop_back();
    RequireStorable(trimmed, "--name");
    if (trimmed.size() > kMaxNameLength) {
      throw Failure{"--name must be at most " + std::to_string(kMaxNameLength) +
                    " bytes (the task log is named after it)"};
    }
  }

  // In a locked profile the remote folders are stored bound to its lock password, which makes
  // them longer.
  const auto remote = [&](std::string_view option) -> std::string {
    const auto given = a.Get(option);
    if (!given) return "";
    std::string folder = RemoteFolder(*given, option);
    if (task.locked && !LockedForm(folder, lockPassword))
      throw Failure{std::string(option) + " is too long to be stored"};
    return folder;
  };
  const auto local = [&](std::string_view option) -> std::string {
    const auto given = a.Get(option);
    return given ? LocalFolder(*given, option) : "";
  };

  task.upload = a.Get("--upload-from") || a.Get("--upload-to");
  task.uploadFrom = local("--upload-from");
  task.uploadTo = remote("--upload-to");
  task.download = a.Get("--download-from") || a.Get("--download-to");
  task.downloadFrom = remote("--download-from");
  task.downloadTo = local("--download-to");

  RequireDirection(a,
                   {"--upload-age-hours", "--delete-after-upload", "--move-after-upload",
                    "--backup-remote", "--run-before-upload", "--run-after-upload"},
                   task.upload, "uploads");
  RequireDirection(a,
                   {"--download-age-hours", "--delete-after-download", "--backup-local",
                    "--run-before-download", "--run-after-download"},
                   task.download, "downloads");

  const auto upAge = a.Get("--upload-age-hours");
  task.uploadAgeMode = upAge ? 1 : 0;
  task.uploadAgeHours = upAge ? AgeHours(*upAge, "--upload-age-hours") : 0;
  const auto downAge = a.Get("--download-age-hours");
  task.downloadAgeMode = downAge ? 1 : 0;
  task.downloadAgeHours = downAge ? AgeHours(*downAge, "--download-age-hours") : 0;

  // Keys: a locked profile that imposes its key decides both, as the task manager does.
  const bool keyOptions = a.Get("--encryption-key-env") || a.Flag("--encryption-key-stdin") ||
                          a.Get("--encryption-key-name") || a.Get("--decryption-key-env") ||
                          a.Flag("--decryption-key-stdin");
  if (task.lockMode) {
    if (keyOptions) {
      throw Failure{"the keys of this task come from its locked profile and cannot be changed"};
    }
  } else {
    const auto encryptionKey = Key(a, "--encryption-key-env", "--encryption-key-stdin", in);
    const auto decryptionKey = Key(a, "--decryption-key-env", "--decryption-key-stdin", in);
    const auto keyName = a.Get("--encryption-key-name");
    if (keyName && !encryptionKey) {
      throw Failure{
          "--encryption-key-name goes with --encryption-key-env or --encryption-key-stdin"};
    }
    task.encryptionKey = encryptionKey.value_or("");
    // The key dialog's preset name.
    task.encryptionKeyName = encryptionKey ? keyName.value_or("default") : "";
    if (task.encryptionKeyName.size() > kMaxKeyNameLength) {
      throw Failure{"--encryption-key-name must be at most " + std::to_string(kMaxKeyNameLength) +
                    " characters"};
    }
    if (task.encryptionKeyName.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      throw Failure{"--encryption-key-name must be one line"};
    task.decryptionKey = decryptionKey.value_or("");
    if (task.locked) {
      for (const std::string* value :
           {&task.encryptionKeyName, &task.encryptionKey, &task.decryptionKey}) {
        if (!value->empty() && !LockedForm(*value, lockPassword))
          throw Failure{"a key is too long to be stored in this locked profile"};
      }
    }
  }
  task.encryptFiles = !task.encryptionKey.empty();
  task.decryptFiles = !task.decryptionKey.empty();

  const auto move = a.Get("--move-after-upload");
  if (move && a.Flag("--delete-after-upload"))
    throw Failure{"give --delete-after-upload or --move-after-upload, not both"};
  task.deleteAfterUpload = move || a.Flag("--delete-after-upload");
  task.backupDir = move ? LocalFolder(*move, "--move-after-upload") : "";
  // Files moved into the folder they were uploaded from would be uploaded again next time.
  if (move && !task.uploadFrom.empty() && InsideFolder(task.backupDir, task.uploadFrom))
    throw Failure{"--move-after-upload must not lie inside --upload-from"};
  task.deleteAfterDownload = a.Flag("--delete-after-download");
  task.backupLocalFile = a.Flag("--backup-local");
  task.backupRemoteFile = a.Flag("--backup-remote");

  const auto hook = [&](std::string_view option) {
    std::string command = a.Get(option).value_or("");
    RequireStorable(command, option);
    return command;
  };
  task.runBeforeUpload = hook("--run-before-upload");
  task.runAfterUpload = hook("--run-after-upload");
  task.runBeforeDownload = hook("--run-before-download");
  task.runAfterDownload = hook("--run-after-download");
  // A run that uploads and downloads runs only the upload's before-hook.
  if (task.upload && task.download && !task.runBeforeDownload.empty()) {
    throw Failure{
        "--run-before-download never runs in a task that also uploads "
        "(use --run-before-upload)"};
  }

  const auto server = a.Get("--email-server");
  const auto from = a.Get("--email-from");
  const auto to = a.Get("--email-to");
  task.useEmail = server || from || to;
  if (task.useEmail) {
    if (!server || !from || !to || server->empty() || from->empty() || to->empty())
      throw Failure{"--email-server, --email-from and --email-to go together and cannot be blank"};
    RequireStorable(*server, "--email-server");
    RequireStorable(*from, "--email-from");
    RequireStorable(*to, "--email-to");
    // The same check as the e-mail dialog's: the run's mail would be refused otherwise.
    if (!IsMailAddress(*from)) throw Failure{"--email-from is not a mail address: '" + *from + "'"};
    const std::vector<std::string> recipients = SplitRecipients(*to);
    if (recipients.empty()) throw Failure{"--email-to holds no address"};
    for (const std::string& recipient : recipients) {
      if (!IsMailAddress(recipient))
        throw Failure{"--email-to holds '" + recipient + "', which is not a mail address"};
    }
  }
  task.emailServer = server.value_or("");
  task.emailFrom = from.value_or("");
  task.emailTo = to.value_or("");
}

}  // namespace

void RequireReadableStore(const std::string& store) {
  struct stat info {};
  if (::stat(store.c_str(), &info) != 0) {
    if (errno == ENOENT) return;
  } else if (S_ISREG(info.st_mode) && ::access(store.c_str(), R_OK) == 0) {
    return;
  }
  throw Failure{"cannot read " + store};
}

std::string NoTask(int slot, const std::string& store) {
  return "slot " + std::to_string(slot) + " of " + store + " holds no task";
}

void TaskSet(const Arguments& a, std::istream& in, std::ostream& out) {
  const std::string store = a.Required("--store");
  NoPositional(a);
  const bool isNew = a.Flag("--new");
  if (isNew == a.Get("--slot").has_value())
    throw Failure{"give --slot N to change a task or --new to make one"};
  if (!isNew && (a.Get("--ini") || a.Get("--profile-slot")))
    throw Failure{"--ini and --profile-slot go with --new"};

  TaskDefinition task;
  std::string profileFile;
  std::string lockPassword;
  std::string storedName;  // before a rename
  if (isNew) {
    profileFile = a.Required("--ini");
    const int profileSlot =
        ParseNumber(a.Get("--profile-slot").value_or("0"), 0, kLastSlot, "--profile-slot");
    if (SameFile(profileFile, store)) throw Failure{"--ini and --store must name different files"};
    RequireReadableStore(store);
    // The run opens the task's section as a connection profile: it has to be one.
    ConnectionProfile profile;
    if (!ReadProfile(profileSlot, profile, profileFile)) {
      throw Failure{"slot " + std::to_string(profileSlot) + " of " + profileFile +
                    " holds no readable profile"};
    }
    task = NewTask(profileFile, profileSlot);
    if (task.locked) lockPassword = ReadProtected(profileSlot, "LockPassword", profileFile);
  } else {
    const int slot = SlotOption(a, "--slot");
    RequireReadableStore(store);
    if (!IsTaskSlotUsed(slot, store)) throw Failure{NoTask(slot, store) + " (--new makes one)"};
    LoadTask(task, slot, store);
    storedName = task.name;
    if (task.locked) lockPassword = ReadProtected(slot, "LockPassword", store);
  }

  ApplyOptions(a, in, task, lockPassword);

  CollectedMessages messages;
  if (!ValidateTask(task, messages)) messages.Fail();
  // The run refuses every task without an encryption key, also one that only downloads.
  if (task.encryptionKey.empty()) {
    throw Failure{
        "a task without an encryption key does not run: give --encryption-key-env "
        "or --encryption-key-stdin"};
  }

  const bool placing = task.isNew;
  const std::optional<int32_t> slot = SaveTaskChanges(task, profileFile, store, messages);
  if (!slot) {
    // A slot taken for a new task that then could not be saved is given back.
    if (placing && !task.isNew) DeleteTask(task.slot, store);
    messages.Fail();
  }

  TaskDefinition check;
  LoadTask(check, *slot, store);
  if (!SameTask(task, check)) throw Failure{"the task written to " + store + " does not read back"};
  // A renamed task takes its schedule along, as in the task manager.
  if (!storedName.empty() && storedName != task.name)
    MoveSchedule(a, store, *slot, storedName, task.name);
  out << *slot << '\n';
}

void TaskList(const Arguments& a, std::ostream& out) {
  const std::string store = a.Required("--store");
  NoPositional(a);
  RequireReadableStore(store);
  for (int32_t slot = 0; slot < kMaxTasks; ++slot) {
    const std::string name = ReadText(slot, "Profile", store);
    if (!name.empty()) out << slot << '\t' << name << '\n';
  }
}

void TaskShow(const Arguments& a, std::ostream& out) {
  const std::string store = a.Required("--store");
  const int slot = SlotOption(a, "--slot");
  NoPositional(a);
  RequireReadableStore(store);
  if (!IsTaskSlotUsed(slot, store)) throw Failure{NoTask(slot, store)};
  // The window's text with this system's line ends.
  const std::string text = TaskSettingsText(slot, store);
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    shown += text[i];
  }
  out << shown << ScheduleLines(store, slot, ReadText(slot, "Profile", store));
}

void TaskDelete(const Arguments& a) {
  const std::string store = a.Required("--store");
  const int slot = SlotOption(a, "--slot");
  NoPositional(a);
  RequireReadableStore(store);
  if (!IsTaskSlotUsed(slot, store)) throw Failure{NoTask(slot, store)};
  if (!TaskStoreIsWritable(store)) throw Failure{"cannot write " + store};
  // The entry goes first: left behind, it would run whatever task takes the slot next.
  RemoveSchedule(store, slot, ReadText(slot, "Profile", store));
  if (!DeleteTask(slot, store)) throw Failure{"cannot write " + store};
}

}  // namespace quillon::tool
