#include "transfer/UploadJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace quillon {

namespace {

bool Writable(const std::string& remotePath) {
  return !remotePath.empty() && remotePath.find_first_of("\r\n") == std::string::npos;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

UploadJournal::UploadJournal(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_);
  for (std::string line; std::getline(in, line);) {
    if (line.size() < 2) continue;
    std::string remote = line.substr(1);
    if (line[0] == '+') {
      leftovers_.push_back(remote);
    } else if (line[0] == '-') {
      auto found = std::find(leftovers_.begin(), leftovers_.end(), remote);
      if (found != leftovers_.end()) leftovers_.erase(found);
    }
  }
  keepsLeftovers_ = !leftovers_.empty();
}

UploadJournal::~UploadJournal() {
  if (fd_ < 0) return;  // this run wrote nothing
  close(fd_);
  if (open_.empty() && !keepsLeftovers_) unlink(path_.c_str());
}

void UploadJournal::Keep(const std::vector<std::string>& pending) {
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  keepsLeftovers_ = !pending.empty();
  if (pending.empty()) {
    unlink(path_.c_str());
    return;
  }
  // A new file renamed over the old one: a crash now leaves either list, never half of one.
  std::string temporary = path_ + ".new";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  std::string text;
  for (const auto& remote : pending) text += "+" + remote + "\n";
  bool written = WriteAll(fd, text);
  if (close(fd) != 0) written = false;
  if (!written || rename(temporary.c_str(), path_.c_str()) != 0) unlink(temporary.c_str());
}

void UploadJournal::Started(const std::string& remotePath) { Append('+', remotePath); }

void UploadJournal::Ended(const std::string& remotePath) { Append('-', remotePath); }

void UploadJournal::Append(char mark, const std::string& remotePath) {
  if (!Writable(remotePath)) return;  // such a path never reaches the server
  std::lock_guard lock(mutex_);
  if (mark == '+') {
    open_.insert(remotePath);
  } else if (auto found = open_.find(remotePath); found != open_.end()) {
    open_.erase(found);
  }
  if (fd_ < 0) fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  WriteAll(fd_, mark + remotePath + "\n");
}

}  // namespace quillon
