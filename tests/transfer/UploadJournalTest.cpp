#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "transfer/UploadJournal.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(UploadJournal, NamesThatStartedAndNeverEndedAreLeftForTheNextRun) {
  TempDir dir;
  std::string path = dir.file("task.uploads");
  {
    UploadJournal journal(path);
    EXPECT_TRUE(journal.Leftovers().empty());
    journal.Started("/in/.a.quillon-1");
    journal.Started("/in/.b.quillon-2");
    journal.Ended("/in/.a.quillon-1");
    journal.Started("/in/bad\nname");  // never reaches the server, so never listed
  }
  {
    UploadJournal next(path);
    EXPECT_EQ(next.Leftovers(), std::vector<std::string>{"/in/.b.quillon-2"});
    next.Keep({"/in/.b.quillon-2"});  // could not be removed yet
  }
  {
    UploadJournal next(path);
    EXPECT_EQ(next.Leftovers(), std::vector<std::string>{"/in/.b.quillon-2"});
    next.Keep({});
    next.Started("/in/.c.quillon-3");
    next.Ended("/in/.c.quillon-3");
  }
  // Nothing pending: the file is gone.
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace quillon
