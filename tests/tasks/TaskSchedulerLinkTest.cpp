// The scheduler link: the dialog's values and the trigger they make, ScheduleTask's results and
// messages, the schedule texts, and the task manager's "Schedule" button. Runs with TZ=UTC.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/CommandLine.h"
#include "platform/CrontabScheduler.h"
#include "profiles/IniFile.h"
#include "support/TestSupport.h"
#include "tasks/ScheduleSettings.h"
#include "tasks/TaskSchedulerLink.h"
#include "tasks/TaskSchedules.h"
#include "tasks/TaskShortcuts.h"

namespace quillon {
namespace {

ScheduleSettings Settings(CivilDate start, int hour, int minute, int repeat, bool every = false,
                          int hours = 1, int minutes = 0, int times = 2) {
  ScheduleSettings s;
  s.startDate = start;
  s.startHour = hour;
  s.startMinute = minute;
  s.repeat = repeat;
  s.every = every;
  s.hours = hours;
  s.minutes = minutes;
  s.times = times;
  return s;
}

// A scheduler that keeps its items in memory and answers as told.
class MemoryScheduler : public SchedulerService {
 public:
  std::string Kind() const override { return "memory"; }
  ItemLookup Find(const std::string& name, std::optional<ScheduleTrigger>* trigger) override {
    if (lookup) return *lookup;
    auto it = items.find(name);
    if (it == items.end()) return ItemLookup::Missing;
    if (trigger) *trigger = it->second.trigger;
    return ItemLookup::Found;
  }
  SaveStage Save(const std::string& name, const WorkItem& item) override {
    saved.push_back(item);
    if (stage == SaveStage::Done) items[name] = item;
    return stage;
  }
  bool Delete(const std::string& name) override { return items.erase(name) == 1; }
  std::optional<TimePoint> NextRun(const std::string&, const ScheduleTrigger& trigger,
                                   TimePoint now) override {
    return NextTriggerRun(trigger, now);
  }
  std::optional<WorkItem> ReadItem(const std::string& name) override {
    auto it = items.find(name);
    if (it == items.end()) return std::nullopt;
    return it->second;
  }
  std::string Unavailable() const override { return unavailable; }
  Lingering UserLingering() override { return lingering; }
  bool EnableLingering(std::string*) override {
    lingering = Lingering::On;
    return true;
  }

  std::map<std::string, WorkItem> items;
  std::vector<WorkItem> saved;
  std::optional<ItemLookup> lookup;
  SaveStage stage = SaveStage::Done;
  std::string unavailable;
  Lingering lingering = Lingering::NotNeeded;
};

// The dialog: records the preset and answers with `entered`, or cancels.
class AnsweringEditor : public ScheduleEditor {
 public:
  bool Edit(ScheduleSettings& settings, const ScheduleNotes& notes) override {
    presets.push_back(settings);
    offeredLingering.push_back(static_cast<bool>(notes.enableLingering));
    if (!entered) return false;
    settings = *entered;
    return true;
  }
  std::optional<ScheduleSettings> entered;
  std::vector<ScheduleSettings> presets;
  std::vector<bool> offeredLingering;
};

TEST(ScheduleSettings, TheDialogsValuesMakeTheTrigger) {
  struct Case {
    const char* what;
    ScheduleSettings settings;
    std::function<void(ScheduleTrigger&)> expect;
  };
  const Case cases[] = {
      {"once", Settings({2024, 5, 15}, 9, 30, 0), [](ScheduleTrigger&) {}},
      {"daily", Settings({2024, 5, 15}, 9, 30, 1),
       [](ScheduleTrigger& t) {
         t.type = TriggerType::Daily;
         t.daysInterval = 1;
       }},
      {"weekly from a Wednesday", Settings({2024, 5, 15}, 9, 30, 2),
       [](ScheduleTrigger& t) {
         t.type = TriggerType::Weekly;
         t.weeksInterval = 1;
         t.daysOfWeek = 8;
       }},
      {"monthly from the 31st", Settings({2024, 5, 31}, 9, 30, 3),
       [](ScheduleTrigger& t) {
         t.type = TriggerType::MonthlyDate;
         t.beginDay = 31;
         t.monthDays = 1 << 30;
         t.months = 4095;
       }},
      {"every 1 hour 30 minutes for 4 times", Settings({2024, 5, 15}, 9, 30, 0, true, 1, 30, 4),
       [](ScheduleTrigger& t) {
         t.minutesInterval = 90;
         t.minutesDuration = 360;
       }},
      {"every numbers while every is off", Settings({2024, 5, 15}, 9, 30, 0, false, 1, 30, 4),
       [](ScheduleTrigger&) {}},
  };
  for (const Case& c : cases) {
    ScheduleTrigger expected;
    expected.beginYear = 2024;
    expected.beginMonth = 5;
    expected.beginDay = 15;
    expected.startHour = 9;
    expected.startMinute = 30;
    c.expect(expected);
    ScheduleTrigger made = TriggerFromSchedule(c.settings);
    EXPECT_EQ(made, expected) << c.what;

    // Read back into a dialog that starts elsewhere: the same values, seconds 0; without a
    // duration "Every" stays as it was.
    ScheduleSettings preset = Settings({2030, 1, 1}, 1, 2, 0, false, 5, 6, 7);
    preset.startSecond = 42;
    PresetScheduleFromTrigger(made, preset);
    ScheduleSettings back = c.settings;
    if (!back.every) {
      back.hours = 5;
      back.minutes = 6;
      back.times = 7;
    }
    EXPECT_EQ(preset, back) << c.what;
  }
}

TEST(ScheduleSettings, TheEveryNumbersAreCheckedInOrder) {
  struct Case {
    bool every;
    const char *hours, *minutes, *times;
    std::optional<ScheduleNumber> field;
    const char* message;
  };
  const Case cases[] = {
      {true, "800", "59", "1440", std::nullopt, ""},
      {true, " 0 ", "+0", "2", std::nullopt, ""},
      {true, "801", "60", "1", ScheduleNumber::Hours, "Please enter an integer between 0 and 800."},
      {true, "1", "60", "1", ScheduleNumber::Minutes, "Please enter an integer between 0 and 59."},
      {true, "1", "0", "1", ScheduleNumber::Times, "Please enter an integer between 2 and 1440."},
      {true, "1", "0", "1441", ScheduleNumber::Times,
       "Please enter an integer between 2 and 1440."},
      {true, "1h", "0", "2", ScheduleNumber::Hours, "Please enter an integer."},
      {false, "1", "", "2", ScheduleNumber::Minutes, "Please enter an integer."},
      {false, "-5", "99", "0", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    ScheduleSettings settings;
    settings.every = c.every;
    std::optional<ScheduleNumberError> error =
        TakeScheduleNumbers(c.hours, c.minutes, c.times, settings);
    ASSERT_EQ(error.has_value(), c.field.has_value()) << c.hours << " " << c.minutes;
    if (error) {
      EXPECT_EQ(error->field, *c.field);
      EXPECT_EQ(error->message, c.message);
      EXPECT_EQ(settings.hours, 1);  // unchanged
    } else {
      EXPECT_EQ(settings.hours, std::stoi(c.hours));
      EXPECT_EQ(settings.times, std::stoi(c.times));
    }
  }
}

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() { link.SetTask("/usr/bin/quillon", "/home/ann/.config/quillon/QvrTask.ini", 2, 77); }
  TaskSchedulerLink& Connected() {
    EXPECT_TRUE(link.ConnectScheduler());
    return link;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : messages.shown) {
      EXPECT_EQ(shown.icon, MessageIcon::Warning);
      texts.push_back(shown.text);
    }
    return texts;
  }

  test::RecordingMessages messages;
  AnsweringEditor editor;
  FixedClock clock{FromLocalTime(2024, 5, 14, 16, 20, 33)};
  MemoryScheduler* scheduler = new MemoryScheduler;
  TaskSchedulerLink link{messages, editor, clock,
                         [this] { return std::unique_ptr<SchedulerService>(scheduler); }};
};

TEST_F(LinkTest, ANewItemStartsFromNowAndSavesWhatWasEntered) {
  editor.entered = Settings({2024, 5, 15}, 9, 30, 2, true, 1, 30, 4);
  EXPECT_EQ(Connected().ScheduleTask("Nightly"), kScheduleDone);
  ASSERT_EQ(editor.presets.size(), 1u);
  ScheduleSettings now = Settings({2024, 5, 14}, 16, 20, 0);
  now.startSecond = 33;
  EXPECT_EQ(editor.presets[0], now);
  ASSERT_EQ(scheduler->saved.size(), 1u);
  const WorkItem& item = scheduler->saved[0];
  EXPECT_EQ(item.program, "/usr/bin/quillon");
  EXPECT_EQ(item.arguments, (std::vector<std::string>{"/home/ann/.config/quillon/QvrTask.ini",
                                                      "SESSION02", "-TaskID", "77"}));
  EXPECT_EQ(item.workingFolder, "/home/ann/.config/quillon/");
  EXPECT_EQ(item.trigger, TriggerFromSchedule(*editor.entered));
  EXPECT_TRUE(link.TaskExists("Nightly"));
  EXPECT_TRUE(messages.shown.empty());

  // Editing presets the dialog from the item; cancelling changes nothing.
  editor.entered.reset();
  EXPECT_EQ(link.ScheduleTask("Nightly"), kScheduleCancelled);
  EXPECT_EQ(editor.presets[1], Settings({2024, 5, 15}, 9, 30, 2, true, 1, 30, 4));
  EXPECT_EQ(scheduler->saved.size(), 1u);

  // A cancelled new item leaves nothing behind.
  EXPECT_EQ(link.ScheduleTask("Other"), kScheduleCancelled);
  EXPECT_FALSE(link.TaskExists("Other"));
}

TEST_F(LinkTest, WhatStopsASchedule) {
  TaskSchedulerLink unconnected{messages, editor, clock, [] { return nullptr; }};
  EXPECT_FALSE(unconnected.ConnectScheduler());
  EXPECT_EQ(unconnected.ScheduleTask("Nightly"), kScheduleFailed);
  EXPECT_EQ(unconnected.GetScheduleText("Nightly"), "Not Set");
  EXPECT_EQ(unconnected.NextRunText(), "");
  EXPECT_TRUE(messages.shown.empty());

  editor.entered = Settings({2024, 5, 15}, 9, 30, 1);
  struct Case {
    std::optional<ItemLookup> lookup;
    SaveStage stage;
    int32_t result;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {ItemLookup::Foreign, SaveStage::Done, kScheduleForeign, nullptr},
      {ItemLookup::BadName, SaveStage::Done, kScheduleFailed, "Bad task or program name."},
      {ItemLookup::Failed, SaveStage::Done, kScheduleFailed, "Err: Access denied"},
      {ItemLookup::Found, SaveStage::Done, kScheduleFailed, "Err: rTrigger"},
      {std::nullopt, SaveStage::ProgramName, kScheduleFailed, "Err: program name"},
      {std::nullopt, SaveStage::Parameters, kScheduleFailed, "Err: parameters"},
      {std::nullopt, SaveStage::WorkingFolder, kScheduleFailed, "Err: working dir"},
      {std::nullopt, SaveStage::Trigger, kScheduleFailed, "Err: Add trigger"},
      {std::nullopt, SaveStage::Save, kScheduleFailed,
       "Task cannot be scheduled. Make sure:\n\n1. User ID/Password is correctly entered on the "
       "Schedule screen.\n2. The task name has not been used by others in this computer."},
  };
  Connected();
  for (const Case& c : cases) {
    messages.shown.clear();
    scheduler->lookup = c.lookup;
    scheduler->stage = c.stage;
    EXPECT_EQ(link.ScheduleTask("Nightly"), c.result) << (c.message ? c.message : "foreign");
    EXPECT_EQ(Texts(),
              c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
  }
  EXPECT_TRUE(scheduler->items.empty());
  scheduler->lookup.reset();

  messages.shown.clear();
  EXPECT_EQ(link.ScheduleTask(""), kScheduleFailed);
  link.SetTask("", "/q/QvrTask.ini", 2, 77);
  EXPECT_EQ(link.ScheduleTask("Nightly"), kScheduleFailed);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"Bad task or program name.", "Bad task or program name."}));

  messages.shown.clear();
  EXPECT_FALSE(link.DeleteScheduledTask("Nightly"));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Cannot delete task."}));
}

TEST_F(LinkTest, ScheduleTextAndNextRun) {
  Connected();
  EXPECT_EQ(link.GetScheduleText("Nightly"), "Not Set");
  EXPECT_EQ(link.NextRunText(), "Never");

  editor.entered = Settings({2024, 5, 15}, 21, 5, 2, true, 2, 0, 3);
  ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleDone);
  EXPECT_EQ(link.GetScheduleText("Nightly"),
            "Every 2 hour(s) from 9:05 PM, 3 times, every Wed of every week, starting 5/15/2024");
  EXPECT_EQ(link.NextRunText(), "Wed 05/15/2024 09:05:00 PM");
  clock.Set(FromLocalTime(2024, 5, 16, 0, 0, 0));
  link.GetScheduleText("Nightly");
  EXPECT_EQ(link.NextRunText(), "Thu 05/16/2024 01:05:00 AM");

  editor.entered = Settings({2024, 5, 15}, 21, 5, 0);  // once, now past
  ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleDone);
  EXPECT_EQ(link.GetScheduleText("Nightly"), "At 9:05 PM on 5/15/2024");
  EXPECT_EQ(link.NextRunText(), "Never");

  EXPECT_TRUE(link.DeleteScheduledTask("Nightly"));
  EXPECT_FALSE(link.TaskExists("Nightly"));
}

TEST_F(LinkTest, TheTaskManagersScheduleButton) {
  Connected();
  test::TempDir dir;
  const std::string store = dir.file("QvrTask.ini");
  editor.entered = Settings({2024, 5, 15}, 9, 30, 1);
  std::optional<ScheduleLabels> labels =
      ScheduleSavedTask(link, messages, "Nightly", 5, "/opt/quillon", store);
  ASSERT_TRUE(labels);
  EXPECT_EQ(labels->schedule, "At 9:30 AM every day, starting 5/15/2024");
  EXPECT_EQ(labels->nextRun, "Wed 05/15/2024 09:30:00 AM");
  // The task got its id, which the entry carries.
  const int32_t id = ReadNumber(5, "TaskID", store);
  EXPECT_GT(id, 0);
  EXPECT_EQ(scheduler->saved.back().arguments,
            (std::vector<std::string>{store, "SESSION05", "-TaskID", std::to_string(id)}));
  EXPECT_EQ(scheduler->saved.back().program, "/opt/quillon");
  EXPECT_EQ(scheduler->saved.back().workingFolder, dir.path().string() + "/");
  EXPECT_TRUE(messages.shown.empty());

  // An entry of that name that runs another task is not this task's to change.
  scheduler->items["Theirs"] = {
      "/opt/quillon", ScheduledRunArguments("/other/QvrTask.ini", 5, 9), "/other/", {}};
  EXPECT_EQ(ScheduleSavedTask(link, messages, "Theirs", 5, "/opt/quillon", store), std::nullopt);
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         "The task name has been used by other users. Please use a different "
                         "connection profile name."}));
  messages.shown.clear();

  scheduler->stage = SaveStage::Trigger;
  labels = ScheduleSavedTask(link, messages, "Other", 6, "/opt/quillon", store);
  ASSERT_TRUE(labels);
  EXPECT_EQ(labels->schedule, "Not Set");
  EXPECT_EQ(labels->nextRun, "Never");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Err: Add trigger",
                                               "Task \"Other\" has NOT been scheduled!"}));

  messages.shown.clear();
  scheduler->lookup = ItemLookup::Foreign;
  EXPECT_EQ(ScheduleSavedTask(link, messages, "Theirs", 7, "/opt/quillon", store), std::nullopt);
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         "The task name has been used by other users. Please use a different "
                         "connection profile name."}));
}

// What the dialog cannot show of a trigger made elsewhere (quillon-tool) stays while the
// repetition and start date do; lingering is offered while timers stop at log-out.
TEST_F(LinkTest, AnEditKeepsWhatTheDialogCannotShow) {
  Connected();
  ScheduleTrigger made = TriggerFromSchedule(Settings({2024, 5, 15}, 9, 30, 2));
  made.daysOfWeek = 2 | 8 | 32;  // Monday, Wednesday, Friday
  made.weeksInterval = 2;
  scheduler->items["Nightly"] = {
      "/usr/bin/quillon", ScheduledRunArguments("/home/ann/.config/quillon/QvrTask.ini", 2, 77),
      "/home/ann/.config/quillon/", made};
  scheduler->lingering = Lingering::Off;
  editor.entered = Settings({2024, 5, 15}, 7, 0, 2);  // only the time changed
  ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleDone);
  EXPECT_EQ(editor.offeredLingering, std::vector<bool>{true});
  ScheduleTrigger kept = made;
  kept.startHour = 7;
  kept.startMinute = 0;
  EXPECT_EQ(scheduler->items["Nightly"].trigger, kept);

  editor.entered = Settings({2024, 5, 16}, 7, 0, 2);  // another start day: the dialog's weekday
  ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleDone);
  EXPECT_EQ(scheduler->items["Nightly"].trigger, TriggerFromSchedule(*editor.entered));
  scheduler->lingering = Lingering::NotNeeded;
  ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleDone);
  EXPECT_EQ(editor.offeredLingering, (std::vector<bool>{true, true, false}));

  // A scheduler that cannot save makes nothing and says nothing here; the task manager shows why.
  scheduler->unavailable = "Neither systemd user timers nor cron can be used here.";
  EXPECT_FALSE(link.CanSchedule());
  EXPECT_EQ(link.SchedulerProblem(), scheduler->unavailable);
  EXPECT_EQ(link.ScheduleTask("Nightly"), kScheduleFailed);
  EXPECT_TRUE(messages.shown.empty());
}

// Through a real scheduler adapter, the dialog reads back exactly what was entered.
TEST(TaskSchedulerLink, ACrontabItemReadsBackIntoTheDialog) {
  class MemoryCrontab : public CommandRunner {
   public:
    CommandOutput Run(const std::vector<std::string>& argv, std::string_view input) override {
      CommandOutput out;
      out.started = out.exited = true;
      out.code = 0;
      if (argv.size() == 2 && argv[1] == "-l") out.out = text;
      if (argv.size() == 2 && argv[1] == "-") text = input;
      return out;
    }
    std::string text;
  } crontab;
  test::RecordingMessages messages;
  AnsweringEditor editor;
  FixedClock clock{FromLocalTime(2024, 5, 14, 16, 20, 33)};
  TaskSchedulerLink link{messages, editor, clock, [&] {
                           return std::make_unique<CrontabScheduler>(
                               crontab, SchedulerFolders{"/home/ann", "", "ann"});
                         }};
  ASSERT_TRUE(link.ConnectScheduler());
  link.SetTask("/usr/bin/quillon", "/srv/QvrTask.ini", 4, 12);
  for (const ScheduleSettings& entered :
       {Settings({2024, 5, 31}, 23, 59, 3, true, 800, 59, 2), Settings({2024, 2, 29}, 0, 0, 0),
        Settings({2025, 1, 1}, 12, 0, 2, true, 0, 1, 1440)}) {
    editor.entered = entered;
    ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleDone);
    editor.entered.reset();
    ASSERT_EQ(link.ScheduleTask("Nightly"), kScheduleCancelled);
    EXPECT_EQ(editor.presets.back(), entered);
  }
  EXPECT_TRUE(messages.shown.empty());
}

// The words a scheduled run and a shortcut start the program with read back as their task.
TEST(TaskCommandLines, TheProgramReadsTheArgumentsItIsStartedWith) {
  std::vector<std::string> scheduled =
      ScheduledRunArguments("/home/ann/my tasks/QvrTask.ini", 3, 1715765401);
  std::vector<std::string> shortcut =
      ShortcutArguments("/home/ann/my tasks/QvrTask.ini", 19, 1715765400);
  auto parse = [](std::vector<std::string> words) {
    return ParseTaskCommandLine(words, "/unused/");
  };
  ParsedCommandLine run = parse(scheduled);
  ASSERT_FALSE(run.error);
  EXPECT_EQ(run.task.storePath, "/home/ann/my tasks/QvrTask.ini");
  EXPECT_EQ(run.task.slot, 3);
  EXPECT_FALSE(run.task.notify || run.task.showWindow);
  EXPECT_EQ(run.task.taskId, 1715765401);

  run = parse(shortcut);
  ASSERT_FALSE(run.error);
  EXPECT_EQ(run.task.storePath, "/home/ann/my tasks/QvrTask.ini");
  EXPECT_EQ(run.task.slot, 19);
  EXPECT_TRUE(run.task.notify && run.task.showWindow);
  EXPECT_EQ(run.task.taskId, 1715765400);
}

}  // namespace
}  // namespace quillon
