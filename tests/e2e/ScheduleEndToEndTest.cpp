// Scheduled tasks end to end: the real quillon-tool, the real quillon binary and the real task
// manager dialog (offscreen) against both schedulers. Cron is the real `crontab` command on a
// crontab spool of this test's own (tests/support/private_cron.sh runs the suite in a mount
// namespace; no cron daemon runs); systemd is a stand-in `systemctl` that records what it is
// told, with the unit files checked by systemd's own `systemd-analyze verify`. An entry is run
// the way its scheduler would run it (the crontab line through /bin/sh, ExecStart= with its
// Environment=), so a stale one is seen to be refused.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/Clock.h"
#include "platform/ScheduleTrigger.h"
#include "platform/SchedulerService.h"
#include "profiles/IniFile.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "tasks/TaskManagerRules.h"
#include "tasks/TaskStore.h"
#include "tasks/ui/TaskManagerDialog.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

enum class Backend { Systemd, Cron };

const char* Name(Backend backend) { return backend == Backend::Systemd ? "systemd" : "cron"; }

bool PrivateCron() {
  const char* flag = std::getenv("QUILLON_PRIVATE_CRON");
  return flag && std::string(flag) == "1";
}

void WriteScript(const fs::path& path, const std::string& body) {
  test::WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

// One systemd unit value in the quoting the units are written in: C escapes inside double
// quotes, "%%" and "$$" for "%" and "$".
std::vector<std::string> UnitWords(const std::string& value) {
  std::vector<std::string> words;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '"') continue;
    std::string word;
    for (++i; i < value.size() && value[i] != '"'; ++i) {
      char c = value[i];
      if (c == '\\' && i + 1 < value.size()) {
        char next = value[++i];
        if (next == 'x' && i + 2 < value.size()) {
          word += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          word += next;
        }
      } else if ((c == '%' || c == '$') && i + 1 < value.size() && value[i + 1] == c) {
        word += c;
        ++i;
      } else {
        word += c;
      }
    }
    words.push_back(word);
  }
  return words;
}

std::string ValueOf(const std::string& unit, const std::string& key) {
  std::istringstream lines(unit);
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
  return {};
}

class ScheduleEndToEnd : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::Cron && !PrivateCron())
      GTEST_SKIP() << "no crontab spool of this test's own can be made here";
    for (const fs::path& folder : {home, programFolder, bin, local / "out", serverRoot})
      fs::create_directories(folder);
    server = std::make_unique<test::FtpServer>(test::FtpServer::Options{serverRoot});
    const char* path = std::getenv("PATH");
    env = {"PATH=" + bin.string() + ":" + (path ? path : "/usr/bin:/bin"),
           "HOME=" + home.string(),
           "XDG_CONFIG_HOME=" + (home / ".config").string(),
           "XDG_DATA_HOME=" + (home / ".local/share").string(),
           "QUILLON_HOME=" + programFolder.string(),
           "DISPLAY=",
           "WAYLAND_DISPLAY="};
    // The same for what runs in this process (the task manager dialog).
    for (const std::string& entry : env) {
      size_t eq = entry.find('=');
      std::string name = entry.substr(0, eq);
      const char* old = std::getenv(name.c_str());
      saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      setenv(name.c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    SystemdAnswers(GetParam() == Backend::Systemd);
    // Lingering is off until the login manager is told otherwise.
    WriteScript(bin / "loginctl",
                "case \"$1\" in show-user) echo no;; enable-linger) exit 0;; esac\n");
    if (GetParam() == Backend::Systemd) {
      // Cron's part of the lookups must never reach a real crontab here.
      WriteScript(bin / "crontab", "echo 'crontab is not available here' >&2\nexit 1\n");
    } else {
      Crontab({"-r"});  // the spool is this suite's own; each test starts without a crontab
    }

    ConnectionProfile profile = server->Profile();
    auto made =
        Tool({"profile", "set", "--ini", programFolder / "Quillon.ini", "--slot", "0", "--name",
              "Office", "--address", profile.address, "--port", std::to_string(profile.port),
              "--user", profile.userName, "--password-stdin", "--passive", "--binary"},
             profile.password + "\n");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    test::WriteFile(local / "out/report.txt", "nightly figures\n");
    made = Tool(TaskOptions({"task", "set", "--store", store, "--new", "--ini",
                             (programFolder / "Quillon.ini").string(), "--name", "Nightly"}));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ASSERT_EQ(made.out, "0\n");
  }

  void TearDown() override {
    for (const auto& [name, value] : saved)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }

  // A stand-in systemctl that answers as a user manager does, or fails as without one.
  void SystemdAnswers(bool answers) {
    if (!answers) {
      WriteScript(bin / "systemctl",
                  "echo \"$*\" >> '" + dir.file("systemctl.log") +
                      "'\necho 'Failed to connect to bus: No medium found' >&2\nexit 1\n");
      return;
    }
    WriteScript(bin / "systemctl", "echo \"$*\" >> '" + dir.file("systemctl.log") +
                                       "'\ncase \"$*\" in\n"
                                       "  *--property=Version*) echo Version=252;;\n"
                                       "  *NextElapseUSecRealtime*) exit 1;;\n"
                                       "esac\nexit 0\n");
  }

  Args TaskOptions(Args args) const {
    for (const char* word :
         {"--upload-from", "", "--upload-to", "/nightly", "--encryption-key-env", "EK"}) {
      args.push_back(*word ? word : (local / "out").string());
    }
    return args;
  }

  test::ProcessResult Tool(Args args, const std::string& input = {}) {
    args.insert(args.begin(), test::BuiltProgram("tool/quillon-tool"));
    std::vector<std::string> all = env;
    all.push_back("EK=s3cret key");
    return test::RunProcess(args, input, all);
  }
  test::ProcessResult Crontab(const Args& args) {
    Args argv = {"/usr/bin/crontab"};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProcess(argv, {}, env);
  }
  std::string Program() const { return fs::canonical(test::BuiltProgram("app/quillon")).string(); }
  fs::path Unit(const std::string& name, const char* suffix) const {
    return home / ".config/systemd/user" / ("quillon-" + EscapeItemName(name) + suffix);
  }

  // Whether an entry of that name is in the scheduler of this test.
  bool HasEntry(const std::string& name, Backend backend) {
    if (backend == Backend::Systemd) return fs::exists(Unit(name, ".timer"));
    return Crontab({"-l"}).out.find("# >>> Quillon task " + EscapeItemName(name) + " >>>") !=
           std::string::npos;
  }

  // Runs the entry as its scheduler would: the crontab line's command through /bin/sh, or the
  // service's ExecStart= with its Environment= in its WorkingDirectory=.
  test::ProcessResult RunEntry(const std::string& name, Backend backend) {
    if (backend == Backend::Cron) {
      std::string crontab = Crontab({"-l"}).out;
      size_t block = crontab.find("# >>> Quillon task " + EscapeItemName(name) + " >>>");
      EXPECT_NE(block, std::string::npos) << crontab;
      std::istringstream lines(crontab.substr(block));
      std::string line;
      while (std::getline(lines, line) && line.starts_with("#")) {
      }
      // The five time fields, then the command, "\%" meaning "%" to cron.
      std::istringstream fields(line);
      std::string field;
      for (int i = 0; i < 5; ++i) fields >> field;
      std::string command;
      std::getline(fields, command);
      for (size_t at; (at = command.find("\\%")) != std::string::npos;) command.erase(at, 1);
      // cron gives its commands a bare environment.
      return test::RunProcess(
          {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "SHELL=/bin/sh", "/bin/sh", "-c", command});
    }
    std::string service = test::ReadFile(Unit(name, ".service"));
    Args argv = UnitWords(ValueOf(service, "ExecStart"));
    Args unitEnv = UnitWords(ValueOf(service, "Environment"));
    std::string folder = ValueOf(service, "WorkingDirectory");
    Args command = {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin"};
    command.insert(command.end(), unitEnv.begin(), unitEnv.end());
    command.insert(command.end(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder});
    command.insert(command.end(), argv.begin(), argv.end());
    return test::RunProcess(command);
  }

  // Checks the unit files with systemd's own parser when it is installed.
  void VerifyUnits(const std::string& name) {
    if (!fs::exists("/usr/bin/systemd-analyze")) return;
    fs::create_directories(dir.path() / "runtime");
    test::ProcessResult verified =
        test::RunProcess({"/usr/bin/systemd-analyze", "verify", "--man=no",
                          Unit(name, ".timer").string(), Unit(name, ".service").string()},
                         {}, {"XDG_RUNTIME_DIR=" + dir.file("runtime")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(verified.err, "");
  }

  std::string Today() const {
    std::tm local = ToLocalTime(SystemClock().Now());
    return std::to_string(local.tm_mon + 1) + "/" + std::to_string(local.tm_mday) + "/" +
           std::to_string(local.tm_year + 1900);
  }

  test::TempDir dir;
  fs::path home = dir.path() / "user";
  fs::path programFolder = dir.path() / "quillon home";
  std::string store = (programFolder / "QvrTask.ini").string();
  fs::path bin = dir.path() / "bin";
  fs::path local = dir.path() / "local";
  fs::path serverRoot = dir.path() / "server";
  std::unique_ptr<test::FtpServer> server;
  std::vector<std::string> env;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

// quillon-tool: schedule, show, run, rename and delete; then the entry left from before is
// refused when another task has taken the slot.
TEST_P(ScheduleEndToEnd, ThroughTheTool) {
  const Backend backend = GetParam();
  auto scheduled = Tool({"task", "schedule", "--store", store, "--slot", "0", "--daily", "03:15",
                         "--program", Program()});
  ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
  const std::string schedule = "Schedule: At 3:15 AM every day, starting " + Today() + "\n";
  EXPECT_TRUE(scheduled.out.starts_with(schedule)) << scheduled.out;
  const int32_t id = ReadNumber(0, "TaskID", store);
  EXPECT_GT(id, 0);
  if (backend == Backend::Systemd) {
    // Timers stop at log-out without lingering: the tool says so.
    EXPECT_NE(scheduled.err.find("Turn on lingering"), std::string::npos) << scheduled.err;
    std::string timer = test::ReadFile(Unit("Nightly", ".timer"));
    EXPECT_NE(timer.find("\nPersistent=true\n"), std::string::npos) << timer;
    EXPECT_NE(timer.find("\nOnCalendar="), std::string::npos) << timer;
    std::string service = test::ReadFile(Unit("Nightly", ".service"));
    EXPECT_NE(service.find("\"-TaskID\" \"" + std::to_string(id) + "\""), std::string::npos);
    EXPECT_NE(service.find("QUILLON_HOME=" + programFolder.string() + "/"), std::string::npos);
    VerifyUnits("Nightly");
    EXPECT_NE(
        test::ReadFile(dir.path() / "systemctl.log").find("--user enable quillon-Nightly.timer"),
        std::string::npos);
  } else {
    std::string crontab = Crontab({"-l"}).out;
    EXPECT_NE(crontab.find("'-TaskID' '" + std::to_string(id) + "'"), std::string::npos) << crontab;
    EXPECT_EQ(scheduled.err, "");  // cron runs whether the user is logged in or not
  }
  auto shown = Tool({"task", "show", "--store", store, "--slot", "0"});
  EXPECT_NE(shown.out.find(schedule), std::string::npos) << shown.out;

  // The entry runs the task, with its log in the program folder.
  auto run = RunEntry("Nightly", backend);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(
      test::ReadFile(programFolder / "Nightly.log").find("Harbell task [Nightly] of [" + store),
      std::string::npos);
  EXPECT_TRUE(fs::exists(serverRoot / "nightly/report.txt.qvr"));

  // Renamed: the schedule moves along.
  auto renamed =
      Tool(TaskOptions({"task", "set", "--store", store, "--slot", "0", "--name", "Every night"}));
  ASSERT_EQ(renamed.exitCode, 0) << renamed.err;
  EXPECT_FALSE(HasEntry("Nightly", backend));
  EXPECT_TRUE(HasEntry("Every night", backend));
  shown = Tool({"task", "show", "--store", store, "--slot", "0"});
  EXPECT_NE(shown.out.find(schedule), std::string::npos) << shown.out;
  if (backend == Backend::Systemd) VerifyUnits("Every night");

  // Deleted: the entry goes too. Kept by hand, it is refused once another task has the slot.
  std::string stale = backend == Backend::Cron ? Crontab({"-l"}).out
                                               : test::ReadFile(Unit("Every night", ".service"));
  std::string staleTimer =
      backend == Backend::Systemd ? test::ReadFile(Unit("Every night", ".timer")) : std::string();
  auto deleted = Tool({"task", "delete", "--store", store, "--slot", "0"});
  ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_FALSE(HasEntry("Every night", backend));
  auto intruder =
      Tool(TaskOptions({"task", "set", "--store", store, "--new", "--ini",
                        (programFolder / "Quillon.ini").string(), "--name", "Intruder"}));
  ASSERT_EQ(intruder.out, "0\n") << intruder.err;
  if (backend == Backend::Cron) {
    test::WriteFile(dir.path() / "stale.cron", stale);
    ASSERT_EQ(Crontab({dir.file("stale.cron")}).exitCode, 0);
  } else {
    test::WriteFile(Unit("Every night", ".service"), stale);
    test::WriteFile(Unit("Every night", ".timer"), staleTimer);
  }
  run = RunEntry("Every night", backend);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err,
            "Task Failed:\n\nThe target task cannot be found.\nPlease re-create the shortcut.\n");
  EXPECT_FALSE(fs::exists(programFolder / "Intruder.log"));
}

// The task manager: Schedule, rename and delete through its widgets.
TEST_P(ScheduleEndToEnd, ThroughTheTaskManager) {
  const Backend backend = GetParam();
  test::RecordingMessages messages;
  TaskManagerSetup setup;
  setup.programFolder = programFolder.string() + "/";
  setup.program = Program();
  auto dialog = std::make_unique<TaskManagerDialog>(std::move(setup), messages);
  ASSERT_TRUE(dialog->Open());
  dialog->show();
  auto press = [&](const char* name) {
    test::Click(test::Find<QAbstractButton>(dialog.get(), name));
  };

  bool offered = false;
  test::WhenModalOpens([&offered](QWidget* modal) {
    offered = modal->findChild<QWidget*>("enableLinger") != nullptr;
    test::Click(test::Find<QRadioButton>(modal, "weekly"));
    test::Find<QPushButton>(modal, "ok")->click();
  });
  press("schedule");
  EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
  EXPECT_EQ(offered, backend == Backend::Systemd);
  ASSERT_TRUE(HasEntry("Nightly", backend));
  if (backend == Backend::Systemd) VerifyUnits("Nightly");
  const std::string label = test::Find<QLabel>(dialog.get(), "scheduleText")->text().toStdString();
  EXPECT_TRUE(label.starts_with("At ")) << label;

  QLineEdit* name = test::Find<QLineEdit>(dialog.get(), "taskName");
  name->selectAll();
  QTest::keyClicks(name, "Weekly run");
  press("saveChanges");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(HasEntry("Nightly", backend));
  EXPECT_TRUE(HasEntry("Weekly run", backend));
  EXPECT_EQ(test::Find<QLabel>(dialog.get(), "scheduleText")->text().toStdString(), label);
  auto shown = Tool({"task", "show", "--store", store, "--slot", "0"});
  EXPECT_NE(shown.out.find("Schedule: " + label + "\n"), std::string::npos) << shown.out;

  messages.QueueAnswer(MessageAnswer::Yes);
  press("deleteTask");
  EXPECT_EQ(messages.shown.size(), 1u);  // the question
  EXPECT_FALSE(HasEntry("Weekly run", backend));
  EXPECT_FALSE(IsTaskSlotUsed(0, store));
}

INSTANTIATE_TEST_SUITE_P(Schedulers, ScheduleEndToEnd,
                         ::testing::Values(Backend::Systemd, Backend::Cron),
                         [](const auto& info) { return std::string(Name(info.param)); });

// An entry made in the crontab while systemd did not answer is still shown, moved and removed
// once systemd answers: new entries then become timers.
class ScheduleAcrossSchedulers : public ScheduleEndToEnd {};

TEST_P(ScheduleAcrossSchedulers, AnEntryIsFollowedWhereverItWasMade) {
  auto scheduled = Tool({"task", "schedule", "--store", store, "--slot", "0", "--monthly", "1,15",
                         "06:30", "--months", "jan,jul", "--program", Program()});
  ASSERT_EQ(scheduled.exitCode, 0) << scheduled.err;
  ASSERT_TRUE(HasEntry("Nightly", Backend::Cron));
  SystemdAnswers(true);
  auto shown = Tool({"task", "show", "--store", store, "--slot", "0"});
  EXPECT_NE(shown.out.find("Schedule: At 6:30 AM on day 1, 15 of Jan, Jul, starting "),
            std::string::npos)
      << shown.out;
  auto renamed =
      Tool(TaskOptions({"task", "set", "--store", store, "--slot", "0", "--name", "Twice a year"}));
  ASSERT_EQ(renamed.exitCode, 0) << renamed.err;
  EXPECT_FALSE(HasEntry("Nightly", Backend::Cron));
  EXPECT_TRUE(HasEntry("Twice a year", Backend::Systemd));
  VerifyUnits("Twice a year");
  auto removed = Tool({"task", "unschedule", "--store", store, "--slot", "0"});
  EXPECT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_FALSE(HasEntry("Twice a year", Backend::Systemd));
  EXPECT_EQ(Crontab({"-l"}).out.find("Quillon"), std::string::npos) << Crontab({"-l"}).out;
}

INSTANTIATE_TEST_SUITE_P(CronThenSystemd, ScheduleAcrossSchedulers,
                         ::testing::Values(Backend::Cron),
                         [](const auto& info) { return std::string(Name(info.param)); });

}  // namespace
}  // namespace quillon
