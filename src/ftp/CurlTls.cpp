#include "ftp/CurlTls.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "common/Paths.h"
#include "platform/TlsCertificate.h"
#include "remote/Fingerprint.h"

namespace quillon {

namespace {

int CheckIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// Why a chain does not check out, in the words of the trust question.
std::string ChainProblem(int error) {
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return "self-signed certificate";
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "certificate is not valid yet";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return "issued by an unknown authority";
    case X509_V_ERR_CERT_REVOKED:
      return "certificate has been revoked";
    default:
      return X509_verify_cert_error_string(error);
  }
}

// OpenSSL calls this for every certificate of the chain, deepest first, and again for each
// error it finds. Errors are noted on the way; the decision falls at the server's own
// certificate (depth 0), where an accepted certificate clears the error so that libcurl, which
// reads the verification result after the handshake, goes on.
int OnVerify(int preverifyOk, X509_STORE_CTX* store) {
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* check =
      ssl ? static_cast<TlsServerCheck*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CheckIndex()))
          : nullptr;
  if (!check) return preverifyOk;
  if (!preverifyOk) check->NoteChainError(X509_STORE_CTX_get_error(store));
  if (X509_STORE_CTX_get_error_depth(store) != 0) return 1;
  X509* leaf = X509_STORE_CTX_get_current_cert(store);
  unsigned char* der = nullptr;
  int length = leaf ? i2d_X509(leaf, &der) : -1;
  if (length <= 0) return 0;
  std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
  OPENSSL_free(der);
  const std::string& host = check->Host();
  bool nameMatches = X509_check_ip_asc(leaf, host.c_str(), 0) == 1 ||
                     X509_check_host(leaf, host.data(), host.size(), 0, nullptr) == 1;
  bool chainChecksOut = preverifyOk && check->ChainError() == 0;
  if (!check->JudgeLeaf(chainChecksOut, nameMatches, bytes)) return 0;
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

// libcurl calls this after its own set-up of each TLS context (control and data connections), so
// the callback installed here replaces libcurl's checks.
CURLcode OnSslContext(CURL*, void* context, void* self) {
  auto* ctx = static_cast<SSL_CTX*>(context);
  if (CheckIndex() < 0 || !SSL_CTX_set_ex_data(ctx, CheckIndex(), self))
    return CURLE_SSL_CERTPROBLEM;
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &OnVerify);
  return CURLE_OK;
}

}  // namespace

TlsServerCheck::TlsServerCheck(const FtpConnectParameters& server, int port, bool probeOnly)
    : host_(server.host),
      port_(port),
      authorities_(server.certificateAuthorities),
      accepted_(ParseFingerprint(server.acceptedFingerprint).value_or("")),
      probeOnly_(probeOnly) {
  if (!server.trustFolder.empty())
    trustFile_ = JoinPath(server.trustFolder, kTrustedCertificatesFileName);
  // An address may be written in brackets; the certificate names it without.
  if (host_.size() > 2 && host_.front() == '[' && host_.back() == ']')
    host_ = host_.substr(1, host_.size() - 2);
}

void TlsServerCheck::Configure(CURL* easy) {
  // TLS 1.2 at most: vsftpd with require_ssl_reuse (a common set-up) fails about every second
  // transfer over TLS 1.3, whose session tickets it sends late on each data connection and
  // honours once only; the next data connection is then refused ("522 session reuse
  // required"). TLS 1.2 with its forward-secret ciphers is sound, and every server has it.
  curl_easy_setopt(
      easy, CURLOPT_SSLVERSION,
      static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  // Data connections resume the control connection's session (servers may insist on it).
  curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 1L);
  // The chain is checked by OpenSSL, the name and the pins by OnVerify; libcurl's own name
  // check would refuse a pinned certificate after the handshake.
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
  if (!authorities_.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, authorities_.c_str());
  // The authorities come from the bundle file alone (Debian's bundle holds every certificate of
  // its folder). With a folder set as well, libcurl parses the whole bundle again for every
  // data connection, some 25 ms of CPU per file; from a file alone it keeps the parsed store.
  curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &OnSslContext);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
}

bool TlsServerCheck::JudgeLeaf(bool chainChecksOut, bool nameMatches, std::string_view der) {
  auto certificate = ReadCertificate(der);
  if (!certificate) return false;
  bool checksOut = chainChecksOut && nameMatches;
  std::optional<std::string> pinned;
  if (!trustFile_.empty()) pinned = PinnedCertificate(trustFile_, host_, port_);
  auto verdict = JudgeCertificate(checksOut, certificate->fingerprint, pinned);
  bool accepted = verdict == CertificateVerdict::Trusted || verdict == CertificateVerdict::Pinned ||
                  (!accepted_.empty() && certificate->fingerprint == accepted_);
  if (accepted && !probeOnly_) return true;

  ServerIdentity identity;
  identity.kind = IdentityKind::Certificate;
  identity.host = host_;
  identity.port = port_;
  identity.fingerprint = certificate->fingerprint;
  if (chainError_ != 0) identity.problem = ChainProblem(chainError_);
  if (!nameMatches) {
    if (!identity.problem.empty()) identity.problem += ", ";
    identity.problem += "issued for other names";
  }
  identity.certificate = std::move(*certificate);
  if (verdict == CertificateVerdict::Changed && pinned) {
    identity.changed = true;
    identity.knownFingerprint = *pinned;
  }
  untrusted_ = std::move(identity);
  return false;
}

int LingeringClose(curl_socket_t socket) {
  if (shutdown(socket, SHUT_WR) != 0) return close(socket);  // never connected, or a listener
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  char sink[4096];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{socket, POLLIN, 0};
    int ready = poll(&p, 1, 100);
    if (ready < 0) break;
    if (ready == 0) continue;
    if (recv(socket, sink, sizeof sink, 0) <= 0) break;
  }
  return close(socket);
}

}  // namespace quillon
