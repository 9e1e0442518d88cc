#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace quillon {

// How the core asks the user something or tells them something. The GUI answers with a real
// message box, a run without a display writes the text to stderr (and the task log) and takes
// the default answer, and tests record what was asked.

enum class MessageButtons {
  Ok,
  OkCancel,
  YesNo,
  YesNoCancel,
  YesYesToAllNoNoToAll,  // the overwrite question
};

enum class MessageIcon { None, Information, Warning, Error, Question };

enum class MessageAnswer { Ok, Cancel, Yes, YesToAll, No, NoToAll };

class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  // Shows `text` and waits for the answer. Called on the owner (UI or task) thread only.
  virtual MessageAnswer Show(std::string_view text, MessageButtons buttons = MessageButtons::Ok,
                             MessageIcon icon = MessageIcon::None) = 0;
};

// The answer a presenter gives when nobody can be asked: the first button's meaning.
MessageAnswer DefaultAnswer(MessageButtons buttons);

// Writes every message to a stream (stderr by default) and answers with DefaultAnswer.
class StreamMessagePresenter : public MessagePresenter {
 public:
  explicit StreamMessagePresenter(std::FILE* out = stderr) : out_(out) {}
  MessageAnswer Show(std::string_view text, MessageButtons buttons, MessageIcon icon) override;

 private:
  std::FILE* out_;
};

}  // namespace quillon
