#include "platform/UserScheduler.h"

namespace quillon {
namespace {

// The first line of what a program said, for a message.
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::string WhyNot(const CommandOutput& output, const char* program) {
  if (!output.started) return std::string(program) + " is not installed";
  if (!output.exited) return std::string(program) + " did not answer";
  std::string said = FirstLine(output.err.empty() ? output.out : output.err);
  return said.empty() ? std::string(program) + " failed" : said;
}

}  // namespace

UserScheduler::UserScheduler(CommandRunner& commands, const SchedulerFolders& folders)
    : systemd_(commands, folders), cron_(commands, folders) {
  CommandOutput systemd = commands.Run({"systemctl", "--user", "show", "--property=Version"});
  if (systemd.Succeeded() && systemd.out.starts_with("Version=")) {
    primary_ = &systemd_;
    other_ = &cron_;
    return;
  }
  CommandOutput cron = commands.Run({"crontab", "-l"});
  if (cron.started && cron.exited &&
      (cron.code == 0 || cron.err.find("no crontab for") != std::string::npos)) {
    primary_ = &cron_;
    other_ = &systemd_;
    return;
  }
  unavailable_ = "Neither systemd user timers nor cron can be used here (systemctl --user: " +
                 WhyNot(systemd, "systemctl") + "; crontab: " + WhyNot(cron, "crontab") + ").";
}

std::string UserScheduler::Kind() const { return primary_ ? primary_->Kind() : "none"; }

ItemLookup UserScheduler::Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) {
  SchedulerService* first = primary_ ? primary_ : &systemd_;
  SchedulerService* second = primary_ ? other_ : &cron_;
  ItemLookup answer = first->Find(name, trigger);
  if (answer == ItemLookup::Found) return answer;
  // What only the other one holds counts when it is Quillon's; its trouble is not this one's.
  std::optional<ScheduleTrigger> otherTrigger;
  if (second->Find(name, trigger ? &otherTrigger : nullptr) == ItemLookup::Found) {
    if (trigger) *trigger = otherTrigger;
    return ItemLookup::Found;
  }
  if (!primary_ && answer != ItemLookup::Foreign) return ItemLookup::Missing;
  return answer;
}

SchedulerService* UserScheduler::Holder(const std::string& name) {
  for (SchedulerService* backend : {primary_ ? primary_ : &systemd_, primary_ ? other_ : &cron_}) {
    if (backend->Find(name, nullptr) == ItemLookup::Found) return backend;
  }
  return nullptr;
}

SaveStage UserScheduler::Save(const std::string& name, const WorkItem& item) {
  if (!primary_) return SaveStage::Save;
  SaveStage stage = primary_->Save(name, item);
  // One name, one item: a copy left in the other scheduler would run the task twice.
  if (stage == SaveStage::Done && other_->Find(name, nullptr) == ItemLookup::Found) {
    other_->Delete(name);
  }
  return stage;
}

bool UserScheduler::Delete(const std::string& name) {
  bool any = false, ok = true;
  for (SchedulerService* backend :
       {static_cast<SchedulerService*>(&systemd_), static_cast<SchedulerService*>(&cron_)}) {
    if (backend->Find(name, nullptr) != ItemLookup::Found) continue;
    any = true;
    ok = backend->Delete(name) && ok;
  }
  return any && ok;
}

std::optional<TimePoint> UserScheduler::NextRun(const std::string& name,
                                                const ScheduleTrigger& trigger, TimePoint now) {
  SchedulerService* holder = Holder(name);
  return holder ? holder->NextRun(name, trigger, now) : NextTriggerRun(trigger, now);
}

std::optional<WorkItem> UserScheduler::ReadItem(const std::string& name) {
  SchedulerService* holder = Holder(name);
  return holder ? holder->ReadItem(name) : std::nullopt;
}

Lingering UserScheduler::UserLingering() {
  return primary_ == &systemd_ ? systemd_.UserLingering() : Lingering::NotNeeded;
}

bool UserScheduler::EnableLingering(std::string* error) { return systemd_.EnableLingering(error); }

}  // namespace quillon
