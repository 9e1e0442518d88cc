// The systemd and crontab schedulers: the texts they write, what they read back, and the
// commands they give, against a runner that answers in-process. Nothing here reaches the real
// user's systemd or crontab.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/CrontabScheduler.h"
#include "platform/SchedulerService.h"
#include "platform/SystemdTimerScheduler.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

// Answers every program run from a function and records it.
class ScriptedCommands : public CommandRunner {
 public:
  std::function<CommandOutput(const Words&, std::string_view)> answer = [](auto&, auto) {
    CommandOutput ok;
    ok.started = ok.exited = true;
    ok.code = 0;
    return ok;
  };
  CommandOutput Run(const Words& argv, std::string_view input) override {
    calls.push_back(argv);
    return answer(argv, input);
  }
  std::vector<Words> calls;
};

CommandOutput Exited(int code, std::string out = {}, std::string err = {}) {
  CommandOutput result;
  result.started = result.exited = true;
  result.code = code;
  result.out = std::move(out);
  result.err = std::move(err);
  return result;
}

ScheduleTrigger Weekly(CivilDate begin, int hour, int minute, int interval = 0, int times = 0) {
  ScheduleTrigger t;
  t.type = TriggerType::Weekly;
  t.beginYear = begin.year;
  t.beginMonth = begin.month;
  t.beginDay = begin.day;
  t.startHour = hour;
  t.startMinute = minute;
  t.weeksInterval = 1;
  t.daysOfWeek = 1 << WeekdayOf(begin);
  t.minutesInterval = interval;
  t.minutesDuration = interval * times;
  return t;
}

WorkItem Item(const std::string& folder = "/home/ann/.config/quillon/") {
  return {"/usr/bin/quillon",
          {folder + "QvrTask.ini", "SESSION03"},
          folder,
          Weekly({2024, 5, 15}, 9, 30)};
}

TEST(ItemNames, EscapeReversiblyToSafeNames) {
  struct Case {
    std::string name, escaped;
  };
  const Case cases[] = {
      {"Nightly", "Nightly"},
      {"Nightly backup", "Nightly\\x20backup"},
      {"a/b-c", "a-b\\x2dc"},
      {".hidden.x", "\\x2ehidden.x"},
      {"50% \"q\"\n$x;", "50\\x25\\x20\\x22q\\x22\\x0a\\x24x\\x3b"},
      {"\xc3\xbc", "\\xc3\\xbc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeItemName(c.name), c.escaped);
    EXPECT_EQ(UnescapeItemName(c.escaped), c.name);
  }
  for (const char* bad : {"a\\x2", "a\\xZZ", "a b", "\\x41", ".x", "a\\y20"}) {
    EXPECT_EQ(UnescapeItemName(bad), std::nullopt) << bad;
  }
}

TEST(ItemNames, ProgramHomeOnlyWhenNotTheDefaultFolder) {
  EXPECT_EQ(ProgramHomeFor("/home/ann/.config/quillon/", "/home/ann"), "");
  EXPECT_EQ(ProgramHomeFor("/home/ann/.config/quillon", "/home/ann/"), "");
  EXPECT_EQ(ProgramHomeFor("/srv/quillon/", "/home/ann"), "/srv/quillon/");
}

TEST(SystemdTimers, UnitTextsCarryTheItemSafely) {
  WorkItem item = Item("/srv/q 100%/");
  item.program = "/opt/my apps/../bin/quillon";
  item.arguments = {"/srv/q 100%/Qvr\"Task\".ini", "SESSION03", "$HOME\\x"};
  item.trigger = Weekly({2024, 5, 15}, 9, 30, 90, 4);
  std::string service, timer;
  ASSERT_EQ(SystemdTimerScheduler::UnitTexts("Night %n\\", item, "/home/ann", &service, &timer),
            SaveStage::Done);
  EXPECT_EQ(service,
            "# Made by Quillon's Schedule dialog; edit the task there.\n"
            "[Unit]\n"
            "Description=Quillon task [Night %%n\\]\n"
            "X-Quillon-Task=Night\\x20\\x25n\\x5c\n"
            "\n"
            "[Service]\n"
            "Type=oneshot\n"
            "WorkingDirectory=/srv/q 100%%\n"
            "Environment=\"QUILLON_HOME=/srv/q 100%%/\"\n"
            "ExecStart=\"/opt/bin/quillon\" \"/srv/q 100%%/Qvr\\\"Task\\\".ini\" \"SESSION03\" "
            "\"$$HOME\\\\x\"\n");
  // Wednesday 09:30 every 90 minutes 4 times: 09:30 and 12:30, 11:00 and 14:00, each from the
  // begin day on (the rest of May 2024, the rest of 2024, the years after).
  EXPECT_EQ(timer,
            "# Made by Quillon's Schedule dialog; edit the task there.\n"
            "[Unit]\n"
            "Description=Quillon task [Night %%n\\]\n"
            "X-Quillon-Task=Night\\x20\\x25n\\x5c\n"
            "\n"
            "[Timer]\n"
            "Unit=quillon-Night\\x20\\x25n\\x5c.service\n"
            "OnCalendar=Wed 2024-05-15..31 11,14:00:00\n"
            "OnCalendar=Wed 2024-06..12-* 11,14:00:00\n"
            "OnCalendar=Wed 2025/1-*-* 11,14:00:00\n"
            "OnCalendar=Wed 2024-05-15..31 09,12:30:00\n"
            "OnCalendar=Wed 2024-06..12-* 09,12:30:00\n"
            "OnCalendar=Wed 2025/1-*-* 09,12:30:00\n"
            "AccuracySec=1s\n"
            "Persistent=true\n"
            "X-Quillon-Trigger=" +
                TriggerToText(item.trigger) +
                "\n"
                "X-Quillon-Run=" +
                RunText(item) +
                "\n"
                "\n"
                "[Install]\n"
                "WantedBy=timers.target\n");

  // Every second week: the service checks the week of the day it is started on.
  item.trigger.weeksInterval = 2;
  ASSERT_EQ(SystemdTimerScheduler::UnitTexts("Night", item, "/home/ann", &service, &timer),
            SaveStage::Done);
  EXPECT_NE(service.find("ExecCondition=\"/bin/sh\" \"-c\" \"[ $$(( ($$(date -u -d "
                         "\\\"$$(date +%%F)\\\" +%%s) / 86400 + 4) / 7 %% 2 )) -eq 1 ]\"\n"
                         "ExecStart="),
            std::string::npos)
      << service;
}

TEST(ItemNames, TheRunReadsBackWordForWord) {
  WorkItem item{"/opt/q u/quillon", {"/srv/a b/Qvr=Task.ini", "", "-TaskID", "7"}, "/srv/a b/", {}};
  std::string text = RunText(item);
  EXPECT_EQ(text.find_first_of("\n\"'$%"), std::string::npos) << text;
  std::optional<WorkItem> back = RunFromText(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->program, item.program);
  EXPECT_EQ(back->arguments, item.arguments);
  EXPECT_EQ(back->workingFolder, item.workingFolder);
  for (const char* bad : {"", "=a", "a b", "=a =b c", "=a  =b", "=a\\x2"})
    EXPECT_EQ(RunFromText(bad), std::nullopt) << bad;
}

TEST(SystemdTimers, WhatCannotBeWrittenStopsAtItsStage) {
  struct Case {
    const char* what;
    std::function<void(WorkItem&)> change;
    SaveStage stage;
  };
  const Case cases[] = {
      {"relative program", [](WorkItem& i) { i.program = "bin/quillon"; }, SaveStage::ProgramName},
      {"separator word", [](WorkItem& i) { i.arguments.push_back(";"); }, SaveStage::Parameters},
      {"relative folder", [](WorkItem& i) { i.workingFolder = "q/"; }, SaveStage::WorkingFolder},
      {"folder with a line end", [](WorkItem& i) { i.workingFolder = "/q\n/"; },
       SaveStage::WorkingFolder},
      {"folder ending in a blank", [](WorkItem& i) { i.workingFolder = "/q "; },
       SaveStage::WorkingFolder},
      {"unsupported trigger", [](WorkItem& i) { i.trigger.weeksInterval = 0; }, SaveStage::Trigger},
  };
  for (const Case& c : cases) {
    WorkItem item = Item();
    c.change(item);
    std::string service = "untouched", timer = "untouched";
    EXPECT_EQ(SystemdTimerScheduler::UnitTexts("T", item, "/home/ann", &service, &timer), c.stage)
        << c.what;
    EXPECT_EQ(service, "untouched");
  }
  // A line end in an argument is a C escape, not a new line of the unit.
  WorkItem item = Item();
  item.arguments = {"a\nb"};
  std::string service, timer;
  ASSERT_EQ(SystemdTimerScheduler::UnitTexts("T", item, "/home/ann", &service, &timer),
            SaveStage::Done);
  EXPECT_NE(service.find("ExecStart=\"/usr/bin/quillon\" \"a\\x0ab\"\n"), std::string::npos);
  EXPECT_EQ(service.find("Environment"), std::string::npos);  // the default program folder
  EXPECT_EQ(SystemdTimerScheduler::UnitBaseName(std::string(250, 'n')), "");
}

TEST(SystemdTimers, OnCalendarValuesPerTrigger) {
  ScheduleTrigger once = Weekly({2024, 5, 15}, 22, 0, 180, 3);
  once.type = TriggerType::Once;
  ScheduleTrigger daily = Weekly({2025, 1, 1}, 0, 0, 1, 1440);
  daily.type = TriggerType::Daily;
  daily.daysInterval = 1;
  ScheduleTrigger monthly = Weekly({2024, 12, 31}, 6, 5);
  monthly.type = TriggerType::MonthlyDate;
  monthly.monthDays = 1 << 30;
  monthly.months = 4095;
  ScheduleTrigger spill = monthly;  // 23:00 and 01:00 on the day after the 31st
  spill.startHour = 23;
  spill.startMinute = 0;
  spill.minutesInterval = 120;
  spill.minutesDuration = 240;
  struct Case {
    const char* what;
    ScheduleTrigger trigger;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"once over midnight", once, {"2024-05-15 22:00:00", "2024-05-16 01,04:00:00"}},
      {"every minute from new year", daily, {"2025/1-*-* *:*:00"}},
      {"monthly from the last day of a year",
       monthly,
       {"2024-12-31 06:05:00", "2025/1-*-31 06:05:00"}},
      {"monthly spilling into the next month",
       spill,
       {"2024-12-31 23:00:00", "2025/1-*-31 23:00:00", "2025/1-01,02,04,06,08,09,11-01 01:00:00"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemdTimerScheduler::OnCalendarValues(c.trigger), c.values) << c.what;
  }
}

TEST(SystemdTimers, NextElapseAsSystemctlShowsIt) {
  using Next = SystemdTimerScheduler::NextElapse;
  struct Case {
    const char* shown;
    bool understood;
    std::optional<TimePoint> at;
  };
  TimePoint at = FromLocalTime(2024, 5, 15, 9, 30, 0);
  // Times past TimePoint's range (the year 2262) end at its last second.
  const TimePoint last = ClampedTimePoint(std::chrono::sys_seconds::max());
  const Case cases[] = {
      {"Wed 2024-05-15 09:30:00 UTC\n", true, at},
      {"Wed 2024-05-15 09:30:00\n", true, at},
      {"@1715765400", true, std::chrono::system_clock::from_time_t(1715765400)},
      {"1715765400000000", true, TimePoint(std::chrono::seconds(1715765400))},
      {"n/a", true, std::nullopt},
      {"\n", true, std::nullopt},
      {"0", true, std::nullopt},
      {"soon", false, std::nullopt},
      {"Wed 2024-02-30 09:30:00 UTC", false, std::nullopt},
      {"1715765400123456", true,
       TimePoint(std::chrono::seconds(1715765400)) + std::chrono::microseconds(123456)},
      {"@99999999999999", true, last},
      {"@999999999999999999", true, last},
      {"@9999999999999999999", false, std::nullopt},
      {"999999999999999999", true, last},
      {"9999999999999999999", false, std::nullopt},
      {"Fri 9999-12-31 23:59:59 UTC", true, last},
  };
  for (const Case& c : cases) {
    Next next = SystemdTimerScheduler::ParseNextElapse(c.shown);
    EXPECT_EQ(next.understood, c.understood) << c.shown;
    EXPECT_EQ(next.at, c.at) << c.shown;
  }
}

class SystemdTimersInFolder : public ::testing::Test {
 protected:
  std::string Unit(const char* suffix) {
    return (dir.path() / "units" / ("quillon-Nightly\\x20run" + std::string(suffix))).string();
  }
  test::TempDir dir;
  ScriptedCommands commands;
  SystemdTimerScheduler scheduler{commands, {"/home/ann", dir.file("units"), "ann"}};
};

TEST_F(SystemdTimersInFolder, SaveFindAndDeleteAnItem) {
  std::optional<ScheduleTrigger> trigger;
  EXPECT_EQ(scheduler.Find("Nightly run", &trigger), ItemLookup::Missing);
  WorkItem item = Item();
  ASSERT_EQ(scheduler.Save("Nightly run", item), SaveStage::Done);
  EXPECT_EQ(
      commands.calls,
      (std::vector<Words>{{"systemctl", "--user", "daemon-reload"},
                          {"systemctl", "--user", "enable", "quillon-Nightly\\x20run.timer"},
                          {"systemctl", "--user", "restart", "quillon-Nightly\\x20run.timer"}}));
  struct stat info;
  ASSERT_EQ(stat(Unit(".timer").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(scheduler.Find("Nightly run", &trigger), ItemLookup::Found);
  EXPECT_EQ(trigger, item.trigger);
  std::optional<WorkItem> read = scheduler.ReadItem("Nightly run");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->program, item.program);
  EXPECT_EQ(read->arguments, item.arguments);
  EXPECT_EQ(read->workingFolder, item.workingFolder);
  EXPECT_EQ(read->trigger, item.trigger);

  // An edit keeps the item; the old trigger is gone.
  item.trigger.startHour = 7;
  ASSERT_EQ(scheduler.Save("Nightly run", item), SaveStage::Done);
  EXPECT_EQ(scheduler.Find("Nightly run", &trigger), ItemLookup::Found);
  EXPECT_EQ(trigger->startHour, 7);

  commands.calls.clear();
  EXPECT_TRUE(scheduler.Delete("Nightly run"));
  EXPECT_EQ(commands.calls.front(),
            (Words{"systemctl", "--user", "disable", "--now", "quillon-Nightly\\x20run.timer"}));
  EXPECT_FALSE(fs::exists(Unit(".timer")));
  EXPECT_FALSE(fs::exists(Unit(".service")));
  EXPECT_FALSE(scheduler.Delete("Nightly run"));
  EXPECT_TRUE(fs::is_empty(dir.path() / "units"));  // no temporary file left

  // Without a running manager the files go all the same, with the link that enabled the timer.
  ASSERT_EQ(scheduler.Save("Nightly run", item), SaveStage::Done);
  fs::create_directories(dir.path() / "units/timers.target.wants");
  fs::create_symlink(Unit(".timer"),
                     dir.path() / "units/timers.target.wants/quillon-Nightly\\x20run.timer");
  commands.answer = [](const Words&, std::string_view) { return Exited(1, "", "No bus\n"); };
  EXPECT_TRUE(scheduler.Delete("Nightly run"));
  EXPECT_FALSE(fs::exists(Unit(".timer")));
  EXPECT_FALSE(fs::exists(
      fs::symlink_status(dir.path() / "units/timers.target.wants/quillon-Nightly\\x20run.timer")));
}

TEST_F(SystemdTimersInFolder, AnotherUnitOfTheSameNameIsNeverTouched) {
  fs::create_directories(dir.path() / "units");
  test::WriteFile(Unit(".timer"), "[Timer]\nOnCalendar=daily\n");
  EXPECT_EQ(scheduler.Find("Nightly run", nullptr), ItemLookup::Foreign);
  EXPECT_EQ(scheduler.Save("Nightly run", Item()), SaveStage::Save);
  EXPECT_FALSE(scheduler.Delete("Nightly run"));
  EXPECT_EQ(test::ReadFile(Unit(".timer")), "[Timer]\nOnCalendar=daily\n");
  EXPECT_FALSE(fs::exists(Unit(".service")));
  EXPECT_TRUE(commands.calls.empty());

  // Quillon's own units whose trigger line was spoilt: found, trigger unreadable.
  WorkItem item = Item();
  std::string service, timer;
  ASSERT_EQ(SystemdTimerScheduler::UnitTexts("Nightly run", item, "/home/ann", &service, &timer),
            SaveStage::Done);
  test::WriteFile(Unit(".timer"), timer.replace(timer.find("type="), 5, "kind="));
  std::optional<ScheduleTrigger> trigger = item.trigger;
  EXPECT_EQ(scheduler.Find("Nightly run", &trigger), ItemLookup::Found);
  EXPECT_EQ(trigger, std::nullopt);
}

TEST_F(SystemdTimersInFolder, ANewItemThatCannotBeActivatedIsRemovedAgain) {
  commands.answer = [](const Words& argv, std::string_view) {
    return Exited(argv[2] == "enable" ? 1 : 0);
  };
  EXPECT_EQ(scheduler.Save("Nightly run", Item()), SaveStage::Save);
  EXPECT_FALSE(fs::exists(Unit(".timer")));
  EXPECT_FALSE(fs::exists(Unit(".service")));
  EXPECT_EQ(scheduler.Find("Nightly run", nullptr), ItemLookup::Missing);
}

TEST_F(SystemdTimersInFolder, NextRunFromSystemctlElseFromTheTrigger) {
  ScheduleTrigger trigger = Weekly({2024, 5, 15}, 9, 30);
  TimePoint now = FromLocalTime(2024, 5, 16, 0, 0, 0);
  commands.answer = [](const Words&, std::string_view) {
    return Exited(0, "Fri 2024-05-17 08:00:00 UTC\n");
  };
  EXPECT_EQ(scheduler.NextRun("Nightly run", trigger, now), FromLocalTime(2024, 5, 17, 8, 0, 0));
  EXPECT_EQ(commands.calls.back(),
            (Words{"systemctl", "--user", "show", "--property=NextElapseUSecRealtime", "--value",
                   "quillon-Nightly\\x20run.timer"}));
  commands.answer = [](const Words&, std::string_view) { return Exited(0, "n/a\n"); };
  EXPECT_EQ(scheduler.NextRun("Nightly run", trigger, now), std::nullopt);
  commands.answer = [](const Words&, std::string_view) { return Exited(1); };
  EXPECT_EQ(scheduler.NextRun("Nightly run", trigger, now), FromLocalTime(2024, 5, 22, 9, 30, 0));
}

TEST(Crontab, BlockTextRunsTheProgramThroughShAndCron) {
  WorkItem item = Item("/srv/it's 100%/");
  item.trigger = Weekly({2024, 5, 15}, 23, 0, 120, 2);
  std::string block;
  ASSERT_EQ(CrontabScheduler::BlockText("Nightly run", item, "/home/ann", &block), SaveStage::Done);
  std::string run =
      " ] && cd '/srv/it'\\''s 100\\%/' && QUILLON_HOME='/srv/it'\\''s 100\\%/' "
      "'/usr/bin/quillon' '/srv/it'\\''s 100\\%/QvrTask.ini' 'SESSION03'\n";
  EXPECT_EQ(block,
            "# >>> Quillon task Nightly\\x20run >>>\n"
            "# X-Quillon-Trigger: " +
                TriggerToText(item.trigger) +
                "\n"
                "# X-Quillon-Run: " +
                RunText(item) +
                "\n"
                "0 23 * * 3 [ \"$(date +\\%Y\\%m\\%d)\" -ge 20240515" +
                run + "0 1 * * 4 [ \"$(date +\\%Y\\%m\\%d)\" -ge 20240516" + run +
                "# <<< Quillon task Nightly\\x20run <<<\n");

  item = Item();
  item.trigger.type = TriggerType::Once;
  ASSERT_EQ(CrontabScheduler::BlockText("T", item, "/home/ann", &block), SaveStage::Done);
  EXPECT_NE(block.find("30 9 15 5 * [ \"$(date +\\%Y\\%m\\%d)\" = 20240515 ] && "
                       "cd '/home/ann/.config/quillon/' && '/usr/bin/quillon' "),
            std::string::npos);

  // Every third day: the day test follows the begin guard, its "%" escaped for cron.
  item = Item();
  item.trigger.type = TriggerType::Daily;
  item.trigger.daysInterval = 3;
  ASSERT_EQ(CrontabScheduler::BlockText("T", item, "/home/ann", &block), SaveStage::Done);
  EXPECT_NE(block.find("30 9 * * * [ \"$(date +\\%Y\\%m\\%d)\" -ge 20240515 ] && [ $(( ($(date "
                       "-u -d \"$(date +\\%F)\" +\\%s) / 86400 + 0) / 1 \\% 3 )) -eq 1 ] && cd "),
            std::string::npos)
      << block;

  struct Case {
    std::function<void(WorkItem&)> change;
    SaveStage stage;
  };
  const Case cases[] = {
      {[](WorkItem& i) { i.program = "quillon"; }, SaveStage::ProgramName},
      {[](WorkItem& i) { i.program = "/bin/q\nx"; }, SaveStage::ProgramName},
      {[](WorkItem& i) { i.arguments[0] = "/a\rb"; }, SaveStage::Parameters},
      {[](WorkItem& i) { i.workingFolder = "/a\nb"; }, SaveStage::WorkingFolder},
      {[](WorkItem& i) { i.trigger.daysOfWeek = 0; }, SaveStage::Trigger},
  };
  for (const Case& c : cases) {
    WorkItem bad = Item();
    c.change(bad);
    EXPECT_EQ(CrontabScheduler::BlockText("T", bad, "/home/ann", &block), c.stage);
  }
}

class CrontabInMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    commands.answer = [this](const Words& argv, std::string_view input) {
      if (argv == Words{"crontab", "-l"}) {
        return crontab ? Exited(0, *crontab) : Exited(1, "", "no crontab for ann\n");
      }
      if (argv == Words{"crontab", "-"}) crontab = std::string(input);
      return Exited(0);
    };
  }
  ScriptedCommands commands;
  std::optional<std::string> crontab;
  CrontabScheduler scheduler{commands, {"/home/ann", "/unused", "ann"}};
};

TEST_F(CrontabInMemory, SaveFindAndDeleteKeepTheUsersOtherLines) {
  EXPECT_EQ(scheduler.Find("Nightly run", nullptr), ItemLookup::Missing);
  WorkItem item = Item();
  ASSERT_EQ(scheduler.Save("Nightly run", item), SaveStage::Done);
  std::string block;
  CrontabScheduler::BlockText("Nightly run", item, "/home/ann", &block);
  EXPECT_EQ(crontab, block);

  crontab = "MAILTO=ann\n" + *crontab + "5 4 * * * backup.sh";  // no final line end
  item.trigger.startHour = 7;
  ASSERT_EQ(scheduler.Save("Nightly run", item), SaveStage::Done);
  CrontabScheduler::BlockText("Nightly run", item, "/home/ann", &block);
  EXPECT_EQ(crontab, "MAILTO=ann\n" + block + "5 4 * * * backup.sh\n");
  std::optional<ScheduleTrigger> trigger;
  EXPECT_EQ(scheduler.Find("Nightly run", &trigger), ItemLookup::Found);
  EXPECT_EQ(trigger, item.trigger);

  EXPECT_TRUE(scheduler.Delete("Nightly run"));
  EXPECT_EQ(crontab, "MAILTO=ann\n5 4 * * * backup.sh\n");
  EXPECT_FALSE(scheduler.Delete("Nightly run"));
}

TEST_F(CrontabInMemory, AnUnclosedBlockOrAnUnreadableCrontabIsLeftAlone) {
  crontab = "# >>> Quillon task Nightly\\x20run >>>\n0 1 * * * mine.sh\n";
  EXPECT_EQ(scheduler.Find("Nightly run", nullptr), ItemLookup::Foreign);
  EXPECT_EQ(scheduler.Save("Nightly run", Item()), SaveStage::Save);
  EXPECT_FALSE(scheduler.Delete("Nightly run"));
  EXPECT_EQ(crontab, "# >>> Quillon task Nightly\\x20run >>>\n0 1 * * * mine.sh\n");

  commands.answer = [](const Words&, std::string_view) {
    return Exited(1, "", "crontab: cannot open your crontab\n");
  };
  EXPECT_EQ(scheduler.Find("Nightly run", nullptr), ItemLookup::Failed);
  EXPECT_EQ(scheduler.Save("Nightly run", Item()), SaveStage::Save);
}

TEST(UserScheduler, SystemdWhenItAnswersElseCronElseNoneWithTheReason) {
  ScriptedCommands commands;
  commands.answer = [](const Words&, std::string_view) { return Exited(0, "Version=252\n"); };
  EXPECT_EQ(ConnectUserScheduler(commands, {})->Kind(), "systemd");
  EXPECT_EQ(commands.calls.front(), (Words{"systemctl", "--user", "show", "--property=Version"}));

  commands.answer = [](const Words& argv, std::string_view) {
    return argv[0] == "systemctl" ? Exited(1, "", "Failed to connect to bus\n")
                                  : Exited(1, "", "no crontab for ann\n");
  };
  EXPECT_EQ(ConnectUserScheduler(commands, {})->Kind(), "cron");
  EXPECT_EQ(ConnectUserScheduler(commands, {})->Unavailable(), "");

  commands.answer = [](const Words& argv, std::string_view) {
    return argv[0] == "systemctl"
               ? Exited(1, "", "Failed to connect to bus: No medium found\n")
               : Exited(1, "", "You (ann) are not allowed to use this program (crontab)\n");
  };
  std::unique_ptr<SchedulerService> none = ConnectUserScheduler(commands, {});
  EXPECT_EQ(none->Kind(), "none");
  EXPECT_EQ(none->Unavailable(),
            "Neither systemd user timers nor cron can be used here (systemctl --user: Failed to "
            "connect to bus: No medium found; crontab: You (ann) are not allowed to use this "
            "program (crontab)).");
  EXPECT_EQ(none->Save("T", Item()), SaveStage::Save);

  commands.answer = [](const Words&, std::string_view) { return CommandOutput{}; };
  EXPECT_EQ(ConnectUserScheduler(commands, {})->Unavailable(),
            "Neither systemd user timers nor cron can be used here (systemctl --user: systemctl "
            "is not installed; crontab: crontab is not installed).");
}

// Items in the scheduler that does not answer now are still found, read and removed, and a
// save into the one that answers takes the other's copy away.
class UserSchedulerBothWays : public ::testing::Test {
 protected:
  void SetUp() override {
    commands.answer = [this](const Words& argv, std::string_view input) {
      if (argv[0] == "systemctl") {
        if (!systemdUp) return Exited(1, "", "Failed to connect to bus\n");
        return argv[2] == "show" && argv[3] == "--property=Version" ? Exited(0, "Version=252\n")
                                                                    : Exited(0);
      }
      if (argv[0] == "loginctl") return loginctl(argv);
      if (argv == Words{"crontab", "-l"})
        return crontab ? Exited(0, *crontab) : Exited(1, "", "no crontab for ann\n");
      if (argv == Words{"crontab", "-"}) crontab = std::string(input);
      return Exited(0);
    };
  }
  std::unique_ptr<SchedulerService> Connect() {
    return ConnectUserScheduler(commands, {"/home/ann", dir.file("units"), "ann"});
  }

  test::TempDir dir;
  ScriptedCommands commands;
  bool systemdUp = false;
  std::optional<std::string> crontab;
  std::function<CommandOutput(const Words&)> loginctl = [](const Words&) { return Exited(1); };
};

TEST_F(UserSchedulerBothWays, AnItemIsFoundWhereverItWasSaved) {
  WorkItem item = Item();
  ASSERT_EQ(Connect()->Save("Nightly", item), SaveStage::Done);  // into the crontab
  ASSERT_TRUE(crontab);

  systemdUp = true;
  std::unique_ptr<SchedulerService> scheduler = Connect();
  EXPECT_EQ(scheduler->Kind(), "systemd");
  std::optional<ScheduleTrigger> trigger;
  EXPECT_EQ(scheduler->Find("Nightly", &trigger), ItemLookup::Found);
  EXPECT_EQ(trigger, item.trigger);
  ASSERT_TRUE(scheduler->ReadItem("Nightly"));
  EXPECT_EQ(scheduler->ReadItem("Nightly")->arguments, item.arguments);
  EXPECT_EQ(scheduler->NextRun("Nightly", item.trigger, FromLocalTime(2024, 5, 16, 0, 0, 0)),
            FromLocalTime(2024, 5, 22, 9, 30, 0));
  EXPECT_TRUE(scheduler->Delete("Nightly"));
  EXPECT_EQ(crontab, "");
  EXPECT_EQ(scheduler->Find("Nightly", nullptr), ItemLookup::Missing);
  EXPECT_FALSE(scheduler->Delete("Nightly"));

  // Saved again while systemd answers: the crontab's copy goes.
  systemdUp = false;
  ASSERT_EQ(Connect()->Save("Nightly", item), SaveStage::Done);
  systemdUp = true;
  ASSERT_EQ(Connect()->Save("Nightly", item), SaveStage::Done);
  EXPECT_EQ(crontab, "");
  EXPECT_TRUE(fs::exists(dir.path() / "units/quillon-Nightly.timer"));

  // With neither answering, the unit files are still found and removed.
  systemdUp = false;
  commands.answer = [](const Words&, std::string_view) { return CommandOutput{}; };
  scheduler = Connect();
  EXPECT_NE(scheduler->Unavailable(), "");
  EXPECT_EQ(scheduler->Find("Nightly", nullptr), ItemLookup::Found);
  EXPECT_TRUE(scheduler->Delete("Nightly"));
  EXPECT_FALSE(fs::exists(dir.path() / "units/quillon-Nightly.timer"));
  EXPECT_EQ(scheduler->Find("Nightly", nullptr), ItemLookup::Missing);
}

TEST_F(UserSchedulerBothWays, LingeringIsAskedOfTheLoginManagerForTimersOnly) {
  EXPECT_EQ(Connect()->UserLingering(), Lingering::NotNeeded);  // cron runs logged out too
  systemdUp = true;
  bool lingering = false;
  loginctl = [&lingering](const Words& argv) {
    if (argv == Words{"loginctl", "show-user", "ann", "--property=Linger", "--value"})
      return Exited(0, lingering ? "yes\n" : "no\n");
    if (argv == Words{"loginctl", "enable-linger", "ann"}) {
      lingering = true;
      return Exited(0);
    }
    return Exited(1);
  };
  std::unique_ptr<SchedulerService> scheduler = Connect();
  EXPECT_EQ(scheduler->UserLingering(), Lingering::Off);
  std::string error;
  EXPECT_TRUE(scheduler->EnableLingering(&error));
  EXPECT_EQ(scheduler->UserLingering(), Lingering::On);

  loginctl = [](const Words& argv) {
    return argv[1] == "enable-linger"
               ? Exited(1, "", "Could not enable linger: Access denied\n")
               : Exited(1, "", "Failed to get user: User ID 1000 is not logged in or lingering\n");
  };
  EXPECT_EQ(scheduler->UserLingering(), Lingering::Off);
  EXPECT_FALSE(scheduler->EnableLingering(&error));
  EXPECT_EQ(error, "Could not enable linger: Access denied");
  loginctl = [](const Words&) { return CommandOutput{}; };
  EXPECT_EQ(scheduler->UserLingering(), Lingering::Unknown);
  EXPECT_FALSE(scheduler->EnableLingering(&error));
  EXPECT_EQ(error, "loginctl cannot be started.");
}

}  // namespace
}  // namespace quillon
