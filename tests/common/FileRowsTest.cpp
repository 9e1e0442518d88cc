// The rules both file lists share: size and date cells, the order of rows, header clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "common/FileRows.h"

namespace quillon {
namespace {

TEST(FileRows, SizesInKilobytesThenInHumanUnits) {
  struct Case {
    uint64_t size;
    std::string text;
  } cases[] = {
      {0, "0 KB"},
      {1, "1 KB"},
      {999, "1 KB"},
      {1000, "1 KB"},
      {1001, "2 KB"},
      {200'000, "200 KB"},
      {999'000, "999 KB"},
      {999'001, "1.0 MB"},  // "1000 KB" would be the first four-digit figure
      {1'000'000, "1.0 MB"},
      {1'550'000, "1.6 MB"},
      {200'000'000, "200.0 MB"},
      {999'949'999, "999.9 MB"},
      {999'950'000, "1.0 GB"},       // rounded to one decimal, 1000.0 MB reads as 1.0 GB
      {5'368'709'120ULL, "5.4 GB"},  // beyond 32 bits
      {3'200'000'000'000ULL, "3.2 TB"},
      {5'000'000'000'000'000ULL, "5000.0 TB"},
  };
  for (const auto& c : cases) EXPECT_EQ(HumanSizeText(c.size), c.text) << c.size;
}

TEST(FileRows, DatesInLocalTimeOrAsListed) {
  EXPECT_EQ(FileDateText(TimePoint{}, false), "");
  EXPECT_EQ(FileDateText(TimePoint{}, true), "");
  EXPECT_EQ(FileDateText(FromLocalTime(2024, 3, 9, 14, 5, 59), false), "03/09/2024 02:05 PM");
  EXPECT_EQ(FileDateText(FromLocalTime(2001, 12, 31, 0, 7, 0), false), "12/31/2001 12:07 AM");
  // A listing's digits, kept as universal time, come back unchanged in any time zone.
  const TimePoint listed = std::chrono::sys_days{std::chrono::year{2024} / 1 / 5} +
                           std::chrono::hours{15} + std::chrono::minutes{4};
  const char* zone = std::getenv("TZ");
  const std::string saved = zone ? zone : "";
  setenv("TZ", "QLN-05:30", 1);  // five and a half hours east of UTC
  tzset();
  EXPECT_EQ(FileDateText(listed, true), "01/05/2024 03:04 PM");
  EXPECT_EQ(FileDateText(listed, false), "01/05/2024 08:34 PM");
  if (zone)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

struct Row {
  std::string name;
  bool folder;
  uint64_t size;
  int day;
  FileRowKey Key() const { return {name, folder, size, FromLocalTime(2024, 1, day, 12, 0, 0)}; }
};

std::vector<std::string> Sorted(std::vector<Row> rows, FileColumn column, bool ascending) {
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    return CompareFileRows(a.Key(), b.Key(), column, ascending) < 0;
  });
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row.name);
  return names;
}

TEST(FileRows, SortsByEachColumnInBothDirectionsWithFoldersInFront) {
  using V = std::vector<std::string>;
  const std::vector<Row> rows = {
      {"b.txt", false, 300, 5},  {"Zeta", true, 0, 2},     {"A.txt", false, 10, 9},
      {"link", true, 0, 7},      {"c.txt", false, 300, 1}, {"alpha", true, 0, 8},
      {"a.txt", false, 2000, 3},
  };
  struct Case {
    FileColumn column;
    bool ascending;
    V order;
  } cases[] = {
      {FileColumn::Name, true, V{"alpha", "link", "Zeta", "A.txt", "a.txt", "b.txt", "c.txt"}},
      {FileColumn::Name, false, V{"Zeta", "link", "alpha", "c.txt", "b.txt", "a.txt", "A.txt"}},
      // Files by size (equal sizes by name), folders by name.
      {FileColumn::Size, true, V{"alpha", "link", "Zeta", "A.txt", "b.txt", "c.txt", "a.txt"}},
      {FileColumn::Size, false, V{"Zeta", "link", "alpha", "a.txt", "c.txt", "b.txt", "A.txt"}},
      // By date, folders and files mixed.
      {FileColumn::Date, true, V{"c.txt", "Zeta", "a.txt", "b.txt", "link", "alpha", "A.txt"}},
      {FileColumn::Date, false, V{"A.txt", "alpha", "link", "b.txt", "a.txt", "Zeta", "c.txt"}},
  };
  std::vector<FileRowKey> keys;
  for (const auto& row : rows) keys.push_back(row.Key());
  for (const auto& c : cases) {
    EXPECT_EQ(Sorted(rows, c.column, c.ascending), c.order)
        << static_cast<int>(c.column) << (c.ascending ? " up" : " down");
    // The order for many rows at once is the same.
    V ordered;
    for (size_t i : SortedRowOrder(keys, c.column, c.ascending)) ordered.push_back(rows[i].name);
    EXPECT_EQ(ordered, c.order) << static_cast<int>(c.column) << (c.ascending ? " up" : " down");
  }
}

TEST(FileRows, HeaderClicksToggleTheSameColumnAndStartAnotherAscending) {
  FileSortOrder order;
  EXPECT_FALSE(order.column);
  struct Step {
    FileColumn clicked;
    bool ascending;
  } steps[] = {
      {FileColumn::Name, true},  {FileColumn::Name, false}, {FileColumn::Size, true},
      {FileColumn::Size, false}, {FileColumn::Date, true},  {FileColumn::Name, true},
  };
  for (const auto& s : steps) {
    order.Click(s.clicked);
    EXPECT_EQ(order.column, s.clicked);
    EXPECT_EQ(order.ascending, s.ascending);
  }
}

}  // namespace
}  // namespace quillon
