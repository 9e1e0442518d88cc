#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/UniqueFd.h"

namespace quillon {

// The temporary remote names of one task's uploads that are under way, kept in a small local
// file beside the task's log, so that the next run of the task can delete what a killed run
// left on the server. A line "+<remote path>" is written when an upload into a temporary name
// starts and "-<remote path>" when that name is gone again (renamed into place or deleted). No
// line is synced to disk: the file has to outlive the process, not the machine.
//
// Thread-safe: every lane of a run writes to the same journal.
class UploadJournal {
 public:
  // Reads what earlier runs left in `path` (a missing file holds nothing).
  explicit UploadJournal(std::string path);
  // Removes the file when every name of this run ended and nothing of earlier runs is pending.
  ~UploadJournal();
  UploadJournal(const UploadJournal&) = delete;
  UploadJournal& operator=(const UploadJournal&) = delete;

  const std::string& Path() const { return path_; }

  // Temporary names that earlier runs started and never ended, in the order they started.
  const std::vector<std::string>& Leftovers() const { return leftovers_; }

  // Rewrites the file to hold only `pending` (leftovers that could not be deleted yet); the
  // file goes when nothing is pending.
  void Keep(const std::vector<std::string>& pending);

  void Started(const std::string& remotePath);
  void Ended(const std::string& remotePath);

 private:
  void Append(char mark, const std::string& remotePath);

  std::string path_;
  std::vector<std::string> leftovers_;
  std::mutex mutex_;
  UniqueFd fd_;                      // open for appending once this run wrote a line
  bool keepsLeftovers_ = false;      // the file still lists names of earlier runs
  std::multiset<std::string> open_;  // names of this run not ended yet
};

}  // namespace quillon
