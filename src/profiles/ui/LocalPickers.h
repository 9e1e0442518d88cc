#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

namespace quillon {

// The local pickers a dialog opens, as functions so that tests can answer them. Each returns
// the chosen path ("/"-separated, absolute), or nothing when the user cancelled.
struct LocalPickers {
  // A folder; `prompt` is the picker's caption, `start` the folder it opens at (may be empty).
  std::function<std::optional<std::string>(QWidget* parent, const QString& prompt,
                                           const QString& start)>
      chooseFolder;
  // An existing file to run as a command; `start` as above.
  std::function<std::optional<std::string>(QWidget* parent, const QString& start)> chooseProgram;
  // An existing file of any kind (an SSH private key); `prompt` and `start` as above.
  std::function<std::optional<std::string>(QWidget* parent, const QString& prompt,
                                           const QString& start)>
      chooseFile;
};

// The filters of the command picker: files that may be run (shown by their executable bit), and
// all files.
inline constexpr const char* kProgramFilter = "Programs (*)";
inline constexpr const char* kAllFilesFilter = "All Files (*)";

// The pickers of the desktop: QFileDialog's folder picker, its open-file picker with the filters
// kProgramFilter and kAllFilesFilter, and its plain open-file picker.
LocalPickers QtLocalPickers();

}  // namespace quillon
