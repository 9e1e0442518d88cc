#include "platform/TlsCertificate.h"

#include <arpa/inet.h>
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "remote/Fingerprint.h"

namespace quillon {

namespace {

struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct NamesFree {
  void operator()(GENERAL_NAMES* n) const { GENERAL_NAMES_free(n); }
};

std::string Escaped(unsigned char byte) {
  char text[5];
  std::snprintf(text, sizeof text, "\\%02X", byte);
  return text;
}

// Length of the well-formed UTF-8 sequence at `p`, 0 when there is none.
size_t Utf8Length(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  size_t length = 0;
  uint32_t code = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (p[i] & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool invalid = code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF);
  const bool control = code >= 0x80 && code <= 0x9F;  // C1 controls, terminal escapes too
  return overlong || invalid || control ? 0 : length;
}

// Printable UTF-8: control characters and malformed bytes become "\XX".
std::string Printable(std::string_view text) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    if (p[i] >= 0x20 && p[i] < 0x7F) {
      out += static_cast<char>(p[i++]);
    } else if (const size_t n = p[i] >= 0x80 ? Utf8Length(p + i, text.size() - i) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      out += Escaped(p[i++]);
    }
  }
  return out;
}

std::string NameText(const X509_NAME* name) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio) return {};
  // RFC 2253 order and escapes, with UTF-8 left as it is rather than escaped byte by byte.
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return Printable(std::string_view(data, length > 0 ? static_cast<size_t>(length) : 0));
}

std::optional<TimePoint> TimeOf(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return std::nullopt;
  // "99991231235959Z" is the usual notAfter of a certificate that never expires.
  return ClampedTimePoint(std::chrono::sys_seconds(std::chrono::seconds(timegm(&parts))));
}

std::vector<std::string> AlternativeNames(X509* certificate) {
  std::vector<std::string> names;
  std::unique_ptr<GENERAL_NAMES, NamesFree> all(static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)));
  if (!all) return names;
  for (int i = 0; i < sk_GENERAL_NAME_num(all.get()); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(all.get(), i);
    if (name->type == GEN_DNS) {
      const ASN1_IA5STRING* dns = name->d.dNSName;
      names.push_back(Printable(std::string_view(
          reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)), ASN1_STRING_length(dns))));
    } else if (name->type == GEN_IPADD) {
      const ASN1_OCTET_STRING* ip = name->d.iPAddress;
      const int length = ASN1_STRING_length(ip);
      char text[INET6_ADDRSTRLEN] = "";
      if ((length == 4 || length == 16) &&
          inet_ntop(length == 4 ? AF_INET : AF_INET6, ASN1_STRING_get0_data(ip), text, sizeof text))
        names.emplace_back(text);
    }
  }
  return names;
}

}  // namespace

std::optional<CertificateDescription> ReadCertificate(std::string_view der) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  const unsigned char* end = bytes;
  std::unique_ptr<X509, X509Free> certificate(
      d2i_X509(nullptr, &end, static_cast<long>(der.size())));
  // Trailing bytes would make the fingerprint name more than the certificate shown.
  if (!certificate || end != bytes + der.size()) return std::nullopt;
  const auto notBefore = TimeOf(X509_get0_notBefore(certificate.get()));
  const auto notAfter = TimeOf(X509_get0_notAfter(certificate.get()));
  if (!notBefore || !notAfter) return std::nullopt;

  CertificateDescription description;
  description.subject = NameText(X509_get_subject_name(certificate.get()));
  description.issuer = NameText(X509_get_issuer_name(certificate.get()));
  description.notBefore = *notBefore;
  description.notAfter = *notAfter;
  description.names = AlternativeNames(certificate.get());
  description.fingerprint = Sha256Fingerprint(der);
  return description;
}

}  // namespace quillon
