// Job-building rules that need no server: destination names, read-only destinations, the
// overwrite question, local backups, and the manager's own small rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/TestSupport.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RecordingLog;
using test::RecordingMessages;
using test::TempDir;
using test::WriteFile;

// No server is reachable: every connection attempt fails.
class NoConnector : public FtpConnector {
 public:
  std::unique_ptr<FtpConnection> Open(const FtpConnectParameters&) override { return nullptr; }
};

struct Fixture {
  TempDir dir;
  NoConnector connector;
  RecordingMessages messages;
  RecordingLog log;
  FixedClock clock{FromLocalTime(2024, 3, 5, 14, 7, 9)};
};

std::unique_ptr<TransferJob> Job(const std::string& source, const std::string& destination) {
  auto job = std::make_unique<TransferJob>();
  job->source = source;
  job->destination = destination;
  job->size = 1;
  job->retries = 3;
  return job;
}

TEST(DownloadJobs, DecryptModeDropsTheContainerExtension) {
  struct Case {
    bool decrypt;
    const char* name;
    const char* saved;
  } cases[] = {
      {true, "report.txt.QVR", "report.txt"},
      {false, "report.txt.QVR", "report.txt.QVR"},
      {true, "a.qvr", "a"},
      {true, "x.qvrz", "x.qvrz"},
  };
  for (const auto& c : cases) {
    Fixture f;
    TransferSettings settings;
    settings.decrypt = c.decrypt;
    DownloadManager manager(settings, f.connector, f.messages, f.clock);
    manager.SetActivityLog(&f.log);
    ASSERT_TRUE(manager.AddJob(Job("/r/" + std::string(c.name), f.dir.file(c.name))));
    EXPECT_EQ(manager.Queue().back()->destination, f.dir.file(c.saved)) << c.name;
    EXPECT_EQ(manager.Queue().back()->retries, 0);
    EXPECT_TRUE(f.log.Contains("Add: /r/" + std::string(c.name)));
  }
  // The name must be longer than the extension itself.
  Fixture f;
  TransferSettings settings;
  settings.decrypt = true;
  DownloadManager manager(settings, f.connector, f.messages, f.clock);
  manager.SetDestinationBase(f.dir.path());
  ASSERT_TRUE(manager.AddJob(Job("/r/.qvr", f.dir.file(".qvr"))));
  EXPECT_EQ(manager.Queue().back()->destination, f.dir.file(".qvr"));
}

TEST(DownloadJobs, ReadOnlyDestinationIsRefused) {
  for (int level : {0, 3}) {
    Fixture f;
    WriteFile(f.dir.file("ro.txt"), "keep");
    chmod(f.dir.file("ro.txt").c_str(), 0444);
    TransferSettings settings;
    settings.warningLevel = level;
    DownloadManager manager(settings, f.connector, f.messages, f.clock);
    manager.SetActivityLog(&f.log);
    EXPECT_FALSE(manager.AddJob(Job("/r/ro.txt", f.dir.file("ro.txt"))));
    EXPECT_EQ(manager.QueueLength(), 0u);
    std::string text = f.dir.file("ro.txt") + ": Cannot be overwritten. Permission denied.";
    ASSERT_EQ(f.log.Lines().size(), 1u);
    EXPECT_EQ(f.log.Lines()[0].text, text);
    EXPECT_EQ(f.log.Lines()[0].colour, colour::kRed);
    EXPECT_EQ(f.messages.shown.size(), level < 3 ? 1u : 0u);
  }
  // Without an activity log the build log gets the line.
  Fixture f;
  WriteFile(f.dir.file("ro.txt"), "keep");
  chmod(f.dir.file("ro.txt").c_str(), 0444);
  std::FILE* buildLog = std::fopen(f.dir.file("build.log").c_str(), "w");
  FileLogSink buildSink(buildLog);
  DownloadManager manager(TransferSettings{}, f.connector, f.messages, f.clock);
  manager.SetBuildLog(&buildSink);
  EXPECT_FALSE(manager.AddJob(Job("/r/ro.txt", f.dir.file("ro.txt"))));
  std::fclose(buildLog);
  EXPECT_EQ(ReadFile(f.dir.file("build.log")),
            "FAILED: " + f.dir.file("ro.txt") + ": Cannot be overwritten. Permission denied.\n");
  EXPECT_TRUE(f.messages.shown.empty());
}

TEST(DownloadJobs, OverwriteQuestionAnswersHoldForTheRun) {
  struct Case {
    const char* name;
    std::vector<MessageAnswer> answers;
    int warningLevel;
    std::vector<bool> queued;  // for files a, b, c (all exist)
    size_t asked;
  } cases[] = {
      {"yes, no, yes",
       {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes},
       0,
       {true, false, true},
       3},
      {"yes to all", {MessageAnswer::YesToAll}, 0, {true, true, true}, 1},
      {"no, no to all", {MessageAnswer::No, MessageAnswer::NoToAll}, 0, {false, false, false}, 2},
      {"closed box means yes", {MessageAnswer::Cancel}, 0, {true, false, false}, 3},
      {"level 1 never asks", {}, 1, {true, true, true}, 0},
      {"level 2 never asks", {}, 2, {true, true, true}, 0},
  };
  for (const auto& c : cases) {
    Fixture f;
    for (auto answer : c.answers) f.messages.QueueAnswer(answer);
    if (std::string(c.name) == "closed box means yes") {
      f.messages.QueueAnswer(MessageAnswer::No);
      f.messages.QueueAnswer(MessageAnswer::No);
    }
    TransferSettings settings;
    settings.warningLevel = c.warningLevel;
    DownloadManager manager(settings, f.connector, f.messages, f.clock);
    manager.SetActivityLog(&f.log);
    for (size_t i = 0; i < 3; ++i) {
      std::string name = std::string(1, static_cast<char>('a' + i));
      WriteFile(f.dir.file(name), "old");
      EXPECT_EQ(manager.AddJob(Job("/r/" + name, f.dir.file(name))), c.queued[i])
          << c.name << " " << name;
    }
    ASSERT_EQ(f.messages.shown.size(), c.asked) << c.name;
    if (c.asked) {
      EXPECT_EQ(f.messages.shown[0].text,
                f.dir.file("a") +
                    " already exists!\nDo you want to replace the existing files or folders?");
      EXPECT_EQ(f.messages.shown[0].buttons, MessageButtons::YesYesToAllNoNoToAll);
      EXPECT_EQ(f.messages.shown[0].icon, MessageIcon::Question);
    }
  }
}

TEST(DownloadJobs, WithoutActivityLogAnExistingFileIsOverwrittenUnasked) {
  Fixture f;
  WriteFile(f.dir.file("a"), "old");
  DownloadManager manager(TransferSettings{}, f.connector, f.messages, f.clock);
  EXPECT_TRUE(manager.AddJob(Job("/r/a", f.dir.file("a"))));
  EXPECT_TRUE(f.messages.shown.empty());
}

TEST(DownloadJobs, LocalBackupKeepsTheLimitAndOnlyCountsStampedNames) {
  Fixture f;
  using namespace std::chrono;
  auto setTime = [](const std::string& path, int secondsAgo) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - seconds(secondsAgo));
  };
  WriteFile(f.dir.file("report.txt"), "current");
  const char* old[] = {"report_2020_01_01_00_00_00.txt", "report_2021_01_01_00_00_00.txt",
                       "report_2022_01_01_00_00_00.txt"};
  for (int i = 0; i < 3; ++i) {
    WriteFile(f.dir.file(old[i]), old[i]);
    setTime(f.dir.file(old[i]), 3000 - i * 1000);
  }
  // Look-alikes that are not backups, older than everything: never pruned.
  WriteFile(f.dir.file("report_final.txt"), "final");
  setTime(f.dir.file("report_final.txt"), 9000);
  WriteFile(f.dir.file("report_2019_01_01_00_00.txt"), "short stamp");
  setTime(f.dir.file("report_2019_01_01_00_00.txt"), 9000);

  TransferSettings settings;
  settings.backupCopies = 3;
  settings.profile.backupLocalFile = true;
  DownloadManager manager(settings, f.connector, f.messages, f.clock);
  manager.SetActivityLog(&f.log);
  ASSERT_TRUE(manager.AddJob(Job("/r/report.txt", f.dir.file("report.txt"))));

  EXPECT_FALSE(fs::exists(f.dir.file("report.txt")));
  EXPECT_EQ(ReadFile(f.dir.file("report_2024_03_05_14_07_09.txt")), "current");
  EXPECT_FALSE(fs::exists(f.dir.file(old[0])));  // the oldest went
  EXPECT_TRUE(fs::exists(f.dir.file(old[1])));
  EXPECT_TRUE(fs::exists(f.dir.file(old[2])));
  EXPECT_EQ(ReadFile(f.dir.file("report_final.txt")), "final");
  EXPECT_TRUE(fs::exists(f.dir.file("report_2019_01_01_00_00.txt")));
  EXPECT_TRUE(f.messages.shown.empty());  // backups replace the question
}

TEST(DownloadJobs, BackupOfNamesWithSeveralDotsOrNone) {
  Fixture f;
  WriteFile(f.dir.file("archive.tar.gz"), "tgz");
  WriteFile(f.dir.file("readme"), "readme");
  TransferSettings settings;
  settings.profile.backupLocalFile = true;
  DownloadManager manager(settings, f.connector, f.messages, f.clock);
  ASSERT_TRUE(manager.AddJob(Job("/r/archive.tar.gz", f.dir.file("archive.tar.gz"))));
  ASSERT_TRUE(manager.AddJob(Job("/r/readme", f.dir.file("readme"))));
  EXPECT_EQ(ReadFile(f.dir.file("archive_2024_03_05_14_07_09.tar.gz")), "tgz");
  EXPECT_EQ(ReadFile(f.dir.file("readme_2024_03_05_14_07_09")), "readme");
}

TEST(DownloadJobs, BackupThatCannotBeMadeDropsTheJobAndKeepsTheFile) {
  Fixture f;
  WriteFile(f.dir.file("a.txt"), "current");
  WriteFile(f.dir.file("a_2024_03_05_14_07_09.txt"), "earlier backup this second");
  TransferSettings settings;
  settings.profile.backupLocalFile = true;
  DownloadManager manager(settings, f.connector, f.messages, f.clock);
  manager.SetActivityLog(&f.log);
  EXPECT_FALSE(manager.AddJob(Job("/r/a.txt", f.dir.file("a.txt"))));
  EXPECT_EQ(manager.QueueLength(), 0u);
  EXPECT_EQ(ReadFile(f.dir.file("a.txt")), "current");
  EXPECT_EQ(ReadFile(f.dir.file("a_2024_03_05_14_07_09.txt")), "earlier backup this second");
  ASSERT_EQ(f.log.Lines().size(), 1u);
  EXPECT_EQ(f.log.Lines()[0].text,
            f.dir.file("a.txt") + ": Cannot make a backup copy. Not overwritten.");
  EXPECT_EQ(f.log.Lines()[0].colour, colour::kRed);
}

TEST(UploadJobs, EncryptModeAppendsTheContainerExtension) {
  struct Case {
    bool encrypt;
    const char* destination;
    const char* queued;
  } cases[] = {
      {true, "/up/a.txt", "/up/a.txt.qvr"}, {true, "/up/a.qvr", "/up/a.qvr"},
      {true, "/up/a.QVR", "/up/a.QVR"},     {true, "/up/readme", "/up/readme.qvr"},
      {false, "/up/a.txt", "/up/a.txt"},
  };
  for (const auto& c : cases) {
    Fixture f;
    TransferSettings settings;
    settings.encrypt = c.encrypt;
    UploadManager manager(settings, f.connector, f.messages, f.clock);
    ASSERT_TRUE(manager.AddJob(Job("/l/x", c.destination)));
    EXPECT_EQ(manager.Queue().back()->destination, c.queued);
  }
}

TEST(UploadJobs, SelectedFileGoesBelowTheDestinationWithLowerCaseOnlyRemotely) {
  Fixture f;
  WriteFile(f.dir.file("Report.TXT"), "12345");
  TransferSettings settings;
  settings.makeLower = true;
  UploadManager manager(settings, f.connector, f.messages, f.clock);
  manager.SetSourceBase(f.dir.path().string() + "/");
  manager.SetDestinationBase("/up/");
  auto entries = ListLocalFolder(f.dir.path());
  ASSERT_TRUE(entries && entries->size() == 1);
  manager.AddSelectedItem(entries->front());
  ASSERT_EQ(manager.QueueLength(), 1u);
  EXPECT_EQ(manager.Queue()[0]->source, f.dir.file("Report.TXT"));
  EXPECT_EQ(manager.Queue()[0]->destination, "/up/report.txt");
  EXPECT_EQ(manager.Queue()[0]->size, 5u);
}

TEST(Manager, LaneLimitElapsedTimeAndEmptyRuns) {
  Fixture f;
  DownloadManager manager(TransferSettings{}, f.connector, f.messages, f.clock);
  for (auto [given, limit] : {std::pair{0, 1}, {-3, 1}, {1, 1}, {4, 4}, {6, 6}, {9, 6}}) {
    manager.SetMaxThreads(given);
    EXPECT_EQ(manager.MaxThreads(), limit) << given;
  }
  EXPECT_EQ(CFTPMgr::FormatElapsed(3725), "01:02:05");
  EXPECT_EQ(CFTPMgr::FormatElapsed(0), "00:00:00");
  EXPECT_EQ(CFTPMgr::FormatElapsed(360000), "100:00:00");

  // An empty windowed run ends at once without a summary.
  manager.SetActivityLog(&f.log);
  TransferEventLoop loop;
  EXPECT_FALSE(manager.StartRun(loop));
  EXPECT_TRUE(manager.Finished());
  EXPECT_TRUE(manager.Summary().empty());
  EXPECT_TRUE(f.log.Lines().empty());
  EXPECT_TRUE(f.messages.shown.empty());

  // An empty unattended run says so in its log.
  std::FILE* log = std::fopen(f.dir.file("task.log").c_str(), "w");
  FileLogSink sink(log);
  manager.RunWithoutWindow(&sink, "");
  std::fclose(log);
  EXPECT_EQ(ReadFile(f.dir.file("task.log")), "No files to transfer.\n");
}

TEST(Manager, EmptiedLocalFoldersGoButNothingBehindALink) {
  Fixture f;
  fs::create_directories(f.dir.file("src/a/b/c"));
  fs::create_directories(f.dir.file("src/keep/x"));
  WriteFile(f.dir.file("src/keep/file"), "stays");
  fs::create_directories(f.dir.file("precious"));
  WriteFile(f.dir.file("precious/data"), "data");
  fs::create_directories(f.dir.file("src/linked"));
  fs::create_directory_symlink(f.dir.file("precious"), f.dir.file("src/linked/to"));

  UploadManager manager(TransferSettings{}, f.connector, f.messages, f.clock);
  manager.SetActivityLog(&f.log);
  manager.AddEmptiedFolder(f.dir.file("src/a"));
  manager.AddEmptiedFolder(f.dir.file("src/keep"));
  manager.AddEmptiedFolder(f.dir.file("src/linked"));
  EXPECT_FALSE(manager.RemoveEmptiedSourceFolders());
  EXPECT_FALSE(fs::exists(f.dir.file("src/a")));
  EXPECT_TRUE(fs::exists(f.dir.file("src/keep/file")));
  EXPECT_FALSE(fs::exists(f.dir.file("src/keep/x")));  // empty below, so removed
  EXPECT_EQ(ReadFile(f.dir.file("precious/data")), "data");
  EXPECT_TRUE(fs::is_symlink(f.dir.file("src/linked/to")));
  EXPECT_TRUE(f.log.Contains(f.dir.file("src/keep") + " cannot be deleted."));
  EXPECT_TRUE(f.log.Contains(f.dir.file("src/linked") + " cannot be deleted."));
  EXPECT_FALSE(f.log.Contains(f.dir.file("src/a") + " cannot"));
}

}  // namespace
}  // namespace quillon
