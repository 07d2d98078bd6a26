// The program's message boxes as Qt dialogs, shared by Pelmon and Hushbank:
// the text shown as written, the buttons and the default the request names.
#pragma once

namespace pellary {
// Makes the Qt dialog the message-box presenter (setMessagePresenter).
void installQtMessagePresenter();
}  // namespace pellary
