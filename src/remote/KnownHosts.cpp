#include "remote/KnownHosts.h"

#include "common/LockedTextFile.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/UserFolders.h"
#include "crypto/Sha.h"
#include "remote/Fingerprint.h"

namespace quillon {

namespace {

constexpr std::string_view kHashedPrefix = "|1|";
constexpr int kDefaultSshPort = 22;

constexpr const char* kOwnFileComment =
    "# Host keys of SFTP servers trusted in Quillon, in OpenSSH's known_hosts format: the\n"
    "# server (\"[host]:port\" unless the port is 22), the key type and the key. Delete a line to\n"
    "# forget a server; Quillon also reads ~/.ssh/known_hosts.\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// "*" any run of characters, "?" any one character.
bool GlobMatch(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool HashedNameMatches(std::string_view hashed, std::string_view name) {
  hashed.remove_prefix(kHashedPrefix.size());
  const size_t bar = hashed.find('|');
  if (bar == std::string_view::npos) return false;
  const auto salt = DecodeBase64Standard(hashed.substr(0, bar));
  const auto hash = DecodeBase64Standard(hashed.substr(bar + 1));
  if (!salt || !hash) return false;
  const Sha1Digest mac = HmacSha1(*salt, name);
  return *hash == std::string_view(reinterpret_cast<const char*>(mac.data()), mac.size());
}

// Whether the names field of a line covers `name` (already in lower case).
bool NamesMatch(std::string_view names, std::string_view name) {
  if (names.substr(0, kHashedPrefix.size()) == kHashedPrefix) return HashedNameMatches(names, name);
  bool matched = false;
  while (!names.empty()) {
    const size_t comma = names.find(',');
    std::string_view pattern = names.substr(0, comma);
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    const bool negated = !pattern.empty() && pattern.front() == '!';
    if (negated) pattern.remove_prefix(1);
    if (pattern.empty() || !GlobMatch(LowerCased(pattern), name)) continue;
    if (negated) return false;  // an excluded name is excluded whatever else matches
    matched = true;
  }
  return matched;
}

struct Entry {
  bool revoked = false;
  std::string_view names;
  std::string type;
  std::string blob;
};

std::optional<Entry> ParseLine(std::string_view line) {
  std::vector<std::string_view> fields = Fields(line);
  if (fields.empty() || fields.front().front() == '#') return std::nullopt;
  Entry entry;
  if (fields.front().front() == '@') {
    if (fields.front() != "@revoked") return std::nullopt;  // "@cert-authority" and others
    entry.revoked = true;
    fields.erase(fields.begin());
  }
  if (fields.size() < 3) return std::nullopt;
  entry.names = fields[0];
  entry.type = std::string(fields[1]);
  const auto blob = DecodeBase64Standard(fields[2]);
  // A key whose blob names another type than the line does is not the key the line says.
  if (!blob || HostKeyType(*blob) != entry.type) return std::nullopt;
  entry.blob = *blob;
  return entry;
}

int Rank(HostKeyMatch match) {
  switch (match) {
    case HostKeyMatch::Revoked:
      return 3;
    case HostKeyMatch::Known:
      return 2;
    case HostKeyMatch::Changed:
      return 1;
    case HostKeyMatch::Unknown:
      break;
  }
  return 0;
}

}  // namespace

std::optional<std::string> HostKeyType(std::string_view blob) {
  if (blob.size() < 4) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(blob.data());
  const uint32_t length =
      (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  if (length == 0 || length > 64 || length > blob.size() - 4) return std::nullopt;
  std::string type(blob.substr(4, length));
  for (const char c : type)
    if (c <= ' ' || c > '~') return std::nullopt;
  return type;
}

std::string KnownHostsName(std::string_view host, int port) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  std::string lower = LowerCased(host);
  if (port == kDefaultSshPort) return lower;
  return "[" + lower + "]:" + std::to_string(port);
}

HostKeyCheck CheckKnownHosts(std::string_view text, std::string_view host, int port,
                             std::string_view keyBlob, const std::string& file) {
  const std::string name = KnownHostsName(host, port);
  const std::optional<std::string> type = HostKeyType(keyBlob);
  HostKeyCheck result;
  result.file = file;
  int number = 0;
  for (const std::string_view line : SplitLines(text)) {
    ++number;
    const std::optional<Entry> entry = ParseLine(line);
    if (!entry || !NamesMatch(entry->names, name)) continue;
    HostKeyMatch match = HostKeyMatch::Unknown;
    if (entry->blob == keyBlob) {
      match = entry->revoked ? HostKeyMatch::Revoked : HostKeyMatch::Known;
    } else if (!entry->revoked && type && entry->type == *type) {
      match = HostKeyMatch::Changed;
    }
    if (Rank(match) > Rank(result.match)) {
      result.match = match;
      result.line = number;
      result.knownFingerprint =
          match == HostKeyMatch::Changed ? Sha256Fingerprint(entry->blob) : std::string();
    }
  }
  return result;
}

HostKeyCheck CheckKnownHostsFiles(const std::vector<std::string>& files, std::string_view host,
                                  int port, std::string_view keyBlob) {
  HostKeyCheck best;
  for (const std::string& file : files) {
    if (file.empty()) continue;
    const std::optional<std::string> text = ReadTextFile(file);
    if (!text) continue;
    HostKeyCheck check = CheckKnownHosts(*text, host, port, keyBlob, file);
    if (Rank(check.match) > Rank(best.match)) best = std::move(check);
  }
  return best;
}

std::string UserKnownHostsFile() { return JoinPath(UserHomeFolder(), ".ssh/known_hosts"); }

bool AddKnownHost(const std::string& file, std::string_view host, int port,
                  std::string_view keyBlob) {
  const std::optional<std::string> type = HostKeyType(keyBlob);
  if (!type) return false;
  const std::string name = KnownHostsName(host, port);
  const std::string added = name + " " + *type + " " + Base64Standard(keyBlob) + "\n";
  return EditTextFile(file, [&](std::string& text) {
    std::string kept = text.empty() ? std::string(kOwnFileComment) : std::string();
    for (const std::string_view line : SplitLines(text)) {
      const std::optional<Entry> entry = ParseLine(line);
      const bool replaced =
          entry && !entry->revoked && entry->type == *type && LowerCased(entry->names) == name;
      if (!replaced) {
        kept += line;
        kept += '\n';
      }
    }
    text = kept + added;
    return true;
  });
}

}  // namespace quillon
