#include "profiles/ui/LocalPickers.h"

#include <QFileDialog>
#include <QFileInfo>

namespace quillon {
namespace {

std::optional<std::string> Chosen(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  return QFileInfo(path).absoluteFilePath().toUtf8().toStdString();
}

QString StartFolder(const QString& start) {
  // The picker opens at the folder of a file it is given.
  const QFileInfo info(start);
  return info.isDir() ? start : info.path() == QStringLiteral(".") ? QString() : info.path();
}

}  // namespace

LocalPickers QtLocalPickers() {
  LocalPickers pickers;
  pickers.chooseFolder = [](QWidget* parent, const QString& prompt, const QString& start) {
    return Chosen(QFileDialog::getExistingDirectory(parent, prompt, StartFolder(start)));
  };
  pickers.chooseProgram = [](QWidget* parent, const QString& start) {
    // Programs here rarely carry an extension, so the last filter matches every file rather
    // than only names with a dot. No default extension is added to a typed name for the same
    // reason.
    return Chosen(QFileDialog::getOpenFileName(
        parent, QString(), StartFolder(start),
        QStringLiteral("Programs (*.exe);;Batch Files (*.bat);;All Files (*)")));
  };
  return pickers;
}

}  // namespace quillon
