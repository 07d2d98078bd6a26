// The named bits of the profile's status words: a category's and an event's
// Status, a category's Duration, and the settings word of a category node key.
// The processor, the selection and the event options all read them from here.
#pragma once

#include <cstdint>

namespace pellary {

// Category selection states (low four bits of ProfileCatRecord::Status).
namespace catstate {
inline constexpr int16_t NotSelected = 0;
inline constexpr int16_t Added = 2;
inline constexpr int16_t InProfile = 4;
inline constexpr int16_t Removed = 8;
inline constexpr int16_t StateMask = 0x000F;
inline constexpr int16_t OptionMask = 0x7FF0;
}  // namespace catstate

// Event states and marks (ProfileEventRecord::Status): the low four bits are
// the state, the marks above them say how the entry was written.
namespace evstate {
inline constexpr int16_t LeftOut = 1;    // unticked by the user
inline constexpr int16_t Added = 2;      // to be written
inline constexpr int16_t InProfile = 4;  // stands on the target
inline constexpr int16_t Removed = 8;    // to be taken off the target
inline constexpr int16_t StateMask = catstate::StateMask;
inline constexpr int16_t MarkMask = catstate::OptionMask;
inline constexpr int16_t Tickets = 0x0040;    // a tickets entry stands beside it
inline constexpr int16_t Star = 0x0200;       // its title was written with "*"
inline constexpr int16_t Cancelled = 0x0800;  // written with "Cancelled: "
inline constexpr int16_t Postponed = 0x1000;  // written with "Postponed: "
inline constexpr int16_t Updated = 0x2000;    // written with "Updated: "
// Ticked by hand: it stands whatever its priority or dates.
inline constexpr int16_t ChosenByHand = 0x4000;
}  // namespace evstate

// Option bits of a category's Status word.
namespace catopt {
inline constexpr int16_t Detailed = 0x0010;
inline constexpr int16_t NoHappen = 0x0020;  // "Events happen" not ticked
inline constexpr int16_t OnSale = 0x0040;
inline constexpr int16_t OnlyKey = 0x0080;
inline constexpr int16_t All = 0x0100;
}  // namespace catopt

// Flags of a category's Duration word; the rest is the length threshold.
namespace duration {
inline constexpr int16_t CountMask = 0x000F;  // how many of the unit
inline constexpr int16_t Days = 0x0400;
inline constexpr int16_t Weeks = 0x0800;
inline constexpr int16_t Months = 0x1000;
inline constexpr int16_t Star = 0x0200;
inline constexpr int16_t DateRange = 0x4000;
inline constexpr int16_t CodeMask = Days | Weeks | Months | CountMask;
inline constexpr int16_t OneWeek = Weeks | 1;
}  // namespace duration

// Settings-word bits of a category node key.
namespace catsetting {
inline constexpr int16_t PublicHoliday = 1;
inline constexpr int16_t Tickets = 2;
inline constexpr int16_t Priorities = 4;
}  // namespace catsetting

}  // namespace pellary
