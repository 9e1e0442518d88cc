#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <thread>

#include "common/BulkWork.h"

namespace quillon {
namespace {

int PolicyOf(pthread_t thread) {
  int policy = -1;
  sched_param param{};
  pthread_getschedparam(thread, &policy, &param);
  return policy;
}

// Only the thread that asks becomes bulk work: a lane never changes the window's thread.
TEST(BulkWork, ChangesOnlyTheCallingThread) {
  const int before = PolicyOf(pthread_self());
  int inLane = -1;
  bool accepted = false;
  std::thread lane([&] {
    accepted = RunAsBulkWork();
    inLane = PolicyOf(pthread_self());
  });
  lane.join();
  EXPECT_TRUE(accepted);
  EXPECT_EQ(inLane, SCHED_BATCH);
  EXPECT_EQ(PolicyOf(pthread_self()), before);
}

}  // namespace
}  // namespace quillon
