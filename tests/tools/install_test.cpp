#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "core/databank.h"
#include "core/registry.h"
#include "platform/dao/dao.h"
#include "platform/settings/settings_tree.h"
#include "standins/handheld/handheld.h"
#include "standins/psiwin/psiwin_engine.h"
#include "support/fixtures.h"
#include "tools/install.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;

class Install : public testing::IsolatedEnvTest {
 protected:
  void TearDown() override {
    Bsql_CloseDataBank();
    IsolatedEnvTest::TearDown();
  }
};

TEST_F(Install, FreshFolderIsReadyToOpen) {
  install::Result r = install::installProgramFolder({});
  EXPECT_TRUE(r.createdDatabank);
  EXPECT_EQ(Breg_GetRegSetting("Support", "Name"), "almoner.db");
  EXPECT_EQ(Breg_GetRegSetting("Support", "DatesPlat"), "3");
  EXPECT_EQ(Breg_GetRegSetting("Support", "DatesPlatShortName"), "Outlook");
  EXPECT_EQ(Breg_GetRegSetting("Support", "RefPlat1"), "1");
  EXPECT_EQ(Breg_GetRegSetting("Support", "RefPlat2"), "");
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "True");
  for (const char* sub : {"CUE", "Updates", "Reference", "Help"}) EXPECT_TRUE(fs::is_directory(home() / sub)) << sub;
  EXPECT_TRUE(fs::exists(home() / "Help" / "index.htm"));
  EXPECT_TRUE(fs::exists(home() / "Products" / "index.htm"));  // the other-products tab's page
  // The portal shows it while an update run starts.
  EXPECT_NE(testing::readFile(home() / "cueinit.htm").find("update is starting"), std::string::npos);

  Bsql_OpenDataBanks();
  dao::Recordset action = Bsql_DataBank().openRecordset("Action");
  EXPECT_GT(action.recordCount(), 0);
  dao::Recordset profile = Bsql_DataBank().openRecordset("SELECT * FROM Profiles WHERE ProfileID = 1");
  EXPECT_EQ(profile.recordCount(), 1);
}

TEST_F(Install, SecondRunKeepsWhatIsThere) {
  install::installProgramFolder({});
  Breg_WriteRegSettings("User", "FirstRun", "False");
  Bsql_OpenDataBanks();
  Bsql_DataBank().execute("INSERT INTO Products (ProductID, ProgProductID, ProductName) VALUES (7, 70, 'Kept')");
  Bsql_CloseDataBank();

  install::Result again = install::installProgramFolder({});
  EXPECT_FALSE(again.createdDatabank);
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
  Bsql_OpenDataBanks();
  EXPECT_EQ(Bsql_DataBank().openRecordset("SELECT * FROM Products WHERE ProductID = 7").recordCount(), 1);
}

TEST_F(Install, NamedPlatformsReplaceTheDefaults) {
  install::installProgramFolder({});
  install::Options o;
  o.datesPlat = 12;
  o.refPlat2 = 4;
  install::installProgramFolder(o);
  EXPECT_EQ(Breg_GetRegSetting("Support", "DatesPlat"), "12");
  EXPECT_EQ(Breg_GetRegSetting("Support", "DatesPlatShortName"), "Palm");
  EXPECT_EQ(Breg_GetRegSetting("Support", "RefPlat1"), "1");
  EXPECT_EQ(Breg_GetRegSetting("Support", "RefPlat2"), "4");
  EXPECT_EQ(Breg_GetRegSetting("Support", "RefPlat2ShortName"), "Handheld PC");
}

TEST_F(Install, DemoLoadsTheShippedTableFiles) {
  // Hushbank, beside this program, loads the copied file and deletes it.
  fs::path data = root() / "data";
  testing::writeFile(data / "CUE" / "Primary.cue", "1,1,\"Holidays\",1\r\n");
  install::Options o;
  o.demo = true;
  o.dataFolder = data;
  install::installProgramFolder(o);
  EXPECT_FALSE(fs::exists(home() / "CUE" / "Primary.cue"));
  Bsql_OpenDataBanks();
  EXPECT_EQ(Bsql_DataBank().openRecordset("SELECT * FROM Primary WHERE PrimaryName = 'Holidays'").recordCount(), 1);
}

}  // namespace
}  // namespace pellary

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"

namespace pellary {
namespace {

// Pelmon's Series 3 writer creates the agenda component by this class name.
TEST_F(Install, RegistersTheAgendaComponent) {
  install::Result r = install::installProgramFolder({});
  fs::path quoll = install::defaultComponents().front();
  if (!fs::exists(quoll)) GTEST_SKIP() << "component not built: " << quoll;
  EXPECT_TRUE(platform::automation::clsidFromProgId("QuollLibCtl.KestQuoll").has_value());
  EXPECT_NE(platform::automation::createObject("QuollLibCtl.KestQuoll"), nullptr);
  install::installProgramFolder({});  // registering again is harmless
  EXPECT_TRUE(platform::automation::clsidFromProgId("QuollLibCtl.KestQuoll").has_value());
}

}  // namespace
}  // namespace pellary

#include "standins/palm/palm_desktop.h"

namespace pellary {
namespace {

TEST_F(Install, RegistersTheFileBrowserControls) {
  install::installProgramFolder({});
  fs::path brindle = install::defaultComponents().back();
  if (!fs::exists(brindle)) GTEST_SKIP() << "component not built: " << brindle;
  EXPECT_TRUE(platform::automation::clsidFromProgId("BrindleLib.Brindle").has_value());
  EXPECT_TRUE(platform::automation::clsidFromProgId("BrindleLib.Gantry").has_value());
}

TEST_F(Install, PalmTargetGetsADesktopWithAUser) {
  install::Options o;
  o.datesPlat = 12;
  install::installProgramFolder(o);
  EXPECT_EQ(standins::palm::users().size(), 1u);
  EXPECT_TRUE(fs::exists(home() / "Palm" / "Orrery.prc"));
  install::installProgramFolder(o);  // a second run adds no second user
  EXPECT_EQ(standins::palm::users().size(), 1u);
}

// The Series 5 page needs PsiWin 2.2 and an agenda on the device; one the
// user already keeps there is left alone.
TEST_F(Install, Series5TargetGetsPsiWinAndAnAgenda) {
  namespace psi = standins::psiwin;
  namespace st = platform::settings;
  install::Options o;
  o.datesPlat = 15;
  install::installProgramFolder(o);
  EXPECT_TRUE(st::readValue(st::Root::LocalMachine, "Software\\Psion\\PsiWin32", "Installation Directory"));
  EXPECT_TRUE(st::keyExists(st::Root::ClassesRoot, psi::kAgendaClass));
  const fs::path agenda = psi::devicePath(install::kSeries5DemoAgenda);
  EXPECT_TRUE(psi::readAgendaFile(agenda).empty());
  psi::AgendaEntry kept;
  kept.text = "Dentist";
  psi::writeAgendaFile(agenda, {kept}, 2);
  install::installProgramFolder(o);
  EXPECT_EQ(psi::readAgendaFile(agenda).size(), 1u);
}

// Every Psion target gets the handheld that PsiWin and the device dialogs
// share, with the drives it writes to and an empty agenda for a dates target.
TEST_F(Install, EveryPsionTargetGetsTheHandheld) {
  namespace hh = standins::handheld;
  struct Case {
    std::optional<int> datesPlat, refPlat2;
    const char* drives;
    const char* agenda;  // nullptr: none
  } cases[] = {
      // In this order: a device reference target, once set, stays set.
      {3, std::nullopt, "", nullptr},
      {1, std::nullopt, "C", install::kSeries3DemoAgenda},
      {16, std::nullopt, "C", install::kSeries5DemoAgenda},
      {3, 32, "CM", nullptr},
      {3, 256, "C", nullptr},
      {12, 4, "", nullptr},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.datesPlat.value_or(0)) + "/" + std::to_string(c.refPlat2.value_or(0));
    fs::remove_all(home());
    fs::remove_all(standins());
    install::Options o;
    o.datesPlat = c.datesPlat;
    o.refPlat2 = c.refPlat2;
    install::installProgramFolder(o);
    Bsql_CloseDataBank();
    std::string drives;
    for (char d : hh::driveLetters()) drives += d;
    EXPECT_EQ(drives, c.drives) << name;
    EXPECT_EQ(hh::linked(), *c.drives != '\0') << name;
    if (!c.agenda) continue;
    const fs::path agenda = hh::existingDevicePath(c.agenda);
    ASSERT_FALSE(agenda.empty()) << name;
    if (c.datesPlat == 1) {
      // A Series 3 agenda Quoll opens: the header says its records start at 20.
      const std::string bytes = testing::readFile(agenda);
      ASSERT_EQ(bytes.size(), 20u) << name;
      EXPECT_EQ(uint8_t(bytes[18]) | uint8_t(bytes[19]) << 8, 20) << name;
    } else {
      EXPECT_TRUE(standins::psiwin::readAgendaFile(agenda).empty()) << name;
    }
  }
}

TEST_F(Install, ReferenceSourcesAndOutputFolders) {
  install::installProgramFolder({});
  EXPECT_TRUE(fs::is_directory(home() / "PCMappa"));
  EXPECT_TRUE(fs::is_directory(home() / "Reference" / "HPC" / "Output"));
  EXPECT_TRUE(fs::exists(home() / "Reference" / "PC" / "Source" / "4.tem"));
}

}  // namespace
}  // namespace pellary
