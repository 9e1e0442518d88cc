#include "tasks/TaskLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "common/FileIo.h"

namespace quillon {

std::string TaskLog::PathFor(const std::string& programFolder, const std::string& taskName) {
  std::string name = taskName;
  for (char& c : name)
    if (c == '/') c = '_';
  return programFolder + name + ".log";
}

TaskLog::TaskLog(const std::string& programFolder, const std::string& taskName)
    : path_(PathFor(programFolder, taskName)) {
  // Not O_TRUNC: the file may only be emptied once the lock shows no other run is using it.
  UniqueFd fd(open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.Valid()) return;
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    state_ = errno == EWOULDBLOCK ? State::Busy : State::Unavailable;
    return;
  }
  if (ftruncate(fd.Get(), 0) != 0) return;
  fd_ = std::move(fd);
  state_ = State::Open;
}

TaskLog::~TaskLog() = default;

void TaskLog::Write(std::string_view text) {
  // One write per call with O_APPEND keeps lines from several lanes whole; a log that cannot
  // take a line loses only that line.
  if (fd_.Valid()) (void)WriteAll(fd_.Get(), text);
}

std::string TaskLog::ReadAll() const {
  UniqueFd fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.Valid()) return {};
  return ReadToEnd(fd.Get()).value_or(std::string());
}

}  // namespace quillon
