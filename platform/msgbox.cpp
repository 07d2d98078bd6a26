#include "platform/msgbox.h"

#include <cstdio>
#include <utility>

namespace pellary {

namespace {
MessagePresenter& presenter() {
  static MessagePresenter p;
  return p;
}

int defaultAnswer(int style) {
  int buttons = style & mb::ButtonsMask;
  int which = (style & mb::DefaultMask) / 256;
  static const int answers[6][3] = {{mb::OK, mb::OK, mb::OK},
                                    {mb::OK, mb::Cancel, mb::Cancel},
                                    {mb::Abort, mb::Retry, mb::Ignore},
                                    {mb::Yes, mb::No, mb::Cancel},
                                    {mb::Yes, mb::No, mb::No},
                                    {mb::Retry, mb::Cancel, mb::Cancel}};
  if (buttons > 5) buttons = 0;
  if (which > 2) which = 0;
  return answers[buttons][which];
}
}  // namespace

MessagePresenter setMessagePresenter(MessagePresenter p) { return std::exchange(presenter(), std::move(p)); }

int MsgBox(const std::string& text, int style, const std::string& title) {
  if (presenter()) return presenter()(MessageRequest{text, style, title});
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  return defaultAnswer(style);
}

}  // namespace pellary
