// The Outlook stand-in's automation surface: Application, the MAPI namespace,
// folders, items, appointment items and explorers, as late-bound objects over
// the store.
#pragma once

namespace pellary::standins::outlook {

inline constexpr const char* kApplicationClass = "Outlook.Application";
// Makes kApplicationClass creatable by name.
void registerOutlookClasses();

}  // namespace pellary::standins::outlook
