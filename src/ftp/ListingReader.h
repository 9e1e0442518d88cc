#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "remote/FtpConnection.h"

namespace quillon {

// Turns the bytes of a listing's data connection, in whatever pieces they come, into the
// entries of one folder: lines end with LF (a CR before it is the parsers' business), each line
// goes through the MLSD or LIST parser, and names that are not safe are set aside. A line longer
// than kMaxListingLine or more than kMaxListingEntries lines refuse the listing. Pure; one
// listing per reader.
class ListingReader {
 public:
  // `folder` is the folder listed (the entries' paths start with it); `now` places LIST times
  // without a year.
  ListingReader(bool mlsd, std::string folder, TimePoint now)
      : mlsd_(mlsd), folder_(std::move(folder)), now_(now) {}

  // Takes the next bytes. False once the listing broke a limit (Refusal says which); the reader
  // then takes nothing more.
  [[nodiscard]] bool Add(std::string_view data);

  // The end of the data: a last line without a line end counts like any other. False when the
  // listing broke a limit.
  [[nodiscard]] bool Finish();

  // Why the listing was refused ("The server's listing has more than 500000 lines"); empty
  // while it was not.
  [[nodiscard]] const std::string& Refusal() const { return refusal_; }

  // The entries so far, in the server's order.
  [[nodiscard]] std::vector<RemoteEntry> TakeEntries() { return std::move(entries_); }
  // The names left out as unsafe ("." and ".." are left out without a mention).
  [[nodiscard]] const std::vector<std::string>& Dropped() const { return dropped_; }

 private:
  bool TakeLine(std::string_view line);

  bool mlsd_;
  std::string folder_;
  TimePoint now_;
  std::string partial_;  // the line whose end has not come yet
  size_t lines_ = 0;
  std::vector<RemoteEntry> entries_;
  std::vector<std::string> dropped_;
  std::string refusal_;
};

}  // namespace quillon
