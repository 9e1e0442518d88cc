#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::tool {

// An error that ends the command: its text becomes the one line on stderr.
struct Failure {
  std::string text;
};

// The options of one command: "--name value" pairs, flags and positional words.
class Arguments {
 public:
  // Takes args[from..]; `valued` options take the next word as their value, `flags` stand
  // alone. Throws Failure for unknown or repeated options and missing values.
  Arguments(const std::vector<std::string>& args, size_t from,
            std::initializer_list<std::string_view> valued,
            std::initializer_list<std::string_view> flags);

  std::optional<std::string> Get(std::string_view name) const;
  std::string Required(std::string_view name) const;  // throws Failure when missing
  bool Flag(std::string_view name) const { return flags_.count(std::string(name)) > 0; }
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  std::map<std::string, std::string, std::less<>> values_;
  std::set<std::string> flags_;
  std::vector<std::string> positional_;
};

// A decimal integer within [low, high], or Failure naming `what`.
int ParseNumber(const std::string& text, int low, int high, std::string_view what);

// The value of the environment variable named by the option; Failure when unset or empty.
std::string SecretFromEnvironment(const std::string& variable);

// One line of `in` without its line end; nullopt at the end of input.
std::optional<std::string> ReadLine(std::istream& in);

void ProfileSet(const Arguments& a, std::istream& in);
void ProfileLock(const Arguments& a);
void ProfileShow(const Arguments& a, std::ostream& out);
void Trust(const Arguments& a, std::ostream& out);
void Encrypt(const Arguments& a);
void Decrypt(const Arguments& a);
// Failure when positional words were given.
void NoPositional(const Arguments& a);

// A store that exists must be a file that can be read; a missing one is an empty store.
void RequireReadableStore(const std::string& store);
// "slot N of STORE holds no task"
std::string NoTask(int slot, const std::string& store);

void TaskSet(const Arguments& a, std::istream& in, std::ostream& out);
void TaskList(const Arguments& a, std::ostream& out);
void TaskShow(const Arguments& a, std::ostream& out);
void TaskDelete(const Arguments& a);
void TaskSchedule(const Arguments& a, std::ostream& out, std::ostream& err);
void TaskUnschedule(const Arguments& a);

// The schedule of the task in `slot` of `store` named `name`, as the task manager shows it:
// "Schedule: <description or Not Set>\nNext Run: <time or Never>\n".
std::string ScheduleLines(const std::string& store, int slot, const std::string& name);
// After `task set` renamed a task: its entry moves to the new name (the program of --program,
// else the one beside quillon-tool or on PATH, stands in for an entry saved without its run).
void MoveSchedule(const Arguments& a, const std::string& store, int slot,
                  const std::string& oldName, const std::string& newName);
// Before `task delete`: the task's entry is removed.
void RemoveSchedule(const std::string& store, int slot, const std::string& name);

// The two words of "--weekly DAYS HH:MM" and "--monthly DAYS HH:MM" made one value, so the
// options parser sees one word after each.
std::vector<std::string> JoinTwoWordOptions(const std::vector<std::string>& args);

}  // namespace quillon::tool
