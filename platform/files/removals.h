// Files removed in the background. A caller first renames the file out of
// sight (readers of the folder no longer see it), then hands the hidden name
// here: each unlink waits on the disk (a mount with discard waits for the
// device), and a few at once cost little more than one.
#pragma once

#include <memory>
#include <string>

namespace pellary::platform::files {

// An open directory shared with the removals still queued in it.
using SharedDirFd = std::shared_ptr<const int>;
// A copy of an open directory's descriptor for sharing, closed with its last
// holder; null when none is left.
SharedDirFd shareDir(int dirfd);

// Queues the removal of name in dir.
void removeLater(const SharedDirFd& dir, std::string name);
// Returns once every removal queued so far is done.
void finishRemovals();

}  // namespace pellary::platform::files
