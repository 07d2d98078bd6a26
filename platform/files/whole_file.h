// Whole-file reads and replaces, the one way this program writes a file it
// rewrites in full. A replace writes the new text to a temporary file in the
// target's own folder, flushes it to disk, renames it over the target and
// flushes the folder: after a crash the file is the old one or the new one,
// never a part, and a failed replace leaves the old file and no temporary.
// Serialising writers (a lock over read-change-write) is the caller's job.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pellary::platform::files {

// Why a replace failed: the step ("creating the new file", "writing the new
// file", ...) and the errno it met. Callers turn it into their own error.
class ReplaceFailed : public std::runtime_error {
 public:
  ReplaceFailed(std::string step, int error);
  const std::string& step() const { return step_; }
  int error() const { return error_; }

 private:
  std::string step_;
  int error_;
};

struct ReplaceOptions {
  // The temporary file's name starts with this ("." + the file's name + "." when empty).
  std::string tempPrefix;
  // Runs with the whole, flushed temporary file just before the rename.
  std::function<void(const std::filesystem::path& temp)> beforeRename;
  // Readable by the owner alone (settings); otherwise the usual rights under the umask.
  bool ownerOnly = false;
};

// Replaces file with text; the folder must exist. Throws ReplaceFailed.
void replaceWholeFile(const std::filesystem::path& file, std::string_view text, const ReplaceOptions& options = {});

// Writes all of text to fd, going on after interrupted writes; false with errno set on failure.
bool writeAll(int fd, std::string_view text);

// The whole of a regular file; nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

}  // namespace pellary::platform::files
