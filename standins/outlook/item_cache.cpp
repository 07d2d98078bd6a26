// What a folder's items held when the program last flushed it, kept beside
// them, so that the next run reads only the files that changed since: an
// entry counts only while its file still has the version it was cached at.
#include "standins/outlook/item_cache.h"

#include <charconv>

#include "platform/files/whole_file.h"
#include "platform/state_file.h"
#include "standins/outlook/local_files.h"
#include "standins/outlook/outlook_store.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

namespace fs = std::filesystem;

namespace {

constexpr const char* kCacheFile = ".outlook-items";
constexpr const char* kHeader = "pellary outlook items 1\n";

void putField(std::string& line, const std::string& value) {
  line += '\t';
  line += platform::standins::escape(value);
}

// The shortest text that reads back as the same double.
std::string number(double d) {
  char b[40];
  return std::string(b, std::to_chars(b, b + sizeof b, d).ptr);
}

// Whatever the program's locale.
bool toNumber(const std::string& s, double& out) {
  return std::from_chars(s.data(), s.data() + s.size(), out).ec == std::errc();
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
    f = platform::standins::split(text->substr(from, nl - from));
    if (f.size() != 11 || f[0] != "I") return {};
    for (std::string& field : f) field = platform::standins::unescape(field);
    if (!files::isItemFile(f[1].c_str())) return {};
    Appointment a;
    a.version = f[2];
    a.entryID = f[3];
    a.subject = f[4];
    a.body = f[5];
    a.categories = f[6];
    a.allDay = f[7] == "1";
    if (!toNumber(f[8], a.start) || !toNumber(f[9], a.end)) return {};
    a.reminderSet = f[10] == "1";
    out.emplace_back(std::move(f[1]), std::move(a));
    from = nl + 1;
  }
  return out;
}

void writeItemCache(const fs::path& dir, const std::vector<std::pair<std::string, const Appointment*>>& items) {
  std::string text = kHeader;
  text.reserve(items.size() * 160);
  for (const auto& [file, a] : items) {
    text += 'I';
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
  // Written whole and renamed in, without a flush of its own: a record cut
  // short by a crash fails its checks and is passed over.
  files::DirFd fd(dir);
  const std::string name = kCacheFile;
  files::putFile(fd.get(), name, text, files::Put::Replace, files::statVersion(fd.get(), name), false, dir, name);
}

}  // namespace pellary::standins::outlook
