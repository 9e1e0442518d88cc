#include "support/VsftpdServer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace quillon::test {

namespace {

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";

// The OpenSSL configuration that keeps vsftpd at TLS 1.2 (see the class comment).
constexpr const char* kTls12Only =
    "openssl_conf = quillon_conf\n"
    "[quillon_conf]\n"
    "ssl_conf = quillon_ssl\n"
    "[quillon_ssl]\n"
    "system_default = quillon_tls\n"
    "[quillon_tls]\n"
    "MaxProtocol = TLSv1.2\n";

}  // namespace

VsftpdServer::VsftpdServer(Options options)
    : options_(std::move(options)),
      daemon_({kVsftpd, folder_.file("vsftpd.conf")}, folder_.path() / "vsftpd.out",
              {"OPENSSL_CONF=" + folder_.file("openssl.cnf")}) {
  if (access(kVsftpd, X_OK) != 0) throw std::runtime_error("vsftpd is not installed");
  options_.root = std::filesystem::absolute(options_.root);
  std::filesystem::create_directory(folder_.path() / "empty");
  WriteFile(folder_.path() / "openssl.cnf", kTls12Only);
  port_ = StartOnFreePort(daemon_, "vsftpd", [&](int port) {
    const std::string conf =
        "listen=YES\n"
        "listen_ipv6=NO\n"
        "listen_address=127.0.0.1\n"
        "listen_port=" +
        std::to_string(port) +
        "\n"
        "background=NO\n"
        "run_as_launching_user=YES\n"
        "seccomp_sandbox=NO\n"
        "anonymous_enable=YES\n"
        "no_anon_password=YES\n"
        "anon_root=" +
        options_.root.string() +
        "\n"
        "local_enable=NO\n"
        "write_enable=YES\n"
        "anon_upload_enable=YES\n"
        "anon_mkdir_write_enable=YES\n"
        "anon_other_write_enable=YES\n"
        "anon_umask=022\n"
        "pasv_enable=YES\n"
        "pasv_address=127.0.0.1\n"
        "port_enable=YES\n"
        "xferlog_enable=YES\n"
        "xferlog_std_format=NO\n"
        "log_ftp_protocol=YES\n"
        "vsftpd_log_file=" +
        folder_.file("vsftpd.log") +
        "\n"
        "secure_chroot_dir=" +
        folder_.file("empty") +
        "\n"
        "ssl_enable=YES\n"
        "allow_anon_ssl=YES\n"
        "force_anon_logins_ssl=YES\n"
        "force_anon_data_ssl=YES\n"
        "require_ssl_reuse=YES\n"
        // vsftpd's own default list (DES-CBC3-SHA) is refused by OpenSSL 3.
        "ssl_ciphers=HIGH\n"
        "rsa_cert_file=" +
        options_.certificatePem +
        "\n"
        "rsa_private_key_file=" +
        options_.certificatePem + "\n";
    // Without a certificate the same server speaks plain FTP: the TLS settings end the file.
    WriteFile(folder_.path() / "vsftpd.conf",
              options_.certificatePem.empty()
                  ? conf.substr(0, conf.find("ssl_enable=")) + "ssl_enable=NO\n"
                  : conf);
  });
}

std::string VsftpdServer::RemotePath(const std::string& relative) const {
  return relative.empty() ? options_.root.string() : (options_.root / relative).string();
}

std::string VsftpdServer::Log() const {
  std::string log = daemon_.Log();
  std::error_code error;
  if (std::filesystem::exists(folder_.path() / "vsftpd.log", error))
    log += ReadFile(folder_.path() / "vsftpd.log");
  return log;
}

}  // namespace quillon::test
