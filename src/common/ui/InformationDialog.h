#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace quillon {

// "Information": one text in a scrollable box above a "Close" button. Callers append pieces
// before showing it; what is typed into the box is discarded.
class InformationDialog : public QDialog {
  Q_OBJECT

 public:
  explicit InformationDialog(QWidget* parent = nullptr);

  void Append(const QString& piece) { text_ += piece; }
  const QString& Text() const { return text_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString text_;
  QPlainTextEdit* box_;
};

}  // namespace quillon
