// Where the update's files wait: the program folder's "Updates" and "CUE"
// folders and the files in them, found without regard to letter case.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace pellary::cue {

namespace fs = std::filesystem;

// The folder as it exists in any letter case, else the name as written.
fs::path cueFolder();
fs::path updatesFolder();

// An existing file of that name in "CUE"; empty when there is none.
fs::path findCueFile(std::string_view name);
fs::path findUpdatesFile(std::string_view name);

// The path to write a file of that name in "CUE": an existing file of any
// letter case is replaced under its own name. Creates "CUE" when missing.
fs::path cueFileForWriting(std::string_view name);

// Copies a file to a new file beside to and renames it over to.
void copyWholeFile(const fs::path& from, const fs::path& to);
// Deletes a loaded file; a file that stays raises PathFileAccess.
void deleteLoadedFile(const fs::path& path);

// A file is taken only once it is complete: its size and modification time,
// read before the load and compared again before its rows are kept.
struct FileStamp {
  uintmax_t size = 0;
  fs::file_time_type modified{};
  bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const fs::path& path);
// The file's stamp once it has stood still: a file changed less than settle
// ago is looked at again after that long. A file that changed in between is
// still being written: PathFileAccess, and it stays for the next run.
FileStamp settledStamp(const fs::path& path, std::chrono::milliseconds settle);
// Raises PathFileAccess when the file changed since its stamp was taken.
void checkUnchanged(const fs::path& path, const FileStamp& before);

}  // namespace pellary::cue
