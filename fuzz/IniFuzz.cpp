// INI files as anyone may have edited them: the input gives a section, a key, a value and the
// file's content. Every reader runs on the file, the profile reader too; then a write of the
// key, which must read back and leave every other section as it was.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"

using namespace quillon;

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// What a written value reads back as: blanks around it dropped, then one pair of quotes.
std::string AsReadBack(std::string_view value) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
  while (!value.empty() && blank(value.front())) value.remove_prefix(1);
  while (!value.empty() && blank(value.back())) value.remove_suffix(1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(32);
  const std::string key = input.ConsumeRandomLengthString(32);
  const std::string value = input.ConsumeRandomLengthString(64);
  const bool wholeSection = input.ConsumeBool();
  const std::string content = input.ConsumeRemainingBytesAsString();

  const std::string file = fuzz::ScratchFolder() + "Quillon.ini";
  fuzz::EmptyScratchFolder();
  FUZZ_CHECK(fuzz::WriteWholeFile(file, content));

  std::map<std::string, std::optional<ini::KeyValues>> before;
  for (const std::string& name : ini::SectionNames(file)) {
    auto entries = ini::ReadSection(file, name);
    FUZZ_CHECK(entries.has_value());
    for (const auto& [entryKey, entryValue] : *entries) {
      // Read finds the first line of a key; ReadSection lists them all.
      for (const auto& [firstKey, firstValue] : *entries) {
        if (!SameNoCase(firstKey, entryKey)) continue;
        FUZZ_CHECK(ini::Read(file, name, entryKey) == AsReadBack(firstValue));
        break;
      }
    }
    before.emplace(name, std::move(entries));
  }
  ini::ReadString(file, section, key, "fallback");
  ini::ReadInt(file, section, key, -1);
  ParseLeadingInt(content);
  // A profile as the windows and task runs read it, protected and bound values included.
  for (int32_t slot : {0, 7}) {
    ConnectionProfile profile;
    static_cast<void>(ReadProfile(slot, profile, file));
  }

  bool written;
  if (wholeSection) {
    const ini::KeyValues entries = {{key, value}, {"Second", value}};
    written = ini::WriteSection(file, section, entries);
    if (written) {
      const auto after = ini::ReadSection(file, section);
      FUZZ_CHECK(after.has_value() && after->size() == 2);
      FUZZ_CHECK((*after)[0].first == key && AsReadBack((*after)[0].second) == AsReadBack(value));
    }
  } else {
    written = ini::Write(file, section, key, value);
    if (written) FUZZ_CHECK(ini::Read(file, section, key) == AsReadBack(value));
  }
  if (written) {
    for (const auto& [name, entries] : before)
      if (!SameNoCase(name, section)) FUZZ_CHECK(ini::ReadSection(file, name) == entries);
  }
  return 0;
}
