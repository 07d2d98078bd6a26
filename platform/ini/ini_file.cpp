#include "platform/ini/ini_file.h"

#include <fstream>

#include "platform/paths.h"
#include "platform/text/codepages.h"
#include "platform/text/trim.h"

namespace pellary::platform::ini {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

using text::trimWhitespace;

// Letter case folded over Windows-1252: ASCII, the Latin-1 letters and the
// five letter pairs of bytes 0x80 to 0x9F.
unsigned char fold1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x8A: return 0x9A;  // S caron
    case 0x8C: return 0x9C;  // OE
    case 0x8E: return 0x9E;  // Z caron
    case 0x9F: return 0xFF;  // Y diaeresis
    default: return c;
  }
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold1252(static_cast<unsigned char>(a[i])) != fold1252(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v.remove_prefix(1);
    v.remove_suffix(1);
  }
  return v;
}

// Finds the value text, still in the file's encoding; false when it is absent.
bool findValue(std::string_view text, std::string_view section, std::string_view key, std::string_view& value) {
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string_view line =
        trimWhitespace(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      // Only the first section of the name is searched.
      if (inSection) return false;
      size_t close = line.find(']');
      std::string_view name =
          trimWhitespace(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      inSection = !sectionSeen && sameName(name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (sameName(trimWhitespace(line.substr(0, eq)), key)) {
      value = unquote(trimWhitespace(line.substr(eq + 1)));
      return true;
    }
  }
  return false;
}

std::string readAll(const std::string& fileName) {
  if (fileName.empty()) return {};
  paths::fs::path p = paths::resolve(fileName);
  std::error_code ec;
  if (!paths::fs::is_regular_file(p, ec)) return {};
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  std::string bytes;
  char buf[8192];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) bytes.append(buf, size_t(in.gcount()));
  return bytes;
}

}  // namespace

std::string profileStringFromText(std::string_view fileBytes, std::string_view section, std::string_view key,
                                  std::string_view defaultValue, size_t bufferSize) {
  // Everything is compared and cut in Windows-1252, one byte a character.
  std::string text;
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  if (fileBytes.substr(0, 3) == bom)
    text = text::utf8ToCp1252(fileBytes.substr(3));
  else
    text = std::string(fileBytes);
  std::string sectionBytes = text::utf8ToCp1252(section);
  std::string keyBytes = text::utf8ToCp1252(key);

  std::string_view found;
  std::string result;
  if (findValue(text, sectionBytes, keyBytes, found)) {
    result = std::string(found);
  } else {
    result = text::utf8ToCp1252(defaultValue);
    while (!result.empty() && isBlank(result.back())) result.pop_back();
  }
  if (bufferSize == 0) return {};
  if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
  return text::cp1252ToUtf8(result);
}

std::string getPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                    size_t bufferSize, const std::string& fileName) {
  return profileStringFromText(readAll(fileName), section, key, defaultValue, bufferSize);
}

}  // namespace pellary::platform::ini
