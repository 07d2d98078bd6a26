// The record of what a local folder's items held at the last flush, so that
// a run reads only the files changed since.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "standins/outlook/outlook_store.h"

namespace pellary::standins::outlook {

// What a local folder's items held when it was last flushed: file name and
// item, with the file's version then. Empty when there is no such record or
// it is damaged; a record is only a hint, checked against each file's version.
std::vector<std::pair<std::string, Appointment>> readItemCache(const std::filesystem::path& dir);
// Raises when it cannot be written.
void writeItemCache(const std::filesystem::path& dir,
                    const std::vector<std::pair<std::string, const Appointment*>>& items);

}  // namespace pellary::standins::outlook
