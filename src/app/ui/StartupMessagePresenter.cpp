#include "app/ui/StartupMessagePresenter.h"

#include "app/ui/QtMessagePresenter.h"

namespace quillon {

MessageAnswer StartupMessagePresenter::Show(std::string_view text, MessageButtons buttons,
                                            MessageIcon icon) {
  StreamMessagePresenter(stderr).Show(text, buttons, icon);
  if (!boxes_) return DefaultAnswer(buttons);
  if (!QApplication::instance()) application_ = std::make_unique<QApplication>(argc_, argv_);
  QtMessagePresenter boxes;
  return boxes.Show(text, buttons, icon);
}

}  // namespace quillon
