#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <tuple>
#include <vector>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/settings/settings_tree.h"
#include "standins/psiwin/psiwin_engine.h"
#include "support/fixtures.h"

namespace pellary::standins::psiwin {
namespace {

using pellary::testing::awaitNextFolderTime;
using pellary::testing::readFile;
using pellary::testing::writeFile;
using Ev = std::pair<int16_t, int32_t>;

class PsiWinEngineTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    fs::create_directories(deviceFolder() / "C" / "Documents");
    fs::create_directories(deviceFolder() / "D");
    engine_.setEventSink([this](int16_t e, int32_t c) { events_.emplace_back(e, c); });
  }
  void connect() {
    engine_.start();
    engine_.connect(10000);
    engine_.pumpEvents();
    events_.clear();
  }
  PsiWinEngine engine_;
  std::vector<std::pair<int16_t, int32_t>> events_;
};

TEST_F(PsiWinEngineTest, EventsWaitForThePump) {
  engine_.start();
  engine_.connect(10000);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(engine_.pumpEvents(), 2);
  EXPECT_EQ(events_, (std::vector<std::pair<int16_t, int32_t>>{{OnInitDone, 0}, {OnConnectDone, 0}}));
  engine_.connect(10000);
  engine_.pumpEvents();
  EXPECT_EQ(events_.back(), Ev(OnConnectDone, code::AlreadyConnected));
}

TEST_F(PsiWinEngineTest, NoDeviceTimesOut) {
  fs::remove_all(deviceFolder());
  engine_.connect(10000);
  engine_.pumpEvents();
  EXPECT_EQ(events_.back(), Ev(OnConnectDone, code::TimedOut));
  EXPECT_FALSE(engine_.connected());
}

TEST_F(PsiWinEngineTest, CopiesBothWaysThroughDispatch) {
  connect();
  writeFile(deviceFolder() / "C" / "Documents" / "Agenda.agn", "bytes");
  Variant from = "c:\\DOCUMENTS\\agenda.agn", to = paths::appPath() + "\\Psi3.agn";
  DispatchArgs args{int16_t(DeviceSide), ByRef(from), int16_t(PcSide), ByRef(to), int32_t(1)};
  engine_.callRef(kCopyFile, args);
  engine_.pumpEvents();
  EXPECT_EQ(events_.back(), Ev(OnCopyDone, code::Ok));
  EXPECT_EQ(readFile(home() / "Psi3.agn"), "bytes");

  writeFile(home() / "Psi3.agn", "changed");
  engine_.copyFile(PcSide, paths::appPath() + "\\Psi3.agn", DeviceSide, "C:\\Documents\\Agenda.agn", 1);
  engine_.pumpEvents();
  EXPECT_EQ(readFile(deviceFolder() / "C" / "Documents" / "Agenda.agn"), "changed");
  EXPECT_EQ(engine_.call(kGetDrives).toString(), "CD");
}

// Copies into one device folder find its files in any spelling, whether this
// connection copied them or others put them there (or took them away) between
// copies: a copy replaces the file of that name, and a new one keeps the
// spelling it was given.
TEST_F(PsiWinEngineTest, CopiesFindTheDeviceFilesInAnySpelling) {
  connect();
  writeFile(home() / "src.txt", "new");
  const fs::path gzr = deviceFolder() / "C" / "Pelmon" / "gzr";
  auto copy = [&](const std::string& to) {
    events_.clear();
    engine_.copyFile(PcSide, paths::appPath() + "\\src.txt", DeviceSide, to, 1);
    engine_.pumpEvents();
    EXPECT_EQ(events_, (std::vector<Ev>{{OnCopyDone, code::Ok}})) << to;
  };
  auto names = [&] {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(gzr)) out.insert(e.path().filename().string());
    return out;
  };
  copy("C:\\Pelmon\\gzr\\a.txt");
  copy("C:\\PELMON\\GZR\\b.txt");
  copy("c:\\pelmon\\gzr\\A.TXT");
  writeFile(gzr / "Early.TXT", "theirs");
  copy("C:\\Pelmon\\gzr\\early.txt");
  EXPECT_EQ(names(), (std::set<std::string>{"a.txt", "b.txt", "Early.TXT"}));
  // Others change the folder after this connection's own last copy.
  awaitNextFolderTime(gzr);
  writeFile(gzr / "Late.TXT", "theirs");
  fs::remove(gzr / "b.txt");
  copy("C:\\Pelmon\\gzr\\late.txt");
  copy("C:\\Pelmon\\gzr\\B.TXT");
  EXPECT_EQ(names(), (std::set<std::string>{"a.txt", "B.TXT", "Early.TXT", "Late.TXT"}));
  for (const char* f : {"a.txt", "Early.TXT", "Late.TXT"}) EXPECT_EQ(readFile(gzr / f), "new") << f;

  // A folder emptied and made again on the device is read afresh.
  engine_.deleteFolder(DeviceSide, "C:\\Pelmon\\gzr");
  engine_.createFolder(DeviceSide, "C:\\Pelmon\\gzr");
  engine_.pumpEvents();
  copy("C:\\Pelmon\\gzr\\A.TXT");
  EXPECT_EQ(names(), (std::set<std::string>{"A.TXT"}));
}

TEST_F(PsiWinEngineTest, CopyFailuresCarryTheirCodes) {
  connect();
  writeFile(deviceFolder() / "C" / "A.agn", "x");
  writeFile(deviceFolder() / "C" / "A.agn.inuse", "");
  engine_.copyFile(DeviceSide, "C:\\Missing.agn", PcSide, paths::appPath() + "\\x", 1);
  engine_.copyFile(DeviceSide, "C:\\A.agn", PcSide, paths::appPath() + "\\x", 1);
  engine_.copyFile(DeviceSide, "NoDrive", PcSide, paths::appPath() + "\\x", 1);
  engine_.pumpEvents();
  EXPECT_EQ(events_,
            (std::vector<std::pair<int16_t, int32_t>>{
                {OnCopyDone, code::FileNotFound}, {OnCopyDone, code::FileInUse}, {OnCopyDone, code::FileNotFound}}));
}

TEST_F(PsiWinEngineTest, HeldCopiesNeverFinishAndALostLinkSaysSo) {
  connect();
  writeFile(deviceFolder() / "C" / "A.agn", "x");
  engine_.holdCopies(true);
  engine_.copyFile(DeviceSide, "C:\\A.agn", PcSide, paths::appPath() + "\\x", 1);
  EXPECT_EQ(engine_.pumpEvents(), 0);
  fs::remove_all(deviceFolder());
  engine_.copyFile(DeviceSide, "C:\\A.agn", PcSide, paths::appPath() + "\\x", 1);
  engine_.pumpEvents();
  EXPECT_EQ(events_.back().first, OnLinkLost);
}

TEST_F(PsiWinEngineTest, DriveListAndDetailsArriveAsEvents) {
  connect();
  std::vector<std::tuple<int16_t, int32_t, std::string>> seen;
  engine_.setTextEventSink([&](int16_t e, int32_t c, const std::string& t) { seen.emplace_back(e, c, t); });
  engine_.call(kRequestDrives, {int16_t(DeviceSide)});
  EXPECT_TRUE(seen.empty());
  engine_.pumpEvents();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], std::make_tuple(int16_t(OnDriveList), code::Ok, std::string("C:\\ D:\\")));

  for (const char* drive : {"C:\\", "d:\\"}) {
    const Variant info = engine_.call(kGetDriveInfo, {int16_t(DeviceSide), drive});
    ASSERT_TRUE(info.isObject() && info.toObject()) << drive;
    auto details = info.toObject();
    EXPECT_EQ(details->call("GetName").toString(), drive[0] == 'C' ? "Internal" : "Disk D");
    EXPECT_GT(details->call("GetSize").toDouble(), 0);
    EXPECT_LE(details->call("GetDevFreeSpace").toDouble(), details->call("GetSize").toDouble());
  }
  const Variant missing = engine_.call(kGetDriveInfo, {int16_t(DeviceSide), "E:\\"});
  EXPECT_TRUE(missing.isObject() && !missing.toObject());
  seen.clear();
  engine_.pumpEvents();
  std::vector<int32_t> codes;
  for (const auto& [e, c, t] : seen) {
    EXPECT_EQ(e, OnDriveInfo);
    codes.push_back(c);
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{code::Ok, code::Ok, code::FileNotFound}));
}

TEST_F(PsiWinEngineTest, FolderOperationsAnswerWithTheirCodes) {
  connect();
  const fs::path c = deviceFolder() / "C";
  writeFile(c / "Data" / "Sub" / "a.txt", "x");
  writeFile(c / "Busy" / "b.txt", "y");
  writeFile(c / "Busy" / "b.txt.inuse", "");
  struct Case {
    DispId op;
    const char* folder;
    int16_t event;
    int32_t code;
    bool existsAfter;
  } cases[] = {
      {kDeleteFolder, "C:\\data", OnFolderDeleted, code::Ok, false},
      {kDeleteFolder, "C:\\Data", OnFolderDeleted, code::PathNotFound, false},
      {kDeleteFolder, "C:\\Busy", OnFolderDeleted, code::FileInUse, true},
      {kDeleteFolder, "C:\\", OnFolderDeleted, code::AccessDenied, true},
      {kDeleteFolder, "C:\\..\\D", OnFolderDeleted, code::PathNotFound, true},  // names nothing on the device
      {kCreateFolder, "C:\\New\\Deep", OnFolderCreated, code::Ok, true},
      {kCreateFolder, "C:\\new\\deep", OnFolderCreated, code::AlreadyExists, true},
      {kCreateFolder, "NoDrive", OnFolderCreated, code::PathNotFound, false},
  };
  for (const auto& k : cases) {
    events_.clear();
    engine_.call(k.op, {int16_t(DeviceSide), k.folder});
    engine_.pumpEvents();
    EXPECT_EQ(events_, (std::vector<Ev>{{k.event, k.code}})) << k.folder;
    const fs::path p = devicePath(k.folder);
    if (!p.empty()) {
      EXPECT_EQ(fs::is_directory(p), k.existsAfter) << k.folder;
    }
  }
  EXPECT_TRUE(fs::is_directory(deviceFolder() / "D"));
  EXPECT_TRUE(fs::exists(c / "Busy" / "b.txt"));

  // Without the link nothing changes and the answers say so.
  fs::remove_all(deviceFolder());
  for (DispId op : {kDeleteFolder, kCreateFolder}) engine_.call(op, {int16_t(DeviceSide), "C:\\X"});
  events_.clear();
  engine_.pumpEvents();
  EXPECT_EQ(events_, (std::vector<Ev>{{OnFolderDeleted, code::NotConnected}, {OnFolderCreated, code::NotConnected}}));
  EXPECT_FALSE(engine_.connected());
}

TEST_F(PsiWinEngineTest, StoppingADeviceProgramIsAnswered) {
  connect();
  engine_.call(kStopProgram, {int16_t(DeviceSide), "C:\\System\\Apps\\Mappa\\Mappa.app"});
  engine_.pumpEvents();
  EXPECT_EQ(events_, (std::vector<Ev>{{OnProgramStopped, code::Ok}}));
}

TEST_F(PsiWinEngineTest, BothClassNamesCreateTheEngine) {
  registerPsiWinClasses();
  for (const char* name : {kEngineClass, kEngineControlClass, "psiwinenglib.psiwineng"})
    EXPECT_TRUE(std::dynamic_pointer_cast<PsiWinEngine>(automation::createObject(name))) << name;
}

TEST_F(PsiWinEngineTest, FileInfoReportsThroughItsEvent) {
  connect();
  writeFile(deviceFolder() / "C" / "A.agn", "12345");
  EXPECT_EQ(engine_.fileInfo(DeviceSide, "C:\\A.agn"), 5);
  EXPECT_EQ(engine_.fileInfo(DeviceSide, "C:\\B.agn"), -1);
  engine_.pumpEvents();
  EXPECT_EQ(events_, (std::vector<std::pair<int16_t, int32_t>>{{OnFileInfo, 0}, {OnFileInfo, code::FileNotFound}}));
}

class PsiWinAgendaTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    registerPsiWinClasses();
    createAgendaFile("C:\\Documents\\Agenda");
  }
  std::shared_ptr<Dispatch> open() {
    auto cls = automation::createObject(kAgendaClass);
    Variant path = "C:\\Documents\\Agenda";
    DispatchArgs args{ByRef(path)};
    return cls->callRef("Open", args).toObject();
  }
  int32_t add(Dispatch& agenda, const std::string& text) {
    auto event = agenda.call("NewEvent").toObject();
    DispatchArgs start{Variant::date(46000)};
    event->invoke(*event->idOfName("StartDate"), start, automation::InvokeKind::PropertyPut);
    event->call("GetRichText").toObject()->call("AddChars", {text});
    agenda.call("AddEntry", {Variant(event)});
    return event->call("GetUniqueId").toLong();
  }
};

TEST_F(PsiWinAgendaTest, CommitKeepsAndCloseWithoutCommitDrops) {
  auto agenda = open();
  EXPECT_EQ(add(*agenda, "One\r\nline two\ttab"), 1);
  EXPECT_EQ(add(*agenda, "Two"), 2);
  agenda->call("Commit");
  agenda->call("Close");
  auto again = open();
  EXPECT_EQ(add(*again, "Dropped"), 3);
  again->call("DeleteEntryOnId", {int32_t(1)});
  again->call("Close");
  auto entries = readAgendaFile(devicePath("C:\\Documents\\Agenda"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].text, "One\r\nline two\ttab");
  EXPECT_EQ(entries[0].start, 46000);
  // IDs are not given twice, even after a delete.
  auto third = open();
  third->call("DeleteEntryOnId", {int32_t(2)});
  EXPECT_EQ(add(*third, "Three"), 3);
  third->call("Commit");
}

TEST_F(PsiWinAgendaTest, DeletesInOneSessionReachTheFileAtCommit) {
  auto agenda = open();
  for (const char* text : {"A", "B", "C", "D"}) add(*agenda, text);
  agenda->call("DeleteEntryOnId", {int32_t(2)});
  agenda->call("DeleteEntryOnId", {int32_t(2)});  // gone already: no failure
  agenda->call("DeleteEntryOnId", {int32_t(4)});
  EXPECT_EQ(add(*agenda, "E"), 5);
  agenda->call("Commit");
  agenda->call("DeleteEntryOnId", {int32_t(1)});
  EXPECT_EQ(add(*agenda, "F"), 6);
  agenda->call("DeleteEntryOnId", {int32_t(6)});
  agenda->call("Commit");
  agenda->call("Close");
  std::vector<std::string> left;
  for (const auto& e : readAgendaFile(devicePath("C:\\Documents\\Agenda"))) left.push_back(e.text);
  EXPECT_EQ(left, (std::vector<std::string>{"C", "E"}));
  // IDs given in a session are not given again, also when their entries went.
  auto again = open();
  EXPECT_EQ(add(*again, "G"), 7);
}

TEST_F(PsiWinAgendaTest, DeletionsOfEarlierSessionsAndAFileOfMostlyDeletionsWrittenAnew) {
  const fs::path file = devicePath("C:\\Documents\\Agenda");
  auto texts = [&] {
    std::vector<std::string> out;
    for (const auto& e : readAgendaFile(file)) out.push_back(e.text);
    return out;
  };
  auto first = open();
  for (const char* text : {"A", "B", "C"}) add(*first, text);
  first->call("Commit");
  first->call("Close");
  auto second = open();
  second->call("DeleteEntryOnId", {int32_t(1)});
  second->call("DeleteEntryOnId", {int32_t(3)});
  second->call("Commit");
  second->call("Close");
  EXPECT_EQ(texts(), (std::vector<std::string>{"B"}));
  // Two deleted entries and one live: the next open writes the file anew,
  // and IDs already given stay given.
  auto third = open();
  EXPECT_EQ(add(*third, "D"), 4);
  third->call("Commit");
  third->call("Close");
  EXPECT_EQ(texts(), (std::vector<std::string>{"B", "D"}));
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("deleted"), std::string::npos);
}

TEST_F(PsiWinAgendaTest, MissingOrClosedAgendaFails) {
  auto cls = automation::createObject(kAgendaClass);
  Variant path = "C:\\Nothing";
  DispatchArgs args{ByRef(path)};
  EXPECT_EQ(pellary::testing::errorOf([&] { cls->callRef("Open", args); }), err::FileNotFound);
  auto agenda = open();
  agenda->call("Close");
  EXPECT_NE(pellary::testing::errorOf([&] { agenda->call("NewEvent"); }), 0);
}

// An agenda begins with the three UIDs of a Series 5 agenda, also after a
// rewrite; a file written before they led the header still opens.
TEST_F(PsiWinAgendaTest, TheFileBeginsWithTheAgendaUids) {
  const std::string uids("\x50\x00\x00\x10\x6D\x00\x00\x10\x84\x00\x00\x10", 12);
  const fs::path file = devicePath("C:\\Documents\\Agenda");
  EXPECT_EQ(readFile(file).substr(0, 12), uids);
  auto agenda = open();
  add(*agenda, "One");
  agenda->call("Commit");
  agenda->call("Close");
  EXPECT_EQ(readFile(file).substr(0, 12), uids);
  writeFile(file, "PSIAGENDA5 4\n3\t46000\t46000\t0\t0\t0\tOPEN\tOld\n");
  ASSERT_EQ(readAgendaFile(file).size(), 1u);
  EXPECT_EQ(readAgendaFile(file)[0].text, "Old");
  EXPECT_EQ(add(*open(), "Two"), 4);
}

// A device path never leaves its drive.
TEST_F(PsiWinAgendaTest, DevicePathsStayOnTheDevice) {
  EXPECT_TRUE(devicePath("C:\\..\\..\\outside").empty());
  EXPECT_TRUE(devicePath("C:\\Documents\\..\\x").empty());
  EXPECT_TRUE(devicePath("C:/../x").empty());
  EXPECT_TRUE(devicePath("Documents\\Agenda").empty());
  EXPECT_EQ(devicePath("c:\\DOCUMENTS\\agenda"), deviceFolder() / "C" / "Documents" / "Agenda");
  auto cls = automation::createObject(kAgendaClass);
  Variant path = "C:\\..\\..\\settings";
  DispatchArgs args{ByRef(path)};
  EXPECT_NE(pellary::testing::errorOf([&] { cls->callRef("Open", args); }), 0);
}

TEST_F(PsiWinAgendaTest, InstallWritesTheClassKeys) {
  installPsiWin(false);
  EXPECT_TRUE(settings::keyExists(settings::Root::ClassesRoot, kOldAgendaClass));
  EXPECT_FALSE(settings::keyExists(settings::Root::ClassesRoot, kAgendaClass));
  installPsiWin(true);
  EXPECT_TRUE(settings::keyExists(settings::Root::ClassesRoot, kAgendaClass));
}

}  // namespace
}  // namespace pellary::standins::psiwin
