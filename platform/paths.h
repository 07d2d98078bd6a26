// Where the program folder, the settings files and the stand-ins' state live,
// and the one mapping from the backslash paths the program writes to real files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pellary::paths {

namespace fs = std::filesystem;

// The user's home folder: HOME, else the password database's entry for this
// user; raises PathFileAccess when there is neither (never a shared folder).
fs::path homeFolder();

// PELLARY_HOME, else $XDG_DATA_HOME/pellary-almoner/program.
fs::path programFolder();
// PELLARY_SETTINGS, else $XDG_CONFIG_HOME/pellary-almoner.
fs::path settingsFolder();
// PELLARY_STANDINS, else $XDG_DATA_HOME/pellary-almoner/standins; the
// reference holds until the next call.
const fs::path& standinsFolder();

// The program folder as text, without a trailing separator ("App.Path").
std::string appPath();

// Maps a path written with backslashes (or slashes) onto the file system: every
// component that exists with other letter case is taken as it exists; the rest
// is kept as written, so that a new file is created with the name given.
fs::path resolve(std::string_view windowsPath);
// The same below a base folder: resolve(base, "\\CUE\\events.kest").
fs::path resolve(const fs::path& base, std::string_view relative);
// A path below the program folder.
fs::path inProgramFolder(std::string_view relative);

// A name that stays a single entry of the folder it is joined to: not empty,
// not "." or "..", no "/", "\\" or NUL.
bool isPlainFileName(std::string_view name);
// folder / name when name is plain (see above); otherwise raises PathFileAccess.
fs::path joinPlainName(const fs::path& folder, std::string_view name);

// Finds name inside folder without regard to letter case; empty when absent.
fs::path findCaseInsensitive(const fs::path& folder, std::string_view name);

// resolve() for a run that makes many files in a few folders: a folder is
// listed once, when a name is first missed in it, and what the run makes
// joins that listing (made()), so each lookup costs the same however full the
// folder grows. By default it does not see what others change in a folder it
// has read: keep one for the length of a run, and clear() it after removing
// files. With seeOthersChanges, a name missed in a folder that changed since
// it was read (its times or its inode differ, or it was read in the
// instant of a change) reads the folder again; made() counts the folder's
// change as the run's own, so a change by others in that same instant goes
// unseen.
class FolderNames {
 public:
  FolderNames() = default;
  explicit FolderNames(bool seeOthersChanges) : seeOthersChanges_(seeOthersChanges) {}
  fs::path resolve(const fs::path& base, std::string_view relative);
  // A file or folder the run made at path, as resolve() gave it.
  void made(const fs::path& path);
  void clear();

 private:
  // What a folder's status said when it was read.
  struct Stamp {
    unsigned long long inode = 0;
    long long modified = 0, changed = 0;  // nanoseconds
    bool operator==(const Stamp&) const = default;
  };
  struct Listing {
    // Each name folded to lower case, with its spelling.
    std::unordered_map<std::string, std::string> names;
    Stamp stamp;
    // Read so soon after a change that a later change may keep the same times.
    bool unsure = false;
  };
  static Stamp stampOf(const fs::path& folder);
  fs::path find(const fs::path& folder, std::string_view name);
  void read(const fs::path& folder, Listing& listing);
  bool seeOthersChanges_ = false;
  std::unordered_map<std::string, Listing> folders_;
};

// resolve() for a run that names many existing files in a few folders, each
// folder always written the same way: a folder an absolute path resolved to
// is kept by its written form, and a name that is there as written is taken
// from it without resolving the folder again; anything else (a name missed,
// a folder not seen before, a relative path) is resolved whole, as resolve()
// does, so a folder others renamed or removed meanwhile is found afresh.
class ResolvedFolders {
 public:
  fs::path resolve(std::string_view windowsPath);
  void clear() { folders_.clear(); }

 private:
  std::unordered_map<std::string, fs::path> folders_;
};

// This platform has no short (8.3) names: the path itself when it names an
// existing file or folder (a trailing separator kept), else the empty text.
std::string shortPathName(std::string_view windowsPath);

// Puts folder at the end of this process's PATH, keeping the whole former
// value. An empty folder and one already on the path (trailing separators
// aside) change nothing: an empty entry would search the current folder, and
// a repeated one only makes the path grow. False when PATH could not be set.
bool appendToSearchPath(const std::string& folder);

// The folder of the system's standard programs: the first existing folder of
// the system's default search path (confstr _CS_PATH).
std::string systemProgramFolder();

// ASCII case folding used for every name comparison of the program.
// Inline: every late-bound call looks its member's name up with it.
inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}
std::string toLowerAscii(std::string_view s);
std::string toUpperAscii(std::string_view s);

}  // namespace pellary::paths
