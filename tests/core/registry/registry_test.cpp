#include "core/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/app.h"
#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

namespace settings = platform::settings;
namespace fs = std::filesystem;
using pellary::testing::readFile;
using pellary::testing::writeFile;

class Registry : public pellary::testing::IsolatedEnvTest {
 protected:
  fs::path userFile() const { return settings() / "HKEY_CURRENT_USER.reg"; }
};

TEST_F(Registry, SettingsRoundTripUnderTheProductKey) {
  Breg_WriteRegSettings("User", "FirstRun", "False");
  Breg_WriteRegSettings("Support", "Name", "almoner.db");
  Breg_WriteRegSettings("Support", "*", "default text");

  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
  EXPECT_EQ(Breg_GetRegSetting("support", "NAME"), "almoner.db");
  EXPECT_EQ(Breg_GetRegSetting("Support", "*"), "default text");

  // Where they live: the key of the application title, "*" in the default slot.
  const std::string support = "Software\\Brackwater\\Pellary Almoner\\Support";
  EXPECT_EQ(settings::readValue(settings::Root::CurrentUser, support, settings::kDefaultValue), "default text");
  EXPECT_FALSE(settings::readValue(settings::Root::CurrentUser, support, "*").has_value());
  EXPECT_EQ(Breg_ReadFromRegistry(HKEY_CURRENT_USER, support, "Name", "none"), "almoner.db");
}

TEST_F(Registry, SectionNeverWrittenReadsEmpty) {
  Breg_WriteRegSettings("Settings", "Ref1", "on");
  for (const char* name : {"CustomerID", "LastUpdate", "*", "Ref1", ""}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Breg_GetRegSetting("CUE", name), "");
  }
  EXPECT_FALSE(Breg_DoesKeyExist(HKEY_CURRENT_USER, Breg_SectionKey("CUE")));
  EXPECT_FALSE(fs::exists(settings() / "HKEY_LOCAL_MACHINE.reg"));
}

TEST_F(Registry, DeletingReportsWhetherTheValueWasThere) {
  Breg_WriteRegSettings("Settings", "OrgPassword", "scrambled");
  EXPECT_TRUE(Breg_DeleteRegSetting("Settings", "orgpassword"));
  EXPECT_EQ(Breg_GetRegSetting("Settings", "OrgPassword"), "");
  EXPECT_FALSE(Breg_DeleteRegSetting("Settings", "OrgPassword"));
  EXPECT_FALSE(Breg_DeleteRegSetting("Never", "OrgPassword"));

  EXPECT_TRUE(Breg_WriteToRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "*", "d"));
  EXPECT_TRUE(Breg_DeleteFromRegistry(HKEY_LOCAL_MACHINE, "software\\x", "*"));
  EXPECT_FALSE(Breg_DeleteFromRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "*"));
  EXPECT_TRUE(Breg_DoesKeyExist(HKEY_LOCAL_MACHINE, "SOFTWARE\\X")) << "the key stays";
}

TEST_F(Registry, AnyRootReadsAndWrites) {
  EXPECT_EQ(Breg_ReadFromRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Psion\\PsiWin32", "Installation Directory", ""), "");
  EXPECT_EQ(Breg_ReadFromRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Psion\\PsiWin32", "Installation Directory", "dflt"),
            "dflt");
  EXPECT_TRUE(
      Breg_WriteToRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Psion\\PsiWin32", "Installation Directory", "/opt/p"));
  EXPECT_EQ(Breg_ReadFromRegistry(HKEY_LOCAL_MACHINE, "Software\\psion\\PSIWIN32", "installation directory", ""),
            "/opt/p");
  EXPECT_TRUE(Breg_DoesKeyExist(HKEY_LOCAL_MACHINE, "SOFTWARE\\Psion"));
  EXPECT_FALSE(Breg_DoesKeyExist(HKEY_CURRENT_USER, "SOFTWARE\\Psion"));

  // A stored empty text is a value: the default is not used.
  EXPECT_TRUE(Breg_WriteToRegistry(HKEY_CLASSES_ROOT, "Quoll.Engine", "Empty", ""));
  EXPECT_EQ(Breg_ReadFromRegistry(HKEY_CLASSES_ROOT, "Quoll.Engine", "Empty", "dflt"), "");

  const int32_t unknown = int32_t(0x80000005);
  EXPECT_EQ(Breg_ReadFromRegistry(unknown, "Software", "x", "dflt"), "dflt");
  EXPECT_FALSE(Breg_WriteToRegistry(unknown, "Software", "x", "1"));
  EXPECT_FALSE(Breg_DeleteFromRegistry(unknown, "Software", "x"));
  EXPECT_FALSE(Breg_DoesKeyExist(unknown, ""));
}

TEST_F(Registry, KeysThatCannotBeCreatedFailQuietly) {
  EXPECT_FALSE(Breg_WriteToRegistry(HKEY_CURRENT_USER, "Software\\bad\tname", "x", "1"));
  EXPECT_NO_THROW(Breg_WriteRegSettings("bad\nsection", "x", "1"));

  // A settings folder that cannot be made: its place is taken by a file.
  writeFile(root() / "blocked", "a file");
  setenv("PELLARY_SETTINGS", (root() / "blocked" / "settings").c_str(), 1);
  EXPECT_FALSE(Breg_WriteToRegistry(HKEY_CURRENT_USER, "Software\\X", "x", "1"));
  EXPECT_NO_THROW(Breg_WriteRegSettings("User", "FirstRun", "False"));
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "");
}

TEST_F(Registry, FollowsTheApplicationTitle) {
  Breg_WriteRegSettings("Support", "Name", "pelmon.db");
  setAppTitle("Other Title");
  EXPECT_EQ(Breg_GetRegSetting("Support", "Name"), "");
  setAppTitle(kAppTitle);
  EXPECT_EQ(Breg_GetRegSetting("Support", "Name"), "pelmon.db");
}

TEST_F(Registry, AnotherProcessReadsWhatThisOneWrote) {
  Breg_WriteRegSettings("CUE", "CustomerID", "1001");
  EXPECT_EQ(Breg_GetRegSetting("CUE", "CustomerID"), "1001");

  pid_t pid = fork();
  if (pid == 0) {
    bool ok = Breg_GetRegSetting("CUE", "CustomerID") == "1001";
    Breg_WriteRegSettings("CUE", "CustomerID", "2002");
    Breg_WriteRegSettings("CUE", "SourceID", "7");
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Breg_GetRegSetting("CUE", "CustomerID"), "2002");
  EXPECT_EQ(Breg_GetRegSetting("CUE", "SourceID"), "7");
}

// Records what the reporter was given; the end of the program follows as usual.
class ReportRecorder {
 public:
  ReportRecorder() {
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      this->number = number;
      this->location = std::string(location);
    });
  }
  ~ReportRecorder() { setReportHandler({}); }
  long number = 0;
  std::string location;
};

TEST_F(Registry, DamagedFileIsReportedAndKept) {
  const std::string damaged = "PELLARY SETTINGS 1 HKEY_CURRENT_USER\n[Software]\n\"Name\"=\"unterminated\n";
  writeFile(userFile(), damaged);

  struct Call {
    const char* location;
    std::function<void()> call;
  };
  const std::vector<Call> calls = {
      {"Breg_GetRegSetting", [] { Breg_GetRegSetting("Support", "Name"); }},
      {"Breg_WriteRegSettings", [] { Breg_WriteRegSettings("User", "FirstRun", "False"); }},
      {"Breg_DeleteRegSetting", [] { Breg_DeleteRegSetting("Settings", "OrgPassword"); }},
      {"Breg_ReadFromRegistry", [] { Breg_ReadFromRegistry(HKEY_CURRENT_USER, "Software", "Name", ""); }},
      {"Breg_WriteToRegistry", [] { Breg_WriteToRegistry(HKEY_CURRENT_USER, "Software", "Name", "x"); }},
      {"Breg_DeleteFromRegistry", [] { Breg_DeleteFromRegistry(HKEY_CURRENT_USER, "Software", "Name"); }},
      {"Breg_DoesKeyExist", [] { Breg_DoesKeyExist(HKEY_CURRENT_USER, "Software"); }},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.location);
    ReportRecorder report;
    EXPECT_THROW(c.call(), ProgramEnded);
    EXPECT_EQ(report.location, c.location);
    EXPECT_EQ(report.number, err::SettingsDamaged);
    EXPECT_NE(currentError().description.find("line 3"), std::string::npos) << currentError().description;
    EXPECT_EQ(readFile(userFile()), damaged);
  }
}

TEST_F(Registry, AddToPathKeepsALongPathWhole) {
  const char* saved = std::getenv("PATH");
  const std::string before = saved ? saved : "";

  std::string longPath;
  for (int i = 0; longPath.size() <= 3000; ++i) longPath += "/opt/tool" + std::to_string(i) + "/bin:";
  longPath += "/the/last/folder";
  setenv("PATH", longPath.c_str(), 1);
  EXPECT_NE(Breg_AddToPath("/opt/psiwin"), 0);
  EXPECT_EQ(std::string(std::getenv("PATH")), longPath + ":/opt/psiwin");

  // No empty entry (which would search the current folder) in front of the only one.
  setenv("PATH", "", 1);
  EXPECT_NE(Breg_AddToPath("/opt/palm"), 0);
  EXPECT_STREQ(std::getenv("PATH"), "/opt/palm");

  setenv("PATH", before.c_str(), 1);
}

// Neither an empty entry (the current folder) nor a folder already on the
// path is appended, so repeated calls leave PATH as it was.
TEST_F(Registry, AddToPathAddsNoEmptyOrRepeatedEntry) {
  const char* saved = std::getenv("PATH");
  const std::string before = saved ? saved : "";
  struct Case {
    std::string path, folder, expected;
  } cases[] = {
      {"/usr/bin:/bin", "", "/usr/bin:/bin"},
      {"", "", ""},
      {"/usr/bin:/opt/palm", "/opt/palm", "/usr/bin:/opt/palm"},
      {"/opt/palm/:/usr/bin", "/opt/palm", "/opt/palm/:/usr/bin"},
      {"/usr/bin:/opt/palm", "/opt/palm/", "/usr/bin:/opt/palm"},
      {"/usr/bin:/opt/palmtop", "/opt/palm", "/usr/bin:/opt/palmtop:/opt/palm"},
      {"/usr/bin::/bin", "/opt/psiwin", "/usr/bin::/bin:/opt/psiwin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " + " + c.folder);
    setenv("PATH", c.path.c_str(), 1);
    EXPECT_NE(Breg_AddToPath(c.folder), 0);
    EXPECT_NE(Breg_AddToPath(c.folder), 0);
    EXPECT_EQ(std::string(std::getenv("PATH")), c.expected);
  }
  setenv("PATH", before.c_str(), 1);
}

TEST_F(Registry, ShortPathIsThePathWhenItExists) {
  fs::create_directories(home() / "Palm");
  writeFile(home() / "DateFile.kest", "x");
  const std::string base = home().string();

  struct Case {
    std::string path;
    std::string expected;
  } cases[] = {
      {base + "/DateFile.kest", base + "/DateFile.kest"},
      {base + "\\datefile.KEST", base + "\\datefile.KEST"},
      {base + "\\Palm\\", base + "\\Palm\\"},
      {base + "/Palm/", base + "/Palm/"},
      {base + "\\Missing.kest", ""},
      {base + "\\Missing\\", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Breg_ReturnShortPathName(c.path), c.expected);
  }
}

// The command-line tool, found next to the tests' own programs.
class RegistryTool : public Registry {
 protected:
  struct Result {
    int code = -1;
    std::string out;
    std::string err;
  };

  void SetUp() override {
    Registry::SetUp();
    const char* bin = std::getenv("PELLARY_TEST_BIN");
    if (!bin || !*bin) GTEST_SKIP() << "PELLARY_TEST_BIN is not set";
    tool_ = fs::path(bin) / "almoner-reg";
    if (!fs::exists(tool_)) GTEST_SKIP() << tool_ << " is not built";
  }

  Result run(std::vector<std::string> args) const {
    fs::path out = root() / "tool.out", errFile = root() / "tool.err";
    pid_t pid = fork();
    if (pid == 0) {
      int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(o, 1);
      dup2(e, 2);
      std::vector<char*> argv;
      std::string program = tool_.string();
      argv.push_back(program.data());
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(out);
    r.err = readFile(errFile);
    return r;
  }

  const std::string supportKey = "HKEY_CURRENT_USER\\Software\\Brackwater\\Pellary Almoner\\Support";
  fs::path tool_;
};

TEST_F(RegistryTool, SetsWhatTheProgramReadsAndReadsWhatItWrote) {
  EXPECT_EQ(run({"set", supportKey, "Name", "line one\nline \"two\""}).code, 0);
  EXPECT_EQ(run({"set", "hkcu\\software\\brackwater\\pellary almoner\\support", "*", "d"}).code, 0);
  EXPECT_EQ(Breg_GetRegSetting("Support", "Name"), "line one\nline \"two\"");
  EXPECT_EQ(Breg_GetRegSetting("Support", "*"), "d");

  Breg_WriteRegSettings("Support", "DatesPlat", "12");
  Result r = run({"query", supportKey, "datesplat"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "12\n");

  r = run({"query", supportKey});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Name=line one\nline \"two\"\n*=d\nDatesPlat=12\n");
  r = run({"query", "HKCU\\Software\\Brackwater"});
  EXPECT_EQ(r.out, "[Pellary Almoner]\n");

  EXPECT_EQ(run({"delete", supportKey, "Name"}).code, 0);
  EXPECT_EQ(Breg_GetRegSetting("Support", "Name"), "");
}

TEST_F(RegistryTool, ExitStatusTellsMissingFromErrors) {
  struct Case {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"query", supportKey, "Name"}, 1},
      {{"query", supportKey}, 1},
      {{"delete", supportKey, "Name"}, 1},
      {{"query", "HKEY_USERS\\x", "Name"}, 2},
      {{"set", supportKey, "Name"}, 2},
      {{"frobnicate", supportKey, "Name"}, 2},
      {{}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    Result r = run(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(RegistryTool, DamagedFileIsAnErrorAndStaysAsItWas) {
  const std::string damaged = "not a settings file\n";
  writeFile(userFile(), damaged);
  for (std::vector<std::string> args :
       {std::vector<std::string>{"query", supportKey, "Name"}, std::vector<std::string>{"set", supportKey, "Name", "x"},
        std::vector<std::string>{"delete", supportKey, "Name"}}) {
    SCOPED_TRACE(args[0]);
    Result r = run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find(userFile().string()), std::string::npos) << r.err;
    EXPECT_EQ(readFile(userFile()), damaged);
  }
}

}  // namespace
}  // namespace pellary
