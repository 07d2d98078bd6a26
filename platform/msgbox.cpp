#include "platform/msgbox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
  static const int answers[6][3] = {{mb::OK, mb::OK, mb::OK},           {mb::OK, mb::Cancel, mb::Cancel},
                                    {mb::Abort, mb::Retry, mb::Ignore}, {mb::Yes, mb::No, mb::Cancel},
                                    {mb::Yes, mb::No, mb::No},          {mb::Retry, mb::Cancel, mb::Cancel}};
  if (buttons > 5) buttons = 0;
  if (which > 2) which = 0;
  return answers[buttons][which];
}
}  // namespace

MessagePresenter setMessagePresenter(MessagePresenter p) { return std::exchange(presenter(), std::move(p)); }

namespace {
bool& unattendedFlag() {
  static bool flag = false;
  return flag;
}

// The program's texts break lines with a lone CR too.
std::string withLineBreaks(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}
}  // namespace

bool unattendedRun() { return unattendedFlag(); }
void setUnattendedRun(bool unattended) { unattendedFlag() = unattended; }

bool environmentIsUnattended() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  if (set("PELLARY_UNATTENDED")) return true;
  if (const char* qpa = std::getenv("QT_QPA_PLATFORM"); qpa && *qpa) {
    return std::strncmp(qpa, "offscreen", 9) == 0 || std::strncmp(qpa, "minimal", 7) == 0;
  }
  return !set("DISPLAY") && !set("WAYLAND_DISPLAY");
}

int MsgBox(const std::string& text, int style, const std::string& title) {
  if (presenter() && !unattendedRun()) return presenter()(MessageRequest{text, style, title});
  std::fprintf(stderr, "%s: %s\n", title.c_str(), withLineBreaks(text).c_str());
  return defaultAnswer(style);
}

}  // namespace pellary
