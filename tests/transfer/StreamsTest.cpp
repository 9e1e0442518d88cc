#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>
#include <stdexcept>

#include "support/TestSupport.h"
#include "transfer/TransferCrypter.h"
#include "transfer/TransferStreams.h"

namespace quillon {
namespace {

// A source over a string that hands out uneven pieces and can fail at a given offset.
class StringSource : public UploadSource {
 public:
  StringSource(std::string data, size_t failAt = std::string::npos)
      : data_(std::move(data)), failAt_(failAt) {}
  int64_t Read(char* buffer, size_t size) override {
    if (at_ >= failAt_) {
      error_ = "x: Cannot read.";
      return -1;
    }
    size_t n = std::min({size, data_.size() - at_, size_t{3000} + at_ % 7});
    std::copy_n(data_.data() + at_, n, buffer);
    at_ += n;
    return static_cast<int64_t>(n);
  }
  const std::string& ErrorText() const override { return error_; }
  uint64_t Size() const override { return data_.size(); }

 private:
  std::string data_;
  size_t failAt_;
  size_t at_ = 0;
  std::string error_;
};

// A sink into a string that fails after `failAfter` bytes.
class StringSink : public DownloadSink {
 public:
  StringSink(std::string& out, bool& committed, size_t failAfter = std::string::npos)
      : out_(out), committed_(committed), failAfter_(failAfter) {}
  bool Write(const char* data, size_t size) override {
    if (out_.size() + size > failAfter_) {
      error_ = "x: Cannot write.";
      return false;
    }
    out_.append(data, size);
    return true;
  }
  bool Commit() override { return committed_ = true; }
  const std::string& ErrorText() const override { return error_; }

 private:
  std::string& out_;
  bool& committed_;
  size_t failAfter_;
  std::string error_;
};

std::string Bytes(size_t n) {
  std::mt19937 random(static_cast<unsigned>(n));
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

TEST(ReadAhead, GivesTheSameBytesAndTheFailure) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{65536}, size_t{1'000'003}}) {
    std::string data = Bytes(size);
    auto source = ReadAhead(std::make_unique<StringSource>(data), 65536, 4);
    std::string got;
    char buffer[5000];
    for (int64_t n; (n = source->Read(buffer, sizeof buffer)) > 0;) got.append(buffer, n);
    EXPECT_EQ(got, data) << size;
  }
  auto source = ReadAhead(std::make_unique<StringSource>(Bytes(500'000), 200'000), 65536, 2);
  char buffer[4096];
  int64_t n;
  size_t total = 0;
  while ((n = source->Read(buffer, sizeof buffer)) > 0) total += static_cast<size_t>(n);
  EXPECT_EQ(n, -1);
  EXPECT_GE(total, 200'000u);
  EXPECT_EQ(source->ErrorText(), "x: Cannot read.");
  // Dropped halfway: the helper thread ends with it.
  auto abandoned = ReadAhead(std::make_unique<StringSource>(Bytes(2'000'000)), 65536, 2);
  EXPECT_GT(abandoned->Read(buffer, sizeof buffer), 0);
}

// A source that throws on the helper thread must not end the process: the reader gets it.
TEST(ReadAhead, WhatTheSourceThrowsOnTheHelperReachesTheReader) {
  class ThrowingSource : public StringSource {
   public:
    using StringSource::StringSource;
    int64_t Read(char* buffer, size_t size) override {
      if (++calls_ == 3) throw std::runtime_error("cipher gave up");
      return StringSource::Read(buffer, size);
    }

   private:
    int calls_ = 0;
  };
  auto source = ReadAhead(std::make_unique<ThrowingSource>(Bytes(1'000'000)), 65536, 4);
  char buffer[4096];
  std::string what;
  try {
    while (source->Read(buffer, sizeof buffer) > 0) {
    }
  } catch (const std::runtime_error& error) {
    what = error.what();
  }
  EXPECT_EQ(what, "cipher gave up");
  EXPECT_EQ(source->Read(buffer, sizeof buffer), -1) << "the stream stays ended";
}

TEST(WriteBehind, WritesEverythingBeforeTheCommitAndStopsAtAFailure) {
  std::string data = Bytes(3'000'001);
  std::string out;
  bool committed = false;
  {
    auto sink = WriteBehind(std::make_unique<StringSink>(out, committed), 3);
    for (size_t at = 0; at < data.size(); at += 65536)
      ASSERT_TRUE(sink->Write(data.data() + at, std::min<size_t>(65536, data.size() - at)));
    EXPECT_TRUE(sink->Commit());
  }
  EXPECT_TRUE(committed);
  EXPECT_EQ(out, data);

  out.clear();
  committed = false;
  auto sink = WriteBehind(std::make_unique<StringSink>(out, committed, 100'000), 3);
  bool failed = false;
  for (size_t at = 0; at < data.size() && !failed; at += 65536)
    failed = !sink->Write(data.data() + at, std::min<size_t>(65536, data.size() - at));
  EXPECT_FALSE(sink->Commit());
  EXPECT_FALSE(committed);
  EXPECT_EQ(sink->ErrorText(), "x: Cannot write.");
}

// A disk that takes no more says why: the system's reason follows our words. A file-size limit
// stands in for a full disk here (the same write fails, with "File too large").
TEST(TransferCrypter, ADownloadThatCannotBeWrittenNamesTheSystemsReason) {
  test::TempDir dir;
  TransferSettings settings;
  for (bool decrypt : {false, true}) {
    SCOPED_TRACE(decrypt);
    settings.decrypt = decrypt;
    settings.decryptionKey = "key";
    TransferCrypter crypter(settings, false);
    std::string error;
    auto sink = crypter.OpenSink(dir.file("big.bin"), decrypt, error);
    ASSERT_TRUE(sink) << error;
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    auto previous = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::string data(4 << 20, 'd');
    bool written = true;
    for (size_t at = 0; at < data.size() && written; at += 65536)
      written = sink->Write(data.data() + at, 65536);
    if (written) written = sink->Commit();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(sink->ErrorText(), dir.file("big.bin") + ": Cannot write. File too large.");
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.bin")));
  }
}

}  // namespace
}  // namespace quillon
