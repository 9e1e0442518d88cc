#pragma once

#include <string>

namespace quillon {

// The login name of the process owner (effective user), from the user database; empty when
// the user has no entry there. Safe from any thread.
std::string CurrentUserName();

}  // namespace quillon
