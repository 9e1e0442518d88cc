#include "platform/SystemdTimerScheduler.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/Text.h"
#include "platform/UserName.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr size_t kUnitNameMax = 255;
constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

std::string Padded(int value) {
  char text[12];  // room for any int
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// An OnCalendar= set: "*" for all values, runs as "a..b", weekdays by their names.
std::string SetText(uint64_t bits, int lo, int hi, bool weekdayNames = false) {
  return CalendarSetText(bits, lo, hi, "..", [weekdayNames](int v) {
    return weekdayNames ? std::string(kWeekdays[v]) : Padded(v);
  });
}

uint64_t FromValue(int lo, int hi, int first) {  // the bits of first..hi in a lo-based set
  uint64_t bits = 0;
  for (int v = first; v <= hi; ++v) bits |= uint64_t{1} << (v - lo);
  return bits;
}

std::vector<std::string> EntryValues(const CalendarEntry& e) {
  std::string time = SetText(e.hours, 0, 23) + ":" + SetText(e.minutes, 0, 59) + ":00";
  char day[32];
  std::snprintf(day, sizeof day, "%04d-%02d-%02d", e.from.year, e.from.month, e.from.day);
  if (e.once) return {std::string(day) + " " + time};

  std::string weekday =
      e.weekdays && e.weekdays != 0x7F ? SetText(e.weekdays, 0, 6, true) + " " : "";
  uint64_t months = e.months ? e.months : FromValue(1, 12, 1);
  uint64_t days = e.monthDays ? e.monthDays : FromValue(1, 31, 1);
  std::string year = std::to_string(e.from.year);
  auto value = [&](const std::string& y, uint64_t m, uint64_t d) {
    return weekday + y + "-" + SetText(m, 1, 12) + "-" + SetText(d, 1, 31) + " " + time;
  };
  // "Not before the from day" split into the rest of its month, the rest of its year and the
  // years after it.
  std::vector<std::string> values;
  if (e.from.month == 1 && e.from.day == 1) return {value(year + "/1", months, days)};
  if (e.from.day == 1) {
    if (uint64_t m = months & FromValue(1, 12, e.from.month))
      values.push_back(value(year, m, days));
  } else {
    uint64_t d = days & FromValue(1, 31, e.from.day);
    if ((months >> (e.from.month - 1) & 1) && d) {
      values.push_back(value(year, uint64_t{1} << (e.from.month - 1), d));
    }
    if (e.from.month < 12) {
      if (uint64_t m = months & FromValue(1, 12, e.from.month + 1)) {
        values.push_back(value(year, m, days));
      }
    }
  }
  values.push_back(value(std::to_string(e.from.year + 1) + "/1", months, days));
  return values;
}

// Inside double quotes with C escapes; "%" is a specifier and "$" a variable everywhere.
std::optional<std::string> Quoted(const std::string& word, bool dollars) {
  std::string text = "\"";
  for (char ch : word) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == 0) return std::nullopt;
    if (c == '\\' || c == '"') {
      text += '\\';
      text += ch;
    } else if (c == '%') {
      text += "%%";
    } else if (c == '$' && dollars) {
      text += "$$";
    } else if (IsControl(c)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      text += hex;
    } else {
      text += ch;
    }
  }
  return text + "\"";
}

std::string DescriptionOf(const std::string& name) {
  std::string text = "Quillon task [";
  for (char ch : name) {
    if (ch == '%') {
      text += "%%";
    } else {
      text += IsControl(static_cast<unsigned char>(ch)) ? '?' : ch;
    }
  }
  return text + "]";
}

// A normalized absolute path without a trailing "/", or nullopt.
std::optional<std::string> AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  std::string normal = fs::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

std::string Trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(Trimmed(line));
  return lines;
}

// `count` units (`perSecond` to a second) after the epoch; a count past the end of TimePoint's
// range gives its last second rather than wrapping around.
TimePoint SinceEpoch(int64_t count, int64_t perSecond) {
  return ClampedTimePoint(
      std::chrono::sys_seconds(std::chrono::seconds(count / perSecond)),
      std::chrono::nanoseconds(count % perSecond * (1'000'000'000 / perSecond)));
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string SystemdTimerScheduler::UnitBaseName(const std::string& name) {
  std::string base = "quillon-" + EscapeItemName(name);
  if (base.size() + std::string_view(".service").size() > kUnitNameMax) return {};
  return base;
}

std::vector<std::string> SystemdTimerScheduler::OnCalendarValues(const ScheduleTrigger& trigger) {
  std::vector<std::string> values;
  for (const CalendarEntry& entry : CalendarEntriesOf(trigger)) {
    for (std::string& value : EntryValues(entry)) values.push_back(std::move(value));
  }
  return values;
}

std::optional<std::string> SystemdTimerScheduler::ExecWord(const std::string& word) {
  if (word == ";") return std::nullopt;
  return Quoted(word, true);
}

SaveStage SystemdTimerScheduler::UnitTexts(const std::string& name, const WorkItem& item,
                                           const std::string& home, std::string* service,
                                           std::string* timer) {
  std::string base = UnitBaseName(name);
  if (base.empty()) return SaveStage::Save;
  std::optional<std::string> program = AbsolutePath(item.program);
  std::optional<std::string> programWord = program ? ExecWord(*program) : std::nullopt;
  if (!programWord) return SaveStage::ProgramName;
  std::string exec = *programWord;
  for (const std::string& argument : item.arguments) {
    std::optional<std::string> word = ExecWord(argument);
    if (!word) return SaveStage::Parameters;
    exec += " " + *word;
  }
  std::string workingDirectory;
  if (!item.workingFolder.empty()) {
    std::optional<std::string> folder = AbsolutePath(item.workingFolder);
    // The value is taken as it stands (no quotes, no escapes): anything that would be trimmed,
    // continue the line or end it cannot be written.
    if (!folder || Trimmed(*folder) != *folder || folder->back() == '\\') {
      return SaveStage::WorkingFolder;
    }
    for (char ch : *folder) {
      if (IsControl(static_cast<unsigned char>(ch))) return SaveStage::WorkingFolder;
      workingDirectory += ch == '%' ? std::string("%%") : std::string(1, ch);
    }
  }
  std::string environment;
  if (std::string programHome = ProgramHomeFor(item.workingFolder, home); !programHome.empty()) {
    std::optional<std::string> assignment = Quoted("QUILLON_HOME=" + programHome, false);
    if (!assignment) return SaveStage::WorkingFolder;
    environment = *assignment;
  }
  std::vector<std::string> calendar = OnCalendarValues(item.trigger);
  if (calendar.empty()) return SaveStage::Trigger;
  std::string condition;
  if (std::optional<DayCycle> cycle = DayCycleOf(item.trigger)) {
    condition =
        "\"/bin/sh\" " + *Quoted("-c", true) + " " + *Quoted(DayCycleShellTest(*cycle), true);
  }

  std::string unit = "[Unit]\nDescription=" + DescriptionOf(name) +
                     "\nX-Quillon-Task=" + EscapeItemName(name) + "\n";
  std::string serviceText = "# Made by Quillon's Schedule dialog; edit the task there.\n" + unit +
                            "\n[Service]\nType=oneshot\n";
  if (!workingDirectory.empty()) serviceText += "WorkingDirectory=" + workingDirectory + "\n";
  if (!environment.empty()) serviceText += "Environment=" + environment + "\n";
  if (!condition.empty()) serviceText += "ExecCondition=" + condition + "\n";
  serviceText += "ExecStart=" + exec + "\n";

  std::string timerText = "# Made by Quillon's Schedule dialog; edit the task there.\n" + unit +
                          "\n[Timer]\nUnit=" + base + ".service\n";
  for (const std::string& value : calendar) timerText += "OnCalendar=" + value + "\n";
  timerText += "AccuracySec=1s\nPersistent=true\nX-Quillon-Trigger=" + TriggerToText(item.trigger) +
               "\nX-Quillon-Run=" + RunText(item) + "\n\n[Install]\nWantedBy=timers.target\n";
  *service = std::move(serviceText);
  *timer = std::move(timerText);
  return SaveStage::Done;
}

SystemdTimerScheduler::NextElapse SystemdTimerScheduler::ParseNextElapse(const std::string& shown) {
  std::string text = Trimmed(shown);
  NextElapse result;
  if (text.empty() || text == "n/a" || text == "0") {
    result.understood = true;
    return result;
  }
  // Counts of up to 18 digits fit int64; a longer one is not taken for a time.
  if (text.front() == '@' && IsDigits(std::string_view(text).substr(1))) {
    result.understood = text.size() <= 19;
    if (result.understood) result.at = SinceEpoch(std::stoll(text.substr(1)), 1);
    return result;
  }
  if (IsDigits(text)) {
    result.understood = text.size() <= 18;
    if (result.understood) result.at = SinceEpoch(std::stoll(text), 1'000'000);
    return result;
  }
  // "[weekday] YYYY-MM-DD HH:MM:SS[.micro] [zone]"
  std::istringstream words(text);
  std::string word, date, time;
  while (words >> word) {
    if (word.size() == 10 && word[4] == '-' && word[7] == '-') {
      date = word;
      words >> time;
      break;
    }
  }
  const auto year = DigitsAt(date, 0, 4), month = DigitsAt(date, 5, 2), day = DigitsAt(date, 8, 2);
  const auto hour = DigitsAt(time, 0, 2), minute = DigitsAt(time, 3, 2),
             second = DigitsAt(time, 6, 2);
  if (!year || !month || !day || !hour || !minute || !second || time[2] != ':' || time[5] != ':' ||
      !IsValidDate({*year, *month, *day}) || *hour > 23 || *minute > 59 || *second > 60) {
    return result;
  }
  result.understood = true;
  result.at = FromLocalTime(*year, *month, *day, *hour, *minute, *second);
  return result;
}

bool SystemdTimerScheduler::Systemctl(std::vector<std::string> words) {
  words.insert(words.begin(), {"systemctl", "--user"});
  return commands_.Run(words).Succeeded();
}

ItemLookup SystemdTimerScheduler::Lookup(const std::string& name,
                                         std::vector<std::string>* timerLines) {
  std::string base = UnitBaseName(name);
  if (base.empty()) return ItemLookup::BadName;
  std::string mark = "X-Quillon-Task=" + EscapeItemName(name);
  std::error_code error;
  bool hasTimer = fs::exists(fs::symlink_status(PathOf(base + ".timer"), error));
  bool hasService = fs::exists(fs::symlink_status(PathOf(base + ".service"), error));
  // A unit that cannot be read, or lacks the mark, is someone else's.
  auto markedLines = [&](const std::string& unit) -> std::optional<std::vector<std::string>> {
    std::optional<std::string> text = ReadWholeFile(PathOf(unit));
    if (!text) return std::nullopt;
    std::vector<std::string> lines = LinesOf(*text);
    if (std::find(lines.begin(), lines.end(), mark) == lines.end()) return std::nullopt;
    return lines;
  };
  if (hasService && !markedLines(base + ".service")) return ItemLookup::Foreign;
  std::optional<std::vector<std::string>> lines;
  if (hasTimer && !(lines = markedLines(base + ".timer"))) return ItemLookup::Foreign;
  if (!hasTimer) return ItemLookup::Missing;  // none, or a service left from a failed save
  if (timerLines) *timerLines = std::move(*lines);
  return ItemLookup::Found;
}

namespace {

// The value of "key=" among a unit's lines; nullopt when it has none.
std::optional<std::string> ValueOf(const std::vector<std::string>& lines, std::string_view key) {
  std::optional<std::string> value;
  for (const std::string& line : lines) {
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      value = line.substr(key.size() + 1);
  }
  return value;
}

}  // namespace

ItemLookup SystemdTimerScheduler::Find(const std::string& name,
                                       std::optional<ScheduleTrigger>* trigger) {
  std::vector<std::string> lines;
  ItemLookup found = Lookup(name, trigger ? &lines : nullptr);
  if (trigger && found == ItemLookup::Found) {
    std::optional<std::string> text = ValueOf(lines, "X-Quillon-Trigger");
    *trigger = text ? TriggerFromText(*text) : std::nullopt;
  }
  return found;
}

std::optional<WorkItem> SystemdTimerScheduler::ReadItem(const std::string& name) {
  std::vector<std::string> lines;
  if (Lookup(name, &lines) != ItemLookup::Found) return std::nullopt;
  std::optional<std::string> trigger = ValueOf(lines, "X-Quillon-Trigger");
  std::optional<std::string> run = ValueOf(lines, "X-Quillon-Run");
  std::optional<ScheduleTrigger> read = trigger ? TriggerFromText(*trigger) : std::nullopt;
  std::optional<WorkItem> item = run ? RunFromText(*run) : std::nullopt;
  if (!read || !item) return std::nullopt;
  item->trigger = *read;
  return item;
}

SaveStage SystemdTimerScheduler::Save(const std::string& name, const WorkItem& item) {
  std::string service, timer;
  SaveStage stage = UnitTexts(name, item, folders_.home, &service, &timer);
  if (stage != SaveStage::Done) return stage;
  ItemLookup found = Find(name, nullptr);
  if (found != ItemLookup::Missing && found != ItemLookup::Found) return SaveStage::Save;
  std::string base = UnitBaseName(name);
  auto removeNew = [&] {
    if (found != ItemLookup::Missing) return;
    std::error_code ignored;
    fs::remove(PathOf(base + ".timer"), ignored);
    fs::remove(PathOf(base + ".service"), ignored);
  };
  std::error_code error;
  fs::create_directories(folders_.unitFolder, error);
  if (!WriteFileAtomically(PathOf(base + ".service"), service, {.mode = 0644}) ||
      !WriteFileAtomically(PathOf(base + ".timer"), timer, {.mode = 0644})) {
    removeNew();
    return SaveStage::Save;
  }
  if (!Systemctl({"daemon-reload"}) || !Systemctl({"enable", base + ".timer"}) ||
      !Systemctl({"restart", base + ".timer"})) {
    if (found == ItemLookup::Missing) {
      Systemctl({"disable", "--now", base + ".timer"});
      removeNew();
      Systemctl({"daemon-reload"});
    }
    return SaveStage::Save;
  }
  return SaveStage::Done;
}

bool SystemdTimerScheduler::Delete(const std::string& name) {
  if (Find(name, nullptr) != ItemLookup::Found) return false;
  std::string base = UnitBaseName(name);
  // Without a running manager (the item was saved while it answered) the files are removed all
  // the same, with the link that enabled the timer; the manager forgets them when it starts.
  bool managed = Systemctl({"disable", "--now", base + ".timer"});
  std::error_code error;
  fs::remove(PathOf("timers.target.wants/" + base + ".timer"), error);
  if (!fs::remove(PathOf(base + ".timer"), error)) return false;
  fs::remove(PathOf(base + ".service"), error);
  if (managed) Systemctl({"daemon-reload"});
  return true;
}

std::string SystemdTimerScheduler::User() const {
  return folders_.user.empty() ? CurrentUserName() : folders_.user;
}

Lingering SystemdTimerScheduler::UserLingering() {
  std::string user = User();
  if (user.empty()) return Lingering::Unknown;
  CommandOutput shown =
      commands_.Run({"loginctl", "show-user", user, "--property=Linger", "--value"});
  std::string value = Trimmed(shown.out);
  if (shown.Succeeded() && value == "yes") return Lingering::On;
  if (shown.Succeeded() && value == "no") return Lingering::Off;
  // logind knows only users with a session or lingering; one it does not know lingers not.
  if (shown.started && shown.exited && shown.err.find("is not logged in") != std::string::npos)
    return Lingering::Off;
  return Lingering::Unknown;
}

bool SystemdTimerScheduler::EnableLingering(std::string* error) {
  std::string user = User();
  CommandOutput enabled = commands_.Run({"loginctl", "enable-linger", user});
  if (enabled.Succeeded() && UserLingering() == Lingering::On) return true;
  if (error) {
    std::string said = Trimmed(enabled.err.empty() ? enabled.out : enabled.err);
    *error = !enabled.started ? "loginctl cannot be started."
             : said.empty()   ? "loginctl could not turn lingering on."
                              : said;
  }
  return false;
}

std::optional<TimePoint> SystemdTimerScheduler::NextRun(const std::string& name,
                                                        const ScheduleTrigger& trigger,
                                                        TimePoint now) {
  std::string base = UnitBaseName(name);
  if (!base.empty()) {
    CommandOutput shown =
        commands_.Run({"systemctl", "--user", "show", "--property=NextElapseUSecRealtime",
                       "--value", base + ".timer"});
    if (shown.Succeeded()) {
      NextElapse next = ParseNextElapse(shown.out);
      if (next.understood) return next.at;
    }
  }
  return NextTriggerRun(trigger, now);
}

}  // namespace quillon
