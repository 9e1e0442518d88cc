#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "platform/CommandRunner.h"
#include "platform/ScheduleTrigger.h"

namespace quillon {

// What a scheduled work item starts, and when.
struct WorkItem {
  std::string program;                 // absolute path of the executable
  std::vector<std::string> arguments;  // its arguments, each passed as one word
  std::string workingFolder;           // the folder it starts in (the program folder); "" = none
  ScheduleTrigger trigger;
};

// What a lookup of an item by name found.
enum class ItemLookup {
  Missing,  // no item of that name: a new one may be made
  Found,    // an item of Quillon's; the trigger may still be unreadable
  Foreign,  // something of that name exists that Quillon did not make, or may not read
  BadName,  // the name cannot become an item name here (too long)
  Failed,   // the scheduler could not be asked
};

// Where a save stopped.
enum class SaveStage {
  Done,
  ProgramName,    // the program path cannot be used (not absolute, or not representable)
  Parameters,     // an argument cannot be represented
  WorkingFolder,  // the working folder cannot be used
  Trigger,        // the trigger is not supported
  Save,           // writing or activating the item failed
};

// Whether the user's timers run while the user is logged out (systemd's lingering).
enum class Lingering {
  NotNeeded,  // the scheduler runs its items whether the user is logged in or not (cron)
  On,
  Off,      // timers run only while the user's manager runs, usually only while logged in
  Unknown,  // the login manager cannot be asked
};

// The user's task scheduler: named work items with one time trigger each. Item names are task
// names of any text; adapters escape them reversibly (EscapeItemName) so a name can never
// inject into a unit file or a crontab line. Not thread-safe; one owner.
class SchedulerService {
 public:
  virtual ~SchedulerService() = default;

  // "systemd" or "cron", for messages and tests.
  virtual std::string Kind() const = 0;

  // Looks the item up; on Found, *trigger (when given) receives its trigger, or nullopt when
  // the stored trigger cannot be read.
  virtual ItemLookup Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) = 0;

  // Creates or replaces the item and makes it active. A new item that could not be activated is
  // removed again; nothing is written when a stage before Save fails.
  virtual SaveStage Save(const std::string& name, const WorkItem& item) = 0;

  // Deactivates and removes Quillon's item of that name; false when there is none or it could
  // not be removed.
  virtual bool Delete(const std::string& name) = 0;

  // The item's next run after `now` as the scheduler sees it; `trigger` is the item's trigger
  // (from Find), for schedulers that leave the computing to the caller.
  virtual std::optional<TimePoint> NextRun(const std::string& name, const ScheduleTrigger& trigger,
                                           TimePoint now) = 0;

  // Quillon's item of that name as it was saved: program, arguments, working folder and
  // trigger. nullopt when there is none, or when it was saved without its run (by an older
  // Quillon) or its trigger cannot be read.
  virtual std::optional<WorkItem> ReadItem(const std::string&) { return std::nullopt; }

  // Why nothing can be saved here (no scheduler answers), for the user; "" when Save can work.
  // Find, ReadItem and Delete still work on the items that can be reached.
  virtual std::string Unavailable() const { return {}; }

  // Whether saved items run while the user is logged out, and the way to make them do so;
  // EnableLingering gives the reason in *error when it fails.
  virtual Lingering UserLingering() { return Lingering::NotNeeded; }
  virtual bool EnableLingering(std::string* error) {
    if (error) *error = "This scheduler has no lingering.";
    return false;
  }
};

// The run of a work item (program, working folder, arguments) as one line of blank-separated
// words, each escaped as item names are (EscapeItemName) behind a "=", and back. The trigger
// is not part of it; RunFromText leaves it default. nullopt for text RunText cannot have made.
std::string RunText(const WorkItem& item);
std::optional<WorkItem> RunFromText(const std::string& text);

// The escape of systemd-escape for a plain string: "/" becomes "-", a leading "." and every
// byte outside [A-Za-z0-9:_.] become "\xNN" (lower-case hex). Reversible; the result has no
// blank, quote, "%", "$" or control character. "" stays "".
std::string EscapeItemName(const std::string& name);
// The reverse; nullopt for text that EscapeItemName cannot have made.
std::optional<std::string> UnescapeItemName(const std::string& escaped);

// The user's folders the schedulers work in. Tests point them into a temporary folder.
struct SchedulerFolders {
  std::string home;        // $HOME
  std::string unitFolder;  // systemd user units: $XDG_CONFIG_HOME/systemd/user
  std::string user;        // the login name, for the login manager; "" = the process owner's
};
SchedulerFolders UserSchedulerFolders();

// The QUILLON_HOME a scheduled run needs to find the program folder `workingFolder`: empty when
// that is the default folder a run under cron or systemd finds by itself ($HOME/.config/quillon),
// else the folder itself.
std::string ProgramHomeFor(const std::string& workingFolder, const std::string& home);

// The user's scheduler (UserScheduler): new items become systemd user timers when
// `systemctl --user` answers, else lines of the user's crontab when `crontab -l` works; items
// are looked up, read and removed in both, so one saved while the other answered is not lost.
// Never null: when neither answers, Unavailable() says why.
std::unique_ptr<SchedulerService> ConnectUserScheduler(CommandRunner& commands,
                                                       const SchedulerFolders& folders);

}  // namespace quillon
