#include "reference/page_text.h"

#include <cctype>

#include "platform/paths.h"
#include "platform/text/codepages.h"

namespace pellary {

namespace {

namespace tx = platform::text;

size_t findNoCase(std::string_view text, std::string_view what, size_t from = 0) {
  const std::string lower = paths::toLowerAscii(std::string(text));
  return lower.find(what, from);
}

// The end of the tag that starts at the '<' at open, past its '>'.
size_t tagEnd(std::string_view html, size_t open) {
  size_t close = html.find('>', open);
  return close == std::string_view::npos ? html.size() : close + 1;
}

PageCharset charsetOf(const std::string& name) {
  if (name == "utf-8" || name == "utf8") return PageCharset::Utf8;
  if (name == "windows-1252" || name == "cp1252" || name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" ||
      name == "us-ascii" || name == "ascii" || name == "x-cp1252")
    return PageCharset::Windows1252;
  return PageCharset::Ascii;
}

bool nameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':' || c == '.';
}

}  // namespace

DeclaredCharset declaredCharset(std::string_view html) {
  const std::string lower = paths::toLowerAscii(std::string(html));
  for (size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 5)) {
    const size_t end = tagEnd(lower, at);
    const std::string_view tag = std::string_view(lower).substr(at, end - at);
    size_t c = tag.find("charset");
    if (c == std::string_view::npos) continue;
    c += 7;
    while (c < tag.size() && std::isspace(static_cast<unsigned char>(tag[c]))) ++c;
    if (c >= tag.size() || tag[c] != '=') continue;
    ++c;
    while (c < tag.size() && (std::isspace(static_cast<unsigned char>(tag[c])) || tag[c] == '"' || tag[c] == '\'')) ++c;
    std::string name;
    while (c < tag.size() && nameChar(tag[c])) name += tag[c++];
    if (name.empty()) continue;
    return {charsetOf(name), true, name};
  }
  return {};
}

std::string withCharsetDeclared(const std::string& page) {
  static const std::string meta = "<meta charset=windows-1252>";
  for (const char* tag : {"<head", "<html", "<!doctype"}) {
    size_t at = findNoCase(page, tag);
    // "<header" is no head tag.
    if (at != std::string::npos && std::string(tag) == "<head" && at + 5 < page.size() && nameChar(page[at + 5]))
      at = std::string::npos;
    if (at == std::string::npos) continue;
    const size_t end = tagEnd(page, at);
    return page.substr(0, end) + meta + page.substr(end);
  }
  return meta + page;
}

std::string pageText(std::string_view utf8, PageCharset charset) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t ch = tx::nextUtf8(utf8, pos);
    switch (ch) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '"': out += "&quot;"; continue;
      case '\'': out += "&#39;"; continue;
      default: break;
    }
    if (ch < 0x80) {
      out += static_cast<char>(ch);
      continue;
    }
    if (charset == PageCharset::Utf8) {
      tx::appendUtf8(out, ch);
      continue;
    }
    // 0x80-0x9F of Windows-1252 stand for other characters in every reader
    // but Windows-1252 itself: written as references they read alike.
    const int byte = charset == PageCharset::Windows1252 ? tx::cp1252Byte(ch) : -1;
    if (byte >= 0xA0)
      out += static_cast<char>(byte);
    else
      out += "&#" + std::to_string(static_cast<uint32_t>(ch)) + ";";
  }
  return out;
}

}  // namespace pellary
