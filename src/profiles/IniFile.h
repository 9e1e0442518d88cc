#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

// INI files with the semantics of the Windows private-profile functions:
// - section and key names match without regard to letter case;
// - keys and values are trimmed of blanks; a value wrapped in double quotes loses them;
// - a missing key gives the caller's default; lines that are neither a section header nor a
//   key of interest are kept as they stand; CRLF and LF both read, and a rewrite keeps the
//   file's line-end style (a new file gets CRLF, like the Windows functions write).
// Nothing is cached: every call reads the file again or rewrites it whole. A write goes to a
// temporary file beside the target, is flushed and renamed over it, under an advisory lock on
// the side file "<name>.lock" held from read to rename, so concurrent writers in several
// processes never lose each other's keys and readers never see a half-written file.
// Names and values that contain CR, LF or NUL would change the file's structure, and so would a
// key that holds "=" or starts with "[" or ";": such writes fail and change nothing. A file that
// is read-only (no write permission for this process, or no write bit at all, as after chmod
// 0444) refuses every write and stays as it is. A UTF-8 byte-order mark at the start of a file
// (as some editors save) is skipped when reading and kept by a rewrite. Every call is safe from
// any thread.
namespace ini {

// GetPrivateProfileString: the value, or nullopt when the section or key is missing.
[[nodiscard]] std::optional<std::string> Read(const std::string& file, std::string_view section,
                                              std::string_view key);

// The value seen through a 512-byte buffer: at most 511 characters, `fallback` when missing.
std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view fallback = {});

// GetPrivateProfileInt: `fallback` when missing or empty, else the leading decimal number
// (blanks, optional sign, digits; no digits gives 0).
int32_t ReadInt(const std::string& file, std::string_view section, std::string_view key,
                int32_t fallback);

// WritePrivateProfileString: sets key=value (a new section is appended at the end, a new key at
// the end of its section). A null value removes the key.
[[nodiscard]] bool Write(const std::string& file, std::string_view section, std::string_view key,
                         const std::optional<std::string_view>& value);

// Removes a whole section (WritePrivateProfileString with a null key).
[[nodiscard]] bool RemoveSection(const std::string& file, std::string_view section);

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// GetPrivateProfileSection: every key=value line of the section in file order; nullopt when
// the section is missing or the file cannot be read.
[[nodiscard]] std::optional<KeyValues> ReadSection(const std::string& file,
                                                   std::string_view section);

// WritePrivateProfileSection: replaces the section's lines with `entries` (the section is
// created at the end when missing).
[[nodiscard]] bool WriteSection(const std::string& file, std::string_view section,
                                const KeyValues& entries);

// One section read whole, edited in memory and written back in one piece with WriteSection, so
// that no reader sees it half-changed (an unlocked address beside a locked password, say). Keys
// match without regard to letter case; a new key goes to the end, a changed one keeps its place.
class SectionEdit {
 public:
  // Reads `section` of `file` (a missing file or section starts empty).
  SectionEdit(std::string file, std::string section);

  std::optional<std::string> Get(std::string_view key) const;
  void Set(std::string_view key, std::string value);
  // Removes every entry of `key`.
  void Remove(std::string_view key);
  const KeyValues& Entries() const { return entries_; }

  // Writes the entries to the section read, or to `section` of the same file. False when the
  // file cannot be written or an entry could not be stored (then nothing changes).
  [[nodiscard]] bool Save() const { return SaveAs(section_); }
  [[nodiscard]] bool SaveAs(std::string_view section) const;

 private:
  std::string file_;
  std::string section_;
  KeyValues entries_;
};

// False when `file` exists and a write would be refused (see above); true for a missing file.
bool IsWritable(const std::string& file);

// The names of all sections in file order.
std::vector<std::string> SectionNames(const std::string& file);

}  // namespace ini

// The program-wide section of "Quillon.ini" and its keys with their defaults when missing.
inline constexpr std::string_view kProgramSection = "Quillon";
struct ProgramKey {
  std::string_view name;
  int32_t fallback;
};
inline constexpr ProgramKey kBackupCopies{"BackupCopies", -1};
inline constexpr ProgramKey kSuppressWarningLevel{"SuppressWarningLevel", 2};
inline constexpr ProgramKey kMinimizeWndDuringTransfer{"MinimizeWndDuringTransfer", 0};
inline constexpr ProgramKey kWinW{"WinW", 0};
inline constexpr ProgramKey kWinH{"WinH", 0};
inline constexpr ProgramKey kAutoConnect{"AutoConnect", -1};
inline constexpr ProgramKey kLastSessionID{"LastSessionID", -1};
// 0: uploads go straight to their final names instead of a temporary name renamed into place.
inline constexpr ProgramKey kSafeUploads{"SafeUploads", 1};

// A program-wide number: the key's default when missing or empty, else its leading number.
int32_t ReadProgramNumber(const std::string& file, const ProgramKey& key);
[[nodiscard]] bool WriteProgramNumber(const std::string& file, const ProgramKey& key,
                                      int32_t value);

// "SESSION%02d"
std::string SessionSection(int32_t slot);

// Leading white space, optional sign, decimal digits; no digits gives 0. Saturates at int32.
int32_t ParseLeadingInt(std::string_view text);

// The plain helpers of profile and task sections.
std::string ReadText(int32_t slot, std::string_view key, const std::string& file);
int32_t ReadNumber(int32_t slot, std::string_view key, const std::string& file);  // -1 when missing
[[nodiscard]] bool WriteText(int32_t slot, std::string_view key,
                             const std::optional<std::string_view>& value, const std::string& file);
[[nodiscard]] bool WriteNumber(int32_t slot, std::string_view key, int32_t number,
                               const std::string& file);

}  // namespace quillon
