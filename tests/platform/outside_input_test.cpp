// What the platform layer does with names, values and places that come from
// outside: a name joined to a folder stays in it, a value in an error text is
// cut, and without HOME no folder is taken from a shared place.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary {
namespace {

struct NameCase {
  const char* name;
  std::string text;
  bool plain;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class PlainNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlainNames, StayOneEntryOfTheirFolder) {
  const NameCase& c = GetParam();
  EXPECT_EQ(paths::isPlainFileName(c.text), c.plain);
  long number = 0;
  try {
    paths::joinPlainName("/folder", c.text);
  } catch (const AppError& e) {
    number = e.number();
  }
  EXPECT_EQ(number, c.plain ? 0 : err::PathFileAccess);
}

INSTANTIATE_TEST_SUITE_P(Names, PlainNames,
                         ::testing::Values(NameCase{"Plain", "C77_S5_1.new", true}, NameCase{"Dots", "..", false},
                                           NameCase{"Dot", ".", false}, NameCase{"Empty", "", false},
                                           NameCase{"ClimbsOut", "../../outside/evil_S1_1.new", false},
                                           NameCase{"Backslash", "..\\evil", false},
                                           NameCase{"Nul", std::string("a\0b", 3), false},
                                           NameCase{"HiddenIsStillOne", ".outlook-items", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Clipped, CutsLongValuesWithAMarkAndKeepsCharactersWhole) {
  EXPECT_EQ(clipped("short"), "short");
  const std::string fifty(50 * 1000 * 1000, '7');
  std::string cut = clipped(fifty);
  EXPECT_EQ(cut, std::string(kClippedValue, '7') + "...");
  // "é" is two bytes: never cut in half.
  std::string accents;
  for (int i = 0; i < 30; ++i) accents += "\xC3\xA9";
  cut = clipped(accents, 5);
  EXPECT_EQ(cut, "\xC3\xA9\xC3\xA9...");
  EXPECT_EQ(clipped("line\r\nbreak\0x"), "line  break");
  EXPECT_EQ(clipped(std::string("a\nb\x7F", 4)), "a b ");
}

TEST(Notes, GoToTheHandlerClippedOnStandardErrorWithout) {
  std::string seen;
  NoteHandler old = setNoteHandler(
      [&](std::string_view where, std::string_view text) { seen = std::string(where) + ": " + std::string(text); });
  logNote("Outlook store", "passed over x.ics");
  EXPECT_EQ(seen, "Outlook store: passed over x.ics");
  setNoteHandler(old);
}

// Without HOME the folders come from the password database, never /tmp.
class WithoutHome : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(kNames); ++i) {
      if (saved_[i])
        setenv(kNames[i], saved_[i]->c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }
  static constexpr const char* kNames[] = {"HOME",         "XDG_DATA_HOME",    "XDG_CONFIG_HOME",
                                           "PELLARY_HOME", "PELLARY_SETTINGS", "PELLARY_STANDINS"};

 private:
  std::vector<std::optional<std::string>> saved_;
};

// The stand-ins' folder is worked out once and kept: each change of a
// variable it comes from must still be followed, and only those that count.
TEST_F(WithoutHome, StandinsFolderFollowsEachChangeOfItsVariables) {
  struct Step {
    const char* name;
    const char* value;  // nullptr: unset
    const char* folder;
  };
  const Step steps[] = {
      {"HOME", "/h1", "/h1/.local/share/pellary-almoner/standins"},
      {"HOME", "/h2", "/h2/.local/share/pellary-almoner/standins"},
      {"XDG_DATA_HOME", "/d1", "/d1/pellary-almoner/standins"},
      {"PELLARY_STANDINS", "/s1", "/s1"},
      {"PELLARY_STANDINS", "/s2", "/s2"},
      {"XDG_DATA_HOME", "/d2", "/s2"},
      {"HOME", "/h3", "/s2"},
      {"PELLARY_STANDINS", "", "/d2/pellary-almoner/standins"},
      {"PELLARY_STANDINS", "/s2", "/s2"},
      {"PELLARY_STANDINS", nullptr, "/d2/pellary-almoner/standins"},
      {"XDG_DATA_HOME", nullptr, "/h3/.local/share/pellary-almoner/standins"},
  };
  for (const Step& step : steps) {
    if (step.value)
      setenv(step.name, step.value, 1);
    else
      unsetenv(step.name);
    EXPECT_EQ(paths::standinsFolder(), paths::fs::path(step.folder))
        << step.name << "=" << (step.value ? step.value : "(unset)");
  }
}

TEST_F(WithoutHome, FoldersComeFromThePasswordDatabase) {
  passwd* entry = ::getpwuid(::getuid());
  if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/') GTEST_SKIP() << "this user has no home in the database";
  const paths::fs::path home = entry->pw_dir;
  EXPECT_EQ(paths::homeFolder(), home);
  EXPECT_EQ(paths::programFolder(), home / ".local/share/pellary-almoner/program");
  EXPECT_EQ(paths::settingsFolder(), home / ".config/pellary-almoner");
  EXPECT_EQ(paths::standinsFolder(), home / ".local/share/pellary-almoner/standins");
  for (const auto& p : {paths::programFolder(), paths::settingsFolder(), paths::standinsFolder()})
    EXPECT_NE(p.string().rfind("/tmp", 0), 0u) << p;
}

}  // namespace
}  // namespace pellary
