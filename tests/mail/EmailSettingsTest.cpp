// The e-mail settings rules that need no server: taking the fields, OK, the task mapping.
#include <gtest/gtest.h>

#include "mail/EmailSettings.h"
#include "tasks/TaskDefinition.h"

namespace quillon {
namespace {

TEST(EmailSettings, TakingTheFieldsDropsSurroundingWhiteSpace) {
  const EmailSettings taken =
      TakeEmailSettings({true, " \tops@example.com ", "  mail.example.com:2525\t", "\n a@x; b@y "});
  EXPECT_EQ(taken, (EmailSettings{true, "ops@example.com", "mail.example.com:2525", "a@x; b@y"}));
  EXPECT_EQ(TakeEmailSettings({false, "   ", "", "\t"}), (EmailSettings{false, "", "", ""}));
}

TEST(EmailSettings, OkRule) {
  const struct {
    EmailSettings taken;
    std::string refusal;  // "" when taken
    EmailSettings after;
  } cases[] = {
      {{true, "ops@example.com", "mail", "a@x"}, "", {true, "ops@example.com", "mail", "a@x"}},
      {{true, "", "mail", "a@x"}, "Fields cannot be blank.", {}},
      {{true, "ops@example.com", "", "a@x"}, "Fields cannot be blank.", {}},
      {{true, "ops@example.com", "mail", ""}, "Fields cannot be blank.", {}},
      {{true, "ops@example.com", "mail", ";,;"}, "Invalid recipient address.", {}},
      {{true, "ops@example.com", "mail", "a@x; ops@example.org> SIZE=1 <x"},
       "Invalid recipient address.",
       {}},
      {{true, "ops", "mail", "a@x"}, "Invalid sender address.", {}},
      {{true, "ops@example.com\x01", "mail", "a@x"}, "Invalid sender address.", {}},
      // Turned off, nothing is checked: the fields are emptied.
      {{false, "ops", "mail", "<a@x>"}, "", {false, "", "", ""}},
      {{false, "", "", ""}, "", {false, "", "", ""}},
  };
  for (const auto& c : cases) {
    EmailSettings settings = c.taken;
    const auto problem = FinishEmailSettings(settings);
    EXPECT_EQ(std::string(problem.value_or("")), c.refusal) << c.taken.from << "|" << c.taken.to;
    if (!problem) {
      EXPECT_EQ(settings, c.after);
    }
  }
}

TEST(EmailSettings, TaskRecordsMapBothWays) {
  TaskDefinition task;
  task.useEmail = true;
  task.emailFrom = "ops@example.com";
  task.emailServer = "mail.example.com";
  task.emailTo = "a@x;b@y";
  const EmailSettings settings = EmailSettingsOfTask(task);
  EXPECT_EQ(settings, (EmailSettings{true, "ops@example.com", "mail.example.com", "a@x;b@y"}));

  TaskDefinition back = task;
  ApplyEmailSettingsToTask(EmailSettings{}, back);
  EXPECT_FALSE(back.useEmail);
  EXPECT_EQ(back.emailFrom + back.emailServer + back.emailTo, "");
  ApplyEmailSettingsToTask(settings, back);
  EXPECT_EQ(back, task);
}

}  // namespace
}  // namespace quillon
