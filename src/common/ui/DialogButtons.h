#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace quillon {

// The "OK" (default) and "Cancel" buttons of a dialog that decides itself what OK does, named as
// its tests find them; Cancel rejects. The caller lays them out.
struct OkCancel {
  QPushButton* ok;
  QPushButton* cancel;
};

inline OkCancel MakeOkCancel(QDialog* dialog, const char* okName = "okButton",
                             const char* cancelName = "cancelButton") {
  auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
  ok->setObjectName(QString::fromLatin1(okName));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  cancel->setObjectName(QString::fromLatin1(cancelName));
  cancel->setAutoDefault(false);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return {ok, cancel};
}

// A button row of "OK" (default, object name "ok") and "Cancel" ("cancel") wired to the dialog's
// accept and reject.
inline QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace quillon
