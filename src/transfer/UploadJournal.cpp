#include "transfer/UploadJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "common/AtomicFile.h"
#include "common/FileIo.h"

namespace quillon {

namespace {

bool Writable(const std::string& remotePath) {
  return !remotePath.empty() && remotePath.find_first_of("\r\n") == std::string::npos;
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
  if (!fd_.Valid()) return;  // this run wrote nothing
  fd_.Reset();
  if (open_.empty() && !keepsLeftovers_) unlink(path_.c_str());
}

void UploadJournal::Keep(const std::vector<std::string>& pending) {
  std::lock_guard lock(mutex_);
  fd_.Reset();
  keepsLeftovers_ = !pending.empty();
  if (pending.empty()) {
    unlink(path_.c_str());
    return;
  }
  // Put in place whole: a crash now leaves either list, never half of one. Not synced, like
  // every line of the journal. When it cannot be written the old list stays, a superset.
  std::string text;
  for (const auto& remote : pending) text += "+" + remote + "\n";
  (void)WriteFileAtomically(path_, text, {.mode = 0600, .sync = false});
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
  if (!fd_.Valid()) fd_.Reset(open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
  if (!fd_.Valid()) return;
  // Best effort: a line that is not written costs at most a leftover the next run misses.
  (void)WriteAll(fd_.Get(), mark + remotePath + "\n");
}

}  // namespace quillon
