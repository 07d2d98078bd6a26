// Message boxes as the program asks for them (text, style flags, title). The
// shell installs a presenter that shows a real dialog; tests install one that
// records the request and answers.
#pragma once

#include <functional>
#include <string>

namespace pellary {

namespace mb {
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton1 = 0;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;

inline constexpr int ButtonsMask = 0x7;
inline constexpr int IconMask = 0x70;
inline constexpr int DefaultMask = 0xF00;

// Answers.
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace mb

struct MessageRequest {
  std::string text;
  int style = mb::OKOnly;
  std::string title;
};

using MessagePresenter = std::function<int(const MessageRequest&)>;

// Installs the presenter; returns the one it replaces.
MessagePresenter setMessagePresenter(MessagePresenter presenter);
// Shows a modal message and returns the answer. Without a presenter, and in
// an unattended run, the text goes to standard error and the default button
// is the answer: nothing ever waits for a click no one can give.
int MsgBox(const std::string& text, int style, const std::string& title);

// An unattended run: no one can answer a question (started by the installer
// or a scheduler with PELLARY_UNATTENDED, no display, an offscreen platform).
// The programs decide it once at start.
bool unattendedRun();
void setUnattendedRun(bool unattended);
// What the environment says before any window exists: PELLARY_UNATTENDED
// set, no X or Wayland display, or QT_QPA_PLATFORM "offscreen" or "minimal".
bool environmentIsUnattended();

}  // namespace pellary
