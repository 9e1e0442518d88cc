#pragma once

#include <unistd.h>

#include <utility>

namespace quillon {

// Owns one file descriptor and closes it when it goes; -1 means none. Move-only.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(fd_, -1); }

  // Closes the held descriptor (errors ignored) and holds `fd` instead.
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  // Closes now and tells whether the close succeeded: a file system may report there that
  // written data was lost. Holds none afterwards, whatever the answer (Linux never keeps a
  // descriptor open after close, so it is not retried).
  [[nodiscard]] bool Close() {
    const int fd = Release();
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace quillon
