#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"

namespace quillon {

// What the local and the remote file list have in common: their columns, the texts of their
// "Size" and "Date Modified" cells and the order of their rows. Pure functions.

enum class FileColumn { Name = 0, Size = 1, Date = 2 };
inline constexpr int kFileColumnCount = 3;

// The column of the last header click and its direction; no column: the rows keep the order
// they came in. A click on the same column turns the direction round, another column (or the
// first click) sorts ascending.
struct FileSortOrder {
  std::optional<FileColumn> column;
  bool ascending = true;

  void Click(FileColumn clicked);
  bool operator==(const FileSortOrder&) const = default;
};

// What a row is sorted by.
struct FileRowKey {
  std::string_view name;
  bool folder = false;  // also a link shown as a folder
  uint64_t size = 0;
  TimePoint time{};
};

// The order of two rows, <0 when `a` comes first. Name: folders before files, then names
// without regard to ASCII case. Size: two files by size, otherwise as Name. Date: by time,
// folders and files mixed. Ties go by name, then by the names' bytes, so the order is always the
// same. Descending turns every result round except folder against file: folders stay in front.
int CompareFileRows(const FileRowKey& a, const FileRowKey& b, FileColumn column, bool ascending);

// The order in which `keys` are shown when sorted by `column`: indexes into `keys`, as
// CompareFileRows orders them (stable). Each name is lower-cased once rather than in every
// comparison, so that thousands of rows sort at once.
std::vector<size_t> SortedRowOrder(const std::vector<FileRowKey>& keys, FileColumn column,
                                   bool ascending);

// Sorts `rows` by the keys `keyOf` gives them (SortedRowOrder).
template <typename Row, typename KeyOf>
void SortRows(std::vector<Row>& rows, KeyOf keyOf, FileColumn column, bool ascending) {
  std::vector<FileRowKey> keys;
  keys.reserve(rows.size());
  for (const Row& row : rows) keys.push_back(keyOf(row));
  std::vector<Row> sorted;
  sorted.reserve(rows.size());
  for (size_t i : SortedRowOrder(keys, column, ascending)) sorted.push_back(std::move(rows[i]));
  rows = std::move(sorted);
}

// A size as a user reads it at a glance: whole thousands of bytes rounded up as "%d KB" (1 and
// 1000 bytes give "1 KB", 1001 give "2 KB", 0 gives "0 KB") while that is below 1000 KB, then
// "%.1f MB", "%.1f GB" and "%.1f TB" (units of 1000).
std::string HumanSizeText(uint64_t size);

// A "Date Modified" cell, "%m/%d/%Y %I:%M %p"; empty for the unknown time (the epoch). Local
// files show local time. A remote listing states its times as the server put them: they are
// shown with those very digits (`asListed`), not shifted by this machine's time zone.
std::string FileDateText(TimePoint time, bool asListed);

}  // namespace quillon
