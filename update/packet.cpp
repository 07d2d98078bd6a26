#include "update/packet.h"

#include <sys/stat.h>
#include <zip.h>

#include <fstream>
#include <memory>
#include <vector>

#include "platform/errors.h"
#include "platform/paths.h"
#include "update/update_manager.h"

namespace pellary {

namespace fs = std::filesystem;

namespace {

struct Member {
  zip_uint64_t index;
  std::string file;  // the name it gets in the folder
  zip_uint64_t declared = 0;
};

[[noreturn]] void tooLarge(const std::string& file, int64_t most) {
  raise(err::TooLarge, "The update packet member " + file + " is larger than " + std::to_string(most) +
                           " bytes; the packet is refused");
}

[[noreturn]] void refuse(const std::string& name) {
  raise(err::PathFileAccess, "The update packet holds a member that may not be unpacked: " + clipped(name, 80));
}

bool isLink(zip_t* zip, zip_uint64_t index) {
  zip_uint8_t os = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(zip, index, 0, &os, &attributes) != 0) return false;
  if (os != ZIP_OPSYS_UNIX) return false;
  return S_ISLNK(attributes >> 16);
}

// "Updates/<name>" or "<name>", "\" read as "/", any letter case: the name
// left once the folder is taken off; empty for the folder itself.
bool withoutUpdatesFolder(std::string name, std::string& rest) {
  for (char& c : name)
    if (c == '\\') c = '/';
  const std::string folder = "updates/";
  if (name.size() >= folder.size() && paths::equalsIgnoreCase(name.substr(0, folder.size()), folder)) {
    rest = name.substr(folder.size());
    return true;
  }
  rest = name;
  return rest.find('/') == std::string::npos;
}

}  // namespace

void extractPacket(const fs::path& zipFile, const fs::path& folder, const std::string& baseName) {
  int error = 0;
  std::unique_ptr<zip_t, decltype(&zip_discard)> zip(zip_open(zipFile.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error),
                                                     zip_discard);
  if (!zip) raise(err::PathFileAccess, "The update packet is not a readable zip file");
  const std::string sections = baseName + ".new", events = baseName + ".de";
  // The second line behind the ID check: a member's file stays in the folder.
  if (!paths::isPlainFileName(sections) || !paths::isPlainFileName(events))
    raise(err::PathFileAccess, "The update packet's name does not stay inside Updates: " + clipped(baseName));
  const int64_t most = updateCaps().memberBytes;

  // Every name first: one member that may not be unpacked refuses them all.
  zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  std::vector<Member> members;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(zip.get(), zip_uint64_t(i), ZIP_FL_ENC_RAW);
    std::string name = raw ? raw : "";
    std::string rest;
    if (!withoutUpdatesFolder(name, rest) || isLink(zip.get(), zip_uint64_t(i))) refuse(name);
    if (rest.empty()) continue;  // the folder's own entry
    std::string file;
    if (paths::equalsIgnoreCase(rest, sections))
      file = sections;
    else if (paths::equalsIgnoreCase(rest, events))
      file = events;
    else
      refuse(name);
    for (const Member& m : members)
      if (m.file == file) refuse(name);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip.get(), zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
      raise(err::PathFileAccess, "The update packet member cannot be read: " + file);
    if (st.size > zip_uint64_t(most)) tooLarge(file, most);
    members.push_back({zip_uint64_t(i), file, st.size});
  }
  if (members.empty()) raise(20011, "The update packet holds neither " + sections + " nor " + events);

  // Each member lands beside its place and takes it only once all are whole.
  fs::create_directories(folder);
  std::vector<fs::path> written;
  try {
    for (const Member& m : members) {
      fs::path part = folder / (m.file + ".part");
      written.push_back(part);
      std::unique_ptr<zip_file_t, decltype(&zip_fclose)> in(zip_fopen_index(zip.get(), m.index, 0), zip_fclose);
      if (!in) raise(err::PathFileAccess, "The update packet member cannot be read: " + m.file);
      std::ofstream out(part, std::ios::binary | std::ios::trunc);
      if (!out) raise(err::PathFileAccess, "Path/File access error: " + part.string());
      char buffer[16384];
      zip_int64_t n;
      zip_uint64_t unpacked = 0;
      // A member that unpacks past what it declared, or past the cap, is a bomb.
      while ((n = zip_fread(in.get(), buffer, sizeof buffer)) > 0) {
        unpacked += zip_uint64_t(n);
        if (unpacked > m.declared || unpacked > zip_uint64_t(most)) tooLarge(m.file, most);
        out.write(buffer, std::streamsize(n));
      }
      if (n < 0) raise(err::PathFileAccess, "The update packet member cannot be read: " + m.file);
      out.close();
      if (!out) raise(err::PathFileAccess, "Path/File access error: " + part.string());
    }
    for (const Member& m : members) {
      fs::path existing = paths::findCaseInsensitive(folder, m.file);
      fs::path target = existing.empty() ? paths::joinPlainName(folder, m.file) : existing;
      if (fs::is_symlink(target) || fs::is_directory(target)) refuse(m.file);
      fs::rename(folder / (m.file + ".part"), target);
    }
  } catch (...) {
    std::error_code ec;
    for (const fs::path& p : written) fs::remove(p, ec);
    throw;
  }
}

}  // namespace pellary
