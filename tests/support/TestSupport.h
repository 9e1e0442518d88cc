#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/ActivityLog.h"
#include "common/Messages.h"

namespace quillon::test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name as a string
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
// The names in `folder`, hidden ones included, sorted; none when it does not exist.
std::vector<std::string> NamesIn(const std::filesystem::path& folder);
void WriteFile(const std::filesystem::path& path, std::string_view content);

// Polls `done` until it is true or `timeout` passes; returns its last value.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A built program of this tree (QUILLON_BINARY_DIR/src/...), e.g. BuiltProgram("app/quillon").
std::string BuiltProgram(const std::string& relative);

// The source tree (QUILLON_SOURCE_DIR).
std::filesystem::path SourceDir();

// Runs argv (no shell), feeding `input` on stdin; captures stdout and stderr. `extraEnv`
// entries "NAME=value" set a variable for the child, a bare "NAME" removes it.
struct ProcessResult {
  int exitCode = -1;  // the exit status, or 128 + signal
  std::string out;
  std::string err;
};
// `started`, when given, receives the child's process id as soon as it runs (a test that must
// kill it mid-way starts its watcher there).
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = {},
                         const std::vector<std::string>& extraEnv = {},
                         const std::function<void(int pid)>& started = {});

// A loopback TCP port that nothing listens on (bound once and released), for "cannot connect".
uint16_t ClosedLoopbackPort();

// Records every message and answers from a queue (DefaultAnswer when it is empty).
class RecordingMessages : public MessagePresenter {
 public:
  struct Shown {
    std::string text;
    MessageButtons buttons;
    MessageIcon icon;
  };
  MessageAnswer Show(std::string_view text, MessageButtons buttons, MessageIcon icon) override;
  void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  std::vector<Shown> shown;

 private:
  std::vector<MessageAnswer> answers_;
};

// Records activity lines; thread-safe.
class RecordingLog : public ActivityLog {
 public:
  struct Line {
    std::string text;
    int32_t colour;
  };
  void AddLine(std::string_view text, int32_t colour) override;
  std::vector<Line> Lines() const;
  bool Contains(std::string_view fragment) const;

 private:
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
};

// Sets (or, with a null value, removes) an environment variable for its lifetime and puts the
// old value back. Single-threaded tests only.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace quillon::test
