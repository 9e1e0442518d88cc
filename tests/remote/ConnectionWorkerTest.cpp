// The worker that keeps an FTP connection off its owner's thread: order, hand-back of results,
// dropping without waiting, the exception guard. A recording connection stands in for FTP.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "remote/ConnectionWorker.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

// The owner's side: results queued by the worker, run when the test pumps them.
class Owner {
 public:
  ConnectionWorker::Deliver Deliver() {
    return [this](std::function<void()> result) {
      std::lock_guard lock(mutex_);
      results_.push_back(std::move(result));
      arrived_.notify_all();
    };
  }
  // Runs results until `count` have run or 10 s passed; false on time-out.
  bool Pump(size_t count) {
    for (size_t ran = 0; ran < count; ++ran) {
      std::function<void()> result;
      {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, 10s, [&] { return !results_.empty(); })) return false;
        result = std::move(results_.front());
        results_.pop_front();
      }
      result();
    }
    return true;
  }
  size_t Queued() {
    std::lock_guard lock(mutex_);
    return results_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> results_;
};

class FakeConnection : public FtpConnection {
 public:
  explicit FakeConnection(std::atomic<int>& closed) : closed_(closed) {}
  ~FakeConnection() override { ++closed_; }
  std::optional<std::string> CurrentFolder() override { return "/"; }
  bool SetCurrentFolder(const std::string&) override { return true; }
  std::optional<std::vector<RemoteEntry>> List() override { return std::vector<RemoteEntry>{}; }
  bool CreateFolder(const std::string&) override { return true; }
  bool RemoveFolder(const std::string&) override { return true; }
  bool DeleteFile(const std::string&) override { return true; }
  bool Rename(const std::string&, const std::string&) override { return true; }
  std::optional<uint64_t> Size(const std::string&) override { return 0; }
  std::unique_ptr<RemoteFile> OpenFile(const std::string&, RemoteFileMode, bool) override {
    return nullptr;
  }
  const std::string& LastError() const override { return error_; }

 private:
  std::atomic<int>& closed_;
  std::string error_;
};

TEST(ConnectionWorker, RunsTasksInOrderOffTheOwnersThreadAndHandsResultsBack) {
  Owner owner;
  std::atomic<int> closed{0};
  const std::thread::id ownerThread = std::this_thread::get_id();
  std::vector<std::string> seen;
  {
    ConnectionWorker worker(owner.Deliver());
    worker.Post(
        [&](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
          EXPECT_NE(std::this_thread::get_id(), ownerThread);
          connection = std::make_shared<FakeConnection>(closed);
          return [&] { seen.push_back("connected"); };
        },
        nullptr);
    for (int i = 0; i < 3; ++i)
      worker.Post(
          [&, i](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
            const bool has = connection != nullptr;
            return [&, i, has] {
              EXPECT_EQ(std::this_thread::get_id(), ownerThread);
              seen.push_back("task " + std::to_string(i) + (has ? " with" : " without"));
            };
          },
          nullptr);
    EXPECT_EQ(worker.Pending(), 4);
    ASSERT_TRUE(owner.Pump(4));
    EXPECT_EQ(worker.Pending(), 0);
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{"connected", "task 0 with", "task 1 with", "task 2 with"}));
  // The dropped worker closes its connection on its own thread.
  EXPECT_TRUE(ConnectionWorker::WaitForDropped(10s));
  EXPECT_EQ(closed.load(), 1);
}

TEST(ConnectionWorker, DroppingNeverWaitsAndNothingArrivesAfterwards) {
  Owner owner;
  std::atomic<bool> release{false};
  std::atomic<bool> started{false};
  bool delivered = false;
  bool laterRan = false;
  auto worker = std::make_unique<ConnectionWorker>(owner.Deliver());
  worker->Post(
      [&](std::shared_ptr<FtpConnection>&) -> std::function<void()> {
        started = true;
        while (!release) std::this_thread::sleep_for(1ms);  // a server that takes its time
        return [&] { delivered = true; };
      },
      nullptr);
  worker->Post(
      [&](std::shared_ptr<FtpConnection>&) -> std::function<void()> {
        laterRan = true;
        return nullptr;
      },
      nullptr);
  while (!started) std::this_thread::sleep_for(1ms);
  const auto start = std::chrono::steady_clock::now();
  worker.reset();  // while the first task runs
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  release = true;
  EXPECT_TRUE(ConnectionWorker::WaitForDropped(10s));
  EXPECT_FALSE(laterRan) << "tasks not yet started are dropped";
  EXPECT_EQ(owner.Queued(), 0u);
  EXPECT_FALSE(delivered);
}

TEST(ConnectionWorker, AResultQueuedBeforeTheDropDoesNotRun) {
  Owner owner;
  bool ran = false;
  auto worker = std::make_unique<ConnectionWorker>(owner.Deliver());
  worker->Post(
      [&](std::shared_ptr<FtpConnection>&) -> std::function<void()> { return [&] { ran = true; }; },
      nullptr);
  while (owner.Queued() == 0) std::this_thread::sleep_for(1ms);
  worker.reset();
  ASSERT_TRUE(owner.Pump(1));
  EXPECT_FALSE(ran);
  EXPECT_TRUE(ConnectionWorker::WaitForDropped(10s));
}

TEST(ConnectionWorker, ATaskThatThrowsLosesItsConnectionAndReportsFailure) {
  Owner owner;
  std::atomic<int> closed{0};
  std::vector<std::string> seen;
  ConnectionWorker worker(owner.Deliver());
  worker.Post(
      [&](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        connection = std::make_shared<FakeConnection>(closed);
        throw std::bad_alloc();
      },
      [&] { seen.push_back("failed"); });
  worker.Post(
      [&](std::shared_ptr<FtpConnection>& connection) -> std::function<void()> {
        const bool has = connection != nullptr;
        return [&, has] { seen.push_back(has ? "still connected" : "no connection"); };
      },
      nullptr);
  ASSERT_TRUE(owner.Pump(2));
  EXPECT_EQ(seen, (std::vector<std::string>{"failed", "no connection"}));
  EXPECT_EQ(closed.load(), 1);
}

TEST(ConnectionWorker, ClosesAConnectionInTheBackground) {
  std::atomic<int> closed{0};
  ConnectionWorker::CloseInBackground(std::make_shared<FakeConnection>(closed));
  ConnectionWorker::CloseInBackground(nullptr);
  EXPECT_TRUE(ConnectionWorker::WaitForDropped(10s));
  EXPECT_EQ(closed.load(), 1);
}

}  // namespace
}  // namespace quillon
