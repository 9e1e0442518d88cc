#include "platform/UserName.h"

#include "common/UserFolders.h"

namespace quillon {

std::string CurrentUserName() {
  std::optional<UserAccount> account = ProcessOwnerAccount();
  return account ? account->name : std::string();
}

}  // namespace quillon
