#include "common/FileRows.h"

#include <locale.h>

#include <algorithm>
#include <cstdio>

namespace quillon {

void FileSortOrder::Click(FileColumn clicked) {
  ascending = column == clicked ? !ascending : true;
  column = clicked;
}

namespace {

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

std::string Lowered(std::string_view name) {
  std::string lower(name);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// Names without regard to ASCII case, then by their bytes ("A" and "a" may both exist).
int CompareNames(const std::string& lowerA, const std::string& lowerB, std::string_view a,
                 std::string_view b) {
  const int folded = Order(lowerA, lowerB);
  return folded != 0 ? folded : Order(a, b);
}

// The comparison of the column before the names decide. A folder against a file is `apart`:
// settled before the direction applies, so folders keep their place in front.
int CompareColumn(const FileRowKey& a, const FileRowKey& b, FileColumn column, bool& apart) {
  apart = false;
  switch (column) {
    case FileColumn::Name:
    case FileColumn::Size:
      if (a.folder != b.folder) {
        apart = true;
        return a.folder ? -1 : 1;
      }
      return column == FileColumn::Size && !a.folder ? Order(a.size, b.size) : 0;
    case FileColumn::Date:
      return Order(a.time, b.time);
  }
  return 0;
}

}  // namespace

int CompareFileRows(const FileRowKey& a, const FileRowKey& b, FileColumn column, bool ascending) {
  bool apart = false;
  int result = CompareColumn(a, b, column, apart);
  if (apart) return result;
  if (result == 0) result = CompareNames(Lowered(a.name), Lowered(b.name), a.name, b.name);
  return ascending ? result : -result;
}

std::vector<size_t> SortedRowOrder(const std::vector<FileRowKey>& keys, FileColumn column,
                                   bool ascending) {
  std::vector<std::string> lower;
  lower.reserve(keys.size());
  for (const FileRowKey& key : keys) lower.push_back(Lowered(key.name));
  auto compare = [&](size_t a, size_t b) {
    bool apart = false;
    int result = CompareColumn(keys[a], keys[b], column, apart);
    if (apart) return result;
    if (result == 0) result = CompareNames(lower[a], lower[b], keys[a].name, keys[b].name);
    return ascending ? result : -result;
  };
  std::vector<size_t> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return compare(a, b) < 0; });
  return order;
}

std::string HumanSizeText(uint64_t size) {
  // Whole thousands rounded up, in 64 bits: sizes beyond 4 GB keep their value.
  const uint64_t kilobytes = size / 1000 + (size % 1000 != 0 ? 1 : 0);
  if (kilobytes < 1000) return std::to_string(kilobytes) + " KB";
  static const char* const kUnits[] = {"MB", "GB", "TB"};
  double value = static_cast<double>(size) / 1e6;
  size_t unit = 0;
  // Rounded to one decimal first, so that 999.96 MB reads "1.0 GB" rather than "1000.0 MB".
  while (unit + 1 < std::size(kUnits) && value >= 999.95) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string FileDateText(TimePoint time, bool asListed) {
  if (time == TimePoint{}) return {};
  if (!asListed) return FormatLocalTime(time, "%m/%d/%Y %I:%M %p");
  // The listing's digits are kept in the time point as if they were universal time.
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm listed{};
  gmtime_r(&seconds, &listed);
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  char buffer[64];
  const size_t n = strftime_l(buffer, sizeof buffer, "%m/%d/%Y %I:%M %p", &listed, cLocale);
  return std::string(buffer, n);
}

}  // namespace quillon
