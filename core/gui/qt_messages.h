#pragma once

namespace pellary {
// Shows the program's message boxes as Qt dialogs.
void installQtMessagePresenter();
}  // namespace pellary
