// Password boxes of the calendar pages: a character that Windows-1252 lacks
// cannot be scrambled into the settings (it would come back as "?"), so it is
// refused with a message as it is typed, never silently changed.
#pragma once

#include <QLineEdit>

namespace pellary {

inline constexpr const char* kPasswordCharacterRefused =
    "Passwords can only hold the characters of the Western European (Windows-1252) character set. "
    "Please type the password again without the character just refused.";

void refuseUnscramblableCharacters(QLineEdit& box);

}  // namespace pellary
