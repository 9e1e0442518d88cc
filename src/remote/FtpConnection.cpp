#include "remote/FtpConnection.h"

#include <vector>

namespace quillon {

bool RemoteFile::WriteFrom(const FillFunction& fill) {
  std::vector<char> buffer(64 << 10);
  for (;;) {
    size_t n = fill(buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n == kAbandon) {
      Abort();
      return false;
    }
    if (!Write(buffer.data(), n)) return false;
  }
}

namespace {

// An upload whose finish is asked once the inner file closed well, one command after the
// other, each after the server's reply to the one before: servers need not take commands that
// arrive before their answer to the last one.
class FinishedByCommands final : public RemoteFile {
 public:
  FinishedByCommands(std::unique_ptr<RemoteFile> inner, FtpConnection& connection, std::string path,
                     UploadFinish finish, bool binary)
      : inner_(std::move(inner)),
        connection_(connection),
        path_(std::move(path)),
        finish_(std::move(finish)),
        binary_(binary) {}

  int64_t Read(char* buffer, size_t size) override { return inner_->Read(buffer, size); }
  bool Write(const char* data, size_t size) override { return inner_->Write(data, size); }
  bool WriteFrom(const FillFunction& fill) override { return inner_->WriteFrom(fill); }
  void Abort() override { inner_->Abort(); }
  const std::string& ErrorText() const override { return inner_->ErrorText(); }
  const FinishAnswers& Answers() const override { return answers_; }

  bool Close() override {
    if (!inner_->Close()) return false;
    std::string finalPath = path_;
    if (!finish_.renameTo.empty()) {
      answers_.renamed = connection_.Rename(path_, finish_.renameTo);
      if (answers_.renamed) {
        finalPath = finish_.renameTo;
      } else {
        answers_.renameRefused = connection_.LastFailure() == FtpFailure::Refused;
        answers_.renameError = connection_.LastError();
      }
    }
    if (finish_.askSize && !binary_) {
      answers_.sizeUnusable = true;  // in ASCII the server counts other line ends than we sent
    } else if (finish_.askSize) {
      answers_.size = connection_.Size(finalPath);
      answers_.sizeUnusable = !answers_.size && connection_.SizeUnusable();
    }
    return true;
  }

 private:
  std::unique_ptr<RemoteFile> inner_;
  FtpConnection& connection_;
  std::string path_;
  UploadFinish finish_;
  bool binary_;
  FinishAnswers answers_;
};

}  // namespace

std::unique_ptr<RemoteFile> FtpConnection::OpenUpload(const std::string& path, bool binary,
                                                      const UploadFinish& finish) {
  auto file = OpenFile(path, RemoteFileMode::Write, binary);
  if (!file || (finish.renameTo.empty() && !finish.askSize)) return file;
  return std::make_unique<FinishedByCommands>(std::move(file), *this, path, finish, binary);
}

}  // namespace quillon
