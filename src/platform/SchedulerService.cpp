#include "platform/SchedulerService.h"

#include <algorithm>

#include "common/Paths.h"
#include "common/UserFolders.h"
#include "platform/UserScheduler.h"

namespace quillon {
namespace {

bool IsKeptAsIs(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
         c == '_' || c == '.';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string EscapeItemName(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  std::string escaped;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == '/') {
      escaped += '-';
    } else if (IsKeptAsIs(c) && !(i == 0 && c == '.')) {
      escaped += static_cast<char>(c);
    } else {
      escaped += "\\x";
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    }
  }
  return escaped;
}

std::optional<std::string> UnescapeItemName(const std::string& escaped) {
  std::string name;
  for (size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    if (c == '-') {
      name += '/';
    } else if (c == '\\') {
      if (i + 3 >= escaped.size() || escaped[i + 1] != 'x') return std::nullopt;
      int high = HexValue(escaped[i + 2]), low = HexValue(escaped[i + 3]);
      if (high < 0 || low < 0) return std::nullopt;
      name += static_cast<char>(high * 16 + low);
      i += 3;
    } else if (IsKeptAsIs(static_cast<unsigned char>(c)) && !(i == 0 && c == '.')) {
      name += c;
    } else {
      return std::nullopt;
    }
  }
  // Only the canonical form counts, so one name has one item name.
  if (EscapeItemName(name) != escaped) return std::nullopt;
  return name;
}

std::string RunText(const WorkItem& item) {
  std::string text = "=" + EscapeItemName(item.program) + " =" + EscapeItemName(item.workingFolder);
  for (const std::string& argument : item.arguments) text += " =" + EscapeItemName(argument);
  return text;
}

std::optional<WorkItem> RunFromText(const std::string& text) {
  std::vector<std::string> words;
  for (size_t start = 0; start <= text.size();) {
    size_t blank = std::min(text.find(' ', start), text.size());
    std::string word = text.substr(start, blank - start);
    if (word.empty() || word.front() != '=') return std::nullopt;
    std::optional<std::string> plain = UnescapeItemName(word.substr(1));
    if (!plain) return std::nullopt;
    words.push_back(std::move(*plain));
    start = blank + 1;
  }
  if (words.size() < 2) return std::nullopt;
  WorkItem item;
  item.program = words[0];
  item.workingFolder = words[1];
  item.arguments.assign(words.begin() + 2, words.end());
  return item;
}

SchedulerFolders UserSchedulerFolders() {
  SchedulerFolders folders;
  folders.home = UserHomeFolder();
  folders.unitFolder = UserConfigFolder() + "/systemd/user";
  return folders;
}

std::string ProgramHomeFor(const std::string& workingFolder, const std::string& home) {
  if (WithoutTrailingSlashes(workingFolder) == WithoutTrailingSlashes(home) + "/.config/quillon") {
    return {};
  }
  return workingFolder;
}

std::unique_ptr<SchedulerService> ConnectUserScheduler(CommandRunner& commands,
                                                       const SchedulerFolders& folders) {
  return std::make_unique<UserScheduler>(commands, folders);
}

}  // namespace quillon
