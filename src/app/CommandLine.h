#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// A task command line: "<task store path> SESSIONnn [-Notify] [-ShowWin] [-TaskID n]".
// Switches and "SESSION" match in any letter case and may stand anywhere; the path keeps its
// own letter case. A switch is a whole argument ("-TaskID" may carry its number glued on), so a
// path such as "/srv/x-notify/QvrTask.ini" is never taken apart.
struct TaskCommandLine {
  std::string storePath;  // a path without "/" is prefixed with the program folder
  int32_t slot = -1;
  bool notify = false;
  bool showWindow = false;
  int32_t taskId = -1;  // -1 when absent, unreadable or the first word
};

struct ParsedCommandLine {
  TaskCommandLine task;
  // When the line is refused: the message (shown only with notify); the exit code is -1.
  std::optional<std::string> error;
};

// The text of the command line: argv after the program name joined with single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// Reads and checks the syntax of a task command line (everything that needs no file) from its
// arguments, argv after the program name.
ParsedCommandLine ParseTaskCommandLine(const std::vector<std::string>& arguments,
                                       const std::string& programFolder);

// The same for a line whose words are separated by blanks (a word cannot hold a blank then).
ParsedCommandLine ParseTaskCommandLine(std::string_view line, const std::string& programFolder);

// The line split at every blank; JoinArguments of the result gives the line back.
std::vector<std::string> SplitAtBlanks(std::string_view line);

}  // namespace quillon
