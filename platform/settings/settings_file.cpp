#include "platform/settings/settings_file.h"

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary::platform::settings {

Key* Key::subkey(std::string_view name) const {
  auto it = subkeys_.find(paths::toLowerAscii(name));
  return it == subkeys_.end() ? nullptr : it->second.get();
}

Key& Key::ensureSubkey(std::string_view name) {
  auto& slot = subkeys_[paths::toLowerAscii(name)];
  if (!slot) slot = std::make_unique<Key>(std::string(name));
  return *slot;
}

bool Key::removeSubkey(std::string_view name) { return subkeys_.erase(paths::toLowerAscii(name)) > 0; }

std::vector<const Key*> Key::subkeys() const {
  std::vector<const Key*> out;
  out.reserve(subkeys_.size());
  for (const auto& [lower, key] : subkeys_) out.push_back(key.get());
  return out;
}

const std::string* Key::value(std::string_view name) const {
  for (const Value& v : values_)
    if (paths::equalsIgnoreCase(v.name, name)) return &v.data;
  return nullptr;
}

void Key::setValue(std::string_view name, std::string_view data) {
  for (Value& v : values_) {
    if (paths::equalsIgnoreCase(v.name, name)) {
      v.data = data;
      return;
    }
  }
  values_.push_back({std::string(name), std::string(data)});
}

bool Key::removeValue(std::string_view name) {
  for (auto it = values_.begin(); it != values_.end(); ++it) {
    if (paths::equalsIgnoreCase(it->name, name)) {
      values_.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<std::string> splitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool validKeyName(std::string_view name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f || c == '\\') return false;
  return true;
}

std::string headerLine(Root root) { return "PELLARY SETTINGS 1 " + std::string(rootName(root)); }

namespace {

[[noreturn]] void damaged(const std::filesystem::path& file, size_t line, std::string_view why) {
  std::string text = "The settings file " + file.string() + " is damaged";
  if (line > 0) text += " at line " + std::to_string(line);
  text += ": " + std::string(why);
  raise(err::SettingsDamaged, text);
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  out += '"';
}

// Reads a quoted text at line[pos]; leaves pos after the closing quote.
// Returns nullptr-like false with why set when the text is malformed.
bool readQuoted(std::string_view line, size_t& pos, std::string& out, std::string& why) {
  if (pos >= line.size() || line[pos] != '"') {
    why = "a quoted text was expected";
    return false;
  }
  ++pos;
  out.clear();
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= line.size()) break;
    switch (line[pos++]) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      default: why = "unknown escape in a quoted text"; return false;
    }
  }
  why = "unterminated quote";
  return false;
}

void formatKey(std::string& out, const Key& key, const std::string& path, bool isTop) {
  // A key is written when it holds values or nothing else would bring it back.
  if (!key.values().empty() || (!isTop && key.subkeys().empty())) {
    out += "\n[" + path + "]\n";
    for (const Value& v : key.values()) {
      if (v.name.empty())
        out += "@";
      else
        appendQuoted(out, v.name);
      out += '=';
      appendQuoted(out, v.data);
      out += '\n';
    }
  }
  for (const Key* sub : key.subkeys())
    formatKey(out, *sub, path.empty() ? sub->name() : path + "\\" + sub->name(), false);
}

}  // namespace

std::unique_ptr<Key> parseSettings(std::string_view text, Root root, const std::filesystem::path& file) {
  auto top = std::make_unique<Key>();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Key* current = nullptr;
  size_t lineNo = 0;
  size_t pos = 0;
  bool sawHeader = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (!sawHeader) {
      if (line != headerLine(root)) damaged(file, lineNo, "the first line is not \"" + headerLine(root) + "\"");
      sawHeader = true;
      continue;
    }
    if (line.find_first_not_of(" \t") == std::string_view::npos || line[0] == ';') continue;

    if (line[0] == '[') {
      if (line.size() < 2 || line.back() != ']') damaged(file, lineNo, "a key line must end with ']'");
      current = top.get();
      for (const std::string& part : splitKeyPath(line.substr(1, line.size() - 2))) {
        if (!validKeyName(part)) damaged(file, lineNo, "a key name holds a control character");
        current = &current->ensureSubkey(part);
      }
      continue;
    }

    std::string why;
    std::string name;
    size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] == '"') {
      if (!readQuoted(line, at, name, why)) damaged(file, lineNo, why);
    } else {
      damaged(file, lineNo, "a line must be a key in brackets or a value \"name\"=\"text\"");
    }
    if (at >= line.size() || line[at] != '=') damaged(file, lineNo, "'=' was expected after the value name");
    ++at;
    std::string data;
    if (!readQuoted(line, at, data, why)) damaged(file, lineNo, why);
    if (at != line.size()) damaged(file, lineNo, "text follows the value");
    if (!current) damaged(file, lineNo, "a value comes before any key");
    current->setValue(name, data);
  }
  if (!sawHeader) damaged(file, 0, "the file is empty");
  return top;
}

std::string formatSettings(const Key& top, Root root) {
  std::string out = headerLine(root) + "\n";
  formatKey(out, top, "", true);
  return out;
}

}  // namespace pellary::platform::settings
