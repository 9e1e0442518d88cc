#include "common/Messages.h"

namespace quillon {

MessageAnswer DefaultAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
      return MessageAnswer::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
    case MessageButtons::YesYesToAllNoNoToAll:
      return MessageAnswer::Yes;
  }
  return MessageAnswer::Ok;
}

MessageAnswer StreamMessagePresenter::Show(std::string_view text, MessageButtons buttons,
                                           MessageIcon) {
  std::fwrite(text.data(), 1, text.size(), out_);
  if (text.empty() || text.back() != '\n') std::fputc('\n', out_);
  std::fflush(out_);
  return DefaultAnswer(buttons);
}

}  // namespace quillon
