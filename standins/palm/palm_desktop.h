// Palm Desktop on this system: the desktop folder with one folder per HotSync
// user, its settings keys, the install queue and HotSync manager state, the
// user-manager / user-data / HotSync controls (late-bound) and the Date Book
// conduit. Everything lives in files under the stand-in root, so a later run
// sees what an earlier one wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pellary::standins::palm {

namespace fs = std::filesystem;

// HKEY_CURRENT_USER key of the desktop's settings ("Path", "HotSyncPath").
inline constexpr const char* kCoreKey = "Software\\U.S. Robotics\\Pilot Desktop\\Core";

// Class names of the controls.
inline constexpr const char* kUserManagerClass = "PALMCNTLLibCtl.UserManager";
inline constexpr const char* kUserDataClass = "PALMCNTLLibCtl.UserData";
inline constexpr const char* kHotSyncApiClass = "PALMCNTLLibCtl.HotSyncApi";

// Statuses the controls return.
namespace status {
inline constexpr int32_t Ok = 0;
inline constexpr int32_t NoSuchUser = -1;
inline constexpr int32_t NoUserSelected = -2;
inline constexpr int32_t FileNotFound = -3;
inline constexpr int32_t NotRunning = -4;
inline constexpr int32_t AlreadyQueued = -512;  // counts as success
}  // namespace status

struct PalmUser {
  int32_t id = 0;
  std::string name;
  std::string folder;  // below the desktop folder
  bool profile = false;
};

// <stand-in root>/PalmDesktop.
fs::path desktopFolder();
// Creates the desktop folder and its HotSync program file and writes "Path"
// and "HotSyncPath" under kCoreKey.
void installDesktop();
// Adds a user (or profile) with its folder and an empty Date Book; the ID is
// the next free one unless given.
PalmUser addUser(const std::string& name, bool profile = false, std::optional<int32_t> id = std::nullopt);
std::vector<PalmUser> users();
std::optional<PalmUser> findUser(int32_t id);
fs::path userFolder(const PalmUser& user);
// <user folder>/Datebook/Datebook.dat.
fs::path datebookFile(const PalmUser& user);

// Files queued for installation on the user's device at the next HotSync.
std::vector<std::string> installQueue(int32_t userId);
// Ok, AlreadyQueued for a file already in the queue, FileNotFound, NoSuchUser.
int32_t queueInstall(int32_t userId, const std::string& file);

struct HotSyncState {
  bool running = true;
  // Whether the control itself can start the manager again.
  bool restartable = true;
  int stops = 0;
  int starts = 0;
};
HotSyncState hotSyncState();
void setHotSyncState(const HotSyncState& state);

// Desktop tools the program starts ("condreg.exe", "RestartHS.exe") are
// recorded, not run. Starting RestartHS.exe marks the manager running.
struct ToolStart {
  std::string program;
  std::string parameters;
  std::string folder;
};
// Returns a ShellExecute-like result (42).
int32_t recordToolStart(const std::string& program, const std::string& parameters, const std::string& folder);
std::vector<ToolStart> toolStarts();

// One Date Book entry as the stand-in keeps it (UTF-8 texts).
struct DatebookEntry {
  int16_t startDay = 0, startMonth = 0, startYear = 0;
  int16_t endDay = 0, endMonth = 0, endYear = 0;
  std::string title;
  std::string note;
  bool operator==(const DatebookEntry&) const = default;
};
// A missing file reads as no entries; a damaged one raises err::DbNotDatabase.
std::vector<DatebookEntry> readDatebook(const fs::path& file);
void writeDatebook(const fs::path& file, const std::vector<DatebookEntry>& entries);

// The conduit library's entry: applies the exchange file's records to the Date
// Book (created when missing): an add appends an entry, a delete removes the
// first entry with the same title and start day. Paths are Windows-1252 and
// may be written with backslashes. Returns the number of records applied, -1 when a file cannot be
// read or the exchange file is malformed (nothing is applied then).
int32_t MyOpenConduit(const char* datebookPath, const char* exchangePath);

// Registers the three controls as built-in classes (repeating it is harmless).
void registerPalmControls();

}  // namespace pellary::standins::palm
