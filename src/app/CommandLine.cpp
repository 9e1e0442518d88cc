#include "app/CommandLine.h"

#include <cctype>
#include <cstdio>

namespace quillon {
namespace {

// The line and its upper-case copy are edited in step, so that switches are found in any
// letter case while the path keeps its own.
struct CasedLine {
  std::string text;
  std::string upper;

  explicit CasedLine(std::string_view line) : text(line), upper(line) {
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }

  // Removes every occurrence of `word` (upper case); true when there was one.
  bool RemoveAll(std::string_view word) {
    bool found = false;
    for (size_t at; (at = upper.find(word)) != std::string::npos;) {
      upper.erase(at, word.size());
      text.erase(at, word.size());
      found = true;
    }
    return found;
  }

  void Cut(size_t from) {
    upper.erase(from);
    text.erase(from);
  }
};

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

ParsedCommandLine ParseTaskCommandLine(std::string_view commandLine,
                                       const std::string& programFolder) {
  ParsedCommandLine result;
  TaskCommandLine& task = result.task;
  CasedLine line(commandLine);

  task.showWindow = line.RemoveAll("-SHOWWIN");
  task.notify = line.RemoveAll("-NOTIFY");

  // "-TASKID n" counts only after the first word; it takes the rest of the line with it.
  size_t taskIdAt = line.upper.find("-TASKID");
  if (taskIdAt != std::string::npos && taskIdAt > 0) {
    int id;
    if (std::sscanf(line.upper.c_str() + taskIdAt, "-TASKID %d", &id) == 1) task.taskId = id;
    line.Cut(taskIdAt);
  }

  TrimTrailing(line.text, ' ');
  line.upper.resize(line.text.size());
  size_t lastBlank = line.text.rfind(' ');
  if (lastBlank == std::string::npos || lastBlank == 0) {
    result.error = "Command syntax error.";
    return result;
  }

  std::string path = line.text.substr(0, lastBlank);
  TrimTrailing(path, ' ');
  TrimLeading(path, '"');
  TrimTrailing(path, '"');
  TrimLeading(path, ' ');
  TrimTrailing(path, ' ');

  int slot;
  std::string sessionPart = line.upper.substr(lastBlank);
  if (std::sscanf(sessionPart.c_str(), " SESSION%d ", &slot) != 1) {
    result.error = "Wrong parameters.";
    return result;
  }
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
