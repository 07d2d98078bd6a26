#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "brindle/brindle_dll.h"
#include "brindle/controls.h"
#include "device_fixture.h"
#include "platform/automation/class_registry.h"
#include "platform/settings/settings_tree.h"

namespace pellary::brindle {
namespace {

using namespace testing;
namespace st = platform::settings;
using platform::ByRef;
using platform::DispatchArgs;
constexpr st::Root HKCR = st::Root::ClassesRoot;

std::string modulePath() { return std::filesystem::canonical(BRINDLE_MODULE).string(); }
std::string value(const std::string& key, std::string_view name = st::kDefaultValue) {
  return st::readValue(HKCR, key, name).value_or("<missing>");
}
std::string cls(const char* clsid) { return std::string("CLSID\\") + clsid; }

// Acts on the modal dialog once it is ready, from inside its own loop; a dialog
// that never gets ready is closed, so the test fails instead of hanging.
void whenModal(const std::function<bool(QWidget*)>& ready, const std::function<void(QWidget*)>& act) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    const bool timedOut = clock->elapsed() > 10000;
    if (!timedOut && !ready(w)) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (timedOut)
      static_cast<QDialog*>(w)->reject();
    else
      act(w);
  });
  timer->start(10);
}

bool listHas(QWidget* w, const char* text) {
  auto* list = w->findChild<QListWidget*>("lstFiles");
  return list && !list->findItems(text, Qt::MatchExactly).isEmpty();
}

void typeAndAccept(QWidget* w, const char* text) {
  w->findChild<QListWidget*>("lstFiles")->clearSelection();
  w->findChild<QLineEdit*>("txtFileName")->setText(text);
  QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
}

bool treeAt(QWidget* w, const char* path) {
  auto* tree = w->findChild<QTreeWidget*>("tvwFolders");
  return tree && tree->currentItem() && tree->currentItem()->data(0, Qt::UserRole).toString() == path;
}

class BrindleModule : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    platform::automation::registerServer(BRINDLE_MODULE);
  }
};

TEST_F(BrindleModule, RegistersItsTypeLibraryAndFourClasses) {
  const std::string path = modulePath();
  EXPECT_EQ(value("Brindle.BrindleCtrl.1\\CLSID"), kBrindleClsid);
  EXPECT_EQ(value("Gantry.GantryCtrl.1\\CLSID"), kGantryClsid);
  EXPECT_EQ(value("BrindleLib.Brindle\\CLSID"), kBrindleClsid);
  EXPECT_EQ(value("BrindleLib.Gantry\\CLSID"), kGantryClsid);
  EXPECT_EQ(value("Brindle.BrindlePropPage.1\\CLSID"), kBrindlePageClsid);
  EXPECT_EQ(value("Brindle.GantryPropPage.1\\CLSID"), kGantryPageClsid);
  struct Control {
    const char* clsid;
    const char* typeName;
    const char* bitmap;
    bool insertable;
  } controls[] = {{kBrindleClsid, "Brindle Control", ", 1", true}, {kGantryClsid, "Gantry Control", ", 2", false}};
  for (const auto& c : controls) {
    EXPECT_EQ(value(cls(c.clsid)), c.typeName);
    EXPECT_EQ(value(cls(c.clsid) + "\\InprocServer32"), path);
    EXPECT_EQ(value(cls(c.clsid) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(value(cls(c.clsid) + "\\ToolboxBitmap32"), path + c.bitmap);
    EXPECT_EQ(value(cls(c.clsid) + "\\MiscStatus\\1"), "132497");
    EXPECT_EQ(value(cls(c.clsid) + "\\TypeLib"), kLibId);
    EXPECT_EQ(value(cls(c.clsid) + "\\Version"), "1.0");
    EXPECT_TRUE(st::keyExists(HKCR, cls(c.clsid) + "\\Control"));
    EXPECT_EQ(st::keyExists(HKCR, cls(c.clsid) + "\\Insertable"), c.insertable) << c.typeName;
  }
  EXPECT_EQ(value(cls(kBrindlePageClsid)), "Brindle Property Page");
  EXPECT_EQ(value(cls(kGantryPageClsid)), "Gantry Property Page");
  EXPECT_EQ(value(std::string("TypeLib\\") + kLibId + "\\1.0"), "Tessel Connect File Dialog");
  EXPECT_EQ(value(std::string("TypeLib\\") + kLibId + "\\1.0\\0\\linux"), path);
  EXPECT_EQ(value(std::string("Interface\\") + kBrindleIid), "_DBrindle");
  EXPECT_EQ(value(std::string("Interface\\") + kGantryIid), "_DGantry");
}

TEST_F(BrindleModule, UnregisteringRemovesItAndTheToolRegistersItAgain) {
  st::writeValue(HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}", "", "Another class");
  platform::automation::unregisterServer(BRINDLE_MODULE);
  for (const std::string& key :
       {std::string("Brindle.BrindleCtrl.1"), std::string("BrindleLib.Brindle"), std::string("Gantry.GantryCtrl.1"),
        std::string("Brindle.BrindlePropPage.1"), cls(kBrindleClsid), cls(kGantryClsid), cls(kBrindlePageClsid),
        cls(kGantryPageClsid), std::string("TypeLib\\") + kLibId, std::string("Interface\\") + kBrindleIid})
    EXPECT_FALSE(st::keyExists(HKCR, key)) << key;
  EXPECT_TRUE(st::keyExists(HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}"));
  EXPECT_EQ(pellary::testing::errorOf([] { platform::automation::createObject("Brindle.BrindleCtrl.1"); }),
            platform::automation::errors::CannotCreateObject);

  const std::string tool = REGSVR_TOOL, module = BRINDLE_MODULE;
  ASSERT_EQ(std::system((tool + " /s " + module).c_str()), 0);
  EXPECT_TRUE(platform::automation::createObject("Gantry.GantryCtrl.1"));
  ASSERT_EQ(std::system((tool + " /s /u " + module).c_str()), 0);
  EXPECT_FALSE(st::keyExists(HKCR, cls(kGantryClsid)));
}

TEST_F(BrindleModule, DispatchSurfacesByNumberAndName) {
  for (const char* name : {"Brindle.BrindleCtrl.1", "brindlelib.brindle", kBrindleClsid}) {
    auto obj = platform::automation::createObject(name);
    ASSERT_TRUE(obj && obj->typeInfo()) << name;
    EXPECT_EQ(obj->typeInfo()->iid, kBrindleIid);
  }
  auto file = platform::automation::createObject("Brindle.BrindleCtrl.1");
  ASSERT_TRUE(file && file->typeInfo());
  EXPECT_EQ(file->typeInfo()->name, "_DBrindle");
  const std::pair<const char*, int> members[] = {
      {"Init", 1},       {"addfilterwildcard", 2}, {"AddFilterUID", 3}, {"GetPathName", 4},       {"GETFILENAME", 5},
      {"GetFileExt", 6}, {"GetFileType", 7},       {"DoModal", 8},      {"GetResourceString", 9}, {"CopyInit", 10},
      {"CopyOpen", 11},  {"CopySave", 12},         {"CopyExit", 13}};
  for (const auto& [name, id] : members) EXPECT_EQ(file->idOfName(name), id) << name;
  EXPECT_FALSE(file->typeInfo()->find(platform::DispId(11))) << "the copy members are not in the type library";

  EXPECT_EQ(file->call(9, {int16_t(504)}).toString(), "Select a Tessel file to open...");
  EXPECT_EQ(file->call("GetResourceString", {int16_t(103)}).toString(),
            "%1 already exists.\nDo you want to replace it?");
  EXPECT_EQ(file->call("GetResourceString", {int16_t(999)}).toString(), "");
  EXPECT_EQ(file->call("CopyOpen", {int16_t(1), "x", 1, 2, 3}).toLong(), 0);
  EXPECT_EQ(file->call("CopyExit").toLong(), 0);
  // Before Init: nothing to run, nothing to read.
  EXPECT_FALSE(file->call(8).toBool());
  EXPECT_EQ(file->call("GetFileName").toString(), "");
  EXPECT_EQ(pellary::testing::errorOf([&] { file->call("Init", {true}); }),
            platform::automation::errors::WrongArgumentCount);

  auto browse = platform::automation::createObject("Gantry.GantryCtrl.1");
  ASSERT_TRUE(browse && browse->typeInfo());
  EXPECT_EQ(browse->typeInfo()->name, "_DGantry");
  for (const auto& [name, id] : {std::pair<const char*, int>{"Init", 1}, {"DoModal", 2}, {"GetFolderName", 3}})
    EXPECT_EQ(browse->idOfName(name), id) << name;
  EXPECT_FALSE(browse->call("DoModal").toBool());
  EXPECT_EQ(browse->call(3).toString(), "");
}

TEST_F(BrindleModule, TheAgendaPagesPickAFile) {
  auto file = platform::automation::createObject("Brindle.BrindleCtrl.1");
  file->call(1, {true, "Choose an Agenda file", "Select", "C:\\*.*", 1});
  file->call(2, {"Psion Agenda file", "*.agn"});
  whenModal([](QWidget* w) { return listHas(w, "Documents"); },
            [](QWidget* w) { typeAndAccept(w, "Documents\\Psi3.agn"); });
  EXPECT_TRUE(file->call(8).toBool());
  EXPECT_EQ(file->call(5).toString(), "C:\\Documents\\Psi3.agn");
  EXPECT_EQ(file->call("GetPathName").toString(), "C:\\Documents\\Psi3.agn");
  EXPECT_EQ(file->call("GetFileExt").toString(), "agn");

  // The Series 5 page filters by UID and reads the type back by reference.
  file->call("Init", {true, "Choose an Agenda file", "Select", "C:\\Documents\\x", 1});
  file->call(3, {"Psion Agenda file", int32_t(kAgendaUids[0]), int32_t(kAgendaUids[1]), int32_t(kAgendaUids[2])});
  whenModal([](QWidget* w) { return listHas(w, "Agenda") && !listHas(w, "Psi3.agn"); },
            [](QWidget* w) {
              auto* list = w->findChild<QListWidget*>("lstFiles");
              list->setCurrentItem(list->findItems("Agenda", Qt::MatchExactly).front());
              QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
            });
  EXPECT_TRUE(file->call("DoModal").toBool());
  EXPECT_EQ(file->call("GetFileName").toString(), "C:\\Documents\\Agenda");
  Variant u0, u1, u2;
  DispatchArgs args{ByRef(u0), ByRef(u1), ByRef(u2)};
  file->callRef(7, args);
  EXPECT_EQ(u0.toLong(), int32_t(kAgendaUids[0]));
  EXPECT_EQ(u2.toLong(), int32_t(kAgendaUids[2]));

  // Save: a new name is a success too; a cancel is not.
  file->call("Init", {false, "Save", "Save", "C:\\Documents", 1});
  whenModal([](QWidget* w) { return listHas(w, "Agenda"); }, [](QWidget* w) { typeAndAccept(w, "New.agn"); });
  EXPECT_TRUE(file->call("DoModal").toBool());
  EXPECT_EQ(file->call("GetFileName").toString(), "C:\\Documents\\New.agn");
  file->call("Init", {true, "Open", "Open", "", 0});
  whenModal([](QWidget* w) { return listHas(w, "Internal [C:]"); },
            [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  EXPECT_FALSE(file->call("DoModal").toBool());
}

TEST_F(BrindleModule, TheBrowseControlPicksAFolder) {
  auto browse = platform::automation::createObject("Gantry.GantryCtrl.1");
  browse->call("Init", {"Choose a folder", "OK", "Where the reference goes", "C:\\Documents"});
  whenModal([](QWidget* w) { return treeAt(w, "C:\\Documents"); },
            [](QWidget* w) { QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton); });
  EXPECT_TRUE(browse->call(2).toBool());
  EXPECT_EQ(browse->call(3).toString(), "C:\\Documents");
}

TEST_F(DeviceTest, InitAgainStartsWithAFreshDialog) {
  CBrindleCtrl ctrl;
  ctrl.call("Init", {true, "t", "b", "", 0});
  ctrl.call("AddFilterWildcard", {"Old", "*.old"});
  ctrl.call("Init", {true, "t", "b", "", 0});
  ctrl.call("AddFilterWildcard", {"New", "*.new"});
  ctrl.dialog()->initialise();
  auto* types = ctrl.dialog()->findChild<QComboBox*>("cboFileType");
  ASSERT_EQ(types->count(), 1);
  EXPECT_EQ(types->itemText(0), "New (*.new)");
}

TEST_F(DeviceTest, OffTheWidgetThreadNoDialogIsMade) {
  bool shown = true;
  std::string name = "x";
  std::thread([&] {
    CBrindleCtrl ctrl;
    ctrl.call("Init", {true, "t", "b", "", 0});
    shown = ctrl.call("DoModal").toBool();
    name = ctrl.call("GetFileName").toString();
  }).join();
  EXPECT_FALSE(shown);
  EXPECT_EQ(name, "");
}

TEST_F(DeviceTest, ExportedClassesRunTheDialogs) {
  CFileDll* file = BrindleCreateFileDll();
  char buffer[260];
  std::strcpy(buffer, "untouched");
  EXPECT_EQ(file->DoModal(), 0) << "nothing to run before Init";
  file->GetFileName(buffer);
  EXPECT_STREQ(buffer, "untouched");
  file->GetResource(505, buffer);
  EXPECT_STREQ(buffer, "Select a Tessel file to save to...");

  file->Init(1, "Open", "Open", "C:\\Documents", 0);
  whenModal([](QWidget* w) { return listHas(w, "Agenda"); },
            [](QWidget* w) {
              auto* list = w->findChild<QListWidget*>("lstFiles");
              list->setCurrentItem(list->findItems("Psi3.agn", Qt::MatchExactly).front());
              QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
            });
  EXPECT_EQ(file->DoModal(), 1);
  file->GetFileName(buffer);
  EXPECT_STREQ(buffer, "C:\\Documents\\Psi3.agn");
  file->GetPathName(buffer);
  EXPECT_STREQ(buffer, "C:\\Documents");
  file->GetFileExt(buffer);
  EXPECT_STREQ(buffer, "agn");
  BrindleDestroyFileDll(file);

  CBrowseDll* browse = BrindleCreateBrowseDll();
  browse->Init("Folder", "OK", "Pick", "D:\\Backup");
  whenModal([](QWidget* w) { return treeAt(w, "D:\\Backup"); },
            [](QWidget* w) { QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton); });
  EXPECT_EQ(browse->DoModal(), 1);
  browse->GetFolderName(buffer);
  EXPECT_STREQ(buffer, "D:\\Backup");
  BrindleDestroyBrowseDll(browse);
}

}  // namespace
}  // namespace pellary::brindle
