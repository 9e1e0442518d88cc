#include "tasks/TaskLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

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
  fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return;
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    state_ = errno == EWOULDBLOCK ? State::Busy : State::Unavailable;
    close(fd_);
    fd_ = -1;
    return;
  }
  if (ftruncate(fd_, 0) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  state_ = State::Open;
}

TaskLog::~TaskLog() {
  if (fd_ >= 0) close(fd_);
}

void TaskLog::Write(std::string_view text) {
  if (fd_ < 0) return;
  // One write per call with O_APPEND keeps lines from several lanes whole.
  while (!text.empty()) {
    ssize_t n = write(fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::string TaskLog::ReadAll() const {
  std::string content;
  int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return content;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<size_t>(n));
  close(fd);
  return content;
}

}  // namespace quillon
