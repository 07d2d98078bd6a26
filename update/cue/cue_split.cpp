#include "update/cue/cue_split.h"

#include <map>

#include "platform/errors.h"
#include "platform/paths.h"
#include "update/cue/cue_folder.h"
#include "update/cue/cue_tables.h"
#include "update/cue/cue_values.h"

namespace pellary {

namespace cue {

bool isPlainSectionName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::vector<Section> parseSections(std::string_view bytes) {
  // Lines end in CR LF, CR or LF; a final line without its end still counts.
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back(bytes.substr(pos));
      break;
    }
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (bytes[end] == '\r' && pos < bytes.size() && bytes[pos] == '\n') ++pos;
  }

  std::vector<Section> out;
  std::map<std::string, size_t> byName;  // folded name -> position in out
  size_t i = 0;
  while (i < lines.size()) {
    // Blank lines after the last section end the file.
    size_t next = i;
    while (next < lines.size() && lines[next].empty()) ++next;
    if (next == lines.size()) break;
    std::string name(lines[i]);
    if (!isPlainSectionName(name))
      raise(err::InvalidCall, "Sections file line " + std::to_string(i + 1) + ": \"" + name +
                                  "\" is not a plain section name");
    const std::string closing = "/" + name;
    Section s{name, {}};
    if (++i == lines.size())
      raise(kInputPastEnd, "Sections file ends after the name line of section \"" + name + "\"");
    while (i < lines.size() && lines[i] != closing) {
      s.rows.append(lines[i]);
      s.rows += "\r\n";
      ++i;
    }
    if (i < lines.size()) ++i;  // the closing line
    std::string folded = paths::toLowerAscii(name);
    if (auto it = byName.find(folded); it != byName.end()) {
      out[it->second] = std::move(s);
    } else {
      byName[folded] = out.size();
      out.push_back(std::move(s));
    }
  }
  return out;
}

const std::vector<std::string_view>& packetSectionNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> n;
    for (const TableLayout* l : {&primaryLayout(), &secondaryLayout(), &tertiaryLayout(), &eventCatLayout(),
                                 &reTemplateLayout(), &reStructureLayout()})
      n.push_back(l->file.substr(0, l->file.size() - 4));
    n.push_back(kPageListSection);
    return n;
  }();
  return names;
}

bool isPacketSection(std::string_view name) {
  for (std::string_view n : packetSectionNames())
    if (paths::equalsIgnoreCase(name, n)) return true;
  return false;
}

void discardPacketFiles() {
  std::error_code ec;
  auto removeAll = [&](const fs::path& folder, auto&& wanted) {
    if (!fs::is_directory(folder, ec)) return;
    std::vector<fs::path> doomed;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (!entry.is_regular_file(ec) && !entry.is_symlink(ec)) continue;
      if (wanted(entry.path().filename().string())) doomed.push_back(entry.path());
    }
    for (const fs::path& p : doomed) fs::remove(p, ec);
  };
  removeAll(updatesFolder(), [](const std::string&) { return true; });
  removeAll(cueFolder(), [](const std::string& name) {
    if (paths::equalsIgnoreCase(name, kEventsFile)) return true;
    std::string lower = paths::toLowerAscii(name);
    if (lower.ends_with(".part")) return true;
    return lower.ends_with(".cue") && isPacketSection(std::string_view(name).substr(0, name.size() - 4));
  });
}

}  // namespace cue

void Bcue_SplitNewFile(const std::string& baseName) {
  trapped("Bcue_SplitNewFile", [&] {
    if (cue::fs::path member = cue::findUpdatesFile(baseName + ".de"); !member.empty()) {
      cue::writeWholeFile(cue::cueFileForWriting(cue::kEventsFile), cue::readWholeFile(member));
      cue::deleteLoadedFile(member);
    }
    if (cue::fs::path sections = cue::findUpdatesFile(baseName + ".new"); !sections.empty()) {
      // Checked whole before any table file is written.
      std::vector<cue::Section> parsed = cue::parseSections(cue::readWholeFile(sections));
      // Only what this program reads: a section no reader takes would wait in
      // "CUE" for a later packet, or for the populator, to meet it.
      for (const cue::Section& s : parsed)
        if (cue::isPacketSection(s.name)) cue::writeWholeFile(cue::cueFileForWriting(s.name + ".cue"), s.rows);
      cue::deleteLoadedFile(sections);
    }
  });
}

}  // namespace pellary
