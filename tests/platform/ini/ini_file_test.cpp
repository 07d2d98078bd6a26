#include "platform/ini/ini_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fixtures.h"

namespace pellary::platform::ini {
namespace {

using pellary::testing::TempDir;
using pellary::testing::writeFile;

// Windows-1252 bytes, CR LF and LF mixed.
const std::string kFile =
    "; Day-Timer settings\r\n"
    "[LastPaths]\r\n"
    "  Path0 =  C:\\DT\\Data  \r\n"
    "DatabaseName0=\"  Main  \"\r\n"
    "Quoted='single'\r\n"
    "Half=\"open\r\n"
    "path0=second wins nothing\r\n"
    ";Path1=commented\r\n"
    "Formula=a=b;c\n"
    "Caf\xC9=caf\xE9 cr\xE8me \x80\n"
    "NoEquals\n"
    "Empty=\n"
    "\n"
    "[ lastpaths ]\n"
    "Path1=from the second section\n"
    "[Other]\n"
    "Path0=other section\n"
    "[Tabs]\n"
    "\tKey\t=\tvalue\t\n";

TEST(IniFile, LooksUpAsGetPrivateProfileStringDoes) {
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"LastPaths", "Path0", "C:\\DT\\Data"},
      {"LASTPATHS", "PATH0", "C:\\DT\\Data"},      // letter case, first key wins
      {"LastPaths", "DatabaseName0", "  Main  "},  // quotes removed, inside kept
      {"LastPaths", "Quoted", "single"},
      {"LastPaths", "Half", "\"open"},  // no matching pair
      {"LastPaths", "Path1", "dflt"},   // commented out; the later section is not searched
      {"LastPaths", ";Path1", "dflt"},
      {"LastPaths", "Formula", "a=b;c"},  // the rest of the line after the first '='
      {"LastPaths", "caf\xC3\xA9", "caf\xC3\xA9 cr\xC3\xA8me \xE2\x82\xAC"},  // 1252 letters fold too
      {"LastPaths", "NoEquals", "dflt"},
      {"LastPaths", "Empty", ""},
      {"Other", "Path0", "other section"},
      {"Tabs", "key", "value"},
      {"Missing", "Path0", "dflt"},
      {"LastPaths", "Missing", "dflt"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(profileStringFromText(kFile, c.section, c.key, "dflt", 255), c.expected) << c.section << "/" << c.key;
}

TEST(IniFile, ValueIsCutToOneLessThanTheBuffer) {
  std::string value(300, 'v');
  value[253] = 'L';
  value[254] = 'X';
  const std::string text = "[S]\nK=" + value + "\n";
  std::string got = profileStringFromText(text, "S", "K", "", 255);
  ASSERT_EQ(got.size(), 254u);
  EXPECT_EQ(got.back(), 'L');
  // Characters, not UTF-8 bytes, count: 254 accented letters come back whole.
  std::string accented = "[S]\nK=" + std::string(300, '\xE9') + "\n";
  EXPECT_EQ(profileStringFromText(accented, "S", "K", "", 255).size(), 2u * 254);
  EXPECT_EQ(profileStringFromText(text, "S", "Absent", "default  ", 4), "def");
  EXPECT_EQ(profileStringFromText(text, "S", "K", "", 0), "");
}

TEST(IniFile, ReadsFilesByNameInAnyLetterCase) {
  TempDir dir;
  writeFile(dir.path() / "DTW.INI", kFile);
  EXPECT_EQ(getPrivateProfileString("LastPaths", "Path0", "", 255, (dir.path() / "dtw.ini").string()), "C:\\DT\\Data");
  EXPECT_EQ(getPrivateProfileString("LastPaths", "Path0", "none", 255, (dir.path() / "absent.ini").string()), "none");
  EXPECT_EQ(getPrivateProfileString("LastPaths", "Path0", "none", 255, ""), "none");
  EXPECT_EQ(getPrivateProfileString("LastPaths", "Path0", "none", 255, dir.path().string()), "none");
}

TEST(IniFile, Utf8FileWithByteOrderMark) {
  const std::string text = "\xEF\xBB\xBF[S\xC3\xA9]\r\nK=\xC3\xA9t\xC3\xA9\r\n";
  EXPECT_EQ(profileStringFromText(text, "s\xC3\x89", "k", "", 255), "\xC3\xA9t\xC3\xA9");
}

}  // namespace
}  // namespace pellary::platform::ini
