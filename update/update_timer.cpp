#include "update/update_timer.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/wizard/update_interval.h"
#include "platform/files/whole_file.h"
#include "platform/process/process.h"

namespace pellary::timer {

namespace fs = std::filesystem;

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// A path a unit file can hold: absolute, no control characters.
bool fitsAUnitFile(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

// One word of a unit file's command line or assignment, quoted: systemd
// expands "%" specifiers and "$" variables and reads "\" as an escape.
std::string quotedForUnit(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%') out += '%';
    if (c == '$') out += '$';
    out += c;
  }
  return out + "\"";
}

std::string intervalText(int32_t code) {
  for (const UpdateInterval& i : kUpdateIntervals)
    if (i.code == code) return i.text;
  const int unit = code / 1000, quantity = code % 1000;
  const char* what = unit == 2 ? "hours" : unit == 3 ? "days" : "weeks";
  return "Every " + std::to_string(quantity) + " " + what;
}

// The folder variables the timed run must see to work on this installation.
constexpr const char* kCarriedVariables[] = {"PELLARY_HOME", "PELLARY_SETTINGS", "PELLARY_STANDINS"};

int runSystemctl(const std::vector<std::string>& args) {
  int status = -1;
  const uint32_t r =
      platform::process::runAndWait(systemctlProgram(), args, platform::process::kHide, 30000, nullptr, &status);
  return r == platform::process::kWaitEnded ? status : -1;
}

}  // namespace

fs::path unitFolder() {
  if (std::string d = env("PELLARY_SYSTEMD_USER_DIR"); !d.empty()) return d;
  if (std::string c = env("XDG_CONFIG_HOME"); !c.empty() && c[0] == '/') return fs::path(c) / "systemd" / "user";
  return fs::path(env("HOME")) / ".config" / "systemd" / "user";
}

std::string systemctlProgram() {
  std::string p = env("PELLARY_SYSTEMCTL");
  return p.empty() ? "systemctl" : p;
}

fs::path pelmonBesideThisProgram() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path("pelmon") : self.parent_path() / "pelmon";
}

std::optional<std::string> onCalendarFor(int32_t code) {
  const int unit = code / 1000, quantity = code % 1000;
  if (quantity <= 0 || code > 99999) return std::nullopt;
  switch (unit) {
    case 2:
      if (quantity == 1) return "hourly";
      if (quantity < 24) return "*-*-* 00/" + std::to_string(quantity) + ":00:00";
      return std::nullopt;
    case 3:
      if (quantity == 1) return "daily";
      if (quantity <= 31) return "*-*-01/" + std::to_string(quantity) + " 00:00:00";
      return std::nullopt;
    case 4:
      if (quantity == 1) return "weekly";
      if (quantity == 4) return "monthly";  // "Every month"
      return std::nullopt;
    default: return std::nullopt;
  }
}

std::string serviceUnitText(const fs::path& pelmon) {
  std::string t =
      "# Written by Pellary Almoner when the update interval is saved.\n"
      "[Unit]\n"
      "Description=Pellary Almoner timed update run\n"
      "# An offered update is accepted in the portal window: the run needs the\n"
      "# user's graphical session.\n"
      "After=graphical-session.target\n"
      "PartOf=graphical-session.target\n"
      "\n"
      "[Service]\n"
      "Type=exec\n"
      "ExecStart=" +
      quotedForUnit(pelmon.string()) + " cue_timed\n";
  for (const char* name : kCarriedVariables)
    if (std::string v = env(name); !v.empty() && fitsAUnitFile(v))
      t += "Environment=" + quotedForUnit(std::string(name) + "=" + v) + "\n";
  return t;
}

std::string timerUnitText(int32_t code, const std::string& onCalendar) {
  return "# Written by Pellary Almoner when the update interval is saved.\n"
         "[Unit]\n"
         "Description=Pellary Almoner updates: " +
         intervalText(code) +
         "\n"
         "After=graphical-session.target\n"
         "PartOf=graphical-session.target\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=" +
         onCalendar +
         "\n"
         "# A run missed while the machine was off is made up at the next start.\n"
         "Persistent=true\n"
         "Unit=" +
         std::string(kServiceUnit) +
         "\n"
         "\n"
         "[Install]\n"
         "WantedBy=graphical-session.target\n";
}

Outcome applyUpdateTimer(int32_t code, const fs::path& pelmon) {
  Outcome out;
  const fs::path folder = unitFolder();
  const fs::path timerFile = folder / kTimerUnit, serviceFile = folder / kServiceUnit;
  const std::optional<std::string> calendar = onCalendarFor(code);
  std::error_code ec;
  if (!calendar) {
    // Manual updates (or an interval no timer can keep): nothing runs by itself.
    const bool had = fs::exists(timerFile, ec) || fs::exists(serviceFile, ec);
    if (had) runSystemctl({"--user", "disable", "--now", kTimerUnit});
    fs::remove(timerFile, ec);
    fs::remove(serviceFile, ec);
    out.removed = !fs::exists(timerFile, ec) && !fs::exists(serviceFile, ec);
    if (had)
      out.managerTook = runSystemctl({"--user", "daemon-reload"}) == 0;
    else
      out.managerTook = true;
    if (!out.removed) out.notice = "The update timer in " + folder.string() + " could not be removed.";
    return out;
  }
  if (!pelmon.is_absolute() || !fitsAUnitFile(pelmon.string()) || !fitsAUnitFile(folder.string())) {
    out.notice = "The update timer was not written: the program's path cannot be named in a unit file.";
    return out;
  }
  try {
    fs::create_directories(folder);
    platform::files::replaceWholeFile(serviceFile, serviceUnitText(pelmon));
    platform::files::replaceWholeFile(timerFile, timerUnitText(code, *calendar));
    out.installed = true;
  } catch (const std::exception& e) {
    out.notice = "The update timer could not be written to " + folder.string() + ": " + e.what();
    return out;
  }
  out.managerTook = runSystemctl({"--user", "daemon-reload"}) == 0 &&
                    runSystemctl({"--user", "enable", "--now", kTimerUnit}) == 0;
  if (!out.managerTook)
    out.notice = "The update timer is written to " + folder.string() +
                 " but could not be enabled: no user service manager answered. Run \"systemctl --user enable --now " +
                 kTimerUnit + "\" in your desktop session.";
  return out;
}

void Bint_ApplyUpdateTimer(int32_t code) {
  static bool said = false;
  Outcome o = applyUpdateTimer(code);
  if (!o.notice.empty() && !said) {
    said = true;
    std::fprintf(stderr, "pelmon: %s\n", o.notice.c_str());
  }
}

}  // namespace pellary::timer
