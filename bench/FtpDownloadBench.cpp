// Downloads through Quillon's FTP layer alone (CurlFtpConnector, 4096-byte Read calls) and
// prints what it measured, for bench/ftp_download.sh and bench/ftp_small_files.sh.
//
//   ftp_download_bench one  PORT USER PASSWORD PATH [active]
//       one file; prints "bytes=N seconds=S mib_per_s=R"
//   ftp_download_bench many PORT USER PASSWORD FOLDER COUNT [active]
//       FOLDER/small0 .. small<COUNT-1> one after another on one connection; prints
//       "files=N seconds=S slowest_ms=M over_500ms=K"
// An empty USER logs in anonymously.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ftp/CurlFtp.h"

using namespace quillon;
using Steady = std::chrono::steady_clock;

namespace {

// Reads a whole remote file in 4096-byte chunks; -1 on failure.
int64_t Drain(FtpConnection& connection, const std::string& path) {
  auto file = connection.OpenFile(path, RemoteFileMode::Read, true);
  if (!file) {
    std::fprintf(stderr, "open %s: %s\n", path.c_str(), connection.LastError().c_str());
    return -1;
  }
  char buffer[4096];
  int64_t total = 0;
  unsigned checksum = 0;  // touch the data as a real consumer would
  for (;;) {
    int64_t n = file->Read(buffer, sizeof buffer);
    if (n < 0) {
      std::fprintf(stderr, "read %s: %s\n", path.c_str(), file->ErrorText().c_str());
      return -1;
    }
    if (n == 0) break;
    checksum += static_cast<unsigned char>(buffer[n - 1]);
    total += n;
  }
  if (!file->Close()) {
    std::fprintf(stderr, "close %s: %s\n", path.c_str(), file->ErrorText().c_str());
    return -1;
  }
  if (checksum == 1) std::fprintf(stderr, " ");
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || (std::strcmp(argv[1], "one") && std::strcmp(argv[1], "many"))) {
    std::fprintf(stderr, "usage: %s one|many PORT USER PASSWORD PATH|FOLDER [COUNT] [active]\n",
                 argv[0]);
    return 2;
  }
  bool many = std::strcmp(argv[1], "many") == 0;
  if (!InitCurlGlobal()) {
    std::printf("Cannot init socket.\n");
    return 1;
  }
  ConnectionProfile profile;
  profile.address = "127.0.0.1";
  profile.port = std::atoi(argv[2]);
  profile.userName = argv[3];
  profile.password = argv[4];
  int activeIndex = many ? 7 : 6;
  profile.passiveMode = !(argc > activeIndex && std::strcmp(argv[activeIndex], "active") == 0);

  CurlFtpConnector connector;
  std::string error;
  auto connection = connector.OpenWithError(ConnectParametersOf(profile), &error);
  if (!connection) {
    std::fprintf(stderr, "connect: %s\n", error.c_str());
    return 1;
  }

  if (!many) {
    auto start = Steady::now();
    int64_t bytes = Drain(*connection, argv[5]);
    double seconds = std::chrono::duration<double>(Steady::now() - start).count();
    if (bytes < 0) return 1;
    std::printf("bytes=%lld seconds=%.3f mib_per_s=%.1f\n", static_cast<long long>(bytes), seconds,
                bytes / seconds / (1024.0 * 1024.0));
    return 0;
  }

  int count = argc > 6 ? std::atoi(argv[6]) : 100;
  std::string folder = argv[5];
  double slowest = 0;
  int overHalfSecond = 0;
  auto start = Steady::now();
  for (int i = 0; i < count; ++i) {
    auto fileStart = Steady::now();
    if (Drain(*connection, folder + "/small" + std::to_string(i)) < 0) return 1;
    double ms = std::chrono::duration<double, std::milli>(Steady::now() - fileStart).count();
    slowest = std::max(slowest, ms);
    if (ms > 500) ++overHalfSecond;
  }
  double seconds = std::chrono::duration<double>(Steady::now() - start).count();
  std::printf("files=%d seconds=%.3f slowest_ms=%.1f over_500ms=%d\n", count, seconds, slowest,
              overHalfSecond);
  return 0;
}
