#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The one-line text of an FTP failure: the library's (or server's) message, cut to 1024
// characters, with control characters turned into blanks, trailing white space removed and "."
// appended. An empty message gives "Unknown error.".
std::string FtpError(std::string_view message);

}  // namespace quillon
