#pragma once

#include <cstdio>
#include <string_view>

namespace quillon {

// A plain-text log that receives whole lines (the task log, a transfer log). The manager
// serialises its own writes; an implementation shared with other writers guards itself.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Write(std::string_view text) = 0;
};

// A log on an open stdio file, flushed after every write so a crash keeps every line.
class FileLogSink : public LogSink {
 public:
  explicit FileLogSink(std::FILE* file) : file_(file) {}
  void Write(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
};

}  // namespace quillon
