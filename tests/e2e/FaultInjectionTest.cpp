// The real quillon binary running a task against an FTP server with faults on cue (pyftpdlib
// with tests/support/faulty_ftp_server.py): resets at a byte offset, 421 at login, connection
// caps, malformed replies, a server without SIZE, refused renames, a server that takes one
// command per read, colliding names, planted links, growing sources, a kill -9 of the run. One
// table of scenarios; each runs as a plain unattended run and under the windowed rules
// ("-ShowWin" without a display), and checks the files on both sides, the log lines, the
// counters and the exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "crypto/FileCrypter.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/TestSupport.h"
#include "tasks/TaskStore.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

const std::string kKey = "fault pass phrase";
constexpr int kSlot = 3;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

size_t Count(const std::string& text, const std::string& fragment) {
  size_t n = 0;
  for (size_t at = text.find(fragment); at != std::string::npos;
       at = text.find(fragment, at + fragment.size()))
    ++n;
  return n;
}

bool Has(const std::string& text, const std::string& fragment) {
  return text.find(fragment) != std::string::npos;
}

// One run of a task: its folders, the task and the profile keys of its section, the server.
struct FaultRun {
  test::TempDir dir;
  fs::path home = dir.path() / "home";
  fs::path serverRoot = dir.path() / "server";
  fs::path local = dir.path() / "local";
  std::string store = (home / "QvrTask.ini").string();
  TaskDefinition task;
  std::map<std::string, std::string> keys;  // more keys of the task's section
  std::vector<std::string> faults;
  int permissionsOff = 0;  // 1: the user may not write
  bool windowed = false;
  std::unique_ptr<test::FtpServer> server;
  test::ProcessResult result;
  std::string log;
  // Kills the run with SIGKILL once the server's transcript shows this text.
  std::string killOn;

  FaultRun() {
    fs::create_directories(home);
    fs::create_directories(serverRoot);
    fs::create_directories(local / "out");
    task.name = "Faults";
    task.slot = kSlot;
    task.upload = true;
    task.uploadFrom = (local / "out").string();
    task.uploadTo = "/in";
    task.downloadFrom = "/out";
    task.downloadTo = (local / "back").string();
    task.encryptFiles = true;
    task.encryptionKeyName = "faults";
    task.encryptionKey = kKey;
  }

  fs::path Local(const std::string& relative) const { return local / relative; }
  fs::path Server(const std::string& relative) const { return serverRoot / relative; }

  void StartServer(std::vector<std::string> withFaults) {
    test::FtpServer::Options options{serverRoot};
    if (permissionsOff) options.permissions = "elr";
    options.faults = std::move(withFaults);
    if (options.faults.empty()) options.faults = {"--refuse-logins", "1:0"};  // no fault at all
    server = std::make_unique<test::FtpServer>(options);
  }

  void Run() {
    if (!server) StartServer(faults);
    ASSERT_TRUE(SaveTask(task, store));
    test::ProfileSection section = test::ProfileSection::Of(server->Profile());
    section.binary = true;
    ASSERT_TRUE(section.Write(kSlot, store));
    for (const auto& [key, value] : keys) ASSERT_TRUE(WriteText(kSlot, key, value, store));

    std::vector<std::string> argv = {test::BuiltProgram("app/quillon"), "QvrTask.ini",
                                     "SESSION0" + std::to_string(kSlot)};
    if (windowed) argv.push_back("-ShowWin");
    std::thread killer;
    auto started = [&](int pid) {
      if (killOn.empty()) return;
      killer = std::thread([this, pid] {
        if (server->WaitForTranscript(killOn)) kill(pid, SIGKILL);
      });
    };
    result = test::RunProcess(argv, {},
                              {"QUILLON_HOME=" + home.string(), "XDG_DATA_HOME=" + dir.file("data"),
                               "DISPLAY=", "WAYLAND_DISPLAY="},
                              started);
    if (killer.joinable()) killer.join();
    log = fs::exists(home / "Faults.log") ? ReadFile(home / "Faults.log") : "";
  }

  int Counter(const char* key) const { return ReadNumber(kSlot, key, store); }

  // The names of the files in a server folder, hidden ones (temporary names) included.
  std::vector<std::string> ServerNames(const std::string& folder) const {
    return test::NamesIn(Server(folder));
  }

  // A container on the server, decrypted with the task's key.
  std::string Decrypted(const std::string& relative) const {
    std::string container = ReadFile(Server(relative));
    FileCrypter crypter("", "");
    crypter.SetDecryptionKey(kKey);
    std::string out = dir.file("decrypted");
    fs::remove(out);
    if (crypter.WriteLocalFile(reinterpret_cast<const uint8_t*>(container.data()), container.size(),
                               out, true) != 1)
      return "<" + crypter.LastMessage() + ">";
    return ReadFile(out);
  }

  // Puts an encrypted container of `plain` on the server.
  void PutEncrypted(const std::string& relative, const std::string& plain) const {
    std::string source = dir.file("plain");
    WriteFile(source, plain);
    FileCrypter crypter("", "faults");
    crypter.SetEncryptionKey(kKey);
    auto bytes = crypter.ReadLocalFile(source, true);
    ASSERT_TRUE(bytes);
    fs::create_directories(Server(relative).parent_path());
    WriteFile(Server(relative), std::string(bytes->begin(), bytes->end()));
  }

  // Every line of the log that starts with `prefix`.
  std::vector<std::string> LogLines(const std::string& prefix) const {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }

  void ExpectNoTemporaryNames(const std::string& folder) const {
    for (const auto& name : ServerNames(folder))
      EXPECT_EQ(name.find(".quillon-"), std::string::npos) << folder << "/" << name;
  }

  void ExpectTrailerAndExit() const {
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Has(log, "Ended at: ")) << log;
  }
};

struct Scenario {
  std::string name;
  std::function<void(FaultRun&)> prepare;  // files on both sides, the task, the faults
  std::function<void(FaultRun&)> check;    // after the run
  bool plain = true;                       // runs as a plain unattended run
  bool windowed = true;                    // runs under the windowed rules
};

void DownloadOnly(FaultRun& run, bool decrypt) {
  run.task.upload = false;
  run.task.download = true;
  if (decrypt) {
    run.task.decryptFiles = true;
    run.task.decryptionKey = kKey;
  }
}

// Three downloads on up to three lanes; the server drops the control connection after the
// first file that comes, so that a lane, also one alone, has to log in again after the job
// builder's connection that it took over.
void ThreeFilesAfterADroppedConnection(FaultRun& run) {
  DownloadOnly(run, false);
  run.keys = {{"MaxThread", "3"}};
  fs::create_directories(run.Server("out"));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(run.Server("out") / name, name);
  run.faults = {"--close-after", "/out/"};  // whichever file comes first
}

void ExpectThreeFilesWithoutATry(FaultRun& run) {
  run.ExpectTrailerAndExit();
  for (const char* name : {"a.txt", "b.txt", "c.txt"})
    EXPECT_EQ(ReadFile(run.Local("back") / name), name);
  EXPECT_TRUE(run.LogLines("RETRY ").empty()) << run.log;
  EXPECT_TRUE(run.LogLines("FAILED: ").empty()) << run.log;
  EXPECT_EQ(run.Counter("FilesDownloadedOK"), 3);
  EXPECT_EQ(run.Counter("FilesDownloadedFail"), 0);
}

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> table = {
      {"UploadCollisionsKeepTheLaterSource",
       [](FaultRun& run) {
         run.keys = {{"MakeLower", "1"}, {"DeleteAfterUpload", "1"}};
         WriteFile(run.Local("out/Report.TXT"), "upper");
         WriteFile(run.Local("out/report.txt"), "lower");
         WriteFile(run.Local("out/a.txt"), "plain a");
         WriteFile(run.Local("out/a.txt.qvr"), "not yet a container");
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.ServerNames("in"),
                   (std::vector<std::string>{"a.txt.qvr", "report.txt.qvr"}));
         EXPECT_EQ(run.Decrypted("in/report.txt.qvr"), "upper");
         EXPECT_EQ(run.Decrypted("in/a.txt.qvr"), "plain a");
         // The later sources stay, untouched; the earlier ones went after their upload.
         EXPECT_EQ(ReadFile(run.Local("out/report.txt")), "lower");
         EXPECT_EQ(ReadFile(run.Local("out/a.txt.qvr")), "not yet a container");
         EXPECT_FALSE(fs::exists(run.Local("out/Report.TXT")));
         EXPECT_FALSE(fs::exists(run.Local("out/a.txt")));
         EXPECT_TRUE(Has(run.log, "FAILED: " + run.Local("out/report.txt").string() +
                                      " ==> /in/report.txt.qvr, ERROR: /in/report.txt.qvr: Also "
                                      "the destination of " +
                                      run.Local("out/Report.TXT").string() + ".\n"))
             << run.log;
         EXPECT_TRUE(Has(run.log, "FAILED: " + run.Local("out/a.txt.qvr").string() +
                                      " ==> /in/a.txt.qvr, ERROR: /in/a.txt.qvr: Also the "
                                      "destination of " +
                                      run.Local("out/a.txt").string() + ".\n"));
         EXPECT_EQ(run.LogLines("OK: ").size(), 2u);
         EXPECT_EQ(run.LogLines("FAILED: ").size(), 2u);
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 2);
         EXPECT_EQ(run.Counter("FilesUploadedFail"), 2);
       }},

      {"DecryptingDownloadCollisionKeepsTheLaterSource",
       [](FaultRun& run) {
         DownloadOnly(run, true);
         run.keys = {{"DeleteAfterDownload", "1"}};
         fs::create_directories(run.Server("out"));
         WriteFile(run.Server("out/report.txt"), "plain on the server");
         run.PutEncrypted("out/report.txt.qvr", "secret on the server");
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         auto ok = run.LogLines("OK: ");
         auto failed = run.LogLines("FAILED: ");
         ASSERT_EQ(ok.size(), 1u) << run.log;
         ASSERT_EQ(failed.size(), 1u) << run.log;
         EXPECT_TRUE(Has(failed[0], ": Also the destination of /out/report.txt")) << failed[0];
         // One source arrived and went; the other stays on the server.
         bool plainWon = Has(ok[0], "<== /out/report.txt") && !Has(ok[0], ".qvr");
         EXPECT_EQ(ReadFile(run.Local("back/report.txt")),
                   plainWon ? "plain on the server" : "secret on the server");
         EXPECT_EQ(fs::exists(run.Server("out/report.txt")), !plainWon);
         EXPECT_EQ(fs::exists(run.Server("out/report.txt.qvr")), plainWon);
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 1);
         EXPECT_EQ(run.Counter("FilesDownloadedFail"), 1);
       }},

      {"AGrowingSourceIsUploadedAndKept",
       [](FaultRun& run) {
         run.keys = {{"DeleteAfterUpload", "1"}};
         WriteFile(run.Local("out/grow.txt"), std::string(5000, 'x'));
         WriteFile(run.Local("out/still.txt"), "still");
         run.faults = {"--grow-on-stor", "grow.txt=" + run.Local("out/grow.txt").string()};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.Decrypted("in/grow.txt.qvr"), std::string(5000, 'x'));
         EXPECT_EQ(fs::file_size(run.Local("out/grow.txt")), 6000u);  // kept, new bytes and all
         EXPECT_FALSE(fs::exists(run.Local("out/still.txt")));
         EXPECT_TRUE(Has(run.log, "ERROR: " + run.Local("out/grow.txt").string() +
                                      ": changed during the upload, so it is kept.\n"))
             << run.log;
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 2);
         EXPECT_EQ(run.Counter("FilesUploadedFail"), 0);
       }},

      {"APlantedLinkToAFolderIsNeverFollowed",
       [](FaultRun& run) {
         DownloadOnly(run, false);
         run.keys = {{"BackupLocalFile", "1"}};
         fs::create_directories(run.Server("out/sub"));
         WriteFile(run.Server("out/sub/x.txt"), "from the server");
         WriteFile(run.Server("out/top.txt"), "top");
         fs::create_directories(run.dir.path() / "elsewhere");
         WriteFile(run.dir.path() / "elsewhere/x.txt", "elsewhere");
         for (int year : {2020, 2021, 2022, 2023})
           WriteFile(
               run.dir.path() / ("elsewhere/x_" + std::to_string(year) + "_01_01_00_00_00.txt"),
               "old");
         fs::create_directories(run.Local("back"));
         fs::create_directory_symlink(run.dir.path() / "elsewhere", run.Local("back/sub"));
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         // Nothing renamed, pruned or written in the link's target.
         EXPECT_EQ(test::NamesIn(run.dir.path() / "elsewhere").size(), 5u);
         EXPECT_EQ(ReadFile(run.dir.path() / "elsewhere/x.txt"), "elsewhere");
         EXPECT_EQ(ReadFile(run.Local("back/top.txt")), "top");
         EXPECT_TRUE(Has(run.log,
                         "FAILED: " + run.Local("back/sub/x.txt").string() +
                             " <== /out/sub/x.txt, ERROR: " + run.Local("back/sub/x.txt").string() +
                             ": Cannot write. " + run.Local("back/sub").string() +
                             " is a symbolic link, not a real folder.\n"))
             << run.log;
         EXPECT_TRUE(fs::exists(run.Server("out/sub/x.txt")));
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 1);
         EXPECT_EQ(run.Counter("FilesDownloadedFail"), 1);
       }},

      {"AResetInTheMiddleOfADownloadCostsOneTry",
       [](FaultRun& run) {
         DownloadOnly(run, false);
         fs::create_directories(run.Server("out"));
         // Reset well after the transfer began, so that the lane is reading by then.
         WriteFile(run.Server("out/big.bin"), RandomBytes(8 << 20, 1));
         WriteFile(run.Server("out/next.bin"), "next");
         run.faults = {"--reset-retr", "big.bin:3000000:1"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(ReadFile(run.Local("back/big.bin")), RandomBytes(8 << 20, 1));
         EXPECT_EQ(ReadFile(run.Local("back/next.bin")), "next");
         // Every try reached the server: the broken one and the good one, and nothing failed
         // for the next file.
         EXPECT_EQ(run.server->CountCommands("RETR /out/big.bin"), 2u);
         EXPECT_EQ(run.server->CountCommands("RETR /out/next.bin"), 1u);
         EXPECT_TRUE(run.server->WaitForTranscript("EVENT reset RETR"));
         if (!run.windowed) {
           auto retries = run.LogLines("RETRY ");
           ASSERT_EQ(retries.size(), 1u) << run.log;
           EXPECT_TRUE(Has(retries[0], "RETRY 1: /out/big.bin")) << retries[0];
           EXPECT_TRUE(Has(retries[0], "reset")) << retries[0];  // the real reason
         }
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 2);
       }},

      {"AControlConnectionClosedBetweenFilesIsNoTry",
       [](FaultRun& run) {
         DownloadOnly(run, false);
         fs::create_directories(run.Server("out"));
         for (const char* name : {"a.bin", "b.bin", "c.bin"})
           WriteFile(run.Server("out") / name, name);
         run.faults = {"--close-after", "a.bin"};
         run.keys = {{"MaxThread", "1"}};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_TRUE(run.server->WaitForTranscript("EVENT closing the control connection"));
         for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
           EXPECT_EQ(ReadFile(run.Local("back") / name), name);
           EXPECT_EQ(run.server->CountCommands(std::string("RETR /out/") + name), 1u) << name;
         }
         EXPECT_TRUE(run.LogLines("RETRY ").empty()) << run.log;
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 3);
         // The job builder's connection moved the first file: one login for both, one more
         // after the drop.
         EXPECT_EQ(run.server->CountCommands("USER "), 2u);
       }},

      {"AResetInTheMiddleOfAnUploadLeavesNoTemporaryName",
       [](FaultRun& run) {
         WriteFile(run.Local("out/big.bin"), RandomBytes(1 << 20, 2));
         fs::create_directories(run.Server("in"));
         WriteFile(run.Server("in/big.bin.qvr"), "the old container");  // replaced at the end
         run.faults = {"--reset-stor", "big.bin:200000:1"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.Decrypted("in/big.bin.qvr"), RandomBytes(1 << 20, 2));
         run.ExpectNoTemporaryNames("in");
         EXPECT_EQ(run.server->CountCommands("STOR /in/.big.bin.qvr.quillon-"), 2u);
         EXPECT_EQ(run.server->CountCommands("RNTO /in/big.bin.qvr"), 1u);
         EXPECT_EQ(run.LogLines("RETRY ").size(), run.windowed ? 0u : 1u) << run.log;
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 1);
       }},

      {"AServerCappedAtTwoConnectionsMovesEverythingBothWays",
       [](FaultRun& run) {
         run.task.download = true;
         run.task.downloadFrom = "/in";
         run.task.decryptFiles = true;
         run.task.decryptionKey = kKey;
         run.keys = {{"MaxThread", "6"}};
         for (int i = 0; i < 60; ++i)
           WriteFile(run.Local("out/f" + std::to_string(i) + ".bin"), RandomBytes(100'000, 10 + i));
         run.faults = {"--max-cons-per-ip", "2"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 60) << run.log;
         EXPECT_EQ(run.Counter("FilesUploadedFail"), 0);
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 60);
         EXPECT_EQ(run.Counter("FilesDownloadedFail"), 0);
         EXPECT_EQ(run.LogLines("OK: ").size(), 120u);
         EXPECT_TRUE(run.LogLines("FAILED: ").empty());
         EXPECT_TRUE(run.LogLines("NOT TRANSFERRED: ").empty());
         for (int i = 0; i < 60; ++i)
           EXPECT_EQ(ReadFile(run.Local("back/f" + std::to_string(i) + ".bin")),
                     RandomBytes(100'000, 10 + i))
               << i;
         run.ExpectNoTemporaryNames("in");
       }},

      {"LoginsRefusedAt421AreWaitedFor",
       [](FaultRun& run) {
         ThreeFilesAfterADroppedConnection(run);
         // The job builder's connection gets in (and moves the first file on the first lane);
         // the next three logins are turned away, also the first lane's own after the drop.
         run.faults.insert(run.faults.end(), {"--refuse-logins", "2:3"});
       },
       [](FaultRun& run) {
         ExpectThreeFilesWithoutATry(run);
         EXPECT_TRUE(run.server->WaitForTranscript("EVENT refused at login"));
       }},

      {"LoginsRefusedWith530TooManyAreWaitedFor",
       [](FaultRun& run) {
         ThreeFilesAfterADroppedConnection(run);
         // The job builder gets in; the next three are told the server has too many users.
         run.faults.insert(run.faults.end(), {"--refuse-passwords", "2:3"});
       },
       [](FaultRun& run) {
         ExpectThreeFilesWithoutATry(run);
         EXPECT_TRUE(run.server->WaitForTranscript("EVENT refused the password"));
       }},

      {"AMalformedSizeReplyNeitherStopsTheRunNorRetries",
       [](FaultRun& run) {
         run.task.download = true;
         run.task.downloadFrom = "/out";
         run.keys = {{"DeleteAfterUpload", "1"}, {"DeleteAfterDownload", "1"}};
         WriteFile(run.Local("out/a.txt"), "a");
         fs::create_directories(run.Server("out"));
         WriteFile(run.Server("out/b.bin"), "b");
         run.faults = {"--size-reply", "213 123456789012345678901234567890"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_TRUE(run.LogLines("RETRY ").empty()) << run.log;
         EXPECT_EQ(run.Decrypted("in/a.txt.qvr"), "a");
         // SIZE tells nothing here: the server's final reply and the count sent confirm.
         EXPECT_FALSE(fs::exists(run.Local("out/a.txt")));
         EXPECT_EQ(ReadFile(run.Local("back/b.bin")), "b");
         EXPECT_FALSE(fs::exists(run.Server("out/b.bin")));
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 1);
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 1);
       }},

      {"WithoutSizeTheFinalReplyConfirmsAMove",
       [](FaultRun& run) {
         run.keys = {{"DeleteAfterUpload", "1"}, {"BackupDir", run.Local("bak").string()}};
         WriteFile(run.Local("out/a.txt"), "a");
         run.faults = {"--no-size"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.Decrypted("in/a.txt.qvr"), "a");
         EXPECT_FALSE(fs::exists(run.Local("out/a.txt")));
         ASSERT_TRUE(fs::exists(run.Local("bak")));
         size_t moved = 0;
         for (const auto& e : fs::directory_iterator(run.Local("bak")))
           moved += e.path().filename().string().rfind("a_", 0) == 0;
         EXPECT_EQ(moved, 1u);
         EXPECT_FALSE(Has(run.log, "cannot be")) << run.log;
       }},

      {"RefusedRenamesFallBackToDirectUploadsSaidOnce",
       [](FaultRun& run) {
         for (const char* name : {"a.txt", "b.txt", "c.txt"})
           WriteFile(run.Local("out") / name, name);
         run.faults = {"--no-rename"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.ServerNames("in"),
                   (std::vector<std::string>{"a.txt.qvr", "b.txt.qvr", "c.txt.qvr"}));
         for (const char* name : {"a.txt", "b.txt", "c.txt"})
           EXPECT_EQ(run.Decrypted(std::string("in/") + name + ".qvr"), name);
         EXPECT_EQ(Count(run.log, "The server refused to rename "), 1u) << run.log;
         EXPECT_EQ(Count(run.log, "uploads of this run go straight to their names."), 1u);
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 3);
       }},

      {"AServerTakingOneCommandPerReadGetsWholeUploads",
       [](FaultRun& run) {
         run.keys = {{"DeleteAfterUpload", "1"}};
         fs::create_directories(run.Server("in"));
         WriteFile(run.Server("in/a.txt.qvr"), "the old container");
         for (const char* name : {"a.txt", "b.txt"}) WriteFile(run.Local("out") / name, name);
         run.faults = {"--one-command-per-read"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.ServerNames("in"), (std::vector<std::string>{"a.txt.qvr", "b.txt.qvr"}));
         for (const char* name : {"a.txt", "b.txt"}) {
           EXPECT_EQ(run.Decrypted(std::string("in/") + name + ".qvr"), name);
           EXPECT_FALSE(fs::exists(run.Local("out") / name)) << name;  // confirmed by SIZE
         }
         EXPECT_EQ(run.server->CountCommands("EVENT dropped"), 0u);
         EXPECT_EQ(run.server->CountCommands("RNTO /in/"), 2u);
         EXPECT_EQ(run.server->CountCommands("SIZE /in/"), 2u);
         EXPECT_TRUE(run.LogLines("RETRY ").empty()) << run.log;
         EXPECT_FALSE(Has(run.log, "go straight to their names")) << run.log;
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 2);
       }},

      {"AFailedRemoteBackupCountsAsFailed",
       [](FaultRun& run) {
         run.keys = {{"BackupRemoteFile", "1"}};
         fs::create_directories(run.Server("in"));
         WriteFile(run.Server("in/a.txt.qvr"), "old container");
         WriteFile(run.Local("out/a.txt"), "a");
         WriteFile(run.Local("out/b.txt"), "b");
         run.faults = {"--no-rename"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(ReadFile(run.Server("in/a.txt.qvr")), "old container");
         EXPECT_EQ(run.Decrypted("in/b.txt.qvr"), "b");
         EXPECT_TRUE(Has(run.log, "FAILED: " + run.Local("out/a.txt").string() +
                                      " ==> /in/a.txt.qvr, ERROR: /in/a.txt.qvr: Cannot make a "
                                      "backup copy. Not overwritten.\n"))
             << run.log;
         EXPECT_TRUE(fs::exists(run.Local("out/a.txt")));
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 1);
         EXPECT_EQ(run.Counter("FilesUploadedFail"), 1);
         if (run.windowed) {
           // The summary of a run without a display: on stderr and in the log.
           EXPECT_TRUE(Has(run.log, "Only 1 of the 2 selected file(s) have been uploaded."));
           EXPECT_TRUE(Has(run.log, "ERROR:\n/in/a.txt.qvr: Cannot make a backup copy."));
           EXPECT_TRUE(Has(run.result.err, "Only 1 of the 2 selected file(s) have been uploaded."));
         }
       }},

      {"UnsafeNamesOfAListingAreSkippedWithALineEach",
       [](FaultRun& run) {
         DownloadOnly(run, false);
         fs::create_directories(run.Server("out"));
         WriteFile(run.Server("out/good.txt"), "good");
         run.faults = {"--inject-name", "../e1", "--inject-name", "/abs/e2",
                       "--inject-name", "x/y",   "--inject-name", "e\\x1b[31m3"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(ReadFile(run.Local("back/good.txt")), "good");
         for (const char* shown : {"\"../e1\"", "\"/abs/e2\"", "\"x/y\"", "\"e\\x1B[31m3\""})
           EXPECT_EQ(Count(run.log, std::string("/out: Unsafe name ") + shown +
                                        " skipped in the server's listing.\n"),
                     1u)
               << shown << "\n"
               << run.log;
         EXPECT_FALSE(fs::exists(run.local / "e1"));
         EXPECT_FALSE(Has(run.log, "\x1b"));
         EXPECT_EQ(run.Counter("FilesDownloadedOK"), 1);
       }},

      {"AFileNameCannotForgeALogLine",
       [](FaultRun& run) {
         WriteFile(run.Local("out") / "z\nOK: payroll.xlsx ==> payroll.xlsx.qvr", "forged");
         WriteFile(run.Local("out/fine.txt"), "fine");
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_TRUE(run.LogLines("OK: payroll").empty()) << run.log;
         EXPECT_TRUE(Has(run.log, "z\\x0AOK: payroll.xlsx")) << run.log;
         EXPECT_EQ(run.Decrypted("in/fine.txt.qvr"), "fine");
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 1);
         EXPECT_EQ(run.Counter("FilesUploadedFail"), 1);
       }},

      {"ABrokenPassiveReplyIsNamedAsSuch",
       [](FaultRun& run) {
         DownloadOnly(run, false);
         fs::create_directories(run.Server("out"));
         WriteFile(run.Server("out/a.txt"), "a");
         run.faults = {"--bad-pasv"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_TRUE(Has(run.log, "/out: Cannot be listed. ")) << run.log;
         EXPECT_FALSE(Has(run.log, "Does not exist or access denied."));
         EXPECT_FALSE(fs::exists(run.Local("back/a.txt")));
       }},

      {"AServerThatRepeatsThePasswordNeverGetsItIntoTheLog",
       [](FaultRun& run) {
         WriteFile(run.Local("out/a.txt"), "a");
         // The refusal repeats it where the length limit of an error text cuts it.
         run.faults = {"--repeat-password"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_TRUE(run.server->WaitForTranscript("EVENT repeated the password"));
         EXPECT_TRUE(Has(run.log, "Connection failed in uploading.")) << run.log;
         const std::string piece = run.server->options().password.substr(0, 4);
         for (const std::string* text : {&run.log, &run.result.out, &run.result.err})
           EXPECT_FALSE(Has(*text, piece)) << *text;
         EXPECT_TRUE(fs::exists(run.Local("out/a.txt")));
       }},

      {"EveryJobEndsInOneLineAlsoAfterTheSeventhFailure",
       [](FaultRun& run) {
         run.permissionsOff = 1;  // every STOR is refused
         run.keys = {{"MaxThread", "1"}};
         for (int i = 0; i < 10; ++i) WriteFile(run.Local("out/f" + std::to_string(i)), "x");
         run.faults = {"--refuse-logins", "1:0"};
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         for (int i = 0; i < 10; ++i) {
           std::string path = run.Local("out/f" + std::to_string(i)).string() + " ==> ";
           size_t lines = 0;
           for (const auto& prefix : {"FAILED: ", "NOT TRANSFERRED: ", "OK: "})
             for (const auto& line : run.LogLines(prefix)) lines += Has(line, path);
           EXPECT_EQ(lines, 1u) << path << "\n" << run.log;
         }
         if (run.windowed) {
           EXPECT_EQ(run.LogLines("FAILED: ").size(), 7u);
           EXPECT_EQ(run.LogLines("NOT TRANSFERRED: ").size(), 3u);
           EXPECT_TRUE(Has(run.log, "(too many errors)\n"));
           EXPECT_TRUE(Has(run.log, "Too many errors."));
         } else {
           EXPECT_EQ(run.LogLines("FAILED: ").size(), 10u);
         }
         EXPECT_TRUE(Has(run.log, "550 Not enough privileges")) << run.log;
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 0);
       }},

      {"SafeUploadsOffWritesStraightToTheNames",
       [](FaultRun& run) {
         ASSERT_TRUE(WriteProgramNumber((run.home / "Quillon.ini").string(), kSafeUploads, 0));
         WriteFile(run.Local("out/a.txt"), "a");
         run.faults = {"--no-rename"};  // would be noticed, were a rename asked for
       },
       [](FaultRun& run) {
         run.ExpectTrailerAndExit();
         EXPECT_EQ(run.Decrypted("in/a.txt.qvr"), "a");
         EXPECT_EQ(run.server->CountCommands("STOR /in/a.txt.qvr"), 1u);
         EXPECT_EQ(run.server->CountCommands("RNFR"), 0u);
         EXPECT_FALSE(Has(run.log, "refused to rename")) << run.log;
         EXPECT_FALSE(fs::exists(run.home / "Faults.uploads"));
       }},

      {"AKilledRunLeavesNoTruncatedFileAndTheNextRunCleansUp",
       [](FaultRun& run) {
         WriteFile(run.Local("out/big.bin"), RandomBytes(8 << 20, 3));
         run.faults = {"--stall-stor", "big.bin:300000"};
         run.killOn = "EVENT stalled";
       },
       [](FaultRun& run) {
         EXPECT_EQ(run.result.exitCode, 128 + SIGKILL);
         // Under its final name there is nothing, so no consumer takes a broken container.
         auto names = run.ServerNames("in");
         ASSERT_EQ(names.size(), 1u);
         EXPECT_EQ(names[0].rfind(".big.bin.qvr.quillon-", 0), 0u) << names[0];
         EXPECT_TRUE(fs::exists(run.home / "Faults.uploads"));
         // The next run, against a server without the fault, removes it and uploads anew.
         run.server->Stop();
         run.server.reset();
         run.killOn.clear();
         run.StartServer({});
         run.Run();
         run.ExpectTrailerAndExit();
         EXPECT_TRUE(Has(
             run.log, "Removed /in/" + names[0] + ", the unfinished upload of an earlier run.\n"))
             << run.log;
         EXPECT_EQ(run.ServerNames("in"), std::vector<std::string>{"big.bin.qvr"});
         EXPECT_EQ(run.Decrypted("in/big.bin.qvr"), RandomBytes(8 << 20, 3));
         EXPECT_FALSE(fs::exists(run.home / "Faults.uploads"));
         EXPECT_EQ(run.Counter("FilesUploadedOK"), 1);
       }},
  };
  return table;
}

struct Case {
  size_t scenario;
  bool windowed;
};

class FaultInjection : public testing::TestWithParam<Case> {};

TEST_P(FaultInjection, HoldsWhatTheScenarioPromises) {
  const Scenario& scenario = Scenarios()[GetParam().scenario];
  FaultRun run;
  run.windowed = GetParam().windowed;
  scenario.prepare(run);
  run.Run();
  if (HasFatalFailure()) return;
  scenario.check(run);
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (size_t i = 0; i < Scenarios().size(); ++i) {
    if (Scenarios()[i].plain) cases.push_back({i, false});
    if (Scenarios()[i].windowed) cases.push_back({i, true});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultInjection, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<Case>& info) {
                           return Scenarios()[info.param.scenario].name +
                                  (info.param.windowed ? "_Windowed" : "_Plain");
                         });

}  // namespace
}  // namespace quillon
