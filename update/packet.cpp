// Unpacking the update packet below the program folder, member names checked.
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
  std::vector<std::string> parts;  // folder names, then the file name
  bool folder;
};

// The member name as safe relative components, or nothing when it must be refused.
bool safeParts(std::string name, std::vector<std::string>& parts, bool& folder) {
  for (char& c : name)
    if (c == '\\') c = '/';
  if (name.empty() || name[0] == '/') return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  folder = name.back() == '/';
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t end = name.find('/', pos);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(pos, end - pos);
    if (part == "..") return false;
    if (part.find(':') != std::string::npos) return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    pos = end + 1;
  }
  return !parts.empty();
}

bool isLink(zip_t* zip, zip_uint64_t index) {
  zip_uint8_t os = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(zip, index, 0, &os, &attributes) != 0) return false;
  if (os != ZIP_OPSYS_UNIX) return false;
  return S_ISLNK(attributes >> 16);
}

[[noreturn]] void refuse(const std::string& name) {
  raise(err::PathFileAccess, "The update packet holds a member that may not be unpacked: " + name);
}

// An existing folder of that name in any letter case, else a new one.
fs::path childFolder(const fs::path& parent, const std::string& name) {
  fs::path found = paths::findCaseInsensitive(parent, name);
  fs::path folder = found.empty() ? parent / name : found;
  if (fs::is_symlink(folder)) refuse(name);
  fs::create_directories(folder);
  return folder;
}

}  // namespace

void extractPacket(const fs::path& zipFile, const fs::path& folder) {
  int error = 0;
  std::unique_ptr<zip_t, decltype(&zip_discard)> zip(zip_open(zipFile.c_str(), ZIP_RDONLY, &error), zip_discard);
  if (!zip) raise(err::PathFileAccess, "The update packet is not a readable zip file");
  zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  std::vector<Member> members;
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(zip.get(), zip_uint64_t(i), ZIP_FL_ENC_RAW);
    std::string name = raw ? raw : "";
    Member m{zip_uint64_t(i), {}, false};
    if (!safeParts(name, m.parts, m.folder) || isLink(zip.get(), m.index)) refuse(name);
    members.push_back(std::move(m));
  }
  for (const Member& m : members) {
    fs::path target = folder;
    size_t folders = m.folder ? m.parts.size() : m.parts.size() - 1;
    for (size_t i = 0; i < folders; ++i) target = childFolder(target, m.parts[i]);
    if (m.folder) continue;
    fs::path existing = paths::findCaseInsensitive(target, m.parts.back());
    fs::path file = existing.empty() ? target / m.parts.back() : existing;
    if (fs::is_symlink(file) || fs::is_directory(file)) refuse(m.parts.back());
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> in(zip_fopen_index(zip.get(), m.index, 0), zip_fclose);
    if (!in) raise(err::PathFileAccess, "The update packet member cannot be read: " + m.parts.back());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) raise(err::PathFileAccess);
    char buffer[16384];
    zip_int64_t n;
    while ((n = zip_fread(in.get(), buffer, sizeof buffer)) > 0) out.write(buffer, std::streamsize(n));
    if (n < 0) raise(err::PathFileAccess, "The update packet member cannot be read: " + m.parts.back());
    out.close();
    if (!out) raise(err::PathFileAccess);
  }
}

}  // namespace pellary
