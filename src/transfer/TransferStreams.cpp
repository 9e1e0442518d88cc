#include "transfer/TransferStreams.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace quillon {

int CreateTempBeside(const std::string& destination, std::string& tempPath) {
  size_t slash = destination.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
  // A hidden name that stays within the file-name limit of the folder.
  if (name.size() > 200) name.resize(200);
  thread_local std::mt19937_64 random{std::random_device{}()};
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
    tempPath = folder + "." + name + "." + suffix + ".part";
    // O_EXCL: a new file, never an existing one or the target of a planted link. Mode 0666
    // lets the umask decide, as for any file the program makes.
    int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  tempPath.clear();
  return -1;
}

bool CommitTemp(const std::string& tempPath, const std::string& destination) {
  // rename replaces a link at the destination itself, never the file it points to.
  return rename(tempPath.c_str(), destination.c_str()) == 0;
}

namespace {

class PlainSource : public UploadSource {
 public:
  PlainSource(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PlainSource() override { close(fd_); }
  int64_t Read(char* buffer, size_t size) override {
    size_t done = 0;
    while (done < size) {
      ssize_t n = read(fd_, buffer + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error_ = path_ + ": Cannot read.";
        return -1;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }
  const std::string& ErrorText() const override { return error_; }

 private:
  int fd_;
  std::string path_;
  std::string error_;
};

class PlainSink : public DownloadSink {
 public:
  PlainSink(int fd, std::string tempPath, std::string destination)
      : fd_(fd), tempPath_(std::move(tempPath)), destination_(std::move(destination)) {}
  ~PlainSink() override {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(tempPath_.c_str());
  }
  bool Write(const char* data, size_t size) override {
    while (size > 0) {
      ssize_t n = write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail();
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }
  bool Commit() override {
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return Fail();
    if (!CommitTemp(tempPath_, destination_)) return Fail();
    committed_ = true;
    return true;
  }
  const std::string& ErrorText() const override { return error_; }

 private:
  bool Fail() {
    error_ = destination_ + ": Cannot write.";
    return false;
  }
  int fd_;
  std::string tempPath_;
  std::string destination_;
  std::string error_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<UploadSource> OpenPlainSource(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<PlainSource>(fd, path);
}

std::unique_ptr<DownloadSink> OpenPlainSink(int fd, const std::string& tempPath,
                                            const std::string& destination) {
  return std::make_unique<PlainSink>(fd, tempPath, destination);
}

}  // namespace quillon
