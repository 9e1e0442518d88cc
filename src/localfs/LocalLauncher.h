#pragma once

#include <string>

namespace quillon {

// Hands a local file or folder to the desktop: a file opens in the program the desktop
// associates with it, a folder in the desktop's file manager. The window implements it with
// the desktop services; tests record the paths instead of starting programs.
class LocalLauncher {
 public:
  virtual ~LocalLauncher() = default;
  // False when the desktop could not be asked to open `path`. UI thread only.
  [[nodiscard]] virtual bool Open(const std::string& path) = 0;
};

}  // namespace quillon
