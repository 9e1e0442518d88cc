#include "remote/CertificateTrust.h"

#include "common/LockedTextFile.h"
#include "common/Text.h"
#include "remote/Fingerprint.h"

namespace quillon {

namespace {

constexpr const char* kFileComment =
    "# Server certificates trusted in Quillon: one line per server, \"host:port\", the SHA-256\n"
    "# fingerprint of its certificate and a note. Delete a line to forget a server.\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The server name and fingerprint of a trust file line, when it has them.
std::optional<std::pair<std::string_view, std::string>> ParseLine(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line.front() == '#') return std::nullopt;
  size_t end = 0;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  const std::string_view server = line.substr(0, end);
  std::string_view rest = line.substr(end);
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  size_t fingerprintEnd = 0;
  while (fingerprintEnd < rest.size() && !IsBlank(rest[fingerprintEnd])) ++fingerprintEnd;
  const auto fingerprint = ParseFingerprint(rest.substr(0, fingerprintEnd));
  if (server.empty() || !fingerprint) return std::nullopt;
  return std::make_pair(server, *fingerprint);
}

bool SameServer(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

}  // namespace

std::string DescribeCertificate(const CertificateDescription& certificate) {
  std::string text = "Subject: " + certificate.subject + "\n" + "Issuer: " + certificate.issuer +
                     "\n" + "Valid from " + FormatUserTime(certificate.notBefore) + " to " +
                     FormatUserTime(certificate.notAfter) + "\n";
  if (!certificate.names.empty()) {
    text += "Issued for: ";
    for (size_t i = 0; i < certificate.names.size(); ++i)
      text += (i ? ", " : "") + certificate.names[i];
    text += "\n";
  }
  text += certificate.fingerprint + "\n";
  return text;
}

std::string ServerName(std::string_view host, int port) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  const std::string name =
      host.find(':') == std::string_view::npos ? std::string(host) : "[" + std::string(host) + "]";
  return name + ":" + std::to_string(port);
}

CertificateVerdict JudgeCertificate(bool checksOut, std::string_view fingerprint,
                                    const std::optional<std::string>& pinned) {
  if (checksOut) return CertificateVerdict::Trusted;
  if (!pinned) return CertificateVerdict::Untrusted;
  return *pinned == fingerprint ? CertificateVerdict::Pinned : CertificateVerdict::Changed;
}

std::optional<std::string> PinnedCertificate(const std::string& file, std::string_view host,
                                             int port) {
  const std::optional<std::string> text = ReadTextFile(file);
  if (!text) return std::nullopt;
  const std::string server = ServerName(host, port);
  std::string_view rest = *text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const auto entry = ParseLine(rest.substr(0, end));
    if (entry && SameServer(entry->first, server)) return entry->second;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return std::nullopt;
}

bool PinCertificate(const std::string& file, std::string_view host, int port,
                    std::string_view fingerprint, std::string_view note) {
  const std::optional<std::string> canonical = ParseFingerprint(fingerprint);
  if (!canonical) return false;
  const std::string server = ServerName(host, port);
  std::string added = server + " " + *canonical;
  if (!note.empty()) added += " " + Printable(note);
  added += "\n";
  return EditTextFile(file, [&](std::string& text) {
    std::string kept = text.empty() ? std::string(kFileComment) : std::string();
    std::string_view rest = text;
    while (!rest.empty()) {
      const size_t end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      const auto entry = ParseLine(line);
      if (!entry || !SameServer(entry->first, server)) {
        kept += line;
        kept += '\n';
      }
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
    text = kept + added;
    return true;
  });
}

}  // namespace quillon
