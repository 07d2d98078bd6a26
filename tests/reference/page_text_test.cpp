// Names from the databank in generated pages: escaped, and in the character
// set the product template declares.
#include <gtest/gtest.h>

#include "reference/html_generator.h"
#include "reference/page_text.h"
#include "reference_fixture.h"

namespace pellary::testing {
namespace {

TEST(PageText, DeclaredCharsetIsFoundInEitherMetaForm) {
  struct Case {
    const char* html;
    bool declared;
    PageCharset charset;
  } cases[] = {
      {"<html><head><title>x</title></head>", false, PageCharset::Windows1252},
      {"<HEAD><META CHARSET=\"UTF-8\"></HEAD>", true, PageCharset::Utf8},
      {"<meta charset='windows-1252'>", true, PageCharset::Windows1252},
      {"<meta http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">", true, PageCharset::Windows1252},
      {"<meta name=author content=x><meta charset=utf8>", true, PageCharset::Utf8},
      {"<meta charset=shift_jis>", true, PageCharset::Ascii},
      {"<p>charset=utf-8 in the text is no declaration</p>", false, PageCharset::Windows1252},
  };
  for (const Case& c : cases) {
    DeclaredCharset d = declaredCharset(c.html);
    EXPECT_EQ(d.declared, c.declared) << c.html;
    EXPECT_EQ(d.charset, c.charset) << c.html;
  }
}

TEST(PageText, DeclarationGoesIntoTheHead) {
  EXPECT_EQ(withCharsetDeclared("<html><head><title>t</title></head></html>"),
            "<html><head><meta charset=windows-1252><title>t</title></head></html>");
  EXPECT_EQ(withCharsetDeclared("<HTML lang=en><Head id=h><body>"),
            "<HTML lang=en><Head id=h><meta charset=windows-1252><body>");
  EXPECT_EQ(withCharsetDeclared("<html><header>x</header>"), "<html><meta charset=windows-1252><header>x</header>");
  EXPECT_EQ(withCharsetDeclared("<p>bare</p>"), "<meta charset=windows-1252><p>bare</p>");
}

// é, ©, &, <, > and characters beyond Windows-1252 (Omega, an emoji).
TEST(PageText, NamesAreEscapedAndEncodedForThePage) {
  const std::string name =
      "F\xC3\xAAtes & Feiertage <neu> \xC2\xA9 caf\xC3\xA9 \xCE\xA9 \xF0\x9F\x8E\x89 \xE2\x82\xAC \"q\"";
  EXPECT_EQ(pageText(name, PageCharset::Windows1252),
            "F\xEAtes &amp; Feiertage &lt;neu&gt; \xA9 caf\xE9 &#937; &#127881; &#8364; &quot;q&quot;");
  EXPECT_EQ(
      pageText(name, PageCharset::Utf8),
      "F\xC3\xAAtes &amp; Feiertage &lt;neu&gt; \xC2\xA9 caf\xC3\xA9 \xCE\xA9 \xF0\x9F\x8E\x89 \xE2\x82\xAC &quot;q&quot;");
  EXPECT_EQ(pageText(name, PageCharset::Ascii),
            "F&#234;tes &amp; Feiertage &lt;neu&gt; &#169; caf&#233; &#937; &#127881; &#8364; &quot;q&quot;");
  // Malformed UTF-8 from a damaged row is one replacement character, not raw bytes.
  EXPECT_EQ(pageText("a\xFF"
                     "b",
                     PageCharset::Windows1252),
            "a&#65533;b");
}

class PageCharsets : public ReferenceTest {};

// The same names under templates declaring no set, UTF-8 and Latin-1.
TEST_F(PageCharsets, GeneratedPagesFollowTheirTemplatesCharset) {
  exec("UPDATE RETemplate SET Name = 'F\xC3\xAAtes & Feiertage <neu>' WHERE Product_Id = 101 AND Template_Id = 2");
  exec("UPDATE RETemplate SET Name = '\xC2\xA9 Guide \xCE\xA9' WHERE Product_Id = 101 AND Template_Id = 1");
  for (long t : {1, 2, 4}) choose(101, t);
  struct Case {
    const char* head;
    const char* cities;  // the row of topic 2 on the root page
    const char* title;   // the root's title
  } cases[] = {
      {"<html><head>", "F\xEAtes &amp; Feiertage &lt;neu&gt;", "\xA9 Guide &#937;"},
      {"<html><head><meta charset=utf-8>", "F\xC3\xAAtes &amp; Feiertage &lt;neu&gt;", "\xC2\xA9 Guide \xCE\xA9"},
      {"<html><head><meta http-equiv=Content-Type content=\"text/html; charset=ISO-8859-1\">",
       "F\xEAtes &amp; Feiertage &lt;neu&gt;", "\xA9 Guide &#937;"},
  };
  for (const Case& c : cases) {
    writeFile(
        home() / "Reference/PC/Source/101.tem",
        std::string(c.head) +
            "<title><!TITLE!></title></head><body>\r\n<!CHILD>\r\n<a href=<!CHILD_ID!>><!CHILD_NAME!></a>\r\n<CHILD!>\r\n</body></html>\r\n");
    Bhtm_LoadReferenceStructure();
    Bhtm_StartHTMLReferenceWriter(1);
    ASSERT_EQ(reported, 0) << where;
    const std::string root = readFile(home() / "PCMappa/101_1.htm");
    EXPECT_NE(root.find(std::string(">") + c.cities + "</a>"), std::string::npos) << c.head << "\n" << root;
    EXPECT_NE(root.find(std::string("<title>") + c.title + "</title>"), std::string::npos) << c.head << "\n" << root;
    EXPECT_EQ(root.find("<neu>"), std::string::npos);
    EXPECT_EQ(declaredCharset(root).declared, true) << root;
  }
}

}  // namespace
}  // namespace pellary::testing
