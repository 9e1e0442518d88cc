// The user's folders from the environment, with what is ignored and what stands in.
#include <gtest/gtest.h>

#include "common/UserFolders.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

using test::ScopedEnv;

TEST(UserFolders, FromTheEnvironment) {
  const std::optional<UserAccount> account = ProcessOwnerAccount();
  ASSERT_TRUE(account);
  const std::string accountHome = account->home.size() > 1 && account->home.back() == '/'
                                      ? account->home.substr(0, account->home.size() - 1)
                                      : account->home;
  struct Case {
    const char* home;
    const char* data;
    const char* config;
    std::string expectedHome;
    std::string expectedData;
    std::string expectedConfig;
  } cases[] = {
      {"/home/ann", "/data", "/conf", "/home/ann", "/data", "/conf"},
      {"/home/ann/", "/data/", nullptr, "/home/ann", "/data", "/home/ann/.config"},
      {"/home/ann", "relative/data", "", "/home/ann", "/home/ann/.local/share",
       "/home/ann/.config"},
      {"/", nullptr, nullptr, "/", "/.local/share", "/.config"},
      {nullptr, nullptr, nullptr, accountHome, accountHome + "/.local/share",
       accountHome + "/.config"},
      {"relative", nullptr, nullptr, accountHome, accountHome + "/.local/share",
       accountHome + "/.config"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.home ? c.home : "(unset)");
    ScopedEnv home("HOME", c.home);
    ScopedEnv data("XDG_DATA_HOME", c.data);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    EXPECT_EQ(UserHomeFolder(), c.expectedHome);
    EXPECT_EQ(UserDataFolder(), c.expectedData);
    EXPECT_EQ(UserConfigFolder(), c.expectedConfig);
  }
}

TEST(UserFolders, SystemDataFolders) {
  struct Case {
    const char* dirs;
    std::vector<std::string> expected;
  } cases[] = {
      {nullptr, {"/usr/local/share", "/usr/share"}},
      {"", {"/usr/local/share", "/usr/share"}},
      {"/opt/share/:relative::/usr/share", {"/opt/share", "/usr/share"}},
  };
  for (const Case& c : cases) {
    ScopedEnv dirs("XDG_DATA_DIRS", c.dirs);
    EXPECT_EQ(SystemDataFolders(), c.expected) << (c.dirs ? c.dirs : "(unset)");
  }
}

}  // namespace
}  // namespace quillon
