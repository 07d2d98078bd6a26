// Turning the unpacked members of an update packet into the files of "CUE".
#pragma once

#include <filesystem>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace pellary {

namespace cue {
struct Section {
  std::string name;
  std::string rows;  // each row line ended by CR LF
};
// The sections of a sections file, checked: every name a plain name (letters,
// digits, "_" and "-"), so that no section becomes a path of its own. A last
// section without its closing line keeps all its rows. A name repeated (in any
// letter case) gives its rows to the later section; blank lines after the
// last section are passed over. Raises InvalidCall for a name that is not
// plain, and "Input past end of file" for a name line that ends the file.
std::vector<Section> parseSections(std::string_view bytes);
bool isPlainSectionName(std::string_view name);

// The same reading of a stream, line by line: section() for each name line,
// row() for each row of it. Raises as parseSections does.
void walkSections(std::istream& in, const std::function<void(const std::string&)>& section,
                  const std::function<void(const std::string&)>& row);

// Splits a sections file into "CUE" in two passes over it (memory does not
// grow with the file): the whole file checked first, then each section this
// program reads written to "<name>.cue"; a refused file writes nothing.
void splitSectionsFile(const std::filesystem::path& sections);

// The sections an update packet brings that this program reads: the six
// table files and the page list (letter case aside).
inline constexpr std::string_view kPageListSection = "REPAGES";
const std::vector<std::string_view>& packetSectionNames();
bool isPacketSection(std::string_view name);

// Removes every file of an update packet: all of "Updates", and in "CUE" the
// table files, "events.kest", the page list and half-written ".part" files.
// Other files of "CUE" (the replies, Hushbank's "Product.cue") stay.
void discardPacketFiles();
}  // namespace cue

// Copies "Updates\<base>.de" to "CUE\events.kest" and splits
// "Updates\<base>.new" into one "CUE\<section>.cue" per section this program
// reads (others are passed over); each member is deleted once done. A missing member is skipped. Errors are reported
// under "Bcue_SplitNewFile"; a refused sections file writes no table file and stays.
void Bcue_SplitNewFile(const std::string& baseName);

}  // namespace pellary
