#pragma once

#include <QPointer>
#include <QWidget>

#include "common/Messages.h"

namespace quillon {

// Message boxes of the windowed program: QMessageBox with the system's exact texts, and the
// four-button overwrite question. The title is "Harbell", the overwrite question's "File Already
// Exists...". GUI thread only.
class QtMessagePresenter : public MessagePresenter {
 public:
  explicit QtMessagePresenter(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  MessageAnswer Show(std::string_view text, MessageButtons buttons, MessageIcon icon) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace quillon
