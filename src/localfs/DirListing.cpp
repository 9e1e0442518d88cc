#include "localfs/DirListing.h"

#include <algorithm>

namespace quillon {

void DirSortState::Click(DirColumn clicked) {
  if (clicked == column) {
    ascending = !ascending;
  } else {
    column = clicked;
    ascending = true;
  }
}

bool IsShownAsFolder(const LocalEntry& entry) { return entry.isFolder || entry.linkToFolder; }

std::string SizeText(uint64_t size) {
  if (size == 0) return {};
  return std::to_string(size / 1000 + (size % 1000 != 0 ? 1 : 0)) + " KB";
}

std::string DateText(TimePoint lastWrite) {
  if (lastWrite == TimePoint{}) return {};
  return FormatLocalTime(lastWrite, "%m/%d/%Y %I:%M %p");
}

static int Sign(bool less, bool greater) { return less ? -1 : greater ? 1 : 0; }

static int CompareNames(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;  // "A" and "a" may both exist here
}

int CompareDirEntries(const LocalEntry& a, const LocalEntry& b, const DirSortState& sort) {
  bool folderA = IsShownAsFolder(a);
  bool folderB = IsShownAsFolder(b);
  int result = 0;
  switch (sort.column) {
    case DirColumn::Name:
    case DirColumn::Size:
      if (folderA != folderB) return folderA ? -1 : 1;
      if (sort.column == DirColumn::Size && !folderA) result = Sign(a.size < b.size, a.size > b.size);
      break;
    case DirColumn::Date:
      result = Sign(a.lastWrite < b.lastWrite, a.lastWrite > b.lastWrite);
      break;
  }
  if (result == 0) result = CompareNames(a.name, b.name);
  return sort.ascending ? result : -result;
}

void SortDirEntries(std::vector<LocalEntry>& entries, const DirSortState& sort) {
  std::stable_sort(entries.begin(), entries.end(), [&](const LocalEntry& a, const LocalEntry& b) {
    return CompareDirEntries(a, b, sort) < 0;
  });
}

std::optional<std::vector<LocalEntry>> ListShownEntries(const std::string& folder) {
  auto entries = ListLocalFolder(folder);
  if (!entries) return std::nullopt;
  entries->erase(std::remove_if(entries->begin(), entries->end(),
                                [](const LocalEntry& e) { return e.name[0] == '.'; }),
                 entries->end());
  SortDirEntries(*entries, DirSortState{});
  return entries;
}

}  // namespace quillon
