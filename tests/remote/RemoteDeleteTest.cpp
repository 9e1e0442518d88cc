// The rules of the recursive remote delete, on an in-memory folder tree whose operations are
// recorded, so the order of deletes, the log lines and where the server is left can be seen.
// (The same walk against a real server is in the remote list's GUI suite.)
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "remote/RemoteDelete.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

class TreeConnection : public FtpConnection {
 public:
  // `paths` in listing order; a trailing "/" marks a folder.
  explicit TreeConnection(std::vector<std::string> paths) {
    for (auto& path : paths) {
      bool folder = path.back() == '/';
      if (folder) path.pop_back();
      nodes_.push_back({path, folder});
    }
  }

  std::set<std::string> refused;  // paths whose delete or removal the server refuses
  std::vector<std::string> calls;
  bool listingFails = false;

  std::optional<std::string> CurrentFolder() override { return cwd_; }
  bool SetCurrentFolder(const std::string& folder) override {
    calls.push_back("CWD " + folder);
    if (folder != "/" && !Find(folder, true)) return false;
    cwd_ = folder;
    return true;
  }
  std::optional<std::vector<RemoteEntry>> List() override {
    calls.push_back("LIST " + cwd_);
    if (listingFails) return std::nullopt;
    std::vector<RemoteEntry> entries;
    for (const auto& node : nodes_) {
      auto slash = node.path.rfind('/');
      std::string parent = slash == 0 ? "/" : node.path.substr(0, slash);
      if (parent == cwd_)
        entries.push_back({node.path.substr(slash + 1), node.path, node.folder, 1, {}});
    }
    return entries;
  }
  bool CreateFolder(const std::string&) override { return false; }
  bool RemoveFolder(const std::string& path) override {
    calls.push_back("RMD " + path);
    bool empty = std::none_of(nodes_.begin(), nodes_.end(),
                              [&](const Node& n) { return n.path.rfind(path + "/", 0) == 0; });
    return empty && !refused.count(path) && Erase(path, true);
  }
  bool DeleteFile(const std::string& path) override {
    calls.push_back("DELE " + path);
    return !refused.count(path) && Erase(path, false);
  }
  bool Rename(const std::string&, const std::string&) override { return false; }
  std::optional<uint64_t> Size(const std::string&) override { return std::nullopt; }
  std::unique_ptr<RemoteFile> OpenFile(const std::string&, RemoteFileMode, bool) override {
    return nullptr;
  }
  const std::string& LastError() const override { return error_; }

  std::vector<std::string> Left() const {
    std::vector<std::string> left;
    for (const auto& node : nodes_) left.push_back(node.path);
    return left;
  }
  const std::string& cwd() const { return cwd_; }

 private:
  struct Node {
    std::string path;
    bool folder;
  };
  bool Find(const std::string& path, bool folder) const {
    return std::any_of(nodes_.begin(), nodes_.end(),
                       [&](const Node& n) { return n.path == path && n.folder == folder; });
  }
  bool Erase(const std::string& path, bool folder) {
    auto it = std::find_if(nodes_.begin(), nodes_.end(),
                           [&](const Node& n) { return n.path == path && n.folder == folder; });
    if (it == nodes_.end()) return false;
    nodes_.erase(it);
    return true;
  }

  std::vector<Node> nodes_;
  std::string cwd_ = "/";
  std::string error_ = "Refused.";
};

std::vector<std::string> LogTexts(const test::RecordingLog& log) {
  std::vector<std::string> texts;
  for (const auto& line : log.Lines()) {
    EXPECT_EQ(line.colour, colour::kNeutral);
    texts.push_back(line.text);
  }
  return texts;
}

using V = std::vector<std::string>;

const V kTree = {"/d/",          "/d/a.txt",     "/d/sub/",   "/d/b.txt",
                 "/d/sub/c.txt", "/d/sub/deep/", "/d/empty/", "/keep.txt"};

TEST(DeleteRemoteFolder, FilesFirstThenSubfoldersThenTheFolder) {
  TreeConnection server(kTree);
  test::RecordingLog log;
  EXPECT_TRUE(DeleteRemoteFolder(server, "/d", log));
  EXPECT_EQ(server.Left(), V{"/keep.txt"});
  EXPECT_EQ(server.cwd(), "/");
  EXPECT_EQ(LogTexts(log),
            (V{"Delete: /d/a.txt", "Delete: /d/b.txt", "Delete: /d/sub/c.txt",
               "Delete: /d/sub/deep", "Delete: /d/sub", "Delete: /d/empty", "Delete: /d"}));
  EXPECT_EQ(server.calls,
            (V{"CWD /d", "LIST /d", "DELE /d/a.txt", "DELE /d/b.txt", "CWD /d/sub", "LIST /d/sub",
               "DELE /d/sub/c.txt", "CWD /d/sub/deep", "LIST /d/sub/deep", "CWD /d/sub",
               "RMD /d/sub/deep", "CWD /d", "RMD /d/sub", "CWD /d/empty", "LIST /d/empty", "CWD /d",
               "RMD /d/empty", "CWD /", "RMD /d"}));
}

TEST(DeleteRemoteFolder, FailuresStopTheWalk) {
  struct Case {
    const char* what;
    std::string refused;
    V log;
    V left;
    std::string cwd;
  } cases[] = {
      {"a refused file stops at once and leaves the server in its folder", "/d/a.txt",
       V{"Delete: /d/a.txt"},
       V{"/d", "/d/a.txt", "/d/sub", "/d/b.txt", "/d/sub/c.txt", "/d/sub/deep", "/d/empty",
         "/keep.txt"},
       "/d"},
      {"a refused file below stops the sub-folders that follow", "/d/sub/c.txt",
       V{"Delete: /d/a.txt", "Delete: /d/b.txt", "Delete: /d/sub/c.txt", "Delete: /d"},
       V{"/d", "/d/sub", "/d/sub/c.txt", "/d/sub/deep", "/d/empty", "/keep.txt"}, "/"},
      {"a refused removal keeps the folders above", "/d/sub/deep",
       V{"Delete: /d/a.txt", "Delete: /d/b.txt", "Delete: /d/sub/c.txt", "Delete: /d/sub/deep",
         "Delete: /d/sub", "Delete: /d"},
       V{"/d", "/d/sub", "/d/sub/deep", "/d/empty", "/keep.txt"}, "/"},
      {"a refused removal of the folder itself", "/d",
       V{"Delete: /d/a.txt", "Delete: /d/b.txt", "Delete: /d/sub/c.txt", "Delete: /d/sub/deep",
         "Delete: /d/sub", "Delete: /d/empty", "Delete: /d"},
       V{"/d", "/keep.txt"}, "/"},
  };
  for (const auto& c : cases) {
    TreeConnection server(kTree);
    server.refused = {c.refused};
    test::RecordingLog log;
    EXPECT_FALSE(DeleteRemoteFolder(server, "/d", log)) << c.what;
    EXPECT_EQ(LogTexts(log), c.log) << c.what;
    EXPECT_EQ(server.Left(), c.left) << c.what;
    EXPECT_EQ(server.cwd(), c.cwd) << c.what;
  }
}

TEST(DeleteRemoteFolder, AFolderThatCannotBeEnteredOrListed) {
  TreeConnection server(kTree);
  test::RecordingLog log;
  EXPECT_FALSE(DeleteRemoteFolder(server, "/missing", log));
  server.listingFails = true;
  EXPECT_FALSE(DeleteRemoteFolder(server, "/d", log));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(server.cwd(), "/");
  EXPECT_EQ(server.Left().size(), kTree.size());
}

}  // namespace
}  // namespace quillon
