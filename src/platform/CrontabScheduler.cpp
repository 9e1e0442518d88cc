#include "platform/CrontabScheduler.h"

#include <cstdio>
#include <sstream>
#include <string_view>

#include "common/Text.h"

namespace quillon {
namespace {

std::string BeginMark(const std::string& name) {
  return "# >>> Quillon task " + EscapeItemName(name) + " >>>";
}
std::string EndMark(const std::string& name) {
  return "# <<< Quillon task " + EscapeItemName(name) + " <<<";
}
constexpr std::string_view kTriggerMark = "# X-Quillon-Trigger: ";
constexpr std::string_view kRunMark = "# X-Quillon-Run: ";

// A crontab field: "*" for all values (and for none, which no entry has), runs as "a-b".
std::string FieldText(uint64_t bits, int lo, int hi) {
  if (bits == 0) return "*";
  return CalendarSetText(bits, lo, hi, "-", [](int v) { return std::to_string(v); });
}

std::string CronLine(const CalendarEntry& e, const std::optional<DayCycle>& cycle,
                     const std::string& run) {
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d", e.from.year, e.from.month, e.from.day);
  std::string fields = FieldText(e.minutes, 0, 59) + " " + FieldText(e.hours, 0, 23) + " ";
  std::string guard;
  if (e.once) {
    fields += std::to_string(e.from.day) + " " + std::to_string(e.from.month) + " *";
    guard = std::string("[ \"$(date +%Y%m%d)\" = ") + day + " ]";
  } else {
    fields += FieldText(e.monthDays, 1, 31) + " " + FieldText(e.months, 1, 12) + " " +
              FieldText(e.weekdays, 0, 6);
    guard = std::string("[ \"$(date +%Y%m%d)\" -ge ") + day + " ]";
    if (cycle) guard += " && " + DayCycleShellTest(*cycle);
  }
  // cron turns an unescaped "%" of the command into a line end.
  std::string command;
  guard.append(" && ").append(run);
  for (char ch : guard) {
    if (ch == '%') command += '\\';
    command += ch;
  }
  return fields + " " + command;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string WithoutCr(const std::string& line) {
  return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

}  // namespace

std::optional<std::string> CrontabScheduler::ShellWord(const std::string& word) {
  if (word.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos) return std::nullopt;
  return SingleQuoted(word);
}

SaveStage CrontabScheduler::BlockText(const std::string& name, const WorkItem& item,
                                      const std::string& home, std::string* block) {
  if (item.program.empty() || item.program.front() != '/') return SaveStage::ProgramName;
  std::optional<std::string> program = ShellWord(item.program);
  if (!program) return SaveStage::ProgramName;
  std::string run;
  if (!item.workingFolder.empty()) {
    std::optional<std::string> folder = ShellWord(item.workingFolder);
    if (!folder || item.workingFolder.front() != '/') return SaveStage::WorkingFolder;
    run += "cd " + *folder + " && ";
  }
  if (std::string programHome = ProgramHomeFor(item.workingFolder, home); !programHome.empty()) {
    std::optional<std::string> value = ShellWord(programHome);
    if (!value) return SaveStage::WorkingFolder;
    run += "QUILLON_HOME=" + *value + " ";
  }
  run += *program;
  for (const std::string& argument : item.arguments) {
    std::optional<std::string> word = ShellWord(argument);
    if (!word) return SaveStage::Parameters;
    run += " " + *word;
  }
  std::vector<CalendarEntry> entries = CalendarEntriesOf(item.trigger);
  if (entries.empty()) return SaveStage::Trigger;

  std::string text = BeginMark(name) + "\n" + std::string(kTriggerMark) +
                     TriggerToText(item.trigger) + "\n" + std::string(kRunMark) + RunText(item) +
                     "\n";
  std::optional<DayCycle> cycle = DayCycleOf(item.trigger);
  for (const CalendarEntry& entry : entries) text += CronLine(entry, cycle, run) + "\n";
  *block = text + EndMark(name) + "\n";
  return SaveStage::Done;
}

CrontabScheduler::BlockPlace CrontabScheduler::FindBlock(const std::vector<std::string>& lines,
                                                         const std::string& name) {
  BlockPlace place;
  std::string begin = BeginMark(name), end = EndMark(name);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (WithoutCr(lines[i]) != begin) continue;
    place.found = true;
    place.first = i;
    for (size_t j = i + 1; j < lines.size(); ++j) {
      std::string line = WithoutCr(lines[j]);
      if (line == end) {
        place.closed = true;
        place.last = j;
        return place;
      }
      if (line.starts_with(kTriggerMark)) {
        place.trigger = TriggerFromText(line.substr(kTriggerMark.size()));
      } else if (line.starts_with(kRunMark)) {
        place.run = RunFromText(line.substr(kRunMark.size()));
      }
    }
    return place;
  }
  return place;
}

std::optional<std::string> CrontabScheduler::ReadCrontab() {
  CommandOutput listed = commands_.Run({"crontab", "-l"});
  if (listed.Succeeded()) return listed.out;
  if (listed.started && listed.exited && listed.err.find("no crontab for") != std::string::npos) {
    return std::string();
  }
  return std::nullopt;
}

bool CrontabScheduler::Install(const std::string& text) {
  return commands_.Run({"crontab", "-"}, text).Succeeded();
}

ItemLookup CrontabScheduler::Find(const std::string& name,
                                  std::optional<ScheduleTrigger>* trigger) {
  std::optional<std::string> crontab = ReadCrontab();
  if (!crontab) return ItemLookup::Failed;
  BlockPlace place = FindBlock(LinesOf(*crontab), name);
  if (!place.found) return ItemLookup::Missing;
  if (!place.closed) return ItemLookup::Foreign;
  if (trigger) *trigger = place.trigger;
  return ItemLookup::Found;
}

SaveStage CrontabScheduler::Save(const std::string& name, const WorkItem& item) {
  std::string block;
  SaveStage stage = BlockText(name, item, folders_.home, &block);
  if (stage != SaveStage::Done) return stage;
  std::optional<std::string> crontab = ReadCrontab();
  if (!crontab) return SaveStage::Save;
  std::vector<std::string> lines = LinesOf(*crontab);
  BlockPlace place = FindBlock(lines, name);
  if (place.found && !place.closed) return SaveStage::Save;
  std::string text;
  if (place.found) {
    text = Joined({lines.begin(), lines.begin() + static_cast<ptrdiff_t>(place.first)}) + block +
           Joined({lines.begin() + static_cast<ptrdiff_t>(place.last) + 1, lines.end()});
  } else {
    text = Joined(lines) + block;
  }
  return Install(text) ? SaveStage::Done : SaveStage::Save;
}

bool CrontabScheduler::Delete(const std::string& name) {
  std::optional<std::string> crontab = ReadCrontab();
  if (!crontab) return false;
  std::vector<std::string> lines = LinesOf(*crontab);
  BlockPlace place = FindBlock(lines, name);
  if (!place.found || !place.closed) return false;
  lines.erase(lines.begin() + static_cast<ptrdiff_t>(place.first),
              lines.begin() + static_cast<ptrdiff_t>(place.last) + 1);
  return Install(Joined(lines));
}

std::optional<WorkItem> CrontabScheduler::ReadItem(const std::string& name) {
  std::optional<std::string> crontab = ReadCrontab();
  if (!crontab) return std::nullopt;
  BlockPlace place = FindBlock(LinesOf(*crontab), name);
  if (!place.found || !place.closed || !place.trigger || !place.run) return std::nullopt;
  WorkItem item = *place.run;
  item.trigger = *place.trigger;
  return item;
}

std::optional<TimePoint> CrontabScheduler::NextRun(const std::string&,
                                                   const ScheduleTrigger& trigger, TimePoint now) {
  return NextTriggerRun(trigger, now);
}

}  // namespace quillon
