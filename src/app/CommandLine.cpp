#include "app/CommandLine.h"

#include <cctype>
#include <cstdio>

#include "common/Text.h"

namespace quillon {
namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

// "-TASKID", alone or with its number glued on ("-taskid12").
bool IsTaskIdSwitch(const std::string& word) {
  std::string upper = Upper(word);
  if (!upper.starts_with("-TASKID")) return false;
  std::string_view rest = std::string_view(upper).substr(7);
  if (rest.empty()) return true;
  if (rest.front() == '+' || rest.front() == '-') rest.remove_prefix(1);
  return !rest.empty() && rest.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string Joined(const std::vector<std::string>& words, size_t from, size_t to) {
  std::string line;
  for (size_t i = from; i < to; ++i) {
    if (i > from) line += ' ';
    line += words[i];
  }
  return line;
}

void TrimTrailing(std::string& s, char c) {
  while (!s.empty() && s.back() == c) s.pop_back();
}

void TrimLeading(std::string& s, char c) {
  size_t n = 0;
  while (n < s.size() && s[n] == c) ++n;
  s.erase(0, n);
}

}  // namespace

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

std::vector<std::string> SplitAtBlanks(std::string_view line) {
  std::vector<std::string> words;
  if (line.empty()) return words;
  for (size_t start = 0;;) {
    size_t blank = line.find(' ', start);
    words.emplace_back(line.substr(start, blank == std::string_view::npos ? blank : blank - start));
    if (blank == std::string_view::npos) return words;
    start = blank + 1;
  }
}

ParsedCommandLine ParseTaskCommandLine(std::string_view line, const std::string& programFolder) {
  return ParseTaskCommandLine(SplitAtBlanks(line), programFolder);
}

ParsedCommandLine ParseTaskCommandLine(const std::vector<std::string>& arguments,
                                       const std::string& programFolder) {
  ParsedCommandLine result;
  TaskCommandLine& task = result.task;

  std::vector<std::string> words;
  for (const std::string& word : arguments) {
    std::string upper = Upper(word);
    if (upper == "-SHOWWIN") {
      task.showWindow = true;
    } else if (upper == "-NOTIFY") {
      task.notify = true;
    } else {
      words.push_back(word);
    }
  }

  // "-TASKID n" counts only after the first word; it takes the rest of the line with it.
  size_t end = words.size();
  for (size_t i = 0; i < words.size(); ++i) {
    if (!IsTaskIdSwitch(words[i])) continue;
    if (i > 0) {
      const std::string cut = Upper(Joined(words, i, words.size()));
      constexpr std::string_view kSwitch = "-TASKID";
      if (cut.starts_with(kSwitch)) {
        if (const auto id = LeadingNumber(std::string_view(cut).substr(kSwitch.size()))) {
          task.taskId = *id;
        }
      }
      end = i;
    }
    break;
  }

  std::string text = Joined(words, 0, end);
  TrimTrailing(text, ' ');
  size_t lastBlank = text.rfind(' ');
  if (lastBlank == std::string::npos || lastBlank == 0) {
    result.error = "Command syntax error.";
    return result;
  }

  std::string path = text.substr(0, lastBlank);
  TrimTrailing(path, ' ');
  TrimLeading(path, '"');
  TrimTrailing(path, '"');
  TrimLeading(path, ' ');
  TrimTrailing(path, ' ');

  std::string sessionPart = Upper(text.substr(lastBlank));
  TrimLeading(sessionPart, ' ');
  constexpr std::string_view kSession = "SESSION";
  const auto slotRead = sessionPart.starts_with(kSession)
                            ? LeadingNumber(std::string_view(sessionPart).substr(kSession.size()))
                            : std::nullopt;
  if (!slotRead) {
    result.error = "Wrong parameters.";
    return result;
  }
  const int slot = *slotRead;
  task.slot = slot;
  if (slot < 0 || slot > 19) {
    result.error = "Session number out of range.";
    return result;
  }

  if (path.find('/') == std::string::npos) path = programFolder + path;
  task.storePath = path;
  return result;
}

}  // namespace quillon
