#pragma once

#include <memory>
#include <string>

#include "platform/CrontabScheduler.h"
#include "platform/SchedulerService.h"
#include "platform/SystemdTimerScheduler.h"

namespace quillon {

// The user's scheduler seen whole: systemd user timers and the user's crontab together. New
// items go to the scheduler that answers, systemd first (the primary); Find, ReadItem, NextRun
// and Delete look in both, so an item saved while the other one answered is still found, shown
// and removed, and a save removes Quillon's item of the same name from the other one. Without a
// primary nothing can be saved and Unavailable() says why, in words for the user.
class UserScheduler : public SchedulerService {
 public:
  // Asks `systemctl --user` and `crontab -l` which of them answers.
  UserScheduler(CommandRunner& commands, const SchedulerFolders& folders);

  // "systemd", "cron", or "none".
  std::string Kind() const override;
  ItemLookup Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) override;
  SaveStage Save(const std::string& name, const WorkItem& item) override;
  bool Delete(const std::string& name) override;
  std::optional<TimePoint> NextRun(const std::string& name, const ScheduleTrigger& trigger,
                                   TimePoint now) override;
  std::optional<WorkItem> ReadItem(const std::string& name) override;
  std::string Unavailable() const override { return unavailable_; }
  Lingering UserLingering() override;
  bool EnableLingering(std::string* error) override;

 private:
  // The back-end that holds Quillon's item of that name, primary first; null when none does.
  SchedulerService* Holder(const std::string& name);

  SystemdTimerScheduler systemd_;
  CrontabScheduler cron_;
  SchedulerService* primary_ = nullptr;
  SchedulerService* other_ = nullptr;
  std::string unavailable_;
};

}  // namespace quillon
