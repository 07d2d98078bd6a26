// The program's help, written into the program folder's "Help" folder by the
// installation: one page per topic number the program opens ("topic<N>.htm"),
// the contents page "index.htm" listing every topic, and the search page
// "search.htm", which finds topics by the words of their text in the browser.
// The pages are the program's own files: an installation replaces them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pellary::install {

struct HelpTopic {
  int32_t number;
  const char* title;
  const char* text;  // paragraphs separated by "\n"
};

// Every topic the program opens by number.
const std::vector<HelpTopic>& helpTopics();

// Writes the pages into folder (created when missing).
void writeHelpPages(const std::filesystem::path& folder);

}  // namespace pellary::install
