#include "profiles/IniFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace quillon {
namespace {

// ---------------------------------------------------------------------------------------------
// Text helpers

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A section name or key that would read back differently, or split into more lines.
bool IsUnsafeName(std::string_view name, bool isKey) {
  if (HasLineBreakOrNul(name) || Trim(name).empty() || Trim(name).size() != name.size())
    return true;
  if (isKey)
    return name.find('=') != std::string_view::npos || name.front() == '[' || name.front() == ';';
  return name.find(']') != std::string_view::npos;
}

// ---------------------------------------------------------------------------------------------
// The file as lines, kept as they stand so a rewrite changes only what it must.

struct Line {
  std::string text;  // without its line end
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
};

ParsedLine Parse(std::string_view raw) {
  ParsedLine parsed;
  std::string_view text = Trim(raw);
  if (text.empty() || text.front() == ';') return parsed;
  if (text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Section;
    parsed.name = Trim(text.substr(1, close - 1));
    return parsed;
  }
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = Trim(text.substr(0, eq));
  parsed.value = Trim(text.substr(eq + 1));
  return parsed;
}

struct Document {
  std::vector<Line> lines;
  std::string eol = "\r\n";     // a new file gets CRLF, like the Windows functions write
  bool endsWithEol = true;

  static Document FromText(const std::string& content) {
    Document doc;
    size_t firstLf = content.find('\n');
    if (firstLf != std::string::npos)
      doc.eol = (firstLf > 0 && content[firstLf - 1] == '\r') ? "\r\n" : "\n";
    size_t start = 0;
    while (start < content.size()) {
      size_t lf = content.find('\n', start);
      size_t end = lf == std::string::npos ? content.size() : lf;
      size_t textEnd = end;
      if (textEnd > start && content[textEnd - 1] == '\r') --textEnd;
      doc.lines.push_back({content.substr(start, textEnd - start)});
      if (lf == std::string::npos) {
        doc.endsWithEol = false;
        break;
      }
      start = lf + 1;
    }
    return doc;
  }

  std::string ToText() const {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
      out += lines[i].text;
      if (i + 1 < lines.size() || endsWithEol) out += eol;
    }
    return out;
  }

  // [header, end) of the first section called `name`: header is the index of its "[...]" line,
  // end the index of the next section header (or the line count).
  struct Range {
    size_t header;
    size_t end;
  };

  std::optional<Range> FindSection(std::string_view name) const {
    for (size_t i = 0; i < lines.size(); ++i) {
      ParsedLine p = Parse(lines[i].text);
      if (p.kind != LineKind::Section || !EqualsNoCase(p.name, name)) continue;
      size_t end = i + 1;
      while (end < lines.size() && Parse(lines[end].text).kind != LineKind::Section) ++end;
      return Range{i, end};
    }
    return std::nullopt;
  }

  std::optional<size_t> FindKey(const Range& range, std::string_view key) const {
    for (size_t i = range.header + 1; i < range.end; ++i) {
      ParsedLine p = Parse(lines[i].text);
      if (p.kind == LineKind::Key && EqualsNoCase(p.name, key)) return i;
    }
    return std::nullopt;
  }

  // Where a new key line of the section goes: after its last non-blank line.
  size_t InsertionPoint(const Range& range) const {
    size_t at = range.end;
    while (at > range.header + 1 && Trim(lines[at - 1].text).empty()) --at;
    return at;
  }

  // Appends a new section at the end of the file and returns its range (empty body).
  Range AppendSection(std::string_view name) {
    endsWithEol = true;
    lines.push_back({"[" + std::string(name) + "]"});
    return Range{lines.size() - 1, lines.size()};
  }
};

std::optional<std::string> LoadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return content;
}

// ---------------------------------------------------------------------------------------------
// Writing: one writer at a time per file (advisory lock on a side file, held from read to
// rename), the new content in a temporary file beside the target, renamed over it.

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link to an INI file is written through to its target, not replaced.
std::string ResolveTarget(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), resolved))
    return resolved;
  return path;
}

class FileLock {
 public:
  explicit FileLock(const std::string& target) {
    fd_ = open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

const char kTempInfix[] = ".tmp-";

// Removes temporary files that a writer killed between naming and renaming left behind. Runs
// under the lock, so no live writer owns one of them.
void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::string prefix = base + kTempInfix;
  while (dirent* entry = readdir(d)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
      unlinkat(dirfd(d), entry->d_name, 0);
  }
  closedir(d);
}

// Writes `content` to `target` atomically. The data goes first into an unnamed file
// (O_TMPFILE), so a kill during the write leaves nothing behind; it gets a name only for the
// instant before the rename.
bool ReplaceFile(const std::string& target, const std::string& content) {
  std::string dir = DirectoryOf(target);
  std::string base = BaseNameOf(target);
  mode_t mode = 0600;  // profiles hold protected passwords: private unless the file says else
  struct stat st;
  if (stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  std::string tempName = dir + "/" + base + kTempInfix + "XXXXXX";
  int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  bool unnamed = fd >= 0;
  if (!unnamed) {
    fd = mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) return false;
  }
  bool ok = WriteAll(fd, content) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  if (ok && unnamed) {
    // Give the unnamed file a fresh unique name: make one with mkostemp, then link over it.
    int placeholder = mkostemp(tempName.data(), O_CLOEXEC);
    ok = placeholder >= 0;
    if (ok) {
      close(placeholder);
      unlink(tempName.c_str());
      std::string procPath = "/proc/self/fd/" + std::to_string(fd);
      ok = linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, tempName.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }
  }
  close(fd);
  if (ok) ok = rename(tempName.c_str(), target.c_str()) == 0;
  if (!ok) unlink(tempName.c_str());
  return ok;
}

// Reads, edits and rewrites one file under its lock. `edit` returns false to abandon the write.
template <typename Edit>
bool EditFile(const std::string& file, Edit&& edit) {
  std::string target = ResolveTarget(file);
  FileLock lock(target);
  if (!lock.held()) return false;
  RemoveStaleTemporaries(DirectoryOf(target), BaseNameOf(target));
  std::optional<std::string> content = LoadFile(target);
  if (!content && errno != ENOENT) return false;
  Document doc = Document::FromText(content.value_or(""));
  if (!edit(doc)) return false;
  std::string updated = doc.ToText();
  if (content && updated == *content) return true;
  return ReplaceFile(target, updated);
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace

// =============================================================================================

namespace ini {

std::optional<std::string> Read(const std::string& file, std::string_view section,
                                std::string_view key) {
  std::optional<std::string> content = LoadFile(file);
  if (!content) return std::nullopt;
  Document doc = Document::FromText(*content);
  auto range = doc.FindSection(section);
  if (!range) return std::nullopt;
  auto index = doc.FindKey(*range, key);
  if (!index) return std::nullopt;
  return Unquote(Parse(doc.lines[*index].text).value);
}

std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view fallback) {
  std::string value(Read(file, section, key).value_or(std::string(fallback)));
  if (value.size() > 511) value.resize(511);
  return value;
}

int32_t ReadInt(const std::string& file, std::string_view section, std::string_view key,
                int32_t fallback) {
  std::optional<std::string> value = Read(file, section, key);
  if (!value || value->empty()) return fallback;
  return ParseLeadingInt(*value);
}

bool Write(const std::string& file, std::string_view section, std::string_view key,
           const std::optional<std::string_view>& value) {
  if (IsUnsafeName(section, false) || IsUnsafeName(key, true)) return false;
  if (value && HasLineBreakOrNul(*value)) return false;
  return EditFile(file, [&](Document& doc) {
    auto range = doc.FindSection(section);
    std::optional<size_t> index;
    if (range) index = doc.FindKey(*range, key);
    if (!value) {
      if (index) doc.lines.erase(doc.lines.begin() + static_cast<ptrdiff_t>(*index));
      return true;
    }
    if (index) {
      // Keep the key's own spelling; only the value changes.
      std::string name(Parse(doc.lines[*index].text).name);
      doc.lines[*index].text = name + "=" + std::string(*value);
      return true;
    }
    if (!range) range = doc.AppendSection(section);
    size_t at = doc.InsertionPoint(*range);
    doc.lines.insert(doc.lines.begin() + static_cast<ptrdiff_t>(at),
                     {std::string(key) + "=" + std::string(*value)});
    return true;
  });
}

bool RemoveSection(const std::string& file, std::string_view section) {
  if (IsUnsafeName(section, false)) return false;
  return EditFile(file, [&](Document& doc) {
    auto range = doc.FindSection(section);
    if (range)
      doc.lines.erase(doc.lines.begin() + static_cast<ptrdiff_t>(range->header),
                      doc.lines.begin() + static_cast<ptrdiff_t>(range->end));
    return true;
  });
}

std::optional<KeyValues> ReadSection(const std::string& file, std::string_view section) {
  std::optional<std::string> content = LoadFile(file);
  if (!content) return std::nullopt;
  Document doc = Document::FromText(*content);
  auto range = doc.FindSection(section);
  if (!range) return std::nullopt;
  KeyValues entries;
  for (size_t i = range->header + 1; i < range->end; ++i) {
    ParsedLine p = Parse(doc.lines[i].text);
    if (p.kind == LineKind::Key) entries.emplace_back(std::string(p.name), std::string(p.value));
  }
  return entries;
}

bool WriteSection(const std::string& file, std::string_view section, const KeyValues& entries) {
  if (IsUnsafeName(section, false)) return false;
  for (const auto& [key, value] : entries)
    if (IsUnsafeName(key, true) || HasLineBreakOrNul(value)) return false;
  return EditFile(file, [&](Document& doc) {
    auto range = doc.FindSection(section);
    if (!range) range = doc.AppendSection(section);
    size_t bodyEnd = doc.InsertionPoint(*range);  // blank lines before the next section stay
    doc.lines.erase(doc.lines.begin() + static_cast<ptrdiff_t>(range->header + 1),
                    doc.lines.begin() + static_cast<ptrdiff_t>(bodyEnd));
    std::vector<Line> body;
    for (const auto& [key, value] : entries) body.push_back({key + "=" + value});
    doc.lines.insert(doc.lines.begin() + static_cast<ptrdiff_t>(range->header + 1), body.begin(),
                     body.end());
    return true;
  });
}

std::vector<std::string> SectionNames(const std::string& file) {
  std::vector<std::string> names;
  std::optional<std::string> content = LoadFile(file);
  if (!content) return names;
  for (const Line& line : Document::FromText(*content).lines) {
    ParsedLine p = Parse(line.text);
    if (p.kind == LineKind::Section) names.emplace_back(p.name);
  }
  return names;
}

}  // namespace ini

// =============================================================================================

std::string SessionSection(int32_t slot) {
  char name[32];
  std::snprintf(name, sizeof name, "SESSION%02d", slot);
  return name;
}

int32_t ParseLeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (IsBlank(text[i]) || text[i] == '\r' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t ReadProgramNumber(const std::string& file, const ProgramKey& key) {
  return ini::ReadInt(file, kProgramSection, key.name, key.fallback);
}

bool WriteProgramNumber(const std::string& file, const ProgramKey& key, int32_t value) {
  return ini::Write(file, kProgramSection, key.name, std::to_string(value));
}

std::string ReadText(int32_t slot, std::string_view key, const std::string& file) {
  return ini::ReadString(file, SessionSection(slot), key);
}

int32_t ReadNumber(int32_t slot, std::string_view key, const std::string& file) {
  return ParseLeadingInt(ini::ReadString(file, SessionSection(slot), key, "-1"));
}

bool WriteText(int32_t slot, std::string_view key, const std::optional<std::string_view>& value,
               const std::string& file) {
  return ini::Write(file, SessionSection(slot), key, value);
}

bool WriteNumber(int32_t slot, std::string_view key, int32_t number, const std::string& file) {
  return WriteText(slot, key, std::to_string(number), file);
}

}  // namespace quillon
