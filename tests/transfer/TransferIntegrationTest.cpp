// The transfer engine against real servers through the real libcurl connections: pyftpdlib for
// both directions, several lanes, retries and the seventh failure, cancel, backups, delete and
// move after transfer, the overwrite answers and encryption; the lanes over FTP over TLS (vsftpd,
// pyftpdlib) and SFTP (sshd); crash-safe uploads against vsftpd, in clear text and over TLS.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "common/Paths.h"
#include "ftp/CurlFtp.h"
#include "remote/CertificateTrust.h"
#include "remote/RemoteListing.h"
#include "support/FtpServer.h"
#include "support/SshServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/VsftpdServer.h"
#include "transfer/DownloadManager.h"
#include "transfer/UploadManager.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::ReadFile;
using test::RecordingLog;
using test::RecordingMessages;
using test::TempDir;
using test::WaitFor;
using test::WriteFile;

// Why a download of a file the server does not have fails: our words, then the server's.
const std::string kMissing =
    "/missing.txt: Cannot open for reading. 550 No such file or directory.";

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Files below `folder` other than the expected ones: a temporary file left behind shows here.
std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (!e.is_directory()) names.push_back(fs::relative(e.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

// A transfer log on a file of the test's folder.
struct FileLog : LogSink {
  explicit FileLog(std::string path) : path(std::move(path)) {}
  void Write(std::string_view text) override {
    std::lock_guard lock(mutex);
    content += text;
  }
  std::string Text() {
    std::lock_guard lock(mutex);
    return content;
  }
  std::string path;
  std::mutex mutex;
  std::string content;
};

// The progress window of a test: records titles and counts, and can cancel the run from a
// lane's first chunk, holding that lane until the manager has asked it to stop (so the stop
// lands mid-file whatever the machine's speed).
class TestProgress : public TransferProgress {
 public:
  struct View : LaneView {
    TestProgress* owner = nullptr;
    int lane = 0;
    void SetStatus(std::string_view) override {}
    void SetPercent(std::string_view text) override {
      std::lock_guard lock(owner->mutex);
      owner->percents.emplace_back(text);
    }
    void SetRange(int32_t, int32_t) override {}
    void SetPosition(int32_t) override {
      if (owner->cancelFromLane && !owner->cancelPosted.exchange(true)) {
        owner->loop->PostCancel();
        WaitFor([&] { return owner->manager->Lane(lane)->StopRequested(); });
      }
    }
  };

  void SetTitle(std::string_view title) override { titles.emplace_back(title); }
  void SetCounts(int32_t total, int32_t ok, int32_t failed) override {
    counts = {total, ok, failed};
  }
  LaneView* AddLane(int lane) override {
    views[lane].owner = this;
    views[lane].lane = lane;
    ++lanesMade;
    return &views[lane];
  }
  void RemoveLane(int) override { ++lanesRemoved; }
  void ShowCryptIndicator(bool shown) override { cryptShown = shown; }
  void SetElapsed(std::string_view) override {}
  void RunEnded() override { ended = true; }

  std::array<View, 6> views;
  std::vector<std::string> titles;
  std::array<int32_t, 3> counts{};
  int lanesMade = 0;
  int lanesRemoved = 0;
  bool cryptShown = false;
  bool ended = false;
  bool cancelFromLane = false;
  std::atomic<bool> cancelPosted{false};
  TransferEventLoop* loop = nullptr;
  CFTPMgr* manager = nullptr;
  std::mutex mutex;
  std::vector<std::string> percents;
};

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() : server_(Options()) {
    InitCurlGlobal();
    settings.profile = server_.Profile();
    settings.warningLevel = 0;
    fs::create_directories(local());
  }
  FtpServer::Options Options() {
    FtpServer::Options options;
    options.root = dir.path() / "srv";
    fs::create_directories(options.root);
    options.permissions = permissions;
    return options;
  }
  std::string srv(const std::string& rel = "") { return (dir.path() / "srv" / rel).string(); }
  std::string local(const std::string& rel = "") { return (dir.path() / "local" / rel).string(); }

  // Runs `manager` as a windowed run without a GUI.
  void Run(CFTPMgr& manager, int lanes) {
    manager.SetMaxThreads(lanes);
    manager.SetActivityLog(&log);
    manager.SetTransferLog(&transferLog);
    manager.SetProgress(&progress);
    progress.loop = &loop;
    progress.manager = &manager;
    manager.RunHeadless(loop);
  }

  std::unique_ptr<DownloadManager> Downloads(FtpConnection* building) {
    auto m = std::make_unique<DownloadManager>(settings, connector, messages, clock);
    m->SetBuildingConnection(building);
    m->SetSourceBase("/");
    m->SetDestinationBase(local().substr(0, local().size() - 1));
    m->SetActivityLog(&log);
    return m;
  }
  std::unique_ptr<UploadManager> Uploads(FtpConnection* building) {
    auto m = std::make_unique<UploadManager>(settings, connector, messages, clock);
    m->SetBuildingConnection(building);
    m->SetSourceBase(local().substr(0, local().size() - 1));
    m->SetDestinationBase("/");
    m->SetActivityLog(&log);
    return m;
  }
  std::unique_ptr<TransferJob> Job(const std::string& source, const std::string& destination,
                                   uint64_t size) {
    auto job = std::make_unique<TransferJob>();
    job->source = source;
    job->destination = destination;
    job->size = size;
    return job;
  }
  size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (const auto& line : log.Lines()) n += line.text == text;
    return n;
  }

  std::string permissions = "elradfmwMT";
  TempDir dir;
  FtpServer server_;
  CurlFtpConnector connector;
  TransferSettings settings;
  RecordingMessages messages;
  RecordingLog log;
  FileLog transferLog{""};
  FixedClock clock{FromLocalTime(2024, 3, 5, 14, 7, 9)};
  TestProgress progress;
  TransferEventLoop loop;
};

TEST_F(TransferTest, DownloadsAFolderTreeOnSeveralLanes) {
  fs::create_directories(srv("data/sub"));
  fs::create_directories(srv("data/onlyfolders/deeper"));
  std::map<std::string, std::string> files = {
      {"data/a.txt", "alpha"},
      {"data/empty.bin", ""},
      {"data/sub/b.bin", RandomBytes(300'000, 1)},
      {"data/sub/c.bin", RandomBytes(10'000, 2)},
  };
  for (const auto& [name, content] : files) WriteFile(srv(name), content);

  auto building = connector.Open(ConnectParametersOf(settings.profile));
  ASSERT_TRUE(building);
  auto manager = Downloads(building.get());
  manager->AddSelectedItem({"data", "/data", true, 0, {}});
  EXPECT_EQ(manager->QueueLength(), 4u);
  building.reset();
  Run(*manager, 3);

  EXPECT_EQ(manager->Total(), 4);
  EXPECT_EQ(manager->Succeeded(), 4);
  EXPECT_EQ(manager->Failed(), 0);
  EXPECT_EQ(progress.lanesMade, 3);
  for (const auto& [name, content] : files) EXPECT_EQ(ReadFile(local(name)), content) << name;
  // Folders that received no file are not made; no temporary file is left.
  EXPECT_FALSE(fs::exists(local("data/onlyfolders")));
  EXPECT_EQ(FilesBelow(local()), (std::vector<std::string>{"data/a.txt", "data/empty.bin",
                                                           "data/sub/b.bin", "data/sub/c.bin"}));
  EXPECT_TRUE(log.Contains("Add: /data/a.txt"));
  EXPECT_TRUE(log.Contains("Downloading /data/sub/b.bin"));
  EXPECT_TRUE(log.Contains("/data/sub/b.bin: Downloading successful."));
  auto lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].text, "Transmission completed successfully!");
  EXPECT_EQ(lines.back().text, "All of the 4 selected file(s) have been downloaded.");
  EXPECT_EQ(lines.back().colour, colour::kGreen);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_NE(transferLog.Text().find("OK: " + local("data/sub/b.bin") + " <== /data/sub/b.bin\n"),
            std::string::npos);
  EXPECT_EQ(progress.titles.front(), "4 files to download.");
  EXPECT_EQ(progress.titles.back(), "0 files to download ...");
  EXPECT_TRUE(progress.ended);
}

TEST_F(TransferTest, UploadsAFolderTreeWithLowerCaseNames) {
  settings.makeLower = true;
  fs::create_directories(local("Up/Sub"));
  fs::create_directories(local("Up/NoFiles/Deeper"));
  WriteFile(local("Up/One.TXT"), "one");
  WriteFile(local("Up/Sub/Two.bin"), RandomBytes(200'000, 3));
  WriteFile(local("Up/empty"), "");
  fs::create_directories(dir.path() / "outside");
  WriteFile(dir.path() / "outside/secret", "secret");
  fs::create_directory_symlink(dir.path() / "outside", local("Up/link"));

  auto building = connector.Open(ConnectParametersOf(settings.profile));
  auto manager = Uploads(building.get());
  manager->SetDestinationBase("/in/");
  CreateRemoteFolderTree(*building, "/in");
  auto entries = ListLocalFolder(local().substr(0, local().size() - 1));
  ASSERT_TRUE(entries);
  for (const auto& e : *entries) manager->AddSelectedItem(e);
  building.reset();
  Run(*manager, 2);

  EXPECT_EQ(manager->Succeeded(), 3);
  EXPECT_EQ(ReadFile(srv("in/Up/one.txt")), "one");
  EXPECT_EQ(ReadFile(srv("in/Up/Sub/two.bin")), ReadFile(local("Up/Sub/Two.bin")));
  EXPECT_TRUE(fs::exists(srv("in/Up/empty")));
  EXPECT_EQ(fs::file_size(srv("in/Up/empty")), 0u);
  EXPECT_FALSE(fs::exists(srv("in/Up/link")));     // a link to a folder is not followed
  EXPECT_FALSE(fs::exists(srv("in/Up/NoFiles")));  // no job, no folder
  EXPECT_NE(transferLog.Text().find("OK: " + local("Up/One.TXT") + " ==> /in/Up/one.txt\n"),
            std::string::npos);
  EXPECT_TRUE(log.Contains(local("Up/One.TXT") + ": Uploading successful."));
}

TEST_F(TransferTest, WindowedRetriesFiveTimesThenFails) {
  WriteFile(srv("good.txt"), "good");
  auto manager = Downloads(nullptr);
  ASSERT_TRUE(manager->AddJob(Job("/missing.txt", local("missing.txt"), 10)));
  ASSERT_TRUE(manager->AddJob(Job("/good.txt", local("good.txt"), 4)));
  Run(*manager, 2);

  EXPECT_EQ(manager->Succeeded(), 1);
  EXPECT_EQ(manager->Failed(), 1);
  EXPECT_EQ(CountLines("/missing.txt: Retry."), 5u);
  EXPECT_EQ(CountLines("/missing.txt: Failed."), 1u);
  // Each try names the server's own reason.
  EXPECT_EQ(CountLines(kMissing), 6u);
  EXPECT_FALSE(fs::exists(local("missing.txt")));
  EXPECT_EQ(FilesBelow(local()), std::vector<std::string>{"good.txt"});
  EXPECT_NE(transferLog.Text().find("FAILED: " + local("missing.txt") +
                                    " <== /missing.txt, ERROR: " + kMissing + "\n"),
            std::string::npos);
  std::string hint = " Click the \"L\" button on the main window to see details.        ";
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "Transmission is NOT complete!" + hint +
                "\n\nOnly 1 of the 2 selected file(s) have been downloaded.\n\nERROR:\n" +
                kMissing + "\n");
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
  EXPECT_EQ(manager->Summary(), messages.shown[0].text);
}

TEST_F(TransferTest, TheSeventhGivenUpFileEndsTheRun) {
  auto manager = Uploads(nullptr);
  for (int i = 0; i < 10; ++i) {
    std::string name = "f" + std::to_string(i);
    WriteFile(local(name), name);
    // No such remote folder: every attempt is refused by the server.
    ASSERT_TRUE(manager->AddJob(Job(local(name), "/no/such/folder/" + name, 2)));
  }
  manager->AddEmptiedFolder(local("whatever"));
  Run(*manager, 1);

  EXPECT_EQ(manager->Total(), 10);
  EXPECT_EQ(manager->Failed(), 7);
  EXPECT_EQ(manager->Succeeded(), 0);
  EXPECT_EQ(manager->QueueLength(), 0u);
  EXPECT_TRUE(manager->EmptiedFolders().empty());
  EXPECT_EQ(CountLines(local("f7") + ": Retry."), 0u);  // dropped, never tried
  EXPECT_NE(manager->Summary().find("\nToo many errors.\n"), std::string::npos);
  EXPECT_NE(manager->Summary().find("None of the 10 selected file(s) have been uploaded."),
            std::string::npos);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
}

TEST_F(TransferTest, UnattendedRunNumbersRetriesAndKeepsEachFilesOwnError) {
  WriteFile(srv("good.txt"), "good");
  auto manager = Downloads(nullptr);
  manager->SetActivityLog(nullptr);
  ASSERT_TRUE(manager->AddJob(Job("/missing.txt", local("missing.txt"), 10)));
  ASSERT_TRUE(manager->AddJob(Job("/good.txt", local("good.txt"), 4)));
  FileLog taskLog("");
  manager->RunWithoutWindow(&taskLog, "");

  std::string expected = "OK: " + local("good.txt") + " <== /good.txt\n";
  std::string retry = ": /missing.txt to " + local("missing.txt") + ", REASON: " + kMissing + "\n";
  std::string text = taskLog.Text();
  for (int i = 1; i <= 6; ++i)
    EXPECT_NE(text.find("RETRY " + std::to_string(i) + retry), std::string::npos) << i;
  EXPECT_EQ(text.find("RETRY 7"), std::string::npos);
  EXPECT_NE(text.find(expected), std::string::npos);
  // The last line gives the failed file up with its own error, although a good file ran since.
  EXPECT_TRUE(text.ends_with("FAILED: " + local("missing.txt") +
                             " <== /missing.txt, ERROR: " + kMissing + "\n"));
  EXPECT_EQ(manager->Succeeded(), 1);
  EXPECT_EQ(manager->Failed(), 1);
}

TEST_F(TransferTest, DownloadTakesAGrownFileWholeAndRetriesAShrunkOne) {
  std::string grown = RandomBytes(50'000, 4);
  WriteFile(srv("grown.bin"), grown);
  WriteFile(srv("shrunk.bin"), "short");
  settings.profile.deleteAfterDownload = true;
  auto manager = Downloads(nullptr);
  ASSERT_TRUE(manager->AddJob(Job("/grown.bin", local("grown.bin"), 10'000)));  // listed smaller
  ASSERT_TRUE(manager->AddJob(Job("/shrunk.bin", local("shrunk.bin"), 5000)));  // listed larger
  Run(*manager, 1);

  EXPECT_EQ(ReadFile(local("grown.bin")), grown);
  EXPECT_FALSE(fs::exists(srv("grown.bin")));  // whole, so deleted after download
  EXPECT_FALSE(fs::exists(local("shrunk.bin")));
  EXPECT_TRUE(fs::exists(srv("shrunk.bin")));  // never arrived whole, never deleted
  EXPECT_EQ(CountLines("/shrunk.bin: Retry."), 5u);
  EXPECT_NE(manager->Summary().find("Error in reading remote file\n"), std::string::npos);
  EXPECT_EQ(FilesBelow(local()), std::vector<std::string>{"grown.bin"});
}

TEST_F(TransferTest, CancelledDownloadLeavesTheDestinationAsItWas) {
  WriteFile(srv("big.bin"), RandomBytes(8 << 20, 5));
  WriteFile(srv("next.txt"), "next");
  WriteFile(local("big.bin"), "the old content");
  auto manager = Downloads(nullptr);
  manager->SetActivityLog(nullptr);  // no question: the old file may be overwritten
  ASSERT_TRUE(manager->AddJob(Job("/big.bin", local("big.bin"), 8 << 20)));
  ASSERT_TRUE(manager->AddJob(Job("/next.txt", local("next.txt"), 4)));
  progress.cancelFromLane = true;
  Run(*manager, 1);

  EXPECT_TRUE(manager->Cancelled());
  EXPECT_EQ(manager->Succeeded(), 0);
  EXPECT_EQ(manager->Failed(), 1);
  EXPECT_EQ(manager->QueueLength(), 1u);  // the queued file stays queued, uncounted
  EXPECT_EQ(ReadFile(local("big.bin")), "the old content");
  EXPECT_EQ(FilesBelow(local()), std::vector<std::string>{"big.bin"});
  EXPECT_TRUE(log.Contains("Downloading canceled: /big.bin"));
  auto lines = log.Lines();
  EXPECT_EQ(lines[lines.size() - 2].text, "Transmission canceled!");
  EXPECT_EQ(lines[lines.size() - 2].colour, colour::kDarkRed);
  EXPECT_EQ(progress.titles.back(), "2 files to download ...");
  EXPECT_TRUE(std::find(progress.titles.begin(), progress.titles.end(),
                        "Cacelling, please wait...") != progress.titles.end());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("Transmission canceled!", 0), 0u);
}

TEST_F(TransferTest, CancelledUploadRemovesThePartialRemoteFile) {
  WriteFile(local("big.bin"), RandomBytes(8 << 20, 6));
  auto manager = Uploads(nullptr);
  ASSERT_TRUE(manager->AddJob(Job(local("big.bin"), "/big.bin", 8 << 20)));
  progress.cancelFromLane = true;
  Run(*manager, 1);

  EXPECT_TRUE(manager->Cancelled());
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(srv("big.bin")); }));
  EXPECT_TRUE(log.Contains(local("big.bin") + ": Uploading canceled."));
  EXPECT_TRUE(fs::exists(local("big.bin")));
}

TEST_F(TransferTest, DeleteAfterDownloadAndRemovalOfEmptiedFolders) {
  fs::create_directories(srv("tree/sub/empty"));
  WriteFile(srv("tree/a"), "a");
  WriteFile(srv("tree/sub/b"), "b");
  settings.profile.deleteAfterDownload = true;
  auto building = connector.Open(ConnectParametersOf(settings.profile));
  auto manager = Downloads(building.get());
  manager->AddSelectedItem({"tree", "/tree", true, 0, {}});
  building.reset();
  EXPECT_EQ(manager->EmptiedFolders(), std::vector<std::string>{"/tree"});
  Run(*manager, 2);
  EXPECT_EQ(manager->Succeeded(), 2);
  EXPECT_FALSE(fs::exists(srv("tree/a")));
  EXPECT_FALSE(fs::exists(srv("tree/sub/b")));
  EXPECT_TRUE(manager->RemoveEmptiedSourceFolders());
  EXPECT_FALSE(fs::exists(srv("tree")));
  EXPECT_EQ(ReadFile(local("tree/sub/b")), "b");
}

TEST_F(TransferTest, DeleteAfterDownloadRefusedStillSucceeds) {
  // A second server on the same root whose user may not delete.
  FtpServer::Options options = server_.options();
  options.permissions = "elrw";
  FtpServer strict(options);
  settings.profile = strict.Profile();
  settings.profile.deleteAfterDownload = true;
  WriteFile(srv("keep.txt"), "keep");
  auto manager = Downloads(nullptr);
  ASSERT_TRUE(manager->AddJob(Job("/keep.txt", local("keep.txt"), 4)));
  Run(*manager, 1);
  EXPECT_EQ(manager->Succeeded(), 1);
  EXPECT_TRUE(fs::exists(srv("keep.txt")));
  EXPECT_EQ(ReadFile(local("keep.txt")), "keep");
  bool found = false;
  for (const auto& line : log.Lines())
    found |= line.text == "/keep.txt: cannot be deleted." && line.colour == colour::kGreen;
  EXPECT_TRUE(found);
}

TEST_F(TransferTest, DeleteOrMoveAfterUpload) {
  settings.profile.deleteAfterUpload = true;
  fs::create_directories(local("src/docs.old"));
  WriteFile(local("src/gone.txt"), "gone");
  {
    auto manager = Uploads(nullptr);
    manager->SetSourceBase(local("src"));
    ASSERT_TRUE(manager->AddJob(Job(local("src/gone.txt"), "/gone.txt", 4)));
    Run(*manager, 1);
    EXPECT_EQ(manager->Succeeded(), 1);
    EXPECT_EQ(ReadFile(srv("gone.txt")), "gone");
    EXPECT_FALSE(fs::exists(local("src/gone.txt")));
  }
  // With a backup folder the sources move there, stamped, keeping their place below the base.
  settings.backupDir = local("bak");
  WriteFile(local("src/docs.old/readme"), "readme");
  WriteFile(local("src/docs.old/x.tar.gz"), "tgz");
  fs::create_directories(local("bak/docs.old"));
  WriteFile(local("bak/docs.old/x.tar_2024_03_05_14_07_09.gz"), "taken");
  auto manager = Uploads(nullptr);
  manager->SetSourceBase(local("src/"));
  manager->SetActivityLog(nullptr);
  ASSERT_TRUE(manager->AddJob(Job(local("src/docs.old/readme"), "/readme", 6)));
  ASSERT_TRUE(manager->AddJob(Job(local("src/docs.old/x.tar.gz"), "/x.tar.gz", 3)));
  FileLog taskLog("");
  manager->RunWithoutWindow(&taskLog, "");
  EXPECT_EQ(ReadFile(local("bak/docs.old/readme_2024_03_05_14_07_09")), "readme");
  EXPECT_FALSE(fs::exists(local("src/docs.old/readme")));
  // The stamped name is taken: the source stays and the run says so.
  EXPECT_EQ(ReadFile(local("bak/docs.old/x.tar_2024_03_05_14_07_09.gz")), "taken");
  EXPECT_EQ(ReadFile(local("src/docs.old/x.tar.gz")), "tgz");
  EXPECT_NE(
      taskLog.Text().find("ERROR: " + local("src/docs.old/x.tar.gz") + ": cannot be moved.\n"),
      std::string::npos);
}

TEST_F(TransferTest, RemoteBackupsKeepTheLimitAndNeverReplace) {
  settings.profile.backupRemoteFile = true;
  settings.backupCopies = 2;
  fs::create_directories(srv("up"));
  WriteFile(srv("up/a.txt"), "current");
  WriteFile(srv("up/a_2020_01_01_00_00_00.txt"), "old1");
  WriteFile(srv("up/a_2021_01_01_00_00_00.txt"), "old2");
  WriteFile(srv("up/a_final.txt"), "look-alike");
  fs::last_write_time(srv("up/a_final.txt"),
                      fs::file_time_type::clock::now() - std::chrono::hours(9999));
  fs::last_write_time(srv("up/a_2020_01_01_00_00_00.txt"),
                      fs::file_time_type::clock::now() - std::chrono::hours(200));
  fs::last_write_time(srv("up/a_2021_01_01_00_00_00.txt"),
                      fs::file_time_type::clock::now() - std::chrono::hours(100));
  WriteFile(local("a.txt"), "new");
  WriteFile(srv("up/b.txt"), "b current");
  WriteFile(srv("up/b_2024_03_05_14_07_09.txt"), "b taken");
  WriteFile(local("b.txt"), "b new");

  auto building = connector.Open(ConnectParametersOf(settings.profile));
  auto manager = Uploads(building.get());
  ASSERT_TRUE(manager->AddJob(Job(local("a.txt"), "/up/a.txt", 3)));
  EXPECT_FALSE(manager->AddJob(Job(local("b.txt"), "/up/b.txt", 5)));
  building.reset();
  Run(*manager, 1);

  EXPECT_EQ(ReadFile(srv("up/a.txt")), "new");
  EXPECT_EQ(ReadFile(srv("up/a_2024_03_05_14_07_09.txt")), "current");
  EXPECT_FALSE(fs::exists(srv("up/a_2020_01_01_00_00_00.txt")));
  EXPECT_TRUE(fs::exists(srv("up/a_2021_01_01_00_00_00.txt")));
  EXPECT_EQ(ReadFile(srv("up/a_final.txt")), "look-alike");
  EXPECT_EQ(ReadFile(srv("up/b.txt")), "b current");
  EXPECT_EQ(ReadFile(srv("up/b_2024_03_05_14_07_09.txt")), "b taken");
  EXPECT_TRUE(log.Contains("/up/b.txt: Cannot make a backup copy. Not overwritten."));
}

TEST_F(TransferTest, OverwriteQuestionForAnExistingFolder) {
  fs::create_directories(srv("d"));
  WriteFile(srv("d/x"), "x");
  WriteFile(srv("d/y"), "y");
  fs::create_directories(local("d"));
  WriteFile(local("d/x"), "old x");
  WriteFile(local("d/y"), "old y");
  auto building = connector.Open(ConnectParametersOf(settings.profile));
  {
    messages.QueueAnswer(MessageAnswer::No);  // the folder itself
    auto manager = Downloads(building.get());
    manager->AddSelectedItem({"d", "/d", true, 0, {}});
    EXPECT_EQ(manager->QueueLength(), 0u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, local("d") +
                                          " already exists!\nDo you want to replace the "
                                          "existing files or folders?");
  }
  messages.shown.clear();
  messages.QueueAnswer(MessageAnswer::Yes);      // the folder
  messages.QueueAnswer(MessageAnswer::NoToAll);  // x, and so y
  auto manager = Downloads(building.get());
  manager->AddSelectedItem({"d", "/d", true, 0, {}});
  EXPECT_EQ(manager->QueueLength(), 0u);
  EXPECT_EQ(messages.shown.size(), 2u);
  EXPECT_TRUE(manager->NoToAll());
}

TEST_F(TransferTest, EncryptedUploadThenDecryptingDownload) {
  settings.encrypt = true;
  settings.encryptionKey = "correct horse";
  settings.encryptionKeyName = "house key";
  // Past the first MiB, where the table cipher (transfer_integration_table) takes helper threads.
  std::string plain = RandomBytes((3 << 20) + 5, 7);
  WriteFile(local("report.txt"), plain);
  {
    auto building = connector.Open(ConnectParametersOf(settings.profile));
    auto manager = Uploads(building.get());
    auto entries = ListLocalFolder(local().substr(0, local().size() - 1));
    for (const auto& e : *entries) manager->AddSelectedItem(e);
    building.reset();
    Run(*manager, 1);
    EXPECT_EQ(manager->Succeeded(), 1);
    EXPECT_TRUE(progress.cryptShown);
  }
  std::string container = ReadFile(srv("report.txt.qvr"));
  ASSERT_GE(container.size(), plain.size() + 40);
  EXPECT_EQ(container.substr(0, 4), "QVR4");

  fs::remove(local("report.txt"));
  settings.encrypt = false;
  settings.decrypt = true;
  settings.decryptionKey = "correct horse";
  {
    auto manager = Downloads(nullptr);
    ASSERT_TRUE(manager->AddJob(Job("/report.txt.qvr", local("report.txt.qvr"), container.size())));
    Run(*manager, 1);
    EXPECT_EQ(manager->Succeeded(), 1);
  }
  EXPECT_EQ(ReadFile(local("report.txt")), plain);
  EXPECT_EQ(FilesBelow(local()), std::vector<std::string>{"report.txt"});

  // A wrong key fails at once (no retries), names the key, and leaves nothing behind.
  WriteFile(local("report.txt"), "kept");
  settings.decryptionKey = "wrong";
  settings.warningLevel = 2;
  auto manager = Downloads(nullptr);
  ASSERT_TRUE(manager->AddJob(Job("/report.txt.qvr", local("report.txt.qvr"), container.size())));
  Run(*manager, 1);
  EXPECT_EQ(manager->Failed(), 1);
  EXPECT_EQ(ReadFile(local("report.txt")), "kept");
  EXPECT_EQ(FilesBelow(local()), std::vector<std::string>{"report.txt"});
  EXPECT_TRUE(log.Contains(local("report.txt") +
                           ": Cannot decrypt file. ERROR: Incorrect value for the key: house key"));
  EXPECT_EQ(CountLines("/report.txt.qvr: Retry."), 0u);
}

// The same lanes over each secure protocol: encrypted uploads on six lanes, one of them
// replacing an older upload crash-safely, then decrypting downloads on six lanes. FTP over TLS
// against vsftpd, which insists that every data connection resumes its control connection's TLS
// session (each lane has its own), and against pyftpdlib with implicit TLS, their certificate
// pinned in the trust folder the lanes take; SFTP against sshd, its host key in
// ~/.ssh/known_hosts, with a passphrase-protected key.
enum class SecurePeer { VsftpdExplicitTls, PyftpdlibImplicitTls, Sshd };

std::string SecurePeerName(const testing::TestParamInfo<SecurePeer>& info) {
  switch (info.param) {
    case SecurePeer::VsftpdExplicitTls:
      return "VsftpdExplicitTls";
    case SecurePeer::PyftpdlibImplicitTls:
      return "PyftpdlibImplicitTls";
    case SecurePeer::Sshd:
      return "Sftp";
  }
  return "?";
}

class SecureTransferTest : public TransferTest, public testing::WithParamInterface<SecurePeer> {
 protected:
  SecureTransferTest() : home_("HOME", homeDir_.path().c_str()) {
    settings.profile.address = "127.0.0.1";
    settings.profile.passiveMode = true;
    settings.trustFolder = trustFolder_.path().string();
    switch (GetParam()) {
      case SecurePeer::VsftpdExplicitTls:
        vsftpd_ = std::make_unique<test::VsftpdServer>(test::VsftpdServer::Options{
            .root = srv(), .certificatePem = certificates_.ServerPem("leaf")});
        settings.profile.protocol = ServerProtocol::FtpExplicitTls;
        settings.profile.port = vsftpd_->port();
        settings.profile.userName = vsftpd_->user();
        settings.profile.password.clear();
        remoteBase_ = vsftpd_->RemotePath();
        break;
      case SecurePeer::PyftpdlibImplicitTls:
        tls_ = std::make_unique<FtpServer>(FtpServer::Options{
            .root = srv(), .tlsCertificate = certificates_.ServerPem("leaf"), .implicitTls = true});
        settings.profile = tls_->Profile();
        remoteBase_ = "/";
        break;
      case SecurePeer::Sshd:
        ssh_ = std::make_unique<test::SshServer>(srv());
        fs::create_directories(homeDir_.path() / ".ssh");
        WriteFile(homeDir_.path() / ".ssh/known_hosts",
                  "[127.0.0.1]:" + std::to_string(ssh_->port()) + " " + ssh_->HostKeyLine() + "\n");
        settings.profile.protocol = ServerProtocol::Sftp;
        settings.profile.port = ssh_->port();
        settings.profile.userName = ssh_->user();
        settings.profile.password.clear();
        settings.profile.privateKeyFile = ssh_->KeyFile("ed25519-protected");
        settings.profile.privateKeyPassphrase = ssh_->KeyPassphrase();
        remoteBase_ = ssh_->RemotePath();
        break;
    }
    if (GetParam() != SecurePeer::Sshd) {
      PinCertificate(JoinPath(settings.trustFolder, kTrustedCertificatesFileName), "127.0.0.1",
                     settings.profile.port, certificates_.Fingerprint("leaf"), "test");
    }
  }

  // The path on the server of `name` in srv/.
  std::string Remote(const std::string& name) const { return JoinRemotePath(remoteBase_, name); }

  TempDir homeDir_;
  test::ScopedEnv home_;
  TempDir trustFolder_;
  test::TestCertificates certificates_;
  std::unique_ptr<test::VsftpdServer> vsftpd_;
  std::unique_ptr<FtpServer> tls_;
  std::unique_ptr<test::SshServer> ssh_;
  std::string remoteBase_;
};

INSTANTIATE_TEST_SUITE_P(Protocols, SecureTransferTest,
                         testing::Values(SecurePeer::VsftpdExplicitTls,
                                         SecurePeer::PyftpdlibImplicitTls, SecurePeer::Sshd),
                         SecurePeerName);

TEST_P(SecureTransferTest, EncryptedUploadsOnLanesThenDecryptingDownloads) {
  settings.encrypt = true;
  settings.encryptionKey = "correct horse";
  settings.encryptionKeyName = "house key";
  std::map<std::string, std::string> plain = {
      {"a.txt", RandomBytes((2 << 20) + 3, 1)}, {"b.bin", RandomBytes(70000, 2)}, {"c.dat", ""}};
  for (int i = 0; i < 5; ++i)
    plain["f" + std::to_string(i)] = RandomBytes(20000 + 4099 * i, 10 + i);
  for (const auto& [name, data] : plain) WriteFile(local(name), data);
  WriteFile(srv("a.txt.qvr"), "an older upload");
  std::vector<std::string> uploaded;
  for (const auto& entry : plain) uploaded.push_back(entry.first + ".qvr");
  {
    auto building = connector.Open(ConnectParametersOf(settings.profile, settings.trustFolder));
    ASSERT_TRUE(building);
    auto manager = Uploads(building.get());
    manager->SetDestinationBase(remoteBase_);
    auto entries = ListLocalFolder(local().substr(0, local().size() - 1));
    for (const auto& e : *entries) manager->AddSelectedItem(e);
    building.reset();
    Run(*manager, 6);
    EXPECT_EQ(manager->Succeeded(), static_cast<int>(plain.size())) << transferLog.Text();
    EXPECT_EQ(manager->Failed(), 0);
    EXPECT_EQ(progress.lanesMade, 6);
  }
  // No temporary name stays behind, and the older upload was replaced.
  EXPECT_EQ(FilesBelow(srv()), uploaded);
  EXPECT_EQ(ReadFile(srv("a.txt.qvr")).substr(0, 4), "QVR4");

  fs::remove_all(local());
  fs::create_directories(local());
  settings.encrypt = false;
  settings.decrypt = true;
  settings.decryptionKey = "correct horse";
  {
    auto manager = Downloads(nullptr);
    for (const auto& [name, data] : plain) {
      ASSERT_TRUE(manager->AddJob(
          Job(Remote(name + ".qvr"), local(name + ".qvr"), fs::file_size(srv(name + ".qvr")))));
    }
    Run(*manager, 6);
    EXPECT_EQ(manager->Succeeded(), static_cast<int>(plain.size())) << transferLog.Text();
  }
  for (const auto& [name, data] : plain) EXPECT_TRUE(ReadFile(local(name)) == data) << name;
  EXPECT_EQ(FilesBelow(local()).size(), plain.size());
  if (vsftpd_) {
    EXPECT_EQ(vsftpd_->Log().find("No SSL session reuse"), std::string::npos);
  }
}

TEST_F(TransferTest, DownloadReplacesALinkAtTheDestinationAndNeverWritesThroughIt) {
  WriteFile(srv("a.txt"), "server");
  WriteFile(dir.path() / "outside.txt", "outside");
  fs::create_symlink(dir.path() / "outside.txt", local("a.txt"));
  auto manager = Downloads(nullptr);
  manager->SetActivityLog(nullptr);
  ASSERT_TRUE(manager->AddJob(Job("/a.txt", local("a.txt"), 6)));
  Run(*manager, 1);
  EXPECT_FALSE(fs::is_symlink(local("a.txt")));
  EXPECT_EQ(ReadFile(local("a.txt")), "server");
  EXPECT_EQ(ReadFile(dir.path() / "outside.txt"), "outside");
}

TEST_F(TransferTest, DownloadNeverWritesOutsideTheDestinationFolder) {
  WriteFile(srv("a.txt"), "server");
  fs::create_directories(dir.path() / "elsewhere");
  fs::create_directory_symlink(dir.path() / "elsewhere", local("escape"));
  auto manager = Downloads(nullptr);
  // Refused while the queue is built, and counted as failed files of the run.
  EXPECT_FALSE(manager->AddJob(Job("/a.txt", local("escape/a.txt"), 6)));
  EXPECT_FALSE(manager->AddJob(Job("/a.txt", local("../a.txt"), 6)));
  Run(*manager, 1);
  EXPECT_EQ(manager->Failed(), 2);
  EXPECT_TRUE(log.Contains(local("escape/a.txt") + ": Cannot write. " + local("escape") +
                           " is a symbolic link, not a real folder."));
  EXPECT_TRUE(log.Contains(local("../a.txt") + ": Cannot write."));
  EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
  EXPECT_FALSE(fs::exists(dir.path() / "a.txt"));
}

TEST_F(TransferTest, RemoteFolderExpansionStopsAtTheDepthLimit) {
  std::string path = srv("deep");
  for (int i = 0; i < CFTPMgr::kMaxDepth + 3; ++i) path += "/d";
  fs::create_directories(path);
  WriteFile(path + "/f", "f");
  auto building = connector.Open(ConnectParametersOf(settings.profile));
  auto manager = Downloads(building.get());
  settings.warningLevel = 3;
  manager->AddSelectedItem({"deep", "/deep", true, 0, {}});
  EXPECT_EQ(manager->QueueLength(), 0u);
  bool reported = false;
  for (const auto& line : log.Lines())
    reported |= line.text.ends_with(": Folder tree is too deep.") && line.colour == colour::kRed;
  EXPECT_TRUE(reported);
}

TEST_F(TransferTest, UploadAgeCutoffSkipsOlderFiles) {
  fs::create_directories(local("t"));
  WriteFile(local("t/new"), "new");
  WriteFile(local("t/old"), "old");
  fs::last_write_time(local("t/old"), fs::file_time_type::clock::now() - std::chrono::hours(5));
  auto building = connector.Open(ConnectParametersOf(settings.profile));
  auto manager = Uploads(building.get());
  manager->SetActivityLog(nullptr);
  int n = manager->ExpandLocalFolder(local("t"), nullptr,
                                     std::chrono::system_clock::now() - std::chrono::hours(1));
  EXPECT_EQ(n, 1);
  ASSERT_EQ(manager->QueueLength(), 1u);
  EXPECT_EQ(manager->Queue()[0]->source, local("t/new"));
  EXPECT_EQ(manager->Queue()[0]->destination, "/t/new");
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// Cancel against a server that stalls: the stop reaches into the blocked read or write, the
// run ends long before any time-out of the connection, and every job still gets its line.
class CancelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCurlGlobal();
    fs::create_directories(root);
    fs::create_directories(local);
  }
  void Start(std::vector<std::string> faults) {
    FtpServer::Options options;
    options.root = root;
    options.faults = std::move(faults);
    server = std::make_unique<FtpServer>(options);
    settings.profile = server->Profile();
  }
  // Runs `manager` headless with one lane and cancels once the server shows `event`; returns
  // how long the run took from the cancel on.
  std::chrono::milliseconds RunAndCancelOn(CFTPMgr& manager, const std::string& event) {
    manager.SetMaxThreads(1);
    manager.SetTransferLog(&transferLog);
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
      EXPECT_TRUE(server->WaitForTranscript(event));
      cancelledAt = std::chrono::steady_clock::now();
      loop.PostCancel();
    });
    manager.RunHeadless(loop);
    auto ended = std::chrono::steady_clock::now();
    canceller.join();
    return std::chrono::duration_cast<std::chrono::milliseconds>(ended - cancelledAt);
  }

  TempDir dir;
  fs::path root = dir.path() / "srv";
  fs::path local = dir.path() / "local";
  std::unique_ptr<FtpServer> server;
  CurlFtpConnector connector;  // the usual time-outs: a minute for a stalled transfer
  TransferSettings settings;
  RecordingMessages messages;
  FileLog transferLog{""};
  FixedClock clock{FromLocalTime(2024, 3, 5, 14, 7, 9)};
  TransferEventLoop loop;
};

TEST_F(CancelTest, ReachesAStalledDownloadAndEveryJobGetsItsLine) {
  WriteFile(root / "stall.bin", RandomBytes(100'000, 8));
  WriteFile(root / "later.bin", "later");
  Start({"--stall-retr", "stall.bin"});
  DownloadManager manager(settings, connector, messages, clock);
  manager.SetDestinationBase(local.string());
  auto job = [&](const std::string& name, uint64_t size) {
    auto j = std::make_unique<TransferJob>();
    j->source = "/" + name;
    j->destination = (local / name).string();
    j->size = size;
    return j;
  };
  ASSERT_TRUE(manager.AddJob(job("stall.bin", 100'000)));
  ASSERT_TRUE(manager.AddJob(job("later.bin", 5)));
  auto afterCancel = RunAndCancelOn(manager, "EVENT stalled RETR");

  EXPECT_TRUE(manager.Cancelled());
  // Not the server's minute of silence: the stop ended the wait (generous for a busy machine).
  EXPECT_LT(afterCancel, std::chrono::seconds(15));
  EXPECT_TRUE(fs::is_empty(local));
  std::string text = transferLog.Text();
  EXPECT_NE(text.find("NOT TRANSFERRED: " + (local / "stall.bin").string() +
                      " <== /stall.bin (canceled)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("NOT TRANSFERRED: " + (local / "later.bin").string() +
                      " <== /later.bin (canceled)\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(manager.Summary().rfind("Transmission canceled!", 0), 0u);
}

TEST_F(CancelTest, ReachesAStalledUploadAndRemovesItsTemporaryName) {
  WriteFile(local / "big.bin", RandomBytes(8 << 20, 9));
  Start({"--stall-stor", "big.bin:300000"});
  UploadManager manager(settings, connector, messages, clock);
  manager.SetSourceBase(local.string());
  auto j = std::make_unique<TransferJob>();
  j->source = (local / "big.bin").string();
  j->destination = "/big.bin";
  j->size = 8 << 20;
  ASSERT_TRUE(manager.AddJob(std::move(j)));
  auto afterCancel = RunAndCancelOn(manager, "EVENT stalled");

  EXPECT_TRUE(manager.Cancelled());
  EXPECT_LT(afterCancel, std::chrono::seconds(15));
  // Neither the final name nor the temporary one stays on the server.
  EXPECT_TRUE(WaitFor([&] { return fs::is_empty(root); })) << FilesBelow(root).front();
  EXPECT_TRUE(fs::exists(local / "big.bin"));
  EXPECT_NE(transferLog.Text().find("NOT TRANSFERRED: " + (local / "big.bin").string() +
                                    " ==> /big.bin (canceled)\n"),
            std::string::npos)
      << transferLog.Text();
}

// Crash-safe uploads against vsftpd, in clear text and over TLS (with the data connections
// resuming the control connection's session): every file goes to a temporary name, is renamed
// over what stood under its final name, and its source goes only once the server's SIZE
// confirmed it.
TEST(VsftpdTransferTest, CrashSafeUploadsReplaceAndConfirmBeforeTheSourceGoes) {
  ASSERT_TRUE(InitCurlGlobal());
  test::TestCertificates certificates;
  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "over TLS" : "in clear text");
    TempDir dir;
    const fs::path root = dir.path() / "srv";
    const fs::path local = dir.path() / "local";
    fs::create_directories(root / "in");
    fs::create_directories(local);
    test::VsftpdServer server(
        {.root = root, .certificatePem = tls ? certificates.ServerPem("leaf") : ""});
    TransferSettings settings;
    settings.profile.address = "127.0.0.1";
    settings.profile.port = server.port();
    settings.profile.userName = server.user();
    settings.profile.passiveMode = true;
    settings.profile.deleteAfterUpload = true;
    if (tls) {
      settings.profile.protocol = ServerProtocol::FtpExplicitTls;
      settings.trustFolder = dir.path().string();
      PinCertificate(JoinPath(settings.trustFolder, kTrustedCertificatesFileName), "127.0.0.1",
                     server.port(), certificates.Fingerprint("leaf"), "test");
    }
    std::map<std::string, std::string> files = {
        {"a.txt", "alpha"}, {"b.bin", RandomBytes(300'000, 21)}, {"empty", ""}};
    WriteFile(root / "in/a.txt", "the old a");
    CurlFtpConnector connector;
    RecordingMessages messages;
    FixedClock clock{FromLocalTime(2024, 3, 5, 14, 7, 9)};
    UploadManager manager(settings, connector, messages, clock);
    manager.SetSourceBase(local.string());
    manager.SetDestinationBase(server.RemotePath("in"));
    for (const auto& [name, content] : files) {
      WriteFile(local / name, content);
      auto job = std::make_unique<TransferJob>();
      job->source = (local / name).string();
      job->destination = server.RemotePath("in/" + name);
      job->size = content.size();
      ASSERT_TRUE(manager.AddJob(std::move(job)));
    }
    FileLog taskLog("");
    manager.RunWithoutWindow(&taskLog, "");

    EXPECT_EQ(manager.Succeeded(), 3) << taskLog.Text() << server.Log();
    EXPECT_EQ(taskLog.Text().find("ERROR"), std::string::npos) << taskLog.Text();
    EXPECT_EQ(FilesBelow(root / "in"), (std::vector<std::string>{"a.txt", "b.bin", "empty"}));
    for (const auto& [name, content] : files) {
      EXPECT_EQ(ReadFile(root / "in" / name), content) << name;
      EXPECT_FALSE(fs::exists(local / name)) << name;
    }
    const std::string log = server.Log();
    size_t renames = 0;
    for (size_t at = log.find("\"RNTO "); at != std::string::npos; at = log.find("\"RNTO ", at + 1))
      ++renames;
    EXPECT_EQ(renames, 3u) << log;
  }
}

}  // namespace
}  // namespace quillon
