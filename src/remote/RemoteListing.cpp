#include "remote/RemoteListing.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <vector>

namespace quillon {

namespace {

using namespace std::chrono;

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int ParseNumber(std::string_view s) {
  int value = 0;
  for (char c : s) value = value * 10 + (c - '0');
  return value;
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// A valid calendar date and time of day as a UTC time point (servers list years up to 9999).
std::optional<TimePoint> UtcTime(int year, int month, int day, int hour, int minute, int second) {
  year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                      std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
    return std::nullopt;
  return ClampedTimePoint(sys_days(date) + hours(hour) + minutes(minute) + seconds(second));
}

int MonthNumber(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  for (size_t i = 0; i < kMonths.size(); ++i)
    if (EqualsNoCase(token, kMonths[i])) return static_cast<int>(i) + 1;
  return 0;
}

struct Token {
  std::string_view text;
  size_t end;  // offset just past the token in the line
};

std::vector<Token> Tokenize(std::string_view line, size_t maxTokens) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size() && tokens.size() < maxTokens) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    tokens.push_back({line.substr(start, i - start), i});
  }
  return tokens;
}

bool IsClock(std::string_view s, int& hour, int& minute) {
  auto colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() != colon + 3)
    return false;
  if (!AllDigits(s.substr(0, colon)) || !AllDigits(s.substr(colon + 1))) return false;
  hour = ParseNumber(s.substr(0, colon));
  minute = ParseNumber(s.substr(colon + 1));
  return hour < 24 && minute < 60;
}

std::string_view StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<uint64_t> ParseByteCount(std::string_view digits) {
  if (!AllDigits(digits) || digits.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<uint64_t> ParseSizeReply(std::string_view line) {
  // "213 <digits>", blanks around the number allowed; anything else in the line is no size.
  if (line.size() < 4 || line.substr(0, 4) != "213 ") return std::nullopt;
  std::string_view digits = line.substr(4);
  while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t'))
    digits.remove_prefix(1);
  while (!digits.empty() &&
         (digits.back() == ' ' || digits.back() == '\t' || digits.back() == '\r'))
    digits.remove_suffix(1);
  return ParseByteCount(digits);
}

bool IsSafeRemoteName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '/' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool IsSafeRemotePath(std::string_view path) {
  if (path.empty()) return false;
  for (char c : path)
    if (c == '\0' || c == '\r' || c == '\n') return false;
  return true;
}

std::string JoinRemotePath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string PrintableName(std::string_view name) {
  std::string shown;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      shown += hex;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::optional<ListedEntry> ParseMlsdLine(std::string_view line) {
  line = StripLineEnd(line);
  // Facts end at the first blank; the name is everything after it (it may hold blanks and ";").
  auto blank = line.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  std::string_view facts = line.substr(0, blank);
  ListedEntry entry;
  entry.name = std::string(line.substr(blank + 1));
  if (entry.name.empty()) return std::nullopt;

  std::string_view type;
  while (!facts.empty()) {
    auto semicolon = facts.find(';');
    std::string_view fact = facts.substr(0, semicolon);
    facts = semicolon == std::string_view::npos ? std::string_view() : facts.substr(semicolon + 1);
    auto equals = fact.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = fact.substr(0, equals);
    std::string_view value = fact.substr(equals + 1);
    if (EqualsNoCase(key, "type")) {
      type = value;
    } else if (EqualsNoCase(key, "size")) {
      if (auto size = ParseByteCount(value)) entry.size = *size;
    } else if (EqualsNoCase(key, "modify")) {
      // YYYYMMDDHHMMSS with optional fraction, always UTC.
      if (value.size() >= 14 && AllDigits(value.substr(0, 14))) {
        auto part = [&](size_t at, size_t n) { return ParseNumber(value.substr(at, n)); };
        if (auto t =
                UtcTime(part(0, 4), part(4, 2), part(6, 2), part(8, 2), part(10, 2), part(12, 2)))
          entry.lastWrite = *t;
      }
    }
  }
  if (type.empty() || EqualsNoCase(type, "cdir") || EqualsNoCase(type, "pdir")) return std::nullopt;
  entry.isFolder = EqualsNoCase(type, "dir");
  if (entry.isFolder) entry.size = 0;
  return entry;
}

std::optional<ListedEntry> ParseUnixListLine(std::string_view line, TimePoint now) {
  line = StripLineEnd(line);
  if (line.size() < 10) return std::nullopt;
  constexpr std::string_view kTypes = "-dlbcpsD";
  if (kTypes.find(line[0]) == std::string_view::npos) return std::nullopt;

  // perms links owner [group] size month day time-or-year name: the date is recognised by its
  // shape, so a missing group column or extra columns before it do not matter.
  auto tokens = Tokenize(line, 12);
  if (tokens.empty() || tokens[0].text.size() < 10) return std::nullopt;
  for (size_t m = 2; m + 2 < tokens.size(); ++m) {
    int month = MonthNumber(tokens[m].text);
    if (!month) continue;
    std::string_view dayText = tokens[m + 1].text;
    if (!AllDigits(dayText) || dayText.size() > 2) continue;
    auto size = ParseByteCount(tokens[m - 1].text);
    if (!size) continue;
    int day = ParseNumber(dayText);
    std::string_view yearOrClock = tokens[m + 2].text;
    int hour = 0, minute = 0, year = 0;
    bool hasClock = IsClock(yearOrClock, hour, minute);
    if (!hasClock) {
      if (yearOrClock.size() != 4 || !AllDigits(yearOrClock)) continue;
      year = ParseNumber(yearOrClock);
    }
    std::optional<TimePoint> time;
    if (hasClock) {
      // ls leaves out the year for times of the last six months.
      year = static_cast<int>(year_month_day(floor<days>(now)).year());
      time = UtcTime(year, month, day, hour, minute, 0);
      if (!time || *time > now + hours(24)) time = UtcTime(year - 1, month, day, hour, minute, 0);
    } else {
      time = UtcTime(year, month, day, 0, 0, 0);
    }
    if (!time) continue;
    // The name follows the date after one blank.
    size_t nameStart = tokens[m + 2].end + 1;
    if (nameStart >= line.size()) return std::nullopt;

    ListedEntry entry;
    entry.name = std::string(line.substr(nameStart));
    entry.isFolder = line[0] == 'd';
    entry.size = entry.isFolder ? 0 : *size;
    entry.lastWrite = *time;
    if (line[0] == 'l') {
      auto arrow = entry.name.find(" -> ");
      if (arrow != std::string::npos) entry.name.resize(arrow);
    }
    return entry;
  }
  return std::nullopt;
}

std::optional<ListedEntry> ParseDosListLine(std::string_view line) {
  line = StripLineEnd(line);
  // MM-DD-YY[YY]  HH:MM[AM|PM]  (<DIR>|size) name
  auto tokens = Tokenize(line, 4);
  if (tokens.size() < 3) return std::nullopt;
  std::string_view date = tokens[0].text;
  if (!(date.size() == 8 || date.size() == 10) || date[2] != '-' || date[5] != '-' ||
      !AllDigits(date.substr(0, 2)) || !AllDigits(date.substr(3, 2)) || !AllDigits(date.substr(6)))
    return std::nullopt;
  int month = ParseNumber(date.substr(0, 2));
  int day = ParseNumber(date.substr(3, 2));
  int year = ParseNumber(date.substr(6));
  if (date.size() == 8) year += year < 70 ? 2000 : 1900;

  std::string_view clock = tokens[1].text;
  std::string_view meridiem;
  size_t sizeIndex = 2;
  auto isMeridiem = [](std::string_view s) {
    return EqualsNoCase(s, "AM") || EqualsNoCase(s, "PM");
  };
  if (clock.size() > 2 && isMeridiem(clock.substr(clock.size() - 2))) {
    meridiem = clock.substr(clock.size() - 2);
    clock.remove_suffix(2);
  } else if (tokens.size() > 3 && isMeridiem(tokens[2].text)) {
    meridiem = tokens[2].text;
    sizeIndex = 3;
  }
  int hour = 0, minute = 0;
  if (!IsClock(clock, hour, minute)) return std::nullopt;
  if (!meridiem.empty()) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour %= 12;
    if (EqualsNoCase(meridiem, "PM")) hour += 12;
  }

  ListedEntry entry;
  std::string_view sizeOrDir = tokens[sizeIndex].text;
  if (EqualsNoCase(sizeOrDir, "<DIR>")) {
    entry.isFolder = true;
  } else if (auto size = ParseByteCount(sizeOrDir)) {
    entry.size = *size;
  } else {
    return std::nullopt;
  }
  // The name column follows the size column after its padding.
  size_t nameStart = tokens[sizeIndex].end;
  while (nameStart < line.size() && line[nameStart] == ' ') ++nameStart;
  if (nameStart >= line.size()) return std::nullopt;
  auto time = UtcTime(year, month, day, hour, minute, 0);
  if (!time) return std::nullopt;  // no real date: not a DOS line
  entry.name = std::string(line.substr(nameStart));
  entry.lastWrite = *time;
  return entry;
}

std::optional<ListedEntry> ParseListLine(std::string_view line, TimePoint now) {
  if (auto entry = ParseUnixListLine(line, now)) return entry;
  return ParseDosListLine(line);
}

}  // namespace quillon
