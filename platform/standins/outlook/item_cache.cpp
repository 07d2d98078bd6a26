// What a folder's items held when the program last flushed it, kept beside
// them, so that the next run reads only the files that changed since: an
// entry counts only while its file still has the version it was cached at.
#include <cstdio>
#include <cstdlib>

#include "platform/files/whole_file.h"
#include "platform/standins/outlook/item_files.h"
#include "platform/standins/outlook/outlook_store.h"

namespace pellary::platform::outlook {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCacheFile = ".outlook-items";
constexpr const char* kHeader = "pellary outlook items 1\n";

void putField(std::string& out, const std::string& s) {
  if (!out.empty() && out.back() != '\n') out += '\t';
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

std::string number(double d) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", d);
  return b;
}

// The tab-separated fields of one line, unescaped; false when a field is malformed.
bool splitLine(const std::string& text, size_t from, size_t end, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  for (size_t i = from; i < end; ++i) {
    char c = text[i];
    if (c == '\t') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\\') {
      if (++i >= end) return false;
      switch (text[i]) {
        case '\\': field += '\\'; break;
        case 't': field += '\t'; break;
        case 'n': field += '\n'; break;
        case 'r': field += '\r'; break;
        default: return false;
      }
    } else {
      field += c;
    }
  }
  fields.push_back(std::move(field));
  return true;
}

}  // namespace

std::vector<std::pair<std::string, Appointment>> readItemCache(const fs::path& dir) {
  std::vector<std::pair<std::string, Appointment>> out;
  std::optional<std::string> text = platform::files::readWholeFile(dir / kCacheFile);
  const std::string header = kHeader;
  if (!text || text->compare(0, header.size(), header) != 0) return out;
  std::vector<std::string> f;
  for (size_t from = header.size(); from < text->size();) {
    size_t nl = text->find('\n', from);
    if (nl == std::string::npos) return {};  // cut short: none of it counts
    if (!splitLine(*text, from, nl, f) || f.size() != 10 || !files::isItemFile(f[0].c_str())) return {};
    Appointment a;
    a.version = f[1];
    a.entryID = f[2];
    a.subject = f[3];
    a.body = f[4];
    a.categories = f[5];
    a.allDay = f[6] == "1";
    a.start = std::strtod(f[7].c_str(), nullptr);
    a.end = std::strtod(f[8].c_str(), nullptr);
    a.reminderSet = f[9] == "1";
    out.emplace_back(std::move(f[0]), std::move(a));
    from = nl + 1;
  }
  return out;
}

void writeItemCache(const fs::path& dir, const std::vector<std::pair<std::string, const Appointment*>>& items) {
  std::string text = kHeader;
  text.reserve(items.size() * 160);
  for (const auto& [file, a] : items) {
    putField(text, file);
    putField(text, a->version);
    putField(text, a->entryID);
    putField(text, a->subject);
    putField(text, a->body);
    putField(text, a->categories);
    putField(text, a->allDay ? "1" : "0");
    putField(text, number(a->start));
    putField(text, number(a->end));
    putField(text, a->reminderSet ? "1" : "0");
    text += '\n';
  }
  platform::files::replaceWholeFile(dir / kCacheFile, text);
}

}  // namespace pellary::platform::outlook
