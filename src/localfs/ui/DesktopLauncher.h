#pragma once

#include "localfs/LocalLauncher.h"

namespace quillon {

// Opens local files and folders through the desktop services (xdg-open and the like): a file
// in its associated program, a folder in the file manager. Returns at once; the program runs
// on its own.
class DesktopLauncher : public LocalLauncher {
 public:
  bool Open(const std::string& path) override;
};

}  // namespace quillon
