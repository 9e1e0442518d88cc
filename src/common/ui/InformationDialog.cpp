#include "common/ui/InformationDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

InformationDialog::InformationDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Information"));
  setObjectName(QStringLiteral("information"));
  box_ = new QPlainTextEdit(this);
  box_->setObjectName(QStringLiteral("text"));
  box_->setLineWrapMode(QPlainTextEdit::NoWrap);
  box_->setFont(QFont(QStringLiteral("Monospace")));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box_);
  layout->addWidget(close, 0, Qt::AlignHCenter);
  resize(640, 420);
}

void InformationDialog::showEvent(QShowEvent* event) {
  // The box shows the text as it is when the dialog opens; edits are never read back.
  box_->setPlainText(text_);
  QDialog::showEvent(event);
}

}  // namespace quillon
