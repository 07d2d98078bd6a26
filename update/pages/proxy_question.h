// The transport's proxy question as a dialog. The transport asks through
// InputBox and never includes a window; the portal connects this dialog.
#pragma once

#include <memory>
#include <string>

class QInputDialog;

namespace pellary {

// The dialog: the prompt's line breaks kept, wrapped to the screen.
std::unique_ptr<QInputDialog> makeInputDialog(const std::string& prompt, const std::string& title);
// Makes the dialog the transport's way of asking (setInputWindow): the typed
// answer, empty for Cancel and when no window can be shown.
void connectProxyQuestion();

}  // namespace pellary
