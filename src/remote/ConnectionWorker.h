#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "remote/FtpConnection.h"

namespace quillon {

// One FTP connection with a thread of its own, so that its owner (the GUI thread) never waits
// on the network. The owner posts tasks; they run on the worker's thread one after another in
// the order posted, each with the connection (null until a task makes one), and each returns
// what the owner is to do with its result: a function of values (no pointers into the worker),
// handed to `deliver`, which runs it on the owner's thread (a queued call in the GUI).
//
// The owner never waits for the worker either: destroying it drops the tasks that have not
// started, and the worker finishes the one that runs, closes its connection and ends by itself.
// Nothing is delivered after that, so a result never reaches an owner that has gone.
//
// Owner-thread members only, except `deliver`, which is called on the worker's thread.
class ConnectionWorker {
 public:
  using Deliver = std::function<void(std::function<void()> result)>;
  using Task = std::function<std::function<void()>(std::shared_ptr<FtpConnection>& connection)>;

  explicit ConnectionWorker(Deliver deliver);
  ~ConnectionWorker();
  ConnectionWorker(const ConnectionWorker&) = delete;
  ConnectionWorker& operator=(const ConnectionWorker&) = delete;

  // Runs `task` after every task posted before it. Should the task throw, its connection is
  // closed (it may be half-way through a command) and `failed` is delivered instead.
  void Post(Task task, std::function<void()> failed);

  // Tasks posted whose results have not been delivered yet.
  int Pending() const { return pending_; }

  // Closes `connection` on a thread of its own (saying goodbye to a server may take seconds).
  static void CloseInBackground(std::shared_ptr<FtpConnection> connection);

  // Waits up to `timeout` for the threads of dropped workers to end (at the end of the program,
  // so that none is still inside the network library while the process winds down). True when
  // none is left.
  static bool WaitForDropped(std::chrono::milliseconds timeout);

 private:
  struct State;
  std::shared_ptr<State> state_;
  int pending_ = 0;
};

}  // namespace quillon
