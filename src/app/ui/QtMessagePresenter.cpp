#include "app/ui/QtMessagePresenter.h"

#include <QMessageBox>
#include <QPushButton>

namespace quillon {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MessageAnswer QtMessagePresenter::Show(std::string_view text, MessageButtons buttons,
                                       MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), QStringLiteral("Harbell"),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::NoButton, parent_);
  box.setObjectName(QStringLiteral("message"));
  // The overwrite question is a dialog of its own, named for what it asks.
  if (buttons == MessageButtons::YesYesToAllNoNoToAll)
    box.setWindowTitle(QStringLiteral("File Already Exists..."));
  struct Choice {
    QAbstractButton* button;
    MessageAnswer answer;
  };
  std::vector<Choice> choices;
  auto add = [&](const QString& label, QMessageBox::ButtonRole role, MessageAnswer answer) {
    QPushButton* button = box.addButton(label, role);
    choices.push_back({button, answer});
    return button;
  };
  MessageAnswer closed = DefaultAnswer(buttons);
  switch (buttons) {
    case MessageButtons::Ok:
      box.setDefaultButton(add(QStringLiteral("OK"), QMessageBox::AcceptRole, MessageAnswer::Ok));
      break;
    case MessageButtons::OkCancel:
      box.setDefaultButton(add(QStringLiteral("OK"), QMessageBox::AcceptRole, MessageAnswer::Ok));
      add(QStringLiteral("Cancel"), QMessageBox::RejectRole, MessageAnswer::Cancel);
      closed = MessageAnswer::Cancel;
      break;
    case MessageButtons::YesNo:
      box.setDefaultButton(add(QStringLiteral("&Yes"), QMessageBox::YesRole, MessageAnswer::Yes));
      add(QStringLiteral("&No"), QMessageBox::NoRole, MessageAnswer::No);
      closed = MessageAnswer::No;
      break;
    case MessageButtons::YesNoCancel:
      box.setDefaultButton(add(QStringLiteral("&Yes"), QMessageBox::YesRole, MessageAnswer::Yes));
      add(QStringLiteral("&No"), QMessageBox::NoRole, MessageAnswer::No);
      add(QStringLiteral("Cancel"), QMessageBox::RejectRole, MessageAnswer::Cancel);
      closed = MessageAnswer::Cancel;
      break;
    case MessageButtons::YesYesToAllNoNoToAll:
      // Closing the overwrite question any other way counts as Yes.
      box.setDefaultButton(add(QStringLiteral("&Yes"), QMessageBox::YesRole, MessageAnswer::Yes));
      add(QStringLiteral("Yes to &All"), QMessageBox::YesRole, MessageAnswer::YesToAll);
      add(QStringLiteral("&No"), QMessageBox::NoRole, MessageAnswer::No);
      add(QStringLiteral("No to All"), QMessageBox::NoRole, MessageAnswer::NoToAll);
      closed = MessageAnswer::Yes;
      break;
  }
  box.exec();
  for (const Choice& choice : choices)
    if (box.clickedButton() == choice.button) return choice.answer;
  return closed;
}

}  // namespace quillon
