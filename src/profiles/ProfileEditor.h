#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "profiles/IniFile.h"
#include "profiles/ServerProtocol.h"

namespace quillon {

// The connection manager's rules: the profiles of "Quillon.ini" (slots 0 to 19) as a list, and
// the fields a user edits, written in the keys and forms that ReadProfile, the task store and
// quillon-tool read: "Profile", "Address", "UserName", "LocalDir", "RemoteDir" as text; "Port",
// "MaxThread" as numbers; "SavePassword", "PASVMode", "BinaryMode" as "1" or "0"; "Password" in
// protected form, stored only with "SavePassword" (else removed); "Protocol" by its name, removed
// for plain FTP so a plain profile looks as it always did; for SFTP "PrivateKeyFile" and
// "PrivateKeyPassphrase" (protected form), removed when empty. Every other key of the section
// (session options, keys, hand-written ones) stays as it is. A locked profile is never written
// here. Each write replaces the section in one piece, so no reader sees it half-written. Safe
// from any thread; nothing is cached.

inline constexpr int32_t kProfileSlots = 20;

// One profile as the list shows it.
struct ProfileSummary {
  int32_t slot = -1;
  std::string name;     // "Profile"
  std::string address;  // empty for a locked profile, which hides it
  bool locked = false;
  bool readable = true;  // ReadProfile accepts it
};

// The slots that hold a profile (a non-empty "Address"), in slot order.
std::vector<ProfileSummary> ListProfiles(const std::string& file);
bool HasAnyProfile(const std::string& file);
std::optional<int32_t> FirstFreeSlot(const std::string& file);

// What the connection manager edits.
struct ProfileFields {
  std::string name;
  ServerProtocol protocol = ServerProtocol::Ftp;
  std::string address;
  int32_t port = 21;
  std::string userName;  // empty: anonymous
  std::string password;
  bool savePassword = false;
  bool passive = true;
  bool binary = true;
  int32_t threads = 3;  // 1..6 transfer lanes
  std::string localDir;
  std::string remoteDir;
  std::string privateKeyFile;  // SFTP: log in with this OpenSSH key (empty: the password)
  std::string keyPassphrase;   // the key's passphrase, when it has one

  bool operator==(const ProfileFields&) const = default;
};

// A new profile's fields.
ProfileFields NewProfileFields();

// The fields of a readable profile (its password only when it is saved); nullopt for a free or
// unreadable slot.
std::optional<ProfileFields> ReadProfileFields(int32_t slot, const std::string& file);

// Why `fields` cannot be stored (the message to show), or nothing when they can.
std::optional<std::string> CheckProfileFields(const ProfileFields& fields);

// Writes `fields` into `slot`. False with `error` for fields that CheckProfileFields refuses, a
// locked slot, a slot outside 0-19, or a file that cannot be written (nothing changes).
bool WriteProfileFields(int32_t slot, const ProfileFields& fields, const std::string& file,
                        std::string& error);

// Sets the connection keys of `fields` in `section` in the layout above: every key but the
// start folders ("LocalDir", "RemoteDir"), which stay as they are, like every other key. The
// fields must pass CheckProfileFields; the section is not written.
void SetConnectionKeys(ini::SectionEdit& section, const ProfileFields& fields);

// Empties `slot` (its section goes). False when the file cannot be written.
bool DeleteProfile(int32_t slot, const std::string& file);

// Copies the section of `slot` whole into the first free slot, named "Copy of " + its name;
// the new slot, or nothing when no slot is free, `slot` holds no profile or the file cannot be
// written.
std::optional<int32_t> DuplicateProfile(int32_t slot, const std::string& file);

}  // namespace quillon
