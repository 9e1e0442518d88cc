#include "localfs/ui/DesktopLauncher.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillon {

bool DesktopLauncher::Open(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace quillon
