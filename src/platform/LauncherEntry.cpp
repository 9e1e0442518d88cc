#include "platform/LauncherEntry.h"

#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "common/UserFolders.h"

namespace quillon {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// A "string" or "localestring" value: backslash, line ends and tabs as escapes, a leading blank
// as "\s" so readers do not trim it; other control characters cannot be written.
std::optional<std::string> StringValue(const std::string& value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    char ch = value[i];
    switch (ch) {
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      case ' ':
        text += i == 0 ? "\\s" : " ";
        break;
      default:
        if (IsControl(static_cast<unsigned char>(ch))) return std::nullopt;
        text += ch;
    }
  }
  return text;
}

// One Exec= word: in double quotes, with '"', '`', '$' and '\' escaped by a backslash and "%"
// doubled (field codes); the string escapes of the value apply on top.
std::string ExecWord(const std::string& word) {
  std::string text = "\"";
  for (char ch : word) {
    if (ch == '"' || ch == '`' || ch == '$' || ch == '\\') {
      text += '\\';
      text += ch;
    } else if (ch == '%') {
      text += "%%";
    } else {
      text += ch;
    }
  }
  return text + "\"";
}

}  // namespace

std::optional<std::string> DesktopEntryText(const LauncherEntry& launcher) {
  std::string exec;
  if (!launcher.environment.empty()) {
    exec = ExecWord("env") + " ";
    for (const std::string& assignment : launcher.environment) exec += ExecWord(assignment) + " ";
  }
  exec += ExecWord(launcher.program);
  for (const std::string& argument : launcher.arguments) exec += " " + ExecWord(argument);
  std::optional<std::string> name = StringValue(launcher.name);
  std::optional<std::string> comment = StringValue(launcher.comment);
  std::optional<std::string> execValue = StringValue(exec);
  std::optional<std::string> path = StringValue(launcher.workingFolder);
  if (!name || !comment || !execValue || !path) return std::nullopt;
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + *name +
                     "\nComment=" + *comment + "\nExec=" + *execValue + "\n";
  if (!path->empty()) text += "Path=" + *path + "\n";
  return text + "Icon=quillon\nTerminal=false\nCategories=Network;FileTransfer;\n";
}

LauncherFolders UserLauncherFolders(CommandRunner& commands) {
  LauncherFolders folders;
  const std::string home = UserHomeFolder();
  folders.home = home;
  folders.startMenu = UserDataFolder() + "/applications";
  folders.programs = folders.startMenu;
  CommandOutput desktop = commands.Run({"xdg-user-dir", "DESKTOP"});
  std::string answer = desktop.out;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  folders.desktop = desktop.Succeeded() && !answer.empty() && answer.front() == '/'
                        ? answer
                        : JoinPath(home, "Desktop");
  return folders;
}

bool IsLauncherFileName(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos ||
      name.size() + 8 > 255) {
    return false;
  }
  for (char ch : name) {
    if (ch == '\0' || IsControl(static_cast<unsigned char>(ch))) return false;
  }
  return name != ".";
}

bool WriteLauncherFile(const std::string& folder, const std::string& name,
                       const std::string& text) {
  if (!IsLauncherFileName(name) || folder.empty()) return false;
  return WriteFileAtomically(JoinPath(folder, name + ".desktop"), text, {.mode = 0755});
}

}  // namespace quillon
