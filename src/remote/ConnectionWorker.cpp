#include "remote/ConnectionWorker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quillon {

namespace {

// The worker threads still running, dropped or not.
std::mutex gLiveMutex;
std::condition_variable gLiveChanged;
int gLiveThreads = 0;

}  // namespace

struct ConnectionWorker::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::pair<Task, std::function<void()>>> tasks;
  bool dropped = false;
  std::atomic<bool> owned{true};  // false once dropped; read where results run
  Deliver deliver;                // emptied when the owner drops the worker
  // Touched by the worker's thread only.
  std::shared_ptr<FtpConnection> connection;
};

ConnectionWorker::ConnectionWorker(Deliver deliver) : state_(std::make_shared<State>()) {
  state_->deliver = std::move(deliver);
  {
    std::lock_guard lock(gLiveMutex);
    ++gLiveThreads;
  }
  // Detached: the thread keeps its state alive and ends on its own once dropped.
  std::thread([state = state_] {
    std::unique_lock lock(state->mutex);
    for (;;) {
      state->changed.wait(lock, [&] { return state->dropped || !state->tasks.empty(); });
      if (state->tasks.empty()) break;  // dropped
      auto [task, failed] = std::move(state->tasks.front());
      state->tasks.pop_front();
      lock.unlock();
      std::function<void()> result;
      try {
        result = task(state->connection);
      } catch (...) {
        state->connection.reset();
        result = std::move(failed);
      }
      lock.lock();
      // Checked again when the result runs: the owner may drop the worker while the result
      // waits in its queue.
      if (!state->dropped && state->deliver && result)
        state->deliver([state, result = std::move(result)] {
          if (!state->owned.load()) return;
          result();
        });
    }
    lock.unlock();
    // Closing says goodbye to the server, which may take its time: never on the owner's thread.
    state->connection.reset();
    std::lock_guard live(gLiveMutex);
    --gLiveThreads;
    gLiveChanged.notify_all();
  }).detach();
}

ConnectionWorker::~ConnectionWorker() {
  {
    std::lock_guard lock(state_->mutex);
    state_->dropped = true;
    state_->owned.store(false);
    state_->tasks.clear();
    state_->deliver = nullptr;
  }
  state_->changed.notify_all();
}

void ConnectionWorker::Post(Task task, std::function<void()> failed) {
  ++pending_;
  // The result counts itself off on the owner's thread, where Pending is read.
  auto counted = [this, task = std::move(task)](std::shared_ptr<FtpConnection>& connection) {
    std::function<void()> result = task(connection);
    return std::function<void()>([this, result = std::move(result)] {
      --pending_;
      if (result) result();
    });
  };
  auto countedFailure = [this, failed = std::move(failed)] {
    --pending_;
    if (failed) failed();
  };
  {
    std::lock_guard lock(state_->mutex);
    state_->tasks.emplace_back(std::move(counted), std::move(countedFailure));
  }
  state_->changed.notify_all();
}

void ConnectionWorker::CloseInBackground(std::shared_ptr<FtpConnection> connection) {
  if (!connection) return;
  {
    std::lock_guard lock(gLiveMutex);
    ++gLiveThreads;
  }
  std::thread([connection = std::move(connection)]() mutable {
    connection.reset();
    std::lock_guard live(gLiveMutex);
    --gLiveThreads;
    gLiveChanged.notify_all();
  }).detach();
}

bool ConnectionWorker::WaitForDropped(std::chrono::milliseconds timeout) {
  std::unique_lock lock(gLiveMutex);
  return gLiveChanged.wait_for(lock, timeout, [] { return gLiveThreads == 0; });
}

}  // namespace quillon
