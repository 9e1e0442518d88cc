#include "profiles/IniFile.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "common/FileIo.h"
#include "common/LockedTextFile.h"
#include "common/Text.h"

namespace quillon {
namespace {

// ---------------------------------------------------------------------------------------------
// Text helpers

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

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Document {
  std::vector<Line> lines;
  std::string eol = "\r\n";  // a new file gets CRLF, like the Windows functions write
  bool endsWithEol = true;
  bool bom = false;  // an editor's UTF-8 byte-order mark, kept by a rewrite

  static Document FromText(std::string_view content) {
    Document doc;
    // A mark before the first section would hide that section's header.
    if (content.starts_with(kUtf8Bom)) {
      doc.bom = true;
      content.remove_prefix(kUtf8Bom.size());
    }
    size_t firstLf = content.find('\n');
    if (firstLf != std::string::npos)
      doc.eol = (firstLf > 0 && content[firstLf - 1] == '\r') ? "\r\n" : "\n";
    size_t start = 0;
    while (start < content.size()) {
      size_t lf = content.find('\n', start);
      size_t end = lf == std::string::npos ? content.size() : lf;
      size_t textEnd = end;
      if (textEnd > start && content[textEnd - 1] == '\r') --textEnd;
      doc.lines.push_back({std::string(content.substr(start, textEnd - start))});
      if (lf == std::string::npos) {
        doc.endsWithEol = false;
        break;
      }
      start = lf + 1;
    }
    return doc;
  }

  std::string ToText() const {
    std::string out(bom ? kUtf8Bom : "");
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
      if (p.kind != LineKind::Section || !EqualsIgnoringCase(p.name, name)) continue;
      size_t end = i + 1;
      while (end < lines.size() && Parse(lines[end].text).kind != LineKind::Section) ++end;
      return Range{i, end};
    }
    return std::nullopt;
  }

  std::optional<size_t> FindKey(const Range& range, std::string_view key) const {
    for (size_t i = range.header + 1; i < range.end; ++i) {
      ParsedLine p = Parse(lines[i].text);
      if (p.kind == LineKind::Key && EqualsIgnoringCase(p.name, key)) return i;
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

// Reads, edits and rewrites one file under its lock (EditTextFile: the lock, the atomic
// replace, the stale-temporary clean-up and the read-only refusal). `edit` returns false to
// leave the file as it is.
template <typename Edit>
bool EditFile(const std::string& file, Edit&& edit) {
  return EditTextFile(file, [&](std::string& text) {
    Document doc = Document::FromText(text);
    if (!edit(doc)) return false;
    text = doc.ToText();
    return true;
  });
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
  std::optional<std::string> content = ReadWholeFile(file);
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
  std::optional<std::string> content = ReadWholeFile(file);
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
    for (const auto& [key, value] : entries)
      body.push_back({std::string(key).append("=").append(value)});
    doc.lines.insert(doc.lines.begin() + static_cast<ptrdiff_t>(range->header + 1), body.begin(),
                     body.end());
    return true;
  });
}

SectionEdit::SectionEdit(std::string file, std::string section)
    : file_(std::move(file)),
      section_(std::move(section)),
      entries_(ReadSection(file_, section_).value_or(KeyValues{})) {}

std::optional<std::string> SectionEdit::Get(std::string_view key) const {
  for (const auto& [name, value] : entries_)
    if (EqualsIgnoringCase(name, key)) return value;
  return std::nullopt;
}

void SectionEdit::Set(std::string_view key, std::string value) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const auto& entry) { return EqualsIgnoringCase(entry.first, key); });
  if (it != entries_.end())
    it->second = std::move(value);
  else
    entries_.emplace_back(std::string(key), std::move(value));
}

void SectionEdit::Remove(std::string_view key) {
  std::erase_if(entries_, [&](const auto& entry) { return EqualsIgnoringCase(entry.first, key); });
}

bool SectionEdit::SaveAs(std::string_view section) const {
  return WriteSection(file_, section, entries_);
}

bool IsWritable(const std::string& file) { return IsRewritableTextFile(file); }

std::vector<std::string> SectionNames(const std::string& file) {
  std::vector<std::string> names;
  std::optional<std::string> content = ReadWholeFile(file);
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
