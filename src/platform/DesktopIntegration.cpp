#include "platform/DesktopIntegration.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "QuillonIcon.h"
#include "common/AtomicFile.h"
#include "common/FileIo.h"
#include "common/Paths.h"
#include "common/UserFolders.h"
#include "platform/LauncherEntry.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIconPath = "icons/hicolor/scalable/apps/quillon.svg";
constexpr const char* kLauncherPath = "applications/quillon.desktop";

std::string InSystemFolder(const char* relative) {
  std::error_code error;
  for (const std::string& folder : SystemDataFolders()) {
    std::string path = JoinPath(folder, relative);
    if (fs::is_regular_file(path, error)) return path;
  }
  return {};
}

// Writes `content` to the user's data folder unless it is there already.
bool WriteUserFile(const std::string& path, const std::string& content, mode_t mode) {
  if (ReadWholeFile(path) == content) return true;
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  return !error && WriteFileAtomically(path, content, {.mode = mode});
}

}  // namespace

std::string InstallQuillonIcon() {
  if (std::string installed = InSystemFolder(kIconPath); !installed.empty()) return installed;
  std::string path = JoinPath(UserDataFolder(), kIconPath);
  return WriteUserFile(path, std::string(kQuillonIconSvg), 0644) ? path : std::string();
}

std::string ApplicationLauncherText(const std::string& program) {
  LauncherEntry launcher;
  launcher.name = "Quillon";
  launcher.program = program;
  launcher.comment =
      "Transfer files by FTP, encrypted on your machine, and schedule unattended transfers";
  std::string text = DesktopEntryText(launcher).value_or("");
  return text.empty()
             ? text
             : text + "GenericName=FTP Client\nMimeType=application/x-quillon-encrypted;\n";
}

bool InstallApplicationLauncher(const std::string& program) {
  if (!InSystemFolder(kLauncherPath).empty()) return true;
  std::string text = ApplicationLauncherText(program);
  if (program.empty() || program.front() != '/' || text.empty()) return false;
  return WriteUserFile(JoinPath(UserDataFolder(), kLauncherPath), text, 0644);
}

std::string ThisProgram() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  return std::string(path, static_cast<size_t>(n));
}

}  // namespace quillon
