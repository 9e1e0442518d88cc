#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/Process.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

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

}  // namespace
}  // namespace quillon
