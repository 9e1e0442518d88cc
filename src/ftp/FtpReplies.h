#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// What an FTP server says on the control connection, read without a connection: the framing of
// replies and the replies whose text carries a value. Pure functions and plain values, usable
// from any thread; every one takes whatever bytes a server sends.

// One reply of the server; `text` holds all its lines, joined by "\n" (without CR or LF at the
// end). `code` is the three digits the reply starts with (0..999).
struct FtpReply {
  int code = 0;
  std::string text;

  // The text up to the first line break.
  [[nodiscard]] std::string FirstLine() const { return text.substr(0, text.find('\n')); }
  // 2xx: the command was done.
  [[nodiscard]] bool IsSuccess() const { return code >= 200 && code < 300; }
};

// Puts the reply lines of one operation back together into replies: a reply is one line
// "ddd text" (or just "ddd"), or runs from "ddd-" to the first line that starts with the same
// "ddd ". Lines outside any reply (libcurl's own made-up headers, stray text) are ignored, and
// so is a multi-line reply that never ends. The text taken per operation is bounded.
class ReplyReader {
 public:
  // Takes one line, with or without its CR/LF. False once the operation's lines exceed
  // `maxBytes` in all; the reader then takes no more until Clear.
  [[nodiscard]] bool AddLine(std::string_view line);

  // The complete replies so far, in order.
  [[nodiscard]] const std::vector<FtpReply>& Replies() const { return replies_; }

  // Starts the next operation.
  void Clear();

  explicit ReplyReader(size_t maxBytes) : maxBytes_(maxBytes) {}

 private:
  size_t maxBytes_;
  std::vector<FtpReply> replies_;
  FtpReply pending_;
  bool inMultiLine_ = false;
  bool overflow_ = false;
  size_t bytes_ = 0;
};

// The folder in a "257" reply to PWD: the text between the first '"' of its first line and its
// closing '"', with doubled quotes standing for one. nullopt for another code, a reply without
// the quoted folder, or a folder that is no safe path (empty, CR, LF or NUL).
[[nodiscard]] std::optional<std::string> ParsePwdReply(const FtpReply& reply);

// What the server's "211" reply to FEAT offers, as far as this client uses it.
struct FtpFeatures {
  bool mlsd = false;  // MLST or MLSD is listed: listings use MLSD
};
// Reads the features from the replies of a FEAT exchange (a server without FEAT answers 500
// and offers nothing). Feature names are matched without regard to letter case.
[[nodiscard]] FtpFeatures ParseFeatReply(const std::vector<FtpReply>& replies);

// The one-line error text of a command the server refused, "CWD /x: 550 No such folder.":
// the command, the reply's first line without trailing dots and blanks, made an FtpError, with
// `password` masked wherever it stands as a word.
[[nodiscard]] std::string CommandRefusalText(std::string_view command, const FtpReply& reply,
                                             std::string_view password);

}  // namespace quillon
