// The line format of the stand-ins' state files: tab-separated fields whose
// escapes keep any text on one line. It sits below the stand-ins because core
// writes its own journals in the same lines and waits on the stand-ins' saves.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pellary::platform::standins {

// Backslash, tab, CR and LF become \\, \t, \r and \n.
std::string escape(const std::string& s);
std::string unescape(const std::string& s);
// The fields of a line, as they stand (not unescaped); one field at least.
std::vector<std::string> split(const std::string& line);

// Replaces the whole state file (see files::replaceWholeFile), making its
// folder first; a failure raises 57 naming what was written.
void replaceFile(const std::filesystem::path& file, const std::string& content, const std::string& what);

// A state file open for appending: each append is one write at the file's
// end, so what a stand-in saved is kept whatever follows. A failure raises 57
// naming what was written.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  // False when the file cannot be opened for writing (it is never created).
  bool open(const std::filesystem::path& file, const std::string& what);
  bool isOpen() const { return fd_ >= 0; }
  void append(const std::string& text);
  void close();

 private:
  int fd_ = -1;
  std::filesystem::path file_;
  std::string what_;
};

// Reads a state file line by line: raises 53 when it is missing and 321 when
// its first line is not header; every other non-empty line goes, split into
// its fields, to take, which returns false for a line it does not know (321,
// the file is damaged). what names the file in the messages ("Notes database").
void readStateFile(const std::filesystem::path& file, std::string_view header, const std::string& what,
                   const std::function<bool(const std::vector<std::string>& fields)>& take);

// Drops the items marked gone (both lists in the same order).
template <class T>
void dropGone(std::vector<T>& items, const std::vector<bool>& gone) {
  size_t i = 0;
  std::erase_if(items, [&](const T&) { return gone[i++]; });
}

// Appends to an existing state file in one write.
void appendToFile(const std::filesystem::path& file, const std::string& text, const std::string& what);

// A stand-in that leaves the flush of its saves for later registers it here;
// whoever records what was written (the profile commit) calls syncSaved first,
// so that nothing is recorded that a crash could still take away.
void onSyncSaved(std::function<void()> flush);
void syncSaved();

// The file a stand-in is about to change, told before the change to whoever
// asked with watchNextChange (once: the watch is then gone). The record of a
// write pass notes the file's state there, so that after a run ended at any
// point the next start can tell whether the change landed.
void watchNextChange(std::function<void(const std::filesystem::path& file)> watch);
void stopWatching();
void aboutToChange(const std::filesystem::path& file);
// The same for name in folder, joined only when someone watches.
void aboutToChange(const std::filesystem::path& folder, std::string_view name);

// A path with a drive letter ("C:\Files\Diary") lies in the drive's folder
// below the stand-in's own folder; any other path is a path of this machine.
std::filesystem::path drivePath(const std::string& standin, std::string_view path);

}  // namespace pellary::platform::standins
