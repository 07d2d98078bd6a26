// Text from the databank put into a generated reference page. A page is
// written in the character set its product template declares (a <meta>
// charset, or the charset of a Content-Type <meta>); a template that declares
// none is Windows-1252 text and gets "<meta charset=windows-1252>" in its
// head. Inserted names are HTML-escaped (& < > " ') and converted from UTF-8
// to the page's set; a character the set cannot hold becomes a numeric
// character reference (&#8364;). A declared set other than UTF-8 and the
// Windows-1252 family gets pure ASCII, which every such page set reads alike.
// The template's own bytes are never re-encoded.
#pragma once

#include <string>
#include <string_view>

namespace pellary {

enum class PageCharset { Windows1252, Utf8, Ascii };

struct DeclaredCharset {
  PageCharset charset = PageCharset::Windows1252;
  bool declared = false;
  std::string name;  // as written, lower case; empty when none
};

// The first charset a <meta> tag of the text declares.
DeclaredCharset declaredCharset(std::string_view html);
// The page with "<meta charset=windows-1252>" after its <head> tag (after
// <html>, after a doctype, or first, when the page has no head tag).
std::string withCharsetDeclared(const std::string& page);
// UTF-8 text escaped for HTML and encoded for the page's set.
std::string pageText(std::string_view utf8, PageCharset charset);

}  // namespace pellary
