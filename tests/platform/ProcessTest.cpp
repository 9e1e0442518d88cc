#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/Process.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

// The one spawner under the hook runner and the command runner, option by option.
TEST(ChildProcess, StartsWithEachOption) {
  test::TempDir dir;
  test::WriteFile(dir.file("in"), "fed\n");
  const int in = open(dir.file("in").c_str(), O_RDONLY | O_CLOEXEC);
  const int out = open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  // Prints whether the program leads its own group, then copies its stdin.
  const std::string script = "[ $(cut -d' ' -f5 /proc/$$/stat) = $$ ] && echo leader; cat";
  struct Case {
    const char* name;
    std::vector<std::string> argv;
    SpawnOptions options;
    bool started;
    std::string output;
  } cases[] = {
      {"path search", {"sh", "-c", script}, {.searchPath = true, .stdoutFd = out}, true, ""},
      {"no search", {"sh", "-c", script}, {.stdoutFd = out}, false, ""},
      {"own group",
       {"/bin/sh", "-c", script},
       {.ownProcessGroup = true, .stdoutFd = out},
       true,
       "leader\n"},
      {"fed stdin", {"/bin/sh", "-c", script}, {.stdinFd = in, .stdoutFd = out}, true, "fed\n"},
      {"nothing", {}, {}, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(ftruncate(out, 0), 0);
    ASSERT_EQ(lseek(in, 0, SEEK_SET), 0);
    std::optional<ChildProcess> child = ChildProcess::Spawn(c.argv, c.options);
    ASSERT_EQ(child.has_value(), c.started);
    if (!child) continue;
    const ExitStatus status = child->Wait();
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(test::ReadFile(dir.file("out")), c.output);
  }
  close(in);
  close(out);

  // Dropped while running: killed with its group and reaped, nothing left behind.
  pid_t pid = -1;
  {
    std::optional<ChildProcess> sleeper =
        ChildProcess::Spawn({"/bin/sleep", "300"}, {.ownProcessGroup = true});
    ASSERT_TRUE(sleeper);
    pid = sleeper->Pid();
    EXPECT_FALSE(sleeper->WaitUntil(ChildProcess::Clock::now() + std::chrono::milliseconds(50)));
  }
  EXPECT_NE(kill(pid, 0), 0);
}

TEST(RunShellCommand, DecodesExitStatusAndSignals) {
  struct Case {
    const char* command;
    bool succeeded;
    bool exited;
    int code;
  } cases[] = {
      {"true", true, true, 0},
      {"exit 3", false, true, 3},
      {"kill -TERM $$", false, false, 15},
      {"no-such-command-anywhere 2>/dev/null", false, true, 127},
  };
  for (const auto& c : cases) {
    CommandStatus status = RunShellCommand(c.command);
    EXPECT_TRUE(status.started) << c.command;
    EXPECT_EQ(status.Succeeded(), c.succeeded) << c.command;
    EXPECT_EQ(status.exited, c.exited) << c.command;
    EXPECT_EQ(status.code, c.code) << c.command;
  }
}

TEST(RunShellCommand, GetsNullStdinAndNoInheritedDescriptors) {
  test::TempDir dir;
  // A descriptor without close-on-exec, as a careless library might leave one.
  int opened = open(dir.file("held").c_str(), O_WRONLY | O_CREAT, 0600);
  int leaked = fcntl(opened, F_DUPFD, 50);  // well above what ls opens for itself
  close(opened);
  ASSERT_GE(leaked, 50);
  std::string out = dir.file("out");
  std::string command = "cat > '" + out + "'; ls /proc/self/fd >> '" + out + "'";
  ASSERT_TRUE(RunShellCommand(command).Succeeded());
  close(leaked);
  // cat read nothing from stdin; the listing shows only 0, 1, 2 and ls's own directory handle.
  std::string listing = test::ReadFile(out);
  EXPECT_EQ(listing.find(std::to_string(leaked) + "\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.substr(0, 6), "0\n1\n2\n");
}

// The signal state a hook starts with, whatever this process ignores or blocks.
TEST(RunShellCommand, StartsWithDefaultSignalsInAGroupOfItsOwn) {
  test::TempDir dir;
  signal(SIGPIPE, SIG_IGN);  // as the programs that run hooks do
  sigset_t blocked, old;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &blocked, &old);
  std::string out = dir.file("out");
  CommandStatus status =
      RunShellCommand("grep -E '^Sig(Ign|Blk):' /proc/self/status > '" + out +
                      "'; cut -d' ' -f5 /proc/$$/stat >> '" + out + "'; echo $$ >> '" + out +
                      "'; yes | head -n 1 >> '" + out + "' 2>&1");
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  signal(SIGPIPE, SIG_DFL);
  ASSERT_TRUE(status.Succeeded());
  std::string text = test::ReadFile(out);
  std::istringstream lines(text);
  std::string blockedLine, ignoredLine, group, shell;
  std::getline(lines, blockedLine);
  std::getline(lines, ignoredLine);
  std::getline(lines, group);
  std::getline(lines, shell);
  ASSERT_TRUE(blockedLine.starts_with("SigBlk:\t") && ignoredLine.starts_with("SigIgn:\t")) << text;
  // The classic signals 1..31 (SIGPIPE among them); the C library keeps some real-time ones.
  EXPECT_EQ(std::stoull(blockedLine.substr(8), nullptr, 16) & 0x7fffffffu, 0u) << text;
  EXPECT_EQ(std::stoull(ignoredLine.substr(8), nullptr, 16) & 0x7fffffffu, 0u) << text;
  // `yes` ends on SIGPIPE without a word; the shell leads its own process group.
  EXPECT_EQ(text.find("Broken pipe"), std::string::npos) << text;
  EXPECT_EQ(std::stoi(group), std::stoi(shell)) << text;
}

// At its time limit a command is ended with its whole group: a pipeline, a child left in the
// background, and one that ignores SIGTERM (killed after the grace period).
TEST(RunShellCommand, ATimeLimitEndsTheWholeGroup) {
  test::TempDir dir;
  using namespace std::chrono_literals;
  struct Case {
    std::string command;
    bool ignoresTerm;
  } cases[] = {
      {"sleep 300 & echo $! > '" + dir.file("child") + "'; sleep 300 | cat", false},
      {"trap '' TERM; sleep 300 & echo $! > '" + dir.file("child") + "'; while :; do sleep 1; done",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::filesystem::remove(dir.file("child"));
    auto start = std::chrono::steady_clock::now();
    CommandStatus status = RunShellCommand(c.command, {500ms, 500ms});
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(status.started);
    EXPECT_TRUE(status.timedOut);
    EXPECT_FALSE(status.Succeeded());
    EXPECT_EQ(status.code, c.ignoresTerm ? SIGKILL : SIGTERM);
    EXPECT_LT(took, 60s);  // far below the commands' own 300 seconds
    pid_t child = std::stoi(test::ReadFile(dir.file("child")));
    // The child may linger as a zombie of init for a moment; a live one would still be
    // sleeping.
    EXPECT_TRUE(test::WaitFor([child] {
      std::string state = test::ReadFile("/proc/" + std::to_string(child) + "/stat");
      return state.empty() || state.find(") Z ") != std::string::npos;
    }));
  }
  CommandStatus quick = RunShellCommand("exit 4", {5s, 5s});
  EXPECT_FALSE(quick.timedOut);
  EXPECT_EQ(quick.code, 4);
}

}  // namespace
}  // namespace quillon
