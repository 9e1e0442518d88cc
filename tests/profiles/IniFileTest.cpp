#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "profiles/IniFile.h"
#include "support/TestSupport.h"

extern char** environ;

namespace quillon {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string file = dir.file("Quillon.ini");
};

TEST_F(IniFileTest, NumbersReadLikeThePrivateProfileFunctions) {
  WriteFile(file,
            "[SESSION00]\r\nPort=21\r\nSpaced= 12x\r\nWord=abc\r\nEmpty=\r\nNeg=-7\r\n"
            "Huge=99999999999\r\n");
  struct Case {
    const char* key;
    int32_t number;
  } cases[] = {{"Port", 21}, {"Spaced", 12},  {"Word", 0},        {"Empty", 0},
               {"Neg", -7},  {"Missing", -1}, {"Huge", INT32_MAX}};
  for (const auto& c : cases) EXPECT_EQ(ReadNumber(0, c.key, file), c.number) << c.key;
  EXPECT_EQ(ReadNumber(1, "Port", file), -1) << "missing section";
}

TEST_F(IniFileTest, TextReadsThroughA512ByteBuffer) {
  std::string longValue(600, 'v');
  ASSERT_TRUE(WriteText(0, "Long", longValue, file));
  EXPECT_EQ(ReadText(0, "Long", file), std::string(511, 'v'));
  EXPECT_EQ(*ini::Read(file, "SESSION00", "Long"), longValue) << "the file keeps it whole";
  EXPECT_EQ(ReadText(0, "Missing", file), "");
  EXPECT_EQ(ReadText(0, "Long", dir.file("absent.ini")), "");
}

TEST_F(IniFileTest, NullValueRemovesTheLineEmptyValueKeepsTheKey) {
  ASSERT_TRUE(WriteText(3, "A", "1", file));
  ASSERT_TRUE(WriteText(3, "B", "2", file));
  ASSERT_TRUE(WriteText(3, "A", std::nullopt, file));
  ASSERT_TRUE(WriteText(3, "B", "", file));
  EXPECT_EQ(ReadFile(file), "[SESSION03]\r\nB=\r\n");
  EXPECT_FALSE(ini::Read(file, "SESSION03", "A").has_value());
  EXPECT_EQ(ini::Read(file, "SESSION03", "B"), std::optional<std::string>(""));
}

TEST_F(IniFileTest, WritesWhatTheWindowsFunctionsWrite) {
  ASSERT_TRUE(WriteText(0, "Profile", "Home", file));
  ASSERT_TRUE(WriteNumber(0, "Port", 21, file));
  ASSERT_TRUE(WriteProgramNumber(file, kSuppressWarningLevel, 0));
  ASSERT_TRUE(WriteText(1, "Address", "ftp.example.org", file));
  ASSERT_TRUE(WriteNumber(0, "Port", 2121, file));
  EXPECT_EQ(ReadFile(file),
            "[SESSION00]\r\nProfile=Home\r\nPort=2121\r\n"
            "[Quillon]\r\nSuppressWarningLevel=0\r\n"
            "[SESSION01]\r\nAddress=ftp.example.org\r\n");
}

TEST_F(IniFileTest, AFileWrittenOnWindowsReadsTheSameAndKeepsItsLines) {
  const std::string original =
      "; written by hand\r\n"
      "[session02]\r\n"
      "  ADDRESS  =  ftp.example.org  \r\n"
      "Profile = \"Quoted Name\"\r\n"
      "comment line without equals\r\n"
      "\r\n"
      "[Other]\r\n"
      "x=1\r\n";
  WriteFile(file, original);
  EXPECT_EQ(ReadText(2, "Address", file), "ftp.example.org");
  EXPECT_EQ(ReadText(2, "profile", file), "Quoted Name");
  ASSERT_TRUE(WriteText(2, "address", "other.example.org", file));
  ASSERT_TRUE(WriteNumber(2, "Port", 21, file));
  EXPECT_EQ(ReadFile(file),
            "; written by hand\r\n"
            "[session02]\r\n"
            "ADDRESS=other.example.org\r\n"
            "Profile = \"Quoted Name\"\r\n"
            "comment line without equals\r\n"
            "Port=21\r\n"
            "\r\n"
            "[Other]\r\n"
            "x=1\r\n");
}

TEST_F(IniFileTest, LfFilesStayLf) {
  WriteFile(file, "[SESSION00]\nA=1\n");
  ASSERT_TRUE(WriteText(0, "B", "2", file));
  EXPECT_EQ(ReadFile(file), "[SESSION00]\nA=1\nB=2\n");
}

TEST_F(IniFileTest, ProgramKeysTakeTheirDefaultsWhenMissingOrEmpty) {
  WriteFile(file, "[Quillon]\r\nAutoConnect=\r\nBackupCopies=12\r\n");
  EXPECT_EQ(ReadProgramNumber(file, kAutoConnect), -1);
  EXPECT_EQ(ReadProgramNumber(file, kSuppressWarningLevel), 2);
  EXPECT_EQ(ReadProgramNumber(file, kBackupCopies), 12);
}

TEST_F(IniFileTest, StructureBreakingWritesFailAndChangeNothing) {
  ASSERT_TRUE(WriteText(0, "A", "1", file));
  const std::string before = ReadFile(file);
  std::string withNul("a\0b", 3);
  EXPECT_FALSE(WriteText(0, "A", "x\r\n[SESSION09]", file));
  EXPECT_FALSE(WriteText(0, "A", "x\ny", file));
  EXPECT_FALSE(WriteText(0, "A", withNul, file));
  EXPECT_FALSE(WriteText(0, "Bad\nKey", "1", file));
  EXPECT_FALSE(WriteText(0, "Key=Value", "1", file));
  // A key line that starts with ";" is a comment: it would never read back.
  EXPECT_FALSE(WriteText(0, ";Key", "1", file));
  EXPECT_FALSE(ini::WriteSection(file, "SESSION00", {{";Key", "1"}}));
  EXPECT_FALSE(ini::Write(file, "Sec]tion", "A", "1"));
  EXPECT_FALSE(ini::WriteSection(file, "SESSION00", {{"A", "1\r\n"}}));
  EXPECT_EQ(ReadFile(file), before);
}

TEST_F(IniFileTest, WholeSectionsReadAndReplace) {
  WriteFile(file, "[SESSION00]\r\nA=1\r\nB= two \r\n\r\n[SESSION01]\r\nC=3\r\n");
  auto section = ini::ReadSection(file, "session00");
  ASSERT_TRUE(section);
  EXPECT_EQ(*section, (ini::KeyValues{{"A", "1"}, {"B", "two"}}));
  EXPECT_FALSE(ini::ReadSection(file, "SESSION05"));

  ASSERT_TRUE(ini::WriteSection(file, "SESSION00", {{"X", "9"}}));
  ASSERT_TRUE(ini::WriteSection(file, "SESSION07", {{"Y", "8"}, {"Z", ""}}));
  EXPECT_EQ(ReadFile(file),
            "[SESSION00]\r\nX=9\r\n\r\n[SESSION01]\r\nC=3\r\n[SESSION07]\r\nY=8\r\nZ=\r\n");
  ASSERT_TRUE(ini::RemoveSection(file, "SESSION01"));
  EXPECT_EQ(ini::SectionNames(file), (std::vector<std::string>{"SESSION00", "SESSION07"}));
}

TEST_F(IniFileTest, NothingIsCachedAndPermissionsStay) {
  ASSERT_TRUE(WriteText(0, "A", "1", file));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "a new file is private";
  chmod(file.c_str(), 0640);
  WriteFile(file, ReadFile(file) + "B=2\r\n");  // another program edits the file
  EXPECT_EQ(ReadText(0, "B", file), "2");
  ASSERT_TRUE(WriteText(0, "A", "3", file));
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadText(0, "A", file), "3");
  EXPECT_EQ(ReadText(0, "B", file), "2");
}

TEST_F(IniFileTest, AByteOrderMarkIsSkippedAndKept) {
  const std::string bom = "\xEF\xBB\xBF";
  WriteFile(file, bom + "[SESSION00]\r\nProfile=Nightly\r\n");
  EXPECT_EQ(ReadText(0, "Profile", file), "Nightly");
  EXPECT_EQ(ini::SectionNames(file), (std::vector<std::string>{"SESSION00"}));
  ASSERT_TRUE(WriteText(0, "Port", "21", file));
  EXPECT_EQ(ReadFile(file), bom + "[SESSION00]\r\nProfile=Nightly\r\nPort=21\r\n");
}

// A rename would replace a file its owner made read-only; every kind of write is refused
// instead, for root too, and the file and its folder stay as they were.
TEST_F(IniFileTest, AReadOnlyFileRefusesEveryWrite) {
  WriteFile(file, "[SESSION00]\r\nA=1\r\n");
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  EXPECT_FALSE(ini::IsWritable(file));
  EXPECT_TRUE(ini::IsWritable(dir.file("new.ini")));
  EXPECT_FALSE(WriteText(0, "A", "2", file));
  EXPECT_FALSE(WriteText(0, "B", std::nullopt, file));
  EXPECT_FALSE(ini::WriteSection(file, "SESSION01", {{"C", "3"}}));
  EXPECT_FALSE(ini::RemoveSection(file, "SESSION00"));
  EXPECT_EQ(ReadFile(file), "[SESSION00]\r\nA=1\r\n");
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"Quillon.ini"});
}

TEST_F(IniFileTest, AWriteToASymlinkUpdatesItsTarget) {
  std::string real = dir.file("real.ini");
  WriteFile(real, "[SESSION00]\r\nA=1\r\n");
  std::filesystem::create_symlink(real, file);
  ASSERT_TRUE(WriteText(0, "A", "2", file));
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(ReadText(0, "A", real), "2");
}

TEST_F(IniFileTest, AFileInAMissingFolderFailsTheWrite) {
  EXPECT_FALSE(WriteText(0, "A", "1", dir.file("missing/x.ini")));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

// ---------------------------------------------------------------------------------------------
// Several processes at once

pid_t SpawnWriter(const std::vector<std::string>& args) {
  const char* writer = std::getenv("QUILLON_INI_WRITER");
  std::vector<std::string> argv{writer ? writer : "ini_writer"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ) != 0) return -1;
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool HasTemporaries(const std::filesystem::path& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) return true;
  return false;
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothingAndReadersSeeWholeFiles) {
  const int rounds = 150;
  ASSERT_TRUE(ini::Write(file, "SESSION00", "Canary", std::string(300, 'c')));
  pid_t a = SpawnWriter({file, "SESSION00", "A", std::to_string(rounds), "40"});
  pid_t b = SpawnWriter({file, "SESSION00", "B", std::to_string(rounds), "40"});
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);

  // Meanwhile a reader must always find the canary whole.
  std::atomic<bool> done{false};
  int torn = 0;
  std::thread reader([&] {
    while (!done) {
      if (ini::Read(file, "SESSION00", "Canary") != std::string(300, 'c')) ++torn;
    }
  });
  EXPECT_EQ(WaitExit(a), 0);
  EXPECT_EQ(WaitExit(b), 0);
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);

  auto section = ini::ReadSection(file, "SESSION00");
  ASSERT_TRUE(section);
  EXPECT_EQ(section->size(), 1u + 2 * rounds);
  for (int i = 0; i < rounds; ++i) {
    std::string expected(40, static_cast<char>('0' + i % 10));
    EXPECT_EQ(ini::Read(file, "SESSION00", "A" + std::to_string(i)), expected) << i;
    EXPECT_EQ(ini::Read(file, "SESSION00", "B" + std::to_string(i)), expected) << i;
  }
  EXPECT_FALSE(HasTemporaries(dir.path()));
}

TEST_F(IniFileTest, AWriterKilledMidWriteLeavesAWholeFileAndNoTemporary) {
  std::mt19937 random(7);
  std::string previous;
  for (int round = 0; round < 20; ++round) {
    // Large values make each rewrite long enough to be killed in the middle of it.
    pid_t pid = SpawnWriter({file, "SESSION00", "K", "1000", "20000"});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
    kill(pid, SIGKILL);
    WaitExit(pid);

    std::string content = ReadFile(file);
    if (content.empty()) continue;  // killed before the first rename
    ASSERT_EQ(content.substr(content.size() - 2), "\r\n") << "truncated in round " << round;
    auto section = ini::ReadSection(file, "SESSION00");
    ASSERT_TRUE(section);
    for (const auto& [key, value] : *section) ASSERT_EQ(value.size(), 20000u) << key;
    // The next writer clears anything a killed one left.
    ASSERT_TRUE(ini::Write(file, "SESSION01", "Round", std::to_string(round)));
    EXPECT_FALSE(HasTemporaries(dir.path())) << round;
  }
}

}  // namespace
}  // namespace quillon
