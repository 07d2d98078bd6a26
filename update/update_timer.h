// What starts the timed update runs on Linux: a systemd user timer and its
// service, which run "pelmon cue_timed" at the interval the user saved on the
// update-settings page. An offered update is accepted in the portal window,
// so the units belong to the user's graphical session: they start with it and
// stop with it, and a run missed while the machine was off is made up at the
// next start (Persistent=true).
//
// The units are two small files in the user's unit folder
// ($XDG_CONFIG_HOME/systemd/user, or PELLARY_SYSTEMD_USER_DIR), each replaced
// whole. The choice of manual updates removes them. The service manager is
// asked through systemctl, started with an argument vector (never a shell);
// where no user manager runs (a container, CI) the files are still written and
// the outcome says so. Paths that a unit file cannot hold safely (a line break
// or another control character) write nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pellary::timer {

inline constexpr const char* kTimerUnit = "pellary-almoner-update.timer";
inline constexpr const char* kServiceUnit = "pellary-almoner-update.service";

// PELLARY_SYSTEMD_USER_DIR, else $XDG_CONFIG_HOME/systemd/user, else
// ~/.config/systemd/user.
std::filesystem::path unitFolder();
// The systemctl program: PELLARY_SYSTEMCTL, else "systemctl" on PATH.
std::string systemctlProgram();
// The pelmon beside the running program.
std::filesystem::path pelmonBesideThisProgram();

// The calendar event (OnCalendar=) of an interval code (UUQQQ as a number:
// unit 2 hours, 3 days, 4 weeks); nothing for a code no calendar event
// expresses (the manual "00000" among them).
std::optional<std::string> onCalendarFor(int32_t code);

// The unit files' text. The service carries the program folder, settings and
// stand-in variables of this run when they are set, so the timed run works on
// the same installation.
std::string serviceUnitText(const std::filesystem::path& pelmon);
std::string timerUnitText(int32_t code, const std::string& onCalendar);

struct Outcome {
  bool installed = false;    // the two files are written
  bool removed = false;      // the files are gone (manual updates)
  bool managerTook = false;  // systemctl took the change
  std::string notice;        // for the user, when something could not be done
};

// Installs or updates the units for code, or removes them when the code has
// no interval. Never raises.
Outcome applyUpdateTimer(int32_t code, const std::filesystem::path& pelmon = pelmonBesideThisProgram());

// As applyUpdateTimer, then says a notice once per run on standard error.
void Bint_ApplyUpdateTimer(int32_t code);

}  // namespace pellary::timer
