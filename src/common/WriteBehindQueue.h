#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// Passes pieces of bytes, in order, to a consumer that may be slow (a cipher, a disk). The
// first `inlineBytes` bytes are consumed on the caller's thread, so a small file costs no
// thread; after that a helper thread consumes them, at most `depth` pieces behind the caller,
// and the caller goes on meanwhile. Once the consumer fails nothing more is consumed, and
// Push and Finish return false. A consumer that throws on the helper fails the same way, and
// the next Push or Finish throws its exception on the caller's thread (once), as if the caller
// had consumed the piece itself. One caller thread.
//
// Either side that has to wait for the other waits for half of the pieces (the caller for room
// for them, the helper for them to arrive), so the two threads take turns once per several
// pieces rather than for every one: each turn costs both a wake-up.
class WriteBehindQueue {
 public:
  using Consumer = std::function<bool(const uint8_t* data, size_t size)>;

  WriteBehindQueue(Consumer consume, size_t depth, uint64_t inlineBytes);
  ~WriteBehindQueue();  // drops the pieces not consumed yet; waits for the one in hand
  WriteBehindQueue(const WriteBehindQueue&) = delete;
  WriteBehindQueue& operator=(const WriteBehindQueue&) = delete;

  // Hands over the bytes in `piece`, which is left empty (reusing a consumed piece's memory
  // when there is one). Waits while `depth` pieces are queued.
  [[nodiscard]] bool Push(std::vector<uint8_t>& piece);

  // Waits until every piece is consumed and ends the helper thread. True when all were.
  [[nodiscard]] bool Finish();

 private:
  void Consume();
  void Stop();
  void RethrowFromHelper();  // with mutex_ held

  Consumer consume_;
  const size_t depth_;
  const size_t half_;
  uint64_t inlineLeft_;
  std::mutex mutex_;
  std::condition_variable drained_;  // the caller waits here (Push, Finish)
  std::condition_variable filled_;   // the helper waits here
  std::deque<std::vector<uint8_t>> queued_;
  std::vector<std::vector<uint8_t>> spare_;
  bool busy_ = false;  // the helper holds a piece
  bool callerWaits_ = false;
  bool helperWaits_ = false;
  bool finishing_ = false;  // Finish waits for the last pieces: the helper takes them as they are
  bool stop_ = false;
  bool failed_ = false;
  std::exception_ptr thrown_;  // what the consumer threw on the helper, until handed over
  std::thread thread_;
};

}  // namespace quillon
