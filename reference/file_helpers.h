// Whole-file reads, writes and copies of the reference generator and its
// copiers. Failures raise the error numbers the callers report: 53 for a
// missing source, 76 for a missing target folder, 75 for a failed write.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pellary {

// A file's bytes; raises 53 when it cannot be read.
std::string readWholeFile(const std::filesystem::path& p);
// Replaces or creates the file with the bytes; raises 76 for a missing
// folder and 75 when it cannot be written.
void writeWholeFile(const std::filesystem::path& p, const std::string& bytes);
// Writes a file into a folder the run emptied, without a flush of its own
// (a page costs its write, not a disk round trip); the run flushes once at
// its end with flushFolder. A link in its place is replaced, never followed.
// Raises 76 for a missing folder and 75 when it cannot be written.
void writeNewFile(const std::filesystem::path& p, const std::string& bytes);
// Flushes what was written on the folder's file system to disk; raises 75.
void flushFolder(const std::filesystem::path& folder);
// Copies a file over any file of that name; raises 53 for a missing source.
void copyFileOver(const std::filesystem::path& from, const std::filesystem::path& to);
// The names of the normal files of a folder, in name order; none for a missing folder.
std::vector<std::string> listNormalFiles(const std::filesystem::path& folder);

}  // namespace pellary
