#include "update/cue/cue_split.h"

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

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

namespace {

// Lines of a stream, block by block: a line ends in CR LF, CR or LF; a final
// line without its end still counts.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in) {}
  bool read(std::string& line) {
    line.clear();
    bool partial = false;
    for (;;) {
      if (pos_ == buf_.size() && !fill()) return partial;
      if (skipLf_) {
        skipLf_ = false;
        if (buf_[pos_] == '\n') {
          ++pos_;
          continue;
        }
      }
      const size_t end = buf_.find_first_of("\r\n", pos_);
      if (end == std::string::npos) {
        if (line.size() + (buf_.size() - pos_) > kMostValueBytes) tooLong();
        line.append(buf_, pos_, std::string::npos);
        pos_ = buf_.size();
        partial = true;
        continue;
      }
      if (line.size() + (end - pos_) > kMostValueBytes) tooLong();
      line.append(buf_, pos_, end - pos_);
      skipLf_ = buf_[end] == '\r';
      pos_ = end + 1;
      return true;
    }
  }

 private:
  // A line is held whole, so it has the table files' cap.
  [[noreturn]] static void tooLong() {
    raise(err::TooLarge, "The sections file holds a line longer than " + std::to_string(kMostValueBytes) + " bytes");
  }
  bool fill() {
    buf_.resize(1 << 16);
    in_.read(buf_.data(), std::streamsize(buf_.size()));
    buf_.resize(size_t(in_.gcount()));
    pos_ = 0;
    if (in_.bad()) raise(err::PathFileAccess, "Path/File access error while reading the sections file");
    return !buf_.empty();
  }

  std::istream& in_;
  std::string buf_;
  size_t pos_ = 0;
  bool skipLf_ = false;  // a CR ended the last line; an LF right after belongs to it
};

}  // namespace

void walkSections(std::istream& in, const std::function<void(const std::string&)>& section,
                  const std::function<void(const std::string&)>& row) {
  LineReader lines(in);
  std::string line;
  long number = 0;
  while (lines.read(line)) {
    ++number;
    if (line.empty()) {
      // Blank lines after the last section end the file.
      long blank = number;
      while (lines.read(line) && (++number, line.empty())) {
      }
      if (line.empty()) return;
      number = blank;
      line.clear();
    }
    const std::string name = line;
    if (!isPlainSectionName(name))
      raise(err::InvalidCall,
            "Sections file line " + std::to_string(number) + ": \"" + clipped(name) + "\" is not a plain section name");
    const std::string closing = "/" + name;
    if (!lines.read(line))
      raise(kInputPastEnd, "Sections file ends after the name line of section \"" + clipped(name) + "\"");
    ++number;
    section(name);
    for (;;) {
      if (line == closing) break;
      row(line);
      if (!lines.read(line)) return;
      ++number;
    }
  }
}

std::vector<Section> parseSections(std::string_view bytes) {
  std::istringstream in{std::string(bytes)};
  std::vector<Section> out;
  std::map<std::string, size_t> byName;  // folded name -> position in out
  Section* current = nullptr;
  walkSections(
      in,
      [&](const std::string& name) {
        std::string folded = paths::toLowerAscii(name);
        if (auto it = byName.find(folded); it != byName.end()) {
          out[it->second] = Section{name, {}};
          current = &out[it->second];
        } else {
          byName[folded] = out.size();
          out.push_back(Section{name, {}});
          current = &out.back();
        }
      },
      [&](const std::string& line) {
        current->rows.append(line);
        current->rows += "\r\n";
      });
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

void splitSectionsFile(const fs::path& sections) {
  auto open = [&] {
    std::ifstream in(sections, std::ios::binary);
    if (!in) raise(err::FileNotFound, "File not found: " + sections.string());
    return in;
  };
  // First the whole file is checked, then the table files are written, each
  // beside its place and renamed into it once all are whole.
  {
    std::ifstream in = open();
    walkSections(
        in, [](const std::string&) {}, [](const std::string&) {});
  }
  std::map<std::string, std::pair<fs::path, fs::path>> parts;  // folded name -> part file, target
  try {
    std::ifstream in = open();
    std::ofstream out;
    auto finish = [&out] {
      if (!out.is_open()) return;
      out.close();
      if (out.fail()) raise(err::PathFileAccess, "Path/File access error while writing a table file");
    };
    walkSections(
        in,
        [&](const std::string& name) {
          finish();
          // Only what this program reads: a section no reader takes would wait
          // in "CUE" for a later packet, or for the populator, to meet it.
          if (!isPacketSection(name)) return;
          fs::path target = cueFileForWriting(name + ".cue");
          fs::path part = target;
          part += ".part";
          parts[paths::toLowerAscii(name)] = {part, target};
          out.open(part, std::ios::binary | std::ios::trunc);  // a later section of the name replaces it
          if (!out) raise(err::PathFileAccess, "Path/File access error: " + part.string());
        },
        [&](const std::string& line) {
          if (!out.is_open()) return;
          out << line << "\r\n";
          if (!out) raise(err::PathFileAccess, "Path/File access error while writing a table file");
        });
    finish();
    for (auto& [name, files] : parts) fs::rename(files.first, files.second);
  } catch (...) {
    std::error_code ec;
    for (auto& [name, files] : parts) fs::remove(files.first, ec);
    throw;
  }
}

}  // namespace cue

void Bcue_SplitNewFile(const std::string& baseName) {
  trapped("Bcue_SplitNewFile", [&] {
    if (cue::fs::path member = cue::findUpdatesFile(baseName + ".de"); !member.empty()) {
      cue::copyWholeFile(member, cue::cueFileForWriting(cue::kEventsFile));
      cue::deleteLoadedFile(member);
    }
    if (cue::fs::path sections = cue::findUpdatesFile(baseName + ".new"); !sections.empty()) {
      cue::splitSectionsFile(sections);
      cue::deleteLoadedFile(sections);
    }
  });
}

}  // namespace pellary
