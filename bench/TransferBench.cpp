// The transfer engine as a command-line client for bench/transfer_bench.sh:
//   quillon-transfer-bench --host H --port P --user U --password W [--lanes N]
//       [--sftp-key FILE] (SFTP with this key; the host key must be in ~/.ssh/known_hosts)
//       [--tls explicit|implicit] (FTP over TLS: AUTH TLS on the FTP port, or TLS from the start)
//       [--trust-folder DIR] (where "Quillon.trusted_certs" pins the server's certificate)
//       [--encrypt KEY | --decrypt KEY] [--direct-uploads] [--reuse-login]
//       (--download REMOTE LOCAL | --upload LOCAL REMOTE)
//   quillon-transfer-bench --cipher FILE KEY
// A transfer runs the windowed run's state machine without a window and prints
// "files=N ok=N failed=N seconds=S"; exit status 1 when a file failed. Uploads are crash-safe
// (temporary name, renamed into place) as "SafeUploads" makes them by default;
// --direct-uploads writes straight to the final names, to see what the rename costs.
// --reuse-login hands the connection the queue was built on to the first lane, as task runs do
// (one login less; a window's run builds on the window's connection, made before it starts).
// --cipher prints the streaming encryption and decryption speed of FILE in MiB/s ("ENC DEC")
// without a network.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Messages.h"
#include "crypto/FileCrypter.h"
#include "ftp/CurlFtp.h"
#include "localfs/LocalFolders.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"

using namespace quillon;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Cipher(const std::string& file, const std::string& key) {
  const double mib = 1024.0 * 1024.0;
  std::vector<uint8_t> buffer(1 << 20);
  std::string container = file + ".bench.qvr";
  FileCrypter encrypter("bench", "bench");
  encrypter.SetEncryptionKey(key);
  auto start = std::chrono::steady_clock::now();
  auto reader = encrypter.OpenUpload(file, true);
  if (!reader) return std::fprintf(stderr, "%s\n", encrypter.LastMessage().c_str()), 1;
  std::FILE* out = std::fopen(container.c_str(), "wb");
  uint64_t plainSize = 0;
  {
    auto probe = ListLocalFolder(LocalParent(file));
    for (const auto& e : *probe)
      if (e.path == file) plainSize = e.size;
  }
  double writeSeconds = 0;
  for (int64_t n; (n = reader->Read(buffer.data(), buffer.size())) > 0;) {
    auto w = std::chrono::steady_clock::now();
    std::fwrite(buffer.data(), 1, static_cast<size_t>(n), out);
    writeSeconds += Seconds(w);
  }
  double encrypt = Seconds(start) - writeSeconds;
  std::fclose(out);

  FileCrypter decrypter("bench", "bench");
  decrypter.SetDecryptionKey(key);
  std::string plainOut = file + ".bench.out";
  std::FILE* in = std::fopen(container.c_str(), "rb");
  start = std::chrono::steady_clock::now();
  auto writer = decrypter.OpenDownload(plainOut, true);
  double readSeconds = 0;
  bool written = true;
  for (;;) {
    auto r = std::chrono::steady_clock::now();
    size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
    readSeconds += Seconds(r);
    if (n == 0) break;
    if (!(written = writer->Write(buffer.data(), n))) break;
  }
  bool ok = written && writer->Finish() == 1;
  double decrypt = Seconds(start) - readSeconds;
  std::fclose(in);
  std::remove(container.c_str());
  std::remove(plainOut.c_str());
  if (!ok) return std::fprintf(stderr, "%s\n", decrypter.LastMessage().c_str()), 1;
  std::printf("%.1f %.1f\n", plainSize / mib / encrypt, plainSize / mib / decrypt);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TransferSettings settings;
  settings.warningLevel = 3;
  settings.profile.passiveMode = true;
  int lanes = 1;
  bool reuseLogin = false;
  std::string mode, from, to;
  for (size_t i = 0; i < args.size(); ++i) {
    auto next = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
    const std::string& a = args[i];
    if (a == "--cipher") {
      std::string file = next();
      return Cipher(file, next());
    }
    if (a == "--host")
      settings.profile.address = next();
    else if (a == "--port")
      settings.profile.port = std::stoi(next());
    else if (a == "--user")
      settings.profile.userName = next();
    else if (a == "--password")
      settings.profile.password = next();
    else if (a == "--sftp-key")
      settings.profile.protocol = ServerProtocol::Sftp, settings.profile.privateKeyFile = next();
    else if (a == "--tls") {
      std::string kind = next();
      if (kind == "explicit")
        settings.profile.protocol = ServerProtocol::FtpExplicitTls;
      else if (kind == "implicit")
        settings.profile.protocol = ServerProtocol::FtpImplicitTls;
      else
        return std::fprintf(stderr, "--tls takes explicit or implicit, not %s\n", kind.c_str()), 2;
    } else if (a == "--trust-folder")
      settings.trustFolder = next();
    else if (a == "--lanes")
      lanes = std::stoi(next());
    else if (a == "--encrypt")
      settings.encrypt = true, settings.encryptionKey = next();
    else if (a == "--decrypt")
      settings.decrypt = true, settings.decryptionKey = next();
    else if (a == "--direct-uploads")
      settings.safeUploads = false;
    else if (a == "--reuse-login")
      reuseLogin = true;
    else if (a == "--download" || a == "--upload")
      mode = a, from = next(), to = next();
    else
      return std::fprintf(stderr, "unknown argument %s\n", a.c_str()), 2;
  }
  if (mode.empty()) return std::fprintf(stderr, "nothing to do\n"), 2;

  if (!InitCurlGlobal()) return std::fprintf(stderr, "Cannot init socket.\n"), 1;
  auto connector = std::make_unique<CurlFtpConnector>();
  StreamMessagePresenter messages;
  SystemClock clock;
  std::unique_ptr<CFTPMgr> manager;
  auto start = std::chrono::steady_clock::now();
  {
    std::string error;
    auto building = connector->OpenWithError(
        ConnectParametersOf(settings.profile, settings.trustFolder), &error);
    if (!building) return std::fprintf(stderr, "cannot connect: %s\n", error.c_str()), 1;
    if (mode == "--download") {
      auto download = std::make_unique<DownloadManager>(settings, *connector, messages, clock);
      CreateLocalFolderTree(to);
      download->SetBuildingConnection(building.get());
      download->SetSourceBase(from);
      download->SetDestinationBase(to);
      download->ExpandRemoteFolder(from, nullptr, std::nullopt);
      manager = std::move(download);
    } else {
      auto upload = std::make_unique<UploadManager>(settings, *connector, messages, clock);
      CreateRemoteFolderTree(*building, to);
      upload->SetBuildingConnection(building.get());
      upload->SetSourceBase(from);
      upload->SetDestinationBase(to);
      upload->ExpandLocalFolder(from, nullptr, std::nullopt);
      manager = std::move(upload);
    }
    manager->SetBuildingConnection(nullptr);
    if (reuseLogin) manager->GiveConnectionToFirstLane(std::move(building));
  }
  manager->SetMaxThreads(lanes);
  TransferEventLoop loop;
  manager->RunHeadless(loop);
  std::printf("files=%d ok=%d failed=%d seconds=%.3f\n", manager->Total(), manager->Succeeded(),
              manager->Failed(), Seconds(start));
  return manager->Failed() == 0 && manager->Total() > 0 ? 0 : 1;
}
