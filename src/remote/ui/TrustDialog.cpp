#include "remote/ui/TrustDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

TrustDialog::TrustDialog(const ServerIdentity& identity, QWidget* parent) : QDialog(parent) {
  setWindowTitle(identity.changed ? QStringLiteral("Server Identity Changed - Harbell")
                                  : QStringLiteral("Untrusted Server - Harbell"));

  auto* icon = new QLabel(this);
  const QStyle::StandardPixmap pixmap =
      identity.changed ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning;
  icon->setPixmap(style()->standardIcon(pixmap).pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);

  auto* text = new QLabel(QString::fromStdString(TrustQuestionText(identity)), this);
  text->setObjectName("trustText");
  text->setTextFormat(Qt::PlainText);  // subjects and names come from the server
  text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text->setWordWrap(true);
  text->setMinimumWidth(460);

  auto* buttons = new QDialogButtonBox(this);
  auto* always = buttons->addButton(QStringLiteral("Trust &Always"), QDialogButtonBox::AcceptRole);
  always->setObjectName("trustAlwaysButton");
  auto* once = buttons->addButton(QStringLiteral("Trust &Once"), QDialogButtonBox::AcceptRole);
  once->setObjectName("trustOnceButton");
  auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName("cancelButton");
  for (QPushButton* button : {always, once}) button->setAutoDefault(false);
  cancel->setDefault(true);
  cancel->setFocus();

  connect(always, &QPushButton::clicked, this, [this] {
    answer_ = TrustAnswer::Always;
    accept();
  });
  connect(once, &QPushButton::clicked, this, [this] {
    answer_ = TrustAnswer::Once;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

TrustAnswer DialogTrustAsker::Ask(const ServerIdentity& identity) {
  TrustDialog dialog(identity, parent_);
  dialog.exec();
  return dialog.Answer();
}

}  // namespace quillon
