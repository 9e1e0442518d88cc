#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "common/HelperThread.h"

namespace quillon {
namespace {

TEST(HelperThreadTest, RunsEachTaskOnItsOwnThreadUntilWait) {
  HelperThread helper;
  std::thread::id ranOn;
  int runs = 0;
  for (int i = 0; i < 3; ++i) {
    helper.Start([&] {
      ranOn = std::this_thread::get_id();
      ++runs;
    });
    helper.Wait();
  }
  EXPECT_EQ(runs, 3);
  EXPECT_NE(ranOn, std::this_thread::get_id());
}

// A throwing task must not end the process: its exception reaches the owner at Wait, as if the
// owner had run the task (where a lane's guard reports it), and the helper goes on working.
TEST(HelperThreadTest, ATaskThatThrowsReachesTheOwnerAtWait) {
  HelperThread helper;
  helper.Start([] { throw std::runtime_error("no memory for the piece"); });
  EXPECT_THROW(
      {
        try {
          helper.Wait();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "no memory for the piece");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_NO_THROW(helper.Wait());  // handed over once

  bool ran = false;
  helper.Start([&] { ran = true; });
  EXPECT_NO_THROW(helper.Wait());
  EXPECT_TRUE(ran);

  // An exception nobody waited for goes with the helper.
  helper.Start([] { throw std::bad_alloc(); });
}

}  // namespace
}  // namespace quillon
