#include <gtest/gtest.h>

#include "localfs/FolderChain.h"
#include "localfs/LocalPaths.h"

namespace quillon {
namespace {

TEST(LocalPaths, KeptFormParentAndLevels) {
  struct Case {
    std::string given;
    std::optional<std::string> kept;
  } cases[] = {
      {"/", "/"},
      {"//", "/"},
      {"/home/u/", "/home/u"},
      {"/home//u///docs", "/home/u/docs"},
      {"/home/./u/../v", "/home/v"},
      {"/../..", "/"},
      {"/a/...", "/a/..."},
      {"/with space/ x", "/with space/ x"},
      {"relative/path", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeLocalPath(c.given), c.kept) << c.given;

  EXPECT_EQ(ParentFolder("/"), std::nullopt);
  EXPECT_EQ(ParentFolder("/home"), "/");
  EXPECT_EQ(ParentFolder("/home/u/docs"), "/home/u");
  EXPECT_EQ(FolderLevels("/"), std::vector<std::string>{});
  EXPECT_EQ(FolderLevels("/a/b/c"), (std::vector<std::string>{"/a", "/a/b", "/a/b/c"}));
  EXPECT_EQ(JoinLocalPath("/", "x"), "/x");
  EXPECT_EQ(JoinLocalPath("/a", "x"), "/a/x");
  EXPECT_EQ(LastPathPart("/a/b"), "b");
  EXPECT_EQ(LastPathPart("/"), "/");
}

// "text@indent" for each item, "*" marking the selected one.
std::vector<std::string> Shape(const FolderComboContent& content) {
  std::vector<std::string> shape;
  for (size_t i = 0; i < content.items.size(); ++i) {
    const auto& item = content.items[i];
    EXPECT_EQ(LastPathPart(item.path), item.text);
    shape.push_back((static_cast<int>(i) == content.selected ? "*" : "") + item.text + "@" +
                    std::to_string(item.indent));
  }
  return shape;
}

TEST(FolderChain, TakesListedLevelsAndInsertsTheRestDeeper) {
  auto top = TopFolderCombo({"bin", "home", "tmp"});
  struct Case {
    std::string folder;
    std::vector<std::string> shape;
  } cases[] = {
      {"/", {"*/@0", "bin@1", "home@1", "tmp@1"}},
      {"/home", {"/@0", "bin@1", "*home@1", "tmp@1"}},
      {"/home/u/docs", {"/@0", "bin@1", "home@1", "u@2", "*docs@3", "tmp@1"}},
      {"/tmp/x", {"/@0", "bin@1", "home@1", "tmp@1", "*x@2"}},
      // A folder the top does not list (hidden, or made since) is inserted after the top.
      {"/.hidden/sub", {"/@0", ".hidden@1", "*sub@2", "bin@1", "home@1", "tmp@1"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Shape(FolderChain(top, c.folder)), c.shape) << c.folder;

  // A chain starts again from the top each time: the earlier chain is not kept.
  auto first = FolderChain(top, "/home/u");
  EXPECT_EQ(Shape(FolderChain(top, "/tmp")),
            (std::vector<std::string>{"/@0", "bin@1", "home@1", "*tmp@1"}));
  EXPECT_EQ(first.items.size(), 5u);
  // Without a top item the chain still starts at "/".
  EXPECT_EQ(Shape(FolderChain({}, "/a")), (std::vector<std::string>{"/@0", "*a@1"}));
}

}  // namespace
}  // namespace quillon
