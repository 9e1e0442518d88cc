#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/UniqueFd.h"

namespace quillon {

// The plain-text log of one task run: "<program folder><task name>.log", holding only the
// latest run. Opening takes an exclusive lock on the file for the life of the object, so a
// second run of the same task cannot truncate or interleave the log of a run still going.
// Writes are appended at once (a crash keeps what was written); they are skipped when the log
// could not be opened. Thread-safe.
class TaskLog {
 public:
  enum class State { Open, Busy, Unavailable };

  // The log file path for a task name; "/" in the name becomes "_" so the log stays in
  // `programFolder`.
  static std::string PathFor(const std::string& programFolder, const std::string& taskName);

  // Opens and truncates the log. Busy: another run holds it (nothing was changed).
  // Unavailable: it cannot be created; the run goes on without log lines.
  TaskLog(const std::string& programFolder, const std::string& taskName);
  ~TaskLog();
  TaskLog(const TaskLog&) = delete;
  TaskLog& operator=(const TaskLog&) = delete;

  State state() const { return state_; }
  bool IsOpen() const { return state_ == State::Open; }
  const std::string& Path() const { return path_; }

  void Write(std::string_view text);

  // The whole log as written so far; empty when it cannot be read.
  std::string ReadAll() const;

 private:
  std::string path_;
  UniqueFd fd_;
  State state_ = State::Unavailable;
};

}  // namespace quillon
