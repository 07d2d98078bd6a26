#include "core/gui/password_box.h"

#include "core/app.h"
#include "core/scrambler.h"
#include "platform/msgbox.h"

namespace pellary {

void refuseUnscramblableCharacters(QLineEdit& box) {
  // The last text that could be kept, typed or put there by the page.
  auto remember = [&box](const QString& text) {
    if (Bse_CanScramble(text.toStdString())) box.setProperty("keptText", text);
  };
  QObject::connect(&box, &QLineEdit::textChanged, &box, remember);
  QObject::connect(&box, &QLineEdit::textEdited, &box, [&box, remember](const QString& typed) {
    if (Bse_CanScramble(typed.toStdString())) return remember(typed);
    box.setText(box.property("keptText").toString());
    MsgBox(kPasswordCharacterRefused, mb::Exclamation, appTitle());
  });
}

}  // namespace pellary
