// The entry lines of a stand-in's state file that later "deleted <n>" lines
// drop by their place among the entry lines read before them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/state_file.h"

namespace pellary::standins {

// Marks entry n gone for a "deleted n" line; false when fewer than n + 1
// entries came before it (the file is damaged).
inline bool markGone(const std::string& index, std::vector<bool>& gone) {
  const size_t n = std::strtoul(index.c_str(), nullptr, 10);
  if (n >= gone.size()) return false;
  gone[n] = true;
  return true;
}

// What readAll finds in the file, without the entries marked gone.
template <class Content>
Content readLive(const std::filesystem::path& file,
                 Content (*readAll)(const std::filesystem::path&, std::vector<bool>&)) {
  std::vector<bool> gone;
  Content content = readAll(file, gone);
  platform::standins::dropGone(content.entries, gone);
  return content;
}

}  // namespace pellary::standins
