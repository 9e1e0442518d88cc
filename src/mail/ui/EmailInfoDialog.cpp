#include "mail/ui/EmailInfoDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <thread>

#include "common/ui/DialogButtons.h"

namespace quillon {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) { return text.toUtf8().toStdString(); }

QLineEdit* MakeEdit(QWidget* parent, const char* name, const std::string& text,
                    const QColor& colour) {
  auto* edit = new QLineEdit(Q(text), parent);
  edit->setObjectName(QString::fromLatin1(name));
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Text, colour);
  edit->setPalette(palette);
  return edit;
}

}  // namespace

EmailInfoDialog::EmailInfoDialog(const EmailSettings& preset, MessagePresenter& messages,
                                 QWidget* parent)
    : QDialog(parent),
      messages_(messages),
      testSender_([](const EmailSettings& settings) { return SendTestMail(settings); }) {
  setObjectName(QStringLiteral("emailInfo"));
  setWindowTitle(Q(mailtext::kTitle));

  from_ = MakeEdit(this, "from", preset.from, Qt::red);
  server_ = MakeEdit(this, "server", preset.server, Qt::red);
  to_ = MakeEdit(this, "to", preset.to, Qt::blue);
  useEmail_ = new QCheckBox(Q(mailtext::kUseEmailLabel), this);
  useEmail_->setObjectName(QStringLiteral("useEmail"));
  useEmail_->setChecked(preset.useEmail);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("questionIcon"));
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  const OkCancel okCancel = MakeOkCancel(this);
  QPushButton* ok = okCancel.ok;
  QPushButton* cancel = okCancel.cancel;
  test_ = new QPushButton(QStringLiteral("Test"), this);
  test_->setObjectName(QStringLiteral("testButton"));
  test_->setAutoDefault(false);

  auto* form = new QFormLayout;
  form->setRowWrapPolicy(QFormLayout::WrapAllRows);
  form->addRow(Q(mailtext::kFromLabel), from_);
  form->addRow(Q(mailtext::kServerLabel), server_);
  form->addRow(Q(mailtext::kToLabel), to_);
  form->addRow(useEmail_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(icon);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(test_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Q(mailtext::kNeeded), this));
  layout->addLayout(form);
  layout->addLayout(buttons);
  setMinimumWidth(420);

  EnableFields(preset.useEmail);
  connect(useEmail_, &QCheckBox::toggled, this, &EmailInfoDialog::EnableFields);
  connect(ok, &QPushButton::clicked, this, &EmailInfoDialog::OnOk);
  connect(test_, &QPushButton::clicked, this, &EmailInfoDialog::OnTest);
}

std::optional<EmailSettings> EmailInfoDialog::Ask(const EmailSettings& preset,
                                                  MessagePresenter& messages, QWidget* parent) {
  EmailInfoDialog dialog(preset, messages, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Settings();
}

EmailSettings EmailInfoDialog::Settings() const {
  return TakeEmailSettings(
      {useEmail_->isChecked(), S(from_->text()), S(server_->text()), S(to_->text())});
}

void EmailInfoDialog::done(int result) {
  if (testing_) return;
  QDialog::done(result);
}

void EmailInfoDialog::EnableFields(bool on) {
  for (QWidget* widget : std::initializer_list<QWidget*>{from_, server_, to_, test_})
    widget->setEnabled(on);
}

void EmailInfoDialog::OnOk() {
  EmailSettings settings = Settings();
  if (const auto problem = FinishEmailSettings(settings)) {
    messages_.Show(*problem, MessageButtons::Ok, MessageIcon::Warning);
    return;
  }
  // The controls hold the result, so that Settings() hands it back.
  from_->setText(Q(settings.from));
  server_->setText(Q(settings.server));
  to_->setText(Q(settings.to));
  accept();
}

void EmailInfoDialog::OnTest() {
  const EmailSettings settings = Settings();
  // The exchange may wait minutes for a slow server: it runs on its own thread while this one
  // keeps painting, with the dialog disabled and closing refused until the answer is in.
  testing_ = true;
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::string shown;
  QEventLoop loop;
  std::thread sender([&] {
    shown = testSender_(settings);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  sender.join();
  QApplication::restoreOverrideCursor();
  setEnabled(true);
  testing_ = false;
  messages_.Show(shown, MessageButtons::Ok, MessageIcon::Warning);
}

}  // namespace quillon
