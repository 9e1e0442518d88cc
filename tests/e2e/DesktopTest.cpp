// The real quillon on a real X server (Xvfb, no window manager), driven with xdotool as a
// user's keys and clicks would: a newcomer adds a server in the connection manager, connects,
// downloads and uploads with encryption; with "Minimize Harbell during File Transfer" the
// window comes back after an upload and the program goes on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "app/MainWindowLayout.h"
#include "profiles/IniFile.h"
#include "profiles/ProfileStore.h"
#include "support/FtpServer.h"
#include "support/ProfileSection.h"
#include "support/TestSupport.h"

extern char** environ;

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A program left running in the background with its own environment; killed with the object.
class Background {
 public:
  Background(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const fs::path& output) {
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const auto& extra : env) {
      const size_t eq = extra.find('=');
      const std::string prefix = extra.substr(0, eq) + "=";
      std::erase_if(envStrings, [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
      if (eq != std::string::npos) envStrings.push_back(extra);
    }
    std::vector<char*> envp, args;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> copy = argv;
    for (auto& a : copy) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Background() { Kill(); }

  bool Started() const { return pid_ > 0; }
  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) return true;
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
  }
  // The exit status once it has ended by itself within `timeout`; nothing otherwise.
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    if (!test::WaitFor([&] { return !Running(); }, timeout)) return std::nullopt;
    return exit_;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!Wait(5s)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int exit_ = -1;
};

// An X server of its own on the first free display number, without a window manager.
class Xvfb {
 public:
  explicit Xvfb(const fs::path& log) {
    for (int n = 90; n < 140; ++n) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
          fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      display_ = ":" + std::to_string(n);
      server_ = std::make_unique<Background>(
          std::vector<std::string>{"/usr/bin/Xvfb", display_, "-screen", "0", "1280x800x24",
                                   "-nolisten", "tcp"},
          std::vector<std::string>{}, log);
      if (test::WaitFor([&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); })) return;
      server_.reset();
    }
    display_.clear();
  }
  bool Up() const { return server_ != nullptr; }
  const std::string& Display() const { return display_; }

 private:
  std::string display_;
  std::unique_ptr<Background> server_;
};

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists("/usr/bin/Xvfb") && fs::exists("/usr/bin/xdotool"))
        << "Xvfb and xdotool come with scripts/setup.sh";
    ASSERT_TRUE(x.Up()) << test::ReadFile(dir.path() / "xvfb.log");
    fs::create_directories(home);
    fs::create_directories(serverRoot / "exchange");
    fs::create_directories(outbox);
  }

  std::unique_ptr<Background> StartQuillon() {
    auto quillon = std::make_unique<Background>(
        std::vector<std::string>{test::BuiltProgram("app/quillon")},
        std::vector<std::string>{
            "DISPLAY=" + x.Display(), "QT_QPA_PLATFORM=xcb", "QUILLON_HOME=" + home.string(),
            "XDG_DATA_HOME=" + (dir.path() / "data").string(),
            "XDG_CONFIG_HOME=" + (dir.path() / "config").string(), "WAYLAND_DISPLAY",
            "LSAN_OPTIONS=suppressions=" +
                (test::SourceDir() / "tests/e2e/desktop-lsan.supp").string()},
        dir.path() / "quillon.log");
    EXPECT_TRUE(quillon->Started());
    return quillon;
  }

  std::string Xdo(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/xdotool");
    test::ProcessResult result = test::RunProcess(args, {}, {"DISPLAY=" + x.Display()});
    return result.out;
  }
  // The first visible window whose title matches `pattern`; empty when none shows in time.
  std::string Window(const std::string& pattern, std::chrono::milliseconds timeout = 60s) {
    std::string id;
    test::WaitFor(
        [&] {
          std::istringstream found(Xdo({"search", "--onlyvisible", "--name", pattern}));
          found >> id;
          return !id.empty();
        },
        timeout);
    return id;
  }
  void Focus(const std::string& window) { Xdo({"windowfocus", "--sync", window}); }
  void Keys(const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"key", "--delay", "60"};
    args.insert(args.end(), keys.begin(), keys.end());
    Xdo(args);
  }
  void Type(const std::string& text) { Xdo({"type", "--delay", "40", text}); }
  void Click(const std::string& window, const Rect& r) {
    Xdo({"mousemove", "--sync", "--window", window, std::to_string(r.x + r.width / 2),
         std::to_string(r.y + r.height / 2)});
    Xdo({"click", "1"});
  }
  // The layout of the main window at its size.
  MainWindowLayout LayoutOf(const std::string& window) {
    std::istringstream shell(Xdo({"getwindowgeometry", "--shell", window}));
    int width = 0, height = 0;
    for (std::string line; std::getline(shell, line);) {
      if (line.rfind("WIDTH=", 0) == 0) width = std::stoi(line.substr(6));
      if (line.rfind("HEIGHT=", 0) == 0) height = std::stoi(line.substr(7));
    }
    EXPECT_GT(width, 0);
    return MainWindowLayout::For(width, height);
  }
  // The program's output and the windows on the screen, for a failure's message.
  std::string Log() {
    std::string shown = test::ReadFile(dir.path() / "quillon.log") + "\nVisible windows:\n";
    std::istringstream ids(Xdo({"search", "--onlyvisible", "--name", ""}));
    for (std::string id; ids >> id;) shown += "  " + id + " " + Xdo({"getwindowname", id});
    return shown;
  }

  test::TempDir dir;
  Xvfb x{dir.path() / "xvfb.log"};
  fs::path home = dir.path() / "home";
  fs::path serverRoot = dir.path() / "server";
  fs::path outbox = dir.path() / "outbox";
  std::string ini = (home / "Quillon.ini").string();
};

TEST_F(DesktopTest, ANewcomerAddsTheServerConnectsDownloadsAndUploadsWithoutATerminal) {
  test::WriteFile(serverRoot / "readme.txt", "hello");
  test::WriteFile(outbox / "a.txt", "for the server, encrypted");
  test::FtpServer server(test::FtpServer::Options{serverRoot});
  const ConnectionProfile p = server.Profile();
  auto quillon = StartQuillon();

  // An empty program folder: the connection manager opens by itself, a new profile waiting.
  const std::string manager = Window("^Connection Manager$");
  ASSERT_FALSE(manager.empty()) << Log();
  Focus(manager);
  Keys({"ctrl+a"});
  Type("Demo");
  Keys({"Tab", "Tab"});  // past the protocol, which stays FTP
  Type("127.0.0.1");
  Keys({"Tab", "ctrl+a"});
  Type(std::to_string(p.port));
  Keys({"Tab"});
  Type(p.userName);
  Keys({"Tab"});
  Type(p.password);
  // "Save password", past passive mode, binary transfers and threads to the local folder.
  Keys({"Tab", "space", "Tab", "Tab", "Tab", "Tab"});
  Type(outbox.string());
  Keys({"Return"});  // "Connect"

  const std::string window = Window("^Harbell: Connected to: Demo$");
  ASSERT_FALSE(window.empty()) << Log();
  ConnectionProfile stored;
  ASSERT_TRUE(ReadProfile(0, stored, ini));
  EXPECT_EQ(stored.port, p.port);
  EXPECT_EQ(stored.password, p.password);
  const MainWindowLayout layout = LayoutOf(window);
  auto besideTheRows = [](const Rect& list) {
    return Rect{list.x, list.y + list.height - 30, list.width, 20};
  };

  // Download: a file chosen by its first letter in the remote list; no decryption (Escape).
  Click(window, besideTheRows(layout.remoteList));
  Focus(window);
  Type("r");
  Click(window, layout.download);
  const std::string decryption = Window("^Enter the decryption key", 20s);
  ASSERT_FALSE(decryption.empty()) << Log();
  Focus(decryption);
  Keys({"Escape"});
  ASSERT_TRUE(test::WaitFor([&] { return fs::exists(outbox / "readme.txt"); }, 30s)) << Log();
  EXPECT_EQ(test::ReadFile(outbox / "readme.txt"), "hello");

  // Upload: the key asked for (twice), the file encrypted on its way.
  ASSERT_FALSE(Window("^Harbell: Connected to: Demo$", 30s).empty()) << Log();
  Click(window, besideTheRows(layout.localList));
  Focus(window);
  Type("a");
  // The title stays while the window connects again after the download, and until it has, the
  // window takes no transfer: click until the key is asked for.
  std::string encryption;
  for (int attempt = 0; attempt < 10 && encryption.empty(); ++attempt) {
    Click(window, layout.upload);
    encryption = Window("^Enter your encryption key", 3s);
  }
  ASSERT_FALSE(encryption.empty()) << Log();
  Focus(encryption);
  Keys({"Tab"});
  Type("a demo pass phrase");
  Keys({"Tab"});
  Type("a demo pass phrase");
  Keys({"Return"});
  // The server makes the file when the upload starts: wait for its first bytes.
  ASSERT_TRUE(test::WaitFor(
      [&] { return test::ReadFile(serverRoot / "a.txt.qvr").substr(0, 4) == "QVR4"; }, 30s))
      << Log();

  // "Exit" (waiting while the window connects again after the transfer), then Yes to
  // "Disconnect it?": the program ends by itself.
  std::string question;
  for (int attempt = 0; attempt < 10 && question.empty(); ++attempt) {
    Click(window, layout.exit);
    question = Window("^Harbell$", 3s);
  }
  ASSERT_FALSE(question.empty()) << Log();
  Focus(question);
  Keys({"Return"});
  EXPECT_EQ(quillon->Wait(30s), 0) << Log();
  EXPECT_EQ(ReadProgramNumber(ini, kLastSessionID), 0);
}

TEST_F(DesktopTest, WithMinimizeOnTheWindowComesBackAfterAnUploadAndTheProgramGoesOn) {
  test::WriteFile(outbox / "a.bin", std::string(3'000'000, 'a'));
  test::FtpServer server(test::FtpServer::Options{serverRoot});
  test::ProfileSection section = test::ProfileSection::Of(server.Profile(), "Demo");
  section.localDir = outbox.string();
  section.remoteDir = "/exchange";
  section.encryptionKeyName = "demo key";
  section.encryptionKey = "a demo pass phrase";
  ASSERT_TRUE(section.Write(0, ini));
  ASSERT_TRUE(WriteProgramNumber(ini, kAutoConnect, 0));
  ASSERT_TRUE(WriteProgramNumber(ini, kMinimizeWndDuringTransfer, 1));
  auto quillon = StartQuillon();

  const std::string window = Window("^Harbell: Connected to: Demo$");
  ASSERT_FALSE(window.empty()) << Log();
  const MainWindowLayout layout = LayoutOf(window);
  // Into the local list beside its one file, then the file chosen by its first letter.
  Click(window, Rect{layout.localList.x, layout.localList.y + layout.localList.height - 30,
                     layout.localList.width, 20});
  Type("a");
  Click(window, layout.upload);

  ASSERT_TRUE(test::WaitFor([&] { return fs::exists(serverRoot / "exchange/a.bin.qvr"); }, 60s))
      << Log();
  // The progress window has closed: the main window is back and the program goes on (it ended
  // here once, a few moments after the transfer).
  EXPECT_FALSE(quillon->Wait(8s)) << "the program ended after the transfer\n" << Log();
  EXPECT_FALSE(Window("^Harbell: Connected to: Demo$", 10s).empty()) << Log();
}

}  // namespace
}  // namespace quillon
