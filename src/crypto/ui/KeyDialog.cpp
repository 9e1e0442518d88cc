#include "crypto/ui/KeyDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QValidator>

#include "common/ui/DialogButtons.h"

namespace quillon {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) { return text.toUtf8().toStdString(); }

// Refuses input whose UTF-8 form is longer than the field's limit: the limits are those of the
// bytes that reach a container, and a character cut in half would change the key or the name.
class Utf8LengthValidator : public QValidator {
 public:
  Utf8LengthValidator(size_t maxBytes, QObject* parent) : QValidator(parent), max_(maxBytes) {}
  State validate(QString& input, int&) const override {
    return static_cast<size_t>(input.toUtf8().size()) <= max_ ? Acceptable : Invalid;
  }

 private:
  size_t max_;
};

QLineEdit* MakeField(QWidget* parent, const char* name, size_t maxBytes, const QColor& colour,
                     bool hidden) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMaxLength(static_cast<int>(maxBytes));
  edit->setValidator(new Utf8LengthValidator(maxBytes, edit));
  if (hidden) edit->setEchoMode(QLineEdit::Password);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Text, colour);
  edit->setPalette(palette);
  return edit;
}

QPushButton* MakeHelpButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton(QStringLiteral("?"), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("?")) + 16);
  return button;
}

// A key, drawn: the desktop's icon theme may have none.
QPixmap KeyPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  const QColor gold(212, 160, 23);
  painter.setPen(QPen(gold.darker(160), 1.5));
  painter.setBrush(gold);
  // The shaft with two teeth, then the bow with its hole.
  painter.drawRect(QRectF(13, 14, 17, 4));
  painter.drawRect(QRectF(24, 18, 3, 5));
  painter.drawRect(QRectF(19, 18, 3, 4));
  painter.drawEllipse(QRectF(2, 8, 16, 16));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(6, 13, 5, 6));
  return pixmap;
}

}  // namespace

KeyDialog::KeyDialog(const KeyRequest& request, MessagePresenter& messages, QWidget* parent)
    : QDialog(parent), purpose_(request.purpose), messages_(messages) {
  setObjectName(QStringLiteral("keyDialog"));
  const KeyDialogLook look = LookFor(purpose_);
  setWindowTitle(Q(look.title));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("keyIcon"));
  const QIcon themed = QIcon::fromTheme(QStringLiteral("dialog-password"));
  icon->setPixmap(themed.isNull() ? KeyPixmap(32) : themed.pixmap(32, 32));
  icon->setToolTip(QStringLiteral("Encryption key"));

  messageLine_ = new QLabel(Q(look.messageLine), this);
  messageLine_->setObjectName(QStringLiteral("messageLine"));
  QFont lineFont(QStringLiteral("Arial"), 12);
  lineFont.setBold(true);
  messageLine_->setFont(lineFont);
  QPalette linePalette = messageLine_->palette();
  linePalette.setColor(QPalette::WindowText, Qt::red);
  messageLine_->setPalette(linePalette);

  keyName_ = MakeField(this, "keyName", kMaxKeyNameBytes, Qt::blue, false);
  key_ = MakeField(this, "key", kMaxKeyBytes, QColor(0, 0x88, 0), true);
  confirmation_ = MakeField(this, "confirmation", kMaxKeyBytes, QColor(0, 0x88, 0), true);
  QPushButton* keyNameHelp = MakeHelpButton(this, "keyNameHelp");
  QPushButton* keyHelp = MakeHelpButton(this, "keyHelp");
  auto* caseSensitive = new QLabel(Q(keytext::kCaseSensitive), this);
  caseSensitive->setObjectName(QStringLiteral("caseSensitive"));

  remember_ = new QCheckBox(Q(keytext::kRememberLabel), this);
  remember_->setObjectName(QStringLiteral("remember"));
  remember_->setLayoutDirection(Qt::RightToLeft);  // the caption stands left of the box

  const OkCancel okCancel = MakeOkCancel(this);
  QPushButton* ok = okCancel.ok;
  QPushButton* cancel = okCancel.cancel;

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(Q(keytext::kKeyNameLabel), this), 0, 0);
  grid->addWidget(keyName_, 0, 1);
  grid->addWidget(keyNameHelp, 0, 2);
  grid->addWidget(new QLabel(Q(keytext::kKeyLabel), this), 1, 0);
  grid->addWidget(key_, 1, 1);
  grid->addWidget(keyHelp, 1, 2);
  grid->addWidget(new QLabel(Q(keytext::kConfirmationLabel), this), 2, 0);
  grid->addWidget(confirmation_, 2, 1);
  grid->addWidget(caseSensitive, 2, 2);
  grid->addWidget(remember_, 3, 0, 1, 2, Qt::AlignLeft);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(messageLine_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  key_->setText(Q(FitToField(request.key, kMaxKeyBytes)));
  confirmation_->setText(Q(FitToField(request.confirmation, kMaxKeyBytes)));
  remember_->setChecked(request.remember);
  remember_->setVisible(request.showRemember);
  if (look.keyNameEnabled) {
    keyName_->setText(Q(FitToField(request.keyName, kMaxKeyNameBytes)));
  } else {
    keyName_->clear();
    keyName_->setEnabled(false);
  }
  keyNameHelp->setVisible(look.keyNameHelpVisible);
  confirmation_->setEnabled(look.confirmationEnabled);
  (look.keyNameEnabled ? keyName_ : key_)->setFocus();

  connect(keyNameHelp, &QPushButton::clicked, this, [this] {
    messages_.Show(keytext::kKeyNameHelp, MessageButtons::Ok, MessageIcon::Information);
  });
  connect(keyHelp, &QPushButton::clicked, this, [this] {
    messages_.Show(keytext::kKeyHelp, MessageButtons::Ok, MessageIcon::Information);
  });
  connect(remember_, &QCheckBox::clicked, this, &KeyDialog::OnRememberClicked);
  connect(ok, &QPushButton::clicked, this, &KeyDialog::OnOk);
}

std::optional<EnteredKey> KeyDialog::Ask(const KeyRequest& request, MessagePresenter& messages,
                                         QWidget* parent) {
  KeyDialog dialog(request, messages, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Entered();
}

EnteredKey KeyDialog::Entered() const {
  return {S(keyName_->text()), S(key_->text()), remember_->isChecked()};
}

void KeyDialog::OnOk() {
  switch (CheckKeyEntry(purpose_, S(key_->text()), S(confirmation_->text()))) {
    case KeyCheck::Accept:
      accept();
      return;
    case KeyCheck::EmptyKey:
      messageLine_->setText(Q(keytext::kEnterValidKey));
      break;
    case KeyCheck::KeysDiffer:
      messages_.Show(keytext::kKeysDiffer);
      break;
  }
  key_->setFocus();
}

void KeyDialog::OnRememberClicked(bool ticked) {
  // The tick stays: the warning only tells what remembering a decryption key means.
  if (ticked && WarnsOnRemember(purpose_)) messages_.Show(keytext::kRememberWarning);
}

}  // namespace quillon
