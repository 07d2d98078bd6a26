#include "platform/settings/settings_tree.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/settings/settings_file.h"
#include "support/fixtures.h"

namespace pellary::platform::settings {
namespace {

using pellary::testing::readFile;
using pellary::testing::writeFile;

constexpr Root HKCU = Root::CurrentUser;
constexpr Root HKLM = Root::LocalMachine;
constexpr Root HKCR = Root::ClassesRoot;

class SettingsTree : public pellary::testing::IsolatedEnvTest {
 protected:
  void TearDown() override {
    setBeforeReplaceHook({});
    IsolatedEnvTest::TearDown();
  }
  fs::path file(Root root = HKCU) const { return settings() / (std::string(rootName(root)) + ".reg"); }

  // The file as a fresh process would read it.
  std::unique_ptr<Key> reparsed(Root root = HKCU) const {
    return parseSettings(readFile(file(root)), root, file(root));
  }

  // Runs body in a child process; returns its exit status (-1 when it did not exit).
  static int inChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
      int code = 99;
      try {
        code = body();
      } catch (...) {
      }
      _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(SettingsTree, AnyTextRoundTripsThroughTheFile) {
  const std::vector<std::string> texts = {
      "",
      "plain",
      "back\\slash\\",
      "\"quoted\"",
      "line\nbreak\r\n",
      "tab\there",
      " spaces ",
      "[Not\\A\\Key]",
      "@=\"x\"",
      "; not a comment",
      "\\n literally",
      "Ünïcødé – ✓",
      "\\",
      "\"",
      "end with quote\"",
  };
  for (size_t i = 0; i < texts.size(); ++i) {
    writeValue(HKCU, "Software\\Texts", "v" + std::to_string(i), texts[i]);
    if (!texts[i].empty()) writeValue(HKCU, "Software\\Names", texts[i], std::to_string(i));
  }

  auto top = reparsed();
  Key* values = top->subkey("Software")->subkey("Texts");
  Key* names = top->subkey("Software")->subkey("Names");
  ASSERT_TRUE(values && names);
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    const std::string* v = values->value("v" + std::to_string(i));
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, texts[i]);
    EXPECT_EQ(readValue(HKCU, "Software\\Texts", "v" + std::to_string(i)), texts[i]);
    if (!texts[i].empty()) {
      const std::string* n = names->value(texts[i]);
      ASSERT_TRUE(n);
      EXPECT_EQ(*n, std::to_string(i));
    }
  }
  // Each value is one line of the file: no raw line break leaked through.
  std::string bytes = readFile(file());
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 0);
}

TEST_F(SettingsTree, DefaultValueIsItsOwnSlot) {
  writeValue(HKCU, "Software\\K", kDefaultValue, "default");
  writeValue(HKCU, "Software\\K", "@", "named at");
  writeValue(HKCU, "Software\\K", "*", "named star");

  auto top = reparsed();
  Key* k = top->subkey("Software")->subkey("K");
  ASSERT_TRUE(k);
  EXPECT_EQ(*k->value(""), "default");
  EXPECT_EQ(*k->value("@"), "named at");
  EXPECT_EQ(*k->value("*"), "named star");

  EXPECT_TRUE(deleteValue(HKCU, "Software\\K", kDefaultValue));
  EXPECT_FALSE(readValue(HKCU, "Software\\K", kDefaultValue).has_value());
  EXPECT_EQ(readValue(HKCU, "Software\\K", "@"), "named at");
}

TEST_F(SettingsTree, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  writeValue(HKCU, "Software\\Brackwater\\Support", "DatesPlat", "3");
  EXPECT_EQ(readValue(HKCU, "SOFTWARE\\brackwater\\SUPPORT", "datesplat"), "3");

  writeValue(HKCU, "software\\BRACKWATER\\support", "DATESPLAT", "12");
  std::vector<Value> values = listValues(HKCU, "Software\\Brackwater\\Support");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "DatesPlat");
  EXPECT_EQ(values[0].data, "12");
  EXPECT_EQ(listSubkeys(HKCU, "Software"), std::vector<std::string>{"Brackwater"});
  EXPECT_EQ(listSubkeys(HKCU, "Software\\Brackwater"), std::vector<std::string>{"Support"});

  // Beyond ASCII, letters are compared as written.
  writeValue(HKCU, "Software\\Ä", "x", "1");
  EXPECT_FALSE(keyExists(HKCU, "Software\\ä"));
}

TEST_F(SettingsTree, MissingThingsReadAsAbsent) {
  EXPECT_FALSE(readValue(HKCU, "Software\\Nothing", "Name").has_value());
  EXPECT_TRUE(keyExists(HKCU, ""));
  EXPECT_FALSE(keyExists(HKCU, "Software"));
  EXPECT_TRUE(listSubkeys(HKCU, "Software").empty());
  EXPECT_TRUE(listValues(HKCU, "Software").empty());
  EXPECT_FALSE(deleteValue(HKCU, "Software", "Name"));
  EXPECT_FALSE(deleteKey(HKCU, "Software"));
  EXPECT_FALSE(fs::exists(file())) << "looking must not create the file";

  writeValue(HKCU, "Software\\A", "x", "1");
  EXPECT_FALSE(readValue(HKCU, "Software\\A", "y").has_value());
  EXPECT_FALSE(readValue(HKCU, "Software\\A", kDefaultValue).has_value());
  EXPECT_FALSE(deleteValue(HKCU, "Software\\A", "y"));
  // An empty text is a value, not a missing one.
  writeValue(HKCU, "Software\\A", "empty", "");
  EXPECT_EQ(readValue(HKCU, "Software\\A", "empty"), "");
}

TEST_F(SettingsTree, KeysAreCreatedListedAndDeletedWithTheirSubkeys) {
  createKey(HKCR, "Quoll.Engine\\CLSID");
  writeValue(HKCR, "Quoll.Engine\\CLSID", kDefaultValue, "{1}");
  writeValue(HKCR, "CLSID\\{1}\\InprocServer32", kDefaultValue, "/lib/quoll.so");
  createKey(HKCR, "brindle.File");
  createKey(HKCR, "Alpha");

  EXPECT_EQ(listSubkeys(HKCR, ""), (std::vector<std::string>{"Alpha", "brindle.File", "CLSID", "Quoll.Engine"}));
  EXPECT_TRUE(keyExists(HKCR, "CLSID\\{1}"));

  EXPECT_TRUE(deleteKey(HKCR, "clsid\\{1}"));
  EXPECT_FALSE(keyExists(HKCR, "CLSID\\{1}\\InprocServer32"));
  EXPECT_TRUE(keyExists(HKCR, "CLSID"));
  EXPECT_FALSE(deleteKey(HKCR, "CLSID\\{1}"));
  EXPECT_FALSE(deleteKey(HKCR, "\\")) << "a root cannot be deleted";

  // Empty keys survive a fresh read of the file.
  auto top = reparsed(Root::ClassesRoot);
  EXPECT_TRUE(top->subkey("Alpha"));
  EXPECT_TRUE(top->subkey("CLSID"));
  EXPECT_FALSE(top->subkey("CLSID")->subkey("{1}"));
  EXPECT_EQ(*top->subkey("Quoll.Engine")->subkey("CLSID")->value(""), "{1}");
}

TEST_F(SettingsTree, KeyNamesWithControlCharactersAreRefused) {
  try {
    writeValue(HKCU, "Software\\bad\nname", "x", "1");
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), err::SettingsWriteFailed);
  }
  EXPECT_FALSE(keyExists(HKCU, "Software"));
}

TEST_F(SettingsTree, RootsAreSeparateFiles) {
  writeValue(HKLM, "SOFTWARE\\Psion\\PsiWin32", "Installation Directory", "/opt/psiwin");
  EXPECT_FALSE(readValue(HKCU, "SOFTWARE\\Psion\\PsiWin32", "Installation Directory").has_value());
  EXPECT_TRUE(fs::exists(file(HKLM)));
  EXPECT_FALSE(fs::exists(file(HKCU)));
  EXPECT_EQ(readFile(file(HKLM)).substr(0, 38), "PELLARY SETTINGS 1 HKEY_LOCAL_MACHINE\n");
}

TEST(SettingsRootNames, HandlesNamesAndRootedKeys) {
  EXPECT_EQ(rootFromHandle(HKEY_CLASSES_ROOT), Root::ClassesRoot);
  EXPECT_EQ(rootFromHandle(HKEY_CURRENT_USER), Root::CurrentUser);
  EXPECT_EQ(rootFromHandle(HKEY_LOCAL_MACHINE), Root::LocalMachine);
  EXPECT_FALSE(rootFromHandle(int32_t(0x80000003)));
  EXPECT_FALSE(rootFromHandle(0));

  struct Case {
    const char* text;
    std::optional<Root> root;
    const char* path;
  } cases[] = {
      {"HKEY_CURRENT_USER\\Software\\X", Root::CurrentUser, "Software\\X"},
      {"hkcu\\Software", Root::CurrentUser, "Software"},
      {"HKLM", Root::LocalMachine, ""},
      {"\\HKCR\\.txt", Root::ClassesRoot, ".txt"},
      {"HKEY_USERS\\x", std::nullopt, ""},
      {"Software\\X", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto split = splitRootedKey(c.text);
    ASSERT_EQ(split.has_value(), c.root.has_value());
    if (split) {
      EXPECT_EQ(split->first, *c.root);
      EXPECT_EQ(split->second, c.path);
    }
  }
}

TEST_F(SettingsTree, HandWrittenFileIsRead) {
  writeFile(file(),
            "PELLARY SETTINGS 1 HKEY_CURRENT_USER\r\n"
            "; written by hand\r\n"
            "\r\n"
            "[]\r\n"
            "\"top\"=\"t\"\r\n"
            "[Software\\App]\r\n"
            "\"A\"=\"1\"\r\n"
            "[software\\app]\r\n"
            "\"b\"=\"2\"\r\n"
            "@=\"d\"\r\n");
  EXPECT_EQ(readValue(HKCU, "", "top"), "t");
  EXPECT_EQ(readValue(HKCU, "Software\\App", "a"), "1");
  EXPECT_EQ(readValue(HKCU, "Software\\App", "B"), "2");
  EXPECT_EQ(readValue(HKCU, "Software\\App", kDefaultValue), "d");
}

TEST_F(SettingsTree, FollowsTheSettingsFolderOfTheEnvironment) {
  writeValue(HKCU, "Software\\X", "v", "first folder");
  pellary::testing::TempDir other;
  std::string before = std::getenv("PELLARY_SETTINGS");
  setenv("PELLARY_SETTINGS", other.path().c_str(), 1);
  EXPECT_FALSE(readValue(HKCU, "Software\\X", "v").has_value());
  writeValue(HKCU, "Software\\X", "v", "second folder");
  setenv("PELLARY_SETTINGS", before.c_str(), 1);
  EXPECT_EQ(readValue(HKCU, "Software\\X", "v"), "first folder");
}

TEST_F(SettingsTree, AnotherProcessSeesChanges) {
  writeValue(HKCU, "Software\\X", "parent", "1");
  EXPECT_EQ(readValue(HKCU, "Software\\X", "parent"), "1");  // now held in memory

  EXPECT_EQ(inChild([] {
              if (readValue(HKCU, "Software\\X", "parent") != "1") return 1;
              writeValue(HKCU, "Software\\X", "child", "2");
              writeValue(HKCU, "Software\\X", "parent", "changed");
              return 0;
            }),
            0);
  EXPECT_EQ(readValue(HKCU, "Software\\X", "child"), "2");
  EXPECT_EQ(readValue(HKCU, "Software\\X", "parent"), "changed");

  EXPECT_EQ(inChild([] { return deleteKey(HKCU, "Software\\X") ? 0 : 1; }), 0);
  EXPECT_FALSE(keyExists(HKCU, "Software\\X"));
}

TEST_F(SettingsTree, WritersInSeveralProcessesLoseNothing) {
  constexpr int kProcesses = 4, kWrites = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      int code = 0;
      try {
        for (int i = 0; i < kWrites; ++i)
          writeValue(HKCU, "Software\\Shared", "p" + std::to_string(p) + "_" + std::to_string(i), "x");
      } catch (...) {
        code = 1;
      }
      _exit(code);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(listValues(HKCU, "Software\\Shared").size(), size_t(kProcesses * kWrites));
}

TEST_F(SettingsTree, CrashBeforeTheReplaceLeavesTheOldFile) {
  writeValue(HKCU, "Software\\X", "v", "old");
  const std::string before = readFile(file());

  int code = inChild([] {
    setBeforeReplaceHook([](const fs::path&) { _exit(42); });
    writeValue(HKCU, "Software\\X", "v", "new");
    return 0;
  });
  ASSERT_EQ(code, 42) << "the hook did not run";

  EXPECT_EQ(readFile(file()), before);
  EXPECT_EQ(readValue(HKCU, "Software\\X", "v"), "old");
  // The crashed writer's temporary file is ignored, then cleaned by the next write.
  bool leftover = false;
  for (const auto& e : fs::directory_iterator(settings()))
    leftover |= e.path().filename().string().find(".tmp.") != std::string::npos;
  EXPECT_TRUE(leftover);

  writeValue(HKCU, "Software\\X", "v", "newer");
  EXPECT_EQ(*reparsed()->subkey("Software")->subkey("X")->value("v"), "newer");
  for (const auto& e : fs::directory_iterator(settings()))
    EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << e.path();
}

struct DamagedCase {
  const char* name;
  const char* text;
  int line;  // the line the message names; 0 for none
};

class SettingsDamagedFile : public SettingsTree, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(SettingsDamagedFile, IsReportedByEveryOperationAndNeverReplaced) {
  const DamagedCase& c = GetParam();
  writeFile(file(), c.text);
  const std::string bytes = c.text;

  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"read", [] { readValue(HKCU, "Software\\X", "v"); }},
      {"write", [] { writeValue(HKCU, "Software\\X", "v", "1"); }},
      {"delete value", [] { deleteValue(HKCU, "Software\\X", "v"); }},
      {"key exists", [] { keyExists(HKCU, "Software"); }},
      {"create key", [] { createKey(HKCU, "Software\\New"); }},
      {"delete key", [] { deleteKey(HKCU, "Software\\X"); }},
      {"subkeys", [] { listSubkeys(HKCU, ""); }},
      {"values", [] { listValues(HKCU, "Software\\X"); }},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& [what, op] : operations) {
      SCOPED_TRACE(what);
      try {
        op();
        ADD_FAILURE() << "no error";
      } catch (const AppError& e) {
        EXPECT_EQ(e.number(), err::SettingsDamaged);
        EXPECT_NE(e.description().find(file().string()), std::string::npos) << e.description();
        if (c.line > 0) {
          EXPECT_NE(e.description().find("line " + std::to_string(c.line)), std::string::npos) << e.description();
        }
      }
      EXPECT_EQ(readFile(file()), bytes);
    }
  }
  // Other roots are unaffected.
  writeValue(HKLM, "Software\\X", "v", "1");
  EXPECT_EQ(readValue(HKLM, "Software\\X", "v"), "1");

  // A mended file is taken up again.
  writeFile(file(), "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software\\X]\n\"v\"=\"mended\"\n");
  EXPECT_EQ(readValue(HKCU, "Software\\X", "v"), "mended");
}

const DamagedCase kDamaged[] = {
    {"Empty", "", 0},
    {"WrongHeader", "REGEDIT4\n[Software]\n", 1},
    {"OtherRootsHeader", "PELLARY SETTINGS 1 HKEY_LOCAL_MACHINE\n", 1},
    {"ValueBeforeKey", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n\"v\"=\"1\"\n", 2},
    {"UnterminatedQuote", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"v\"=\"1\n\"w\"=\"2\"\n", 3},
    {"UnterminatedName", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"v=1\n", 3},
    {"MalformedLine", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\n\nv=1\n", 5},
    {"UnquotedValue", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"v\"=1\n", 3},
    {"TextAfterValue", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"v\"=\"1\" x\n", 3},
    {"UnknownEscape", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"v\"=\"\\q\"\n", 3},
    {"UnclosedKey", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software\n", 2},
    {"TruncatedAtEscape", "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"v\"=\"abc\\", 3},
};
INSTANTIATE_TEST_SUITE_P(Settings, SettingsDamagedFile, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pellary::platform::settings
