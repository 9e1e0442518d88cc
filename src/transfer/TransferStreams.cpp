#include "transfer/TransferStreams.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "common/WriteBehindQueue.h"

namespace quillon {

namespace {

// The helper thread owns `inner_` between construction and the end of the stream; the reader
// sees its error text only after the helper has stopped touching it.
//
// Either side that has to wait for the other waits for half of the pieces (the helper for room
// for them, the reader for them to be ready), so the two threads take turns once per several
// pieces rather than for every one: each turn costs both a wake-up.
//
// What the inner source throws on the helper ends the stream there and is thrown again by the
// reader's next Read, on the lane's thread, whose guard reports it.
class ReadAheadSource : public UploadSource {
 public:
  ReadAheadSource(std::unique_ptr<UploadSource> inner, size_t piece, size_t depth)
      : inner_(std::move(inner)),
        piece_(piece),
        depth_(depth < 1 ? 1 : depth),
        half_(std::max<size_t>(1, depth_ / 2)),
        size_(inner_->Size()) {
    thread_ = std::thread([this] { Produce(); });
  }
  ~ReadAheadSource() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    room_.notify_all();
    thread_.join();
  }

  int64_t Read(char* buffer, size_t size) override {
    if (at_ == current_.size()) {
      std::unique_lock lock(mutex_);
      if (!current_.empty()) spare_.push_back(std::move(current_));
      current_.clear();
      at_ = 0;
      if (ready_.empty() && !finished_) {
        readerWaits_ = true;
        filled_.wait(lock, [this] { return finished_ || ready_.size() >= half_; });
        readerWaits_ = false;
      }
      if (thrown_) {
        ready_.clear();  // the stream ends with the exception: nothing read after it
        std::rethrow_exception(std::exchange(thrown_, nullptr));
      }
      if (ready_.empty()) return failed_ ? -1 : 0;
      current_ = std::move(ready_.front());
      ready_.pop_front();
      if (helperWaits_ && ready_.size() + half_ <= depth_) room_.notify_one();
    }
    size_t n = std::min(size, current_.size() - at_);
    std::memcpy(buffer, current_.data() + at_, n);
    at_ += n;
    return static_cast<int64_t>(n);
  }

  const std::string& ErrorText() const override {
    std::lock_guard lock(mutex_);
    return finished_ ? inner_->ErrorText() : empty_;
  }

  uint64_t Size() const override { return size_; }

 private:
  void Produce() {
    try {
      ProducePieces();
    } catch (...) {
      std::lock_guard lock(mutex_);
      thrown_ = std::current_exception();
      failed_ = finished_ = true;
      if (readerWaits_) filled_.notify_one();
    }
  }

  void ProducePieces() {
    for (;;) {
      std::vector<char> piece;
      {
        std::unique_lock lock(mutex_);
        if (ready_.size() >= depth_) {
          helperWaits_ = true;
          room_.wait(lock, [this] { return stop_ || ready_.size() + half_ <= depth_; });
          helperWaits_ = false;
        }
        if (stop_) break;
        if (!spare_.empty()) {
          piece = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      piece.resize(piece_);
      int64_t n = inner_->Read(piece.data(), piece.size());
      std::lock_guard lock(mutex_);
      if (n <= 0) {
        failed_ = n < 0;
        finished_ = true;
        if (readerWaits_) filled_.notify_one();
        return;
      }
      piece.resize(static_cast<size_t>(n));
      ready_.push_back(std::move(piece));
      if (readerWaits_ && ready_.size() >= half_) filled_.notify_one();
    }
  }

  std::unique_ptr<UploadSource> inner_;
  const size_t piece_;
  const size_t depth_;
  const size_t half_;
  const uint64_t size_;  // taken before the helper starts, which owns the inner source then
  mutable std::mutex mutex_;
  std::condition_variable room_;    // the helper waits here
  std::condition_variable filled_;  // the reader waits here
  std::deque<std::vector<char>> ready_;
  std::vector<std::vector<char>> spare_;
  bool helperWaits_ = false;
  bool readerWaits_ = false;
  bool stop_ = false;
  bool finished_ = false;
  bool failed_ = false;
  std::exception_ptr thrown_;  // what the inner source threw on the helper, until handed over
  std::vector<char> current_;  // the reader's piece
  size_t at_ = 0;
  const std::string empty_;
  std::thread thread_;
};

class WriteBehindSink : public DownloadSink {
 public:
  WriteBehindSink(std::unique_ptr<DownloadSink> inner, size_t depth)
      : inner_(std::move(inner)),
        queue_(
            [this](const uint8_t* data, size_t size) {
              return inner_->Write(reinterpret_cast<const char*>(data), size);
            },
            depth, kWrittenAtOnce) {}
  // An abandoned file: what is still queued is dropped, then the inner sink removes its
  // temporary file unless it was committed.
  ~WriteBehindSink() override = default;

  // Writes are gathered into pieces of kPieceBytes: fewer, longer hand-overs keep the helper
  // busy longer each time.
  bool Write(const char* data, size_t size) override {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    piece_.insert(piece_.end(), bytes, bytes + size);
    return piece_.size() < kPieceBytes || queue_.Push(piece_);
  }

  bool Commit() override { return queue_.Push(piece_) && queue_.Finish() && inner_->Commit(); }

  // Asked after a failure, when the helper no longer touches the inner sink.
  const std::string& ErrorText() const override { return inner_->ErrorText(); }

 private:
  static constexpr uint64_t kWrittenAtOnce = 1 << 20;  // smaller files need no thread
  static constexpr size_t kPieceBytes = 256 << 10;

  std::unique_ptr<DownloadSink> inner_;
  std::vector<uint8_t> piece_;
  WriteBehindQueue queue_;  // declared last: its helper ends before the inner sink goes
};

}  // namespace

std::unique_ptr<UploadSource> ReadAhead(std::unique_ptr<UploadSource> inner, size_t piece,
                                        size_t depth) {
  return std::make_unique<ReadAheadSource>(std::move(inner), piece, depth);
}

std::unique_ptr<DownloadSink> WriteBehind(std::unique_ptr<DownloadSink> inner, size_t depth) {
  return std::make_unique<WriteBehindSink>(std::move(inner), depth);
}

}  // namespace quillon
