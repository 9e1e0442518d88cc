#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "profiles/ConnectionProfile.h"

namespace quillon {

// The enciphered value forms of profile and task sections, and reading a whole profile.
//
// Protected form: the Base64 text of SealString(value) (built-in INI key). An empty value is
// never sealed: writing it deletes the key. A missing, empty or undecryptable stored value
// reads as the empty text.
//
// Locked form: the protected form of binding + ":[QVR]:" + value, where the binding is the
// profile's lock password. It reads back only with the same binding (byte for byte); a value
// copied from another profile or bound to another lock password reads as empty.
//
// Locked profile layout: "Address" is "0.0.0.0"; "Password" holds the protected form of
// real address + ":[QVR]:" + password; "UserName" and "LockPassword" are protected; "RMTROOT",
// "RemoteDir" and any imposed key are in locked form.
//
// Every call names the INI file by its full path and reads or writes it at once (nothing is
// cached, no state between calls); safe from any thread.

inline constexpr std::string_view kLockedAddress = "0.0.0.0";
inline constexpr std::string_view kBindingMarker = ":[QVR]:";

// The profile keys of the secure transports (see ReadProfile).
inline constexpr std::string_view kProtocolKey = "Protocol";
inline constexpr std::string_view kPrivateKeyFileKey = "PrivateKeyFile";
inline constexpr std::string_view kPrivateKeyPassphraseKey = "PrivateKeyPassphrase";

// A stored text must fit the 511 characters that a read sees.
inline constexpr size_t kMaxStoredText = 511;

// The stored texts of the two forms; nothing for an empty value (protected form) or when the
// sealed text would be longer than a read can see (it could never be read back).
[[nodiscard]] std::optional<std::string> ProtectedForm(std::string_view value);
[[nodiscard]] std::optional<std::string> LockedForm(std::string_view value,
                                                    std::string_view binding);

// Values of stored texts of the two forms; empty when they do not unseal (or do not carry the
// binding).
std::string ValueOfProtected(std::string_view stored);
std::string ValueOfLocked(std::string_view stored, std::string_view binding);

std::string ReadProtected(int32_t slot, std::string_view key, const std::string& file);
// An empty value removes the key. False when the file cannot be written or the value is too
// long to be read back in protected form (then nothing is written).
[[nodiscard]] bool WriteProtected(int32_t slot, std::string_view key, std::string_view value,
                                  const std::string& file);

std::string ReadBound(int32_t slot, std::string_view key, std::string_view binding,
                      const std::string& file);
// Writes the locked form (also for an empty value). False as WriteProtected.
[[nodiscard]] bool WriteBound(int32_t slot, std::string_view key, std::string_view value,
                              std::string_view binding, const std::string& file);

// Fills `record` from the profile in `slot`. False, with the record's contents unspecified,
// for a slot outside 0-19, an empty "Address", a locked profile whose "Password" lacks the
// marker or has nothing before it, an empty lock password, or an empty or wrongly bound
// "RMTROOT". Nothing is repaired.
//
// The keys of the secure transports, optional in both layouts: "Protocol" (text, a name of
// ServerProtocol: "ftp", "ftpes", "ftps" or "sftp"; missing or empty means plain FTP),
// "PrivateKeyFile" (text, the OpenSSH private key of an SFTP login) and "PrivateKeyPassphrase"
// (protected form). A "Protocol" this build does not know fails the read and leaves the record's
// protocol Unknown, which is never connected to: a profile that asks for a secure transport
// never falls back to plain FTP.
[[nodiscard]] bool ReadProfile(int32_t slot, ConnectionProfile& record, const std::string& file);

}  // namespace quillon
