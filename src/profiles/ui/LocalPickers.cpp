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
    // Programs here are known by their executable bit, not by an extension: the first filter
    // shows the files that may be run, the second every file (a script run through its
    // interpreter).
    QFileDialog dialog(parent, QString(), StartFolder(start));
    dialog.setObjectName(QStringLiteral("programPicker"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QString::fromUtf8(kProgramFilter), QString::fromUtf8(kAllFilesFilter)});
    auto apply = [&dialog](const QString& filter) {
      QDir::Filters shown = QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot;
      if (filter == QString::fromUtf8(kProgramFilter)) shown |= QDir::Executable;
      dialog.setFilter(shown);
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, apply);
    apply(QString::fromUtf8(kProgramFilter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
      return std::optional<std::string>();
    return Chosen(dialog.selectedFiles().front());
  };
  pickers.chooseFile = [](QWidget* parent, const QString& prompt, const QString& start) {
    // Hidden files shown: private keys live in ~/.ssh.
    return Chosen(QFileDialog::getOpenFileName(parent, prompt, StartFolder(start), QString(),
                                               nullptr, QFileDialog::DontResolveSymlinks));
  };
  return pickers;
}

}  // namespace quillon
