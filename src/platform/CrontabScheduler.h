#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/SchedulerService.h"

namespace quillon {

// Work items as a block of the user's crontab, read with `crontab -l` and installed whole with
// `crontab -`; every other line of the crontab stays as it was:
//   # >>> Quillon task <escaped name> >>>
//   # X-Quillon-Trigger: <trigger record>
//   # X-Quillon-Run: <RunText of the item>
//   <one line per calendar entry of the trigger>
//   # <<< Quillon task <escaped name> <<<
// Each line runs, through /bin/sh, a date guard for the trigger's begin day (cron has no year)
// and the day test of a daily or weekly interval above 1, then `cd` to the working folder and the
// program with its arguments in single quotes, with QUILLON_HOME set when the program folder is
// not the default; "%" is escaped as cron needs.
// A block that is not closed belongs to nobody Quillon knows and is never touched.
class CrontabScheduler : public SchedulerService {
 public:
  CrontabScheduler(CommandRunner& commands, SchedulerFolders folders)
      : commands_(commands), folders_(std::move(folders)) {}

  std::string Kind() const override { return "cron"; }
  ItemLookup Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) override;
  SaveStage Save(const std::string& name, const WorkItem& item) override;
  bool Delete(const std::string& name) override;
  // Computed from the trigger: cron cannot tell.
  std::optional<TimePoint> NextRun(const std::string& name, const ScheduleTrigger& trigger,
                                   TimePoint now) override;
  std::optional<WorkItem> ReadItem(const std::string& name) override;

  // The block of an item, with its final newline.
  static SaveStage BlockText(const std::string& name, const WorkItem& item, const std::string& home,
                             std::string* block);

  // `word` in single quotes for sh; nullopt when it holds a line end or NUL, which no crontab
  // line can carry.
  static std::optional<std::string> ShellWord(const std::string& word);

  // Where an item's block stands in a crontab, by lines [first, last].
  struct BlockPlace {
    bool found = false;
    bool closed = false;
    size_t first = 0;
    size_t last = 0;
    std::optional<ScheduleTrigger> trigger;
    std::optional<WorkItem> run;  // without its trigger
  };
  static BlockPlace FindBlock(const std::vector<std::string>& lines, const std::string& name);

 private:
  // The current crontab; "" when the user has none; nullopt when it cannot be read.
  std::optional<std::string> ReadCrontab();
  bool Install(const std::string& text);

  CommandRunner& commands_;
  SchedulerFolders folders_;
};

}  // namespace quillon
