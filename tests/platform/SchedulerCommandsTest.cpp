// The schedulers through real programs: the command runner itself, systemctl and crontab
// stand-ins put first on PATH (shell scripts that record their arguments), /bin/sh running a
// crontab line as cron would, and systemd's own offline parsers (systemd-analyze) reading the
// generated calendar values and units. Runs with TZ=UTC.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "platform/CommandRunner.h"
#include "platform/CrontabScheduler.h"
#include "platform/SchedulerService.h"
#include "platform/SystemdTimerScheduler.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

void WriteScript(const fs::path& path, const std::string& body) {
  test::WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

// Puts a folder of stand-in programs first on PATH for the test's lifetime.
class FakePrograms {
 public:
  FakePrograms() : old_(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin") {
    fs::create_directories(bin());
    setenv("PATH", (bin().string() + ":" + old_).c_str(), 1);
    std::string d = dir_.path().string();
    WriteScript(bin() / "systemctl",
                "echo \"$*\" >> '" + d +
                    "/systemctl.log'\n"
                    "case \"$*\" in\n"
                    "  *--property=Version*) [ -e '" +
                    d +
                    "/systemd-up' ] && { echo Version=252; "
                    "exit 0; }; echo 'Failed to connect to bus' >&2; exit 1;;\n"
                    "  *NextElapseUSecRealtime*) cat '" +
                    d +
                    "/next-elapse'; exit 0;;\n"
                    "esac\nexit 0\n");
    WriteScript(bin() / "crontab", "echo \"$*\" >> '" + d +
                                       "/crontab.log'\n"
                                       "case \"$1\" in\n"
                                       "  -l) [ -e '" +
                                       d + "/crontab' ] && exec cat '" + d +
                                       "/crontab'; "
                                       "echo \"no crontab for $(id -un)\" >&2; exit 1;;\n"
                                       "  -) cat > '" +
                                       d +
                                       "/crontab';;\n"
                                       "esac\n");
  }
  ~FakePrograms() { setenv("PATH", old_.c_str(), 1); }

  fs::path bin() const { return dir_.path() / "bin"; }
  std::string file(const std::string& name) const { return dir_.file(name); }
  std::string Read(const std::string& name) const { return test::ReadFile(dir_.path() / name); }

 private:
  test::TempDir dir_;
  std::string old_;
};

constexpr const char* kSystemdAnalyze = "/usr/bin/systemd-analyze";
bool HaveSystemdAnalyze() { return fs::exists(kSystemdAnalyze); }

ScheduleTrigger Make(TriggerType type, CivilDate begin, int hour, int minute, int interval = 0,
                     int times = 0) {
  ScheduleTrigger t;
  t.type = type;
  t.beginYear = begin.year;
  t.beginMonth = begin.month;
  t.beginDay = begin.day;
  t.startHour = hour;
  t.startMinute = minute;
  t.daysInterval = type == TriggerType::Daily ? 1 : 0;
  t.weeksInterval = type == TriggerType::Weekly ? 1 : 0;
  t.daysOfWeek = type == TriggerType::Weekly ? 1 << WeekdayOf(begin) : 0;
  t.monthDays = type == TriggerType::MonthlyDate ? 1 << (begin.day - 1) : 0;
  t.months = type == TriggerType::MonthlyDate ? 4095 : 0;
  t.minutesInterval = interval;
  t.minutesDuration = interval * times;
  return t;
}

TEST(SystemCommandRunner, FeedsInputCollectsOutputAndEndsRunaways) {
  SystemCommandRunner runner(std::chrono::milliseconds(500));
  std::string big(1 << 20, 'q');  // far past a pipe's buffer in both directions
  CommandOutput echoed = runner.Run({"cat"}, big);
  EXPECT_TRUE(echoed.Succeeded());
  EXPECT_EQ(echoed.out, big);

  CommandOutput mixed = runner.Run({"sh", "-c", "echo out; echo err >&2; exit 3"});
  EXPECT_TRUE(mixed.started && mixed.exited);
  EXPECT_EQ(mixed.code, 3);
  EXPECT_EQ(mixed.out, "out\n");
  EXPECT_EQ(mixed.err, "err\n");

  EXPECT_TRUE(runner.Run({"true"}, big).Succeeded());  // never reads its input
  // Programs start with default signal handling, whatever this process ignores.
  signal(SIGPIPE, SIG_IGN);
  CommandOutput ignored = runner.Run({"grep", "^SigIgn:", "/proc/self/status"});
  signal(SIGPIPE, SIG_DFL);
  EXPECT_EQ(std::stoull(ignored.out.substr(8), nullptr, 16) & 0x7fffffffu, 0u) << ignored.out;
  EXPECT_FALSE(runner.Run({"quillon-no-such-program"}).started);
  CommandOutput runaway = runner.Run({"sleep", "60"});
  EXPECT_TRUE(runaway.started);
  EXPECT_FALSE(runaway.exited);
}

TEST(SchedulerCommands, CronThroughTheCrontabProgramAndSh) {
  FakePrograms fakes;
  test::TempDir dir;
  // A program folder and a program that record how they were started.
  fs::path folder = dir.path() / "it's 100% \"mine\" $HOME";
  fs::create_directories(folder);
  fs::path program = dir.path() / "bin dir" / "quillon";
  fs::create_directories(program.parent_path());
  WriteScript(program, "{ pwd; echo \"$QUILLON_HOME\"; for a; do echo \"[$a]\"; done; } > '" +
                           dir.file("started") + "'\n");

  std::unique_ptr<SchedulerService> scheduler =
      ConnectUserScheduler(SystemCommands(), {"/home/ann", dir.file("units"), "ann"});
  ASSERT_NE(scheduler, nullptr);
  EXPECT_EQ(scheduler->Kind(), "cron");
  EXPECT_EQ(fakes.Read("systemctl.log"), "--user show --property=Version\n");

  WorkItem item{program.string(),
                {(folder / "QvrTask.ini").string(), "SESSION07"},
                folder.string() + "/",
                Make(TriggerType::Daily, {2020, 1, 1}, 3, 15)};
  ASSERT_EQ(scheduler->Save("Backup 'A'", item), SaveStage::Done);
  std::optional<ScheduleTrigger> trigger;
  EXPECT_EQ(scheduler->Find("Backup 'A'", &trigger), ItemLookup::Found);
  EXPECT_EQ(trigger, item.trigger);
  std::string crontab = fakes.Read("crontab");

  // The entry as cron runs it: the command after the five time fields, "\%" turned into "%",
  // through /bin/sh.
  std::istringstream lines(crontab);
  std::string line;
  while (std::getline(lines, line) && (line.empty() || line[0] == '#')) {
  }
  EXPECT_TRUE(line.starts_with("15 3 * * * ")) << line;
  std::string command = line.substr(std::string_view("15 3 * * * ").size());
  for (size_t at; (at = command.find("\\%")) != std::string::npos;) command.erase(at, 1);
  ASSERT_EQ(test::RunProcess({"/bin/sh", "-c", command}).exitCode, 0) << command;
  EXPECT_EQ(test::ReadFile(dir.path() / "started"), folder.string() + "\n" + folder.string() +
                                                        "/\n[" + (folder / "QvrTask.ini").string() +
                                                        "]\n[SESSION07]\n");

  EXPECT_TRUE(scheduler->Delete("Backup 'A'"));
  EXPECT_EQ(fakes.Read("crontab"), "");
  EXPECT_EQ(scheduler->Find("Backup 'A'", nullptr), ItemLookup::Missing);
}

TEST(SchedulerCommands, SystemdThroughTheSystemctlProgram) {
  FakePrograms fakes;
  test::TempDir dir;
  test::WriteFile(fakes.file("systemd-up"), "");
  test::WriteFile(fakes.file("next-elapse"), "Thu 2024-05-16 01:00:00 UTC\n");
  std::unique_ptr<SchedulerService> scheduler =
      ConnectUserScheduler(SystemCommands(), {"/home/ann", dir.file("units"), "ann"});
  ASSERT_NE(scheduler, nullptr);
  EXPECT_EQ(scheduler->Kind(), "systemd");

  WorkItem item{"/usr/bin/quillon",
                {"/srv/QvrTask.ini", "SESSION01"},
                "/srv/",
                Make(TriggerType::Weekly, {2024, 5, 15}, 23, 0, 120, 3)};
  ASSERT_EQ(scheduler->Save("Nightly", item), SaveStage::Done);
  EXPECT_TRUE(fs::exists(dir.path() / "units/quillon-Nightly.timer"));
  EXPECT_EQ(scheduler->NextRun("Nightly", item.trigger, FromLocalTime(2024, 5, 15, 23, 30, 0)),
            FromLocalTime(2024, 5, 16, 1, 0, 0));
  EXPECT_TRUE(scheduler->Delete("Nightly"));
  EXPECT_EQ(fakes.Read("systemctl.log"),
            "--user show --property=Version\n"
            "--user daemon-reload\n"
            "--user enable quillon-Nightly.timer\n"
            "--user restart quillon-Nightly.timer\n"
            "--user show --property=NextElapseUSecRealtime --value quillon-Nightly.timer\n"
            "--user disable --now quillon-Nightly.timer\n"
            "--user daemon-reload\n");
  // The crontab is only looked into, for a copy of the item made while cron was in use.
  EXPECT_FALSE(fs::exists(fakes.file("crontab")));
  std::string asked = fakes.Read("crontab.log");
  EXPECT_EQ(asked.find_first_not_of("-l\n"), std::string::npos) << asked;
}

// systemd's own calendar parser, asked for the next runs of the values a trigger becomes,
// agrees with the trigger's own next runs.
TEST(SchedulerCommands, SystemdComputesTheSameRunsAsTheTrigger) {
  if (!HaveSystemdAnalyze()) GTEST_SKIP() << "systemd-analyze is not installed";
  struct Case {
    const char* what;
    ScheduleTrigger trigger;
    TimePoint base;
  };
  const Case cases[] = {
      {"weekly, 4 runs a day", Make(TriggerType::Weekly, {2024, 5, 15}, 9, 30, 90, 4),
       FromLocalTime(2024, 5, 1, 0, 0, 0)},
      {"daily, past midnight", Make(TriggerType::Daily, {2024, 5, 15}, 23, 0, 120, 3),
       FromLocalTime(2024, 5, 10, 0, 0, 0)},
      {"once, over three days", Make(TriggerType::Once, {2024, 2, 28}, 22, 0, 1500, 3),
       FromLocalTime(2024, 1, 1, 0, 0, 0)},
      {"monthly 31st into the 1st", Make(TriggerType::MonthlyDate, {2024, 12, 31}, 23, 0, 120, 2),
       FromLocalTime(2024, 12, 1, 0, 0, 0)},
      {"monthly 30th over days", Make(TriggerType::MonthlyDate, {2024, 11, 30}, 20, 0, 425, 10),
       FromLocalTime(2025, 1, 1, 0, 0, 0)},
      {"weekly, every 50 hours", Make(TriggerType::Weekly, {2025, 3, 3}, 6, 45, 3000, 5),
       FromLocalTime(2025, 3, 20, 0, 0, 0)},
  };
  constexpr int kRuns = 12;
  for (const Case& c : cases) {
    std::vector<TimePoint> expected;
    for (TimePoint at = c.base; expected.size() < kRuns;) {
      std::optional<TimePoint> next = NextTriggerRun(c.trigger, at);
      if (!next) break;
      expected.push_back(at = *next);
    }
    EXPECT_GE(expected.size(), 3u) << c.what;
    std::vector<std::string> argv = {
        kSystemdAnalyze, "calendar", "--iterations=" + std::to_string(kRuns),
        "--base-time=@" + std::to_string(std::chrono::system_clock::to_time_t(c.base))};
    for (const std::string& value : SystemdTimerScheduler::OnCalendarValues(c.trigger)) {
      argv.push_back(value);
    }
    test::ProcessResult shown = test::RunProcess(argv);
    ASSERT_EQ(shown.exitCode, 0) << c.what << "\n" << shown.err;
    std::vector<TimePoint> computed;
    std::istringstream lines(shown.out);
    std::string line;
    while (std::getline(lines, line)) {
      size_t colon = line.find(": ");
      if (line.find("Next elapse:") == std::string::npos &&
          line.find("Iter. #") == std::string::npos) {
        continue;
      }
      auto next = SystemdTimerScheduler::ParseNextElapse(line.substr(colon + 2));
      if (next.at) computed.push_back(*next.at);
    }
    std::sort(computed.begin(), computed.end());
    computed.erase(std::unique(computed.begin(), computed.end()), computed.end());
    if (computed.size() > expected.size()) computed.resize(expected.size());
    EXPECT_EQ(computed, expected) << c.what;
  }
}

// systemd's offline unit checker accepts the units, whatever the name, paths and arguments hold.
TEST(SchedulerCommands, SystemdAcceptsTheUnits) {
  if (!HaveSystemdAnalyze()) GTEST_SKIP() << "systemd-analyze is not installed";
  test::TempDir dir;
  fs::path folder = dir.path() / "q 100% \"x\" $HOME";
  fs::create_directories(folder);
  fs::path program = dir.path() / "bin dir" / "quillon";
  fs::create_directories(program.parent_path());
  WriteScript(program, "exit 0\n");
  ScheduleTrigger fortnightly = Make(TriggerType::Weekly, {2024, 5, 15}, 9, 30, 60, 3);
  fortnightly.weeksInterval = 2;
  for (const ScheduleTrigger& trigger :
       {Make(TriggerType::MonthlyDate, {2024, 1, 31}, 23, 0, 120, 2), fortnightly}) {
    WorkItem item{program.string(),
                  {(folder / "QvrTask.ini").string(), "SESSION19", "a\nb", "${X}", "\\;"},
                  folder.string() + "/",
                  trigger};
    std::string service, timer;
    const std::string name = "Backup [A] 50% \\ \"B\" ;";
    ASSERT_EQ(SystemdTimerScheduler::UnitTexts(name, item, "/home/ann", &service, &timer),
              SaveStage::Done);
    std::string base = SystemdTimerScheduler::UnitBaseName(name);
    test::WriteFile(dir.path() / (base + ".service"), service);
    test::WriteFile(dir.path() / (base + ".timer"), timer);
    fs::create_directories(dir.path() / "runtime");
    test::ProcessResult verified = test::RunProcess(
        {kSystemdAnalyze, "verify", "--man=no", (dir.path() / (base + ".timer")).string(),
         (dir.path() / (base + ".service")).string()},
        {}, {"XDG_RUNTIME_DIR=" + dir.file("runtime")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err << service << timer;
    EXPECT_EQ(verified.err, "");
  }
}

// The day test of an interval, run by /bin/sh on today's date, says yes on the days of its
// cycle and no on the others.
TEST(SchedulerCommands, TheDayTestOfAnIntervalRunsInSh) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  int64_t today = DaysFromCivil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
  for (int32_t every : {2, 3, 7}) {
    for (int32_t remainder = 0; remainder < every; ++remainder) {
      DayCycle days{1, 0, every, remainder};
      int code = test::RunProcess({"/bin/sh", "-c", DayCycleShellTest(days)}).exitCode;
      EXPECT_EQ(code, today % every == remainder ? 0 : 1) << DayCycleShellTest(days);
      DayCycle weeks{7, 4, every, remainder};
      code = test::RunProcess({"/bin/sh", "-c", DayCycleShellTest(weeks)}).exitCode;
      EXPECT_EQ(code, (today + 4) / 7 % every == remainder ? 0 : 1) << DayCycleShellTest(weeks);
    }
  }
}

}  // namespace
}  // namespace quillon
