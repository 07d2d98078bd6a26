// Help on the window in front: every wizard page and dialog carries a help
// topic number, and F1 (anywhere) or the Help menu opens the topic of the
// page or dialog the focus is in through the program's help wrapper.
#pragma once

#include <cstdint>

class QWidget;

namespace pellary {

// Topics of the windows that are not pages.
namespace helptopic {
inline constexpr int32_t EventOptions = 7;  // the event options dialog
inline constexpr int32_t Selection = 90;
inline constexpr int32_t About = 230;
inline constexpr int32_t OutlookGuide = 224;
inline constexpr int32_t Portal = 231;
inline constexpr int32_t UpdatePreview = 232;
inline constexpr int32_t ErrorMessage = 233;
}  // namespace helptopic

// The topic of a wizard page slot (0 for an empty slot).
int32_t pageHelpTopic(int16_t slot);

void setHelpTopic(QWidget& window, int32_t topic);
// The topic of the widget's page or dialog (walking up its parents); for the
// frame window, the topic of the page on screen. 0 when none.
int32_t helpTopicFor(const QWidget* widget);
// Opens the topic of the window the focus is in.
void showHelpForFocus();

// F1 opens the help of the window in front, in every window of the program.
void installHelpKey();

}  // namespace pellary
