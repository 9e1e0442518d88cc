#include "ftp/FtpReplies.h"

#include <cctype>

#include "common/Text.h"
#include "remote/FtpError.h"
#include "remote/RemoteListing.h"

namespace quillon {

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

int CodeOf(std::string_view line) {
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

}  // namespace

bool ReplyReader::AddLine(std::string_view line) {
  if (overflow_) return false;
  bytes_ += line.size();
  if (bytes_ > maxBytes_) {
    overflow_ = true;
    return false;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (inMultiLine_) {
    pending_.text += '\n';
    pending_.text += line;
    // The reply ends with the first line that starts with its own code and a blank.
    if (line.size() >= 4 && line.substr(0, 3) == std::string_view(pending_.text).substr(0, 3) &&
        line[3] == ' ') {
      replies_.push_back(std::move(pending_));
      pending_ = {};
      inMultiLine_ = false;
    }
    return true;
  }
  if (!StartsWithCode(line)) return true;
  if (line.size() >= 4 && line[3] == '-') {
    inMultiLine_ = true;
    pending_ = {CodeOf(line), std::string(line)};
  } else if (line.size() == 3 || line[3] == ' ') {
    replies_.push_back({CodeOf(line), std::string(line)});
  }
  return true;
}

void ReplyReader::Clear() {
  replies_.clear();
  pending_ = {};
  inMultiLine_ = false;
  overflow_ = false;
  bytes_ = 0;
}

std::optional<std::string> ParsePwdReply(const FtpReply& reply) {
  if (reply.code != 257) return std::nullopt;
  std::string line = reply.FirstLine();
  auto open = line.find('"');
  if (open == std::string::npos) return std::nullopt;
  std::string folder;
  for (size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        folder += '"';
        ++i;
        continue;
      }
      if (!IsSafeRemotePath(folder)) return std::nullopt;
      return folder;
    }
    folder += line[i];
  }
  return std::nullopt;
}

FtpFeatures ParseFeatReply(const std::vector<FtpReply>& replies) {
  FtpFeatures features;
  for (const auto& reply : replies) {
    if (reply.code != 211) continue;
    // The features are the lines between "211-" and "211 End", each led by a blank.
    features = {};
    std::string_view rest(reply.text);
    auto newline = rest.find('\n');
    while (newline != std::string_view::npos) {
      rest.remove_prefix(newline + 1);
      newline = rest.find('\n');
      std::string_view feature = rest.substr(0, newline);
      while (!feature.empty() && feature.front() == ' ') feature.remove_prefix(1);
      if (StartsWithIgnoringCase(feature, "MLST") || StartsWithIgnoringCase(feature, "MLSD"))
        features.mlsd = true;
    }
  }
  return features;
}

std::string CommandRefusalText(std::string_view command, const FtpReply& reply,
                               std::string_view password) {
  std::string line = reply.FirstLine();
  while (!line.empty() && (line.back() == '.' || line.back() == ' ')) line.pop_back();
  return MaskedFtpError(std::string(command) + ": " + line, {password});
}

}  // namespace quillon
