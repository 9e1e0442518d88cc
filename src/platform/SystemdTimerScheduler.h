#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/SchedulerService.h"

namespace quillon {

// Work items as systemd user units in the user's unit folder: "quillon-<escaped name>.service"
// (Type=oneshot, ExecStart= the program and its arguments, WorkingDirectory=, QUILLON_HOME in
// Environment= when the program folder is not the default, and ExecCondition= with the day
// test of a daily or weekly interval above 1) and a ".timer" of the same name with one
// OnCalendar= line per calendar entry of the trigger and Persistent=true, so a run missed while
// the user's manager was down (logged out, switched off) happens when it next starts. Both carry
// "X-Quillon-Task=" with the escaped name; the timer keeps the trigger record in
// "X-Quillon-Trigger=" and the run in "X-Quillon-Run=" (RunText) so both read back exactly.
// Description= shows the real name. A unit of that name without Quillon's mark is someone
// else's and is never touched. Activation goes through `systemctl --user` (daemon-reload,
// enable, restart; disable --now on delete). The unit files can be found, read and removed
// without a running manager.
class SystemdTimerScheduler : public SchedulerService {
 public:
  SystemdTimerScheduler(CommandRunner& commands, SchedulerFolders folders)
      : commands_(commands), folders_(std::move(folders)) {}

  std::string Kind() const override { return "systemd"; }
  ItemLookup Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) override;
  SaveStage Save(const std::string& name, const WorkItem& item) override;
  bool Delete(const std::string& name) override;
  // Asks `systemctl --user show` for the timer's NextElapseUSecRealtime; computes it from the
  // trigger when systemctl cannot be asked or gives an answer it does not understand.
  std::optional<TimePoint> NextRun(const std::string& name, const ScheduleTrigger& trigger,
                                   TimePoint now) override;
  std::optional<WorkItem> ReadItem(const std::string& name) override;
  // `loginctl show-user` and `loginctl enable-linger` for the user of the folders.
  Lingering UserLingering() override;
  bool EnableLingering(std::string* error) override;

  // "quillon-<escaped name>"; empty when a unit name would pass systemd's 255 characters.
  static std::string UnitBaseName(const std::string& name);

  // The two unit files of an item. On failure *service and *timer are left alone.
  static SaveStage UnitTexts(const std::string& name, const WorkItem& item, const std::string& home,
                             std::string* service, std::string* timer);

  // The OnCalendar= values of a trigger.
  static std::vector<std::string> OnCalendarValues(const ScheduleTrigger& trigger);

  // One word of ExecStart=: quoted, with C escapes, "%%" and "$$". nullopt for a word systemd
  // would take as a command separator (";").
  static std::optional<std::string> ExecWord(const std::string& word);

  // What `systemctl show --value -p NextElapseUSecRealtime` printed: "Wed 2024-05-15 09:30:00
  // CEST" (local time; the zone is not read), "@<seconds>", microseconds as a number, or
  // "", "n/a" and "0" for none. `understood` is false for anything else.
  struct NextElapse {
    bool understood = false;
    std::optional<TimePoint> at;
  };
  static NextElapse ParseNextElapse(const std::string& shown);

 private:
  std::string PathOf(const std::string& unit) const { return folders_.unitFolder + "/" + unit; }
  bool Systemctl(std::vector<std::string> words);
  // Quillon's units of `name`: the lines of its timer when both are marked as Quillon's.
  ItemLookup Lookup(const std::string& name, std::vector<std::string>* timerLines);
  std::string User() const;

  CommandRunner& commands_;
  SchedulerFolders folders_;
};

}  // namespace quillon
