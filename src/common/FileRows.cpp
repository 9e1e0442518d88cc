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

int Sign(bool less, bool greater) { return less ? -1 : greater ? 1 : 0; }

int CompareNames(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int bytes = a.compare(b);  // "A" and "a" may both exist
  return Sign(bytes<0, bytes> 0);
}

}  // namespace

int CompareFileRows(const FileRowKey& a, const FileRowKey& b, FileColumn column, bool ascending) {
  int result = 0;
  switch (column) {
    case FileColumn::Name:
    case FileColumn::Size:
      // Settled before the direction applies, so folders keep their place in front.
      if (a.folder != b.folder) return a.folder ? -1 : 1;
      if (column == FileColumn::Size && !a.folder) result = Sign(a.size<b.size, a.size> b.size);
      break;
    case FileColumn::Date:
      result = Sign(a.time<b.time, a.time> b.time);
      break;
  }
  if (result == 0) result = CompareNames(a.name, b.name);
  return ascending ? result : -result;
}

std::vector<size_t> SortedRowOrder(const std::vector<FileRowKey>& keys, FileColumn column,
                                   bool ascending) {
  std::vector<std::string> lower(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    lower[i].assign(keys[i].name);
    for (char& c : lower[i])
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  auto compare = [&](size_t a, size_t b) {
    const FileRowKey& x = keys[a];
    const FileRowKey& y = keys[b];
    int result = 0;
    switch (column) {
      case FileColumn::Name:
      case FileColumn::Size:
        if (x.folder != y.folder) return x.folder ? -1 : 1;
        if (column == FileColumn::Size && !x.folder) result = Sign(x.size<y.size, x.size> y.size);
        break;
      case FileColumn::Date:
        result = Sign(x.time<y.time, x.time> y.time);
        break;
    }
    if (result == 0) {
      const int names = lower[a].compare(lower[b]);
      const int bytes = names != 0 ? names : x.name.compare(y.name);
      result = Sign(bytes<0, bytes> 0);
    }
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
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  char buffer[64];
  const size_t n = strftime_l(buffer, sizeof buffer, "%m/%d/%Y %I:%M %p", &listed, cLocale);
  return std::string(buffer, n);
}

}  // namespace quillon
