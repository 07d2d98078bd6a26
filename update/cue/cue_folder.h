// Where the update's files wait: the program folder's "Updates" and "CUE"
// folders and the files in them, found without regard to letter case.
#pragma once

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

// The whole file as bytes; raises FileNotFound / PathFileAccess.
std::string readWholeFile(const fs::path& path);
// Writes bytes to a new file beside path and renames it over path.
void writeWholeFile(const fs::path& path, std::string_view bytes);
// Deletes a loaded file; a file that stays raises PathFileAccess.
void deleteLoadedFile(const fs::path& path);

}  // namespace pellary::cue
