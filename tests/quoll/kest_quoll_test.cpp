#include "quoll/kest_quoll.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "agenda_bytes.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/settings/settings_tree.h"
#include "support/fixtures.h"

namespace pellary::quoll {
namespace {

namespace au = platform::automation;
namespace st = platform::settings;
using namespace pellary::quoll::testing;
using pellary::testing::readFile;
using pellary::testing::writeFile;
using platform::ByRef;
using platform::DispatchArgs;

constexpr st::Root HKCR = st::Root::ClassesRoot;

std::string modulePath() { return std::filesystem::canonical(QUOLL_MODULE).string(); }

std::string value(const std::string& key, std::string_view name = st::kDefaultValue) {
  return st::readValue(HKCR, key, name).value_or("<missing>");
}

template <class F>
long errorOf(F&& body) {
  try {
    body();
  } catch (const AppError& e) {
    return e.number();
  }
  return 0;
}

class QuollModule : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    au::registerServer(QUOLL_MODULE);
    agenda_ = home() / "Psi3.agn";
  }
  std::shared_ptr<platform::Dispatch> create() { return au::createObject("QuollLibCtl.KestQuoll"); }
  // The path as the Series 3 writer builds it: program folder + "\Psi3.agn".
  std::string writerPath() const { return home().string() + "\\Psi3.agn"; }

  std::filesystem::path agenda_;
};

TEST_F(QuollModule, RegistrationWritesTheClassTypeLibraryAndProgIds) {
  const std::string cls = std::string("CLSID\\") + kClsid;
  EXPECT_EQ(value("KestQuoll.KestQuoll.1"), "KestQuoll Class");
  EXPECT_EQ(value("KestQuoll.KestQuoll.1\\CLSID"), kClsid);
  EXPECT_EQ(value("KestQuoll.KestQuoll"), "KestQuoll Class");
  EXPECT_EQ(value("KestQuoll.KestQuoll\\CurVer"), "KestQuoll.KestQuoll.1");
  EXPECT_EQ(value("QuollLibCtl.KestQuoll\\CLSID"), kClsid);
  EXPECT_EQ(value(cls), "KestQuoll Class");
  EXPECT_EQ(value(cls + "\\ProgID"), "KestQuoll.KestQuoll.1");
  EXPECT_EQ(value(cls + "\\VersionIndependentProgID"), "KestQuoll.KestQuoll");
  EXPECT_EQ(value(cls + "\\InprocServer32"), modulePath());
  EXPECT_EQ(value(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(value(cls + "\\ToolboxBitmap32"), modulePath() + ", 1");
  EXPECT_EQ(value(cls + "\\MiscStatus"), "0");
  EXPECT_EQ(value(cls + "\\MiscStatus\\1"), "132497");
  EXPECT_EQ(value(cls + "\\TypeLib"), kLibId);
  EXPECT_EQ(value(cls + "\\Version"), "1.0");
  for (const char* sub : {"Programmable", "Control", "Insertable"}) EXPECT_TRUE(st::keyExists(HKCR, cls + "\\" + sub));
  EXPECT_EQ(value(std::string("TypeLib\\") + kLibId + "\\1.0"), "Quoll 1.0 Type Library");
  EXPECT_EQ(value(std::string("TypeLib\\") + kLibId + "\\1.0\\0\\linux"), modulePath());
  EXPECT_EQ(value(std::string("Interface\\") + kIid), "IKestQuoll");
  EXPECT_EQ(value(std::string("Interface\\") + kIid + "\\TypeLib"), kLibId);
}

TEST_F(QuollModule, RegisteringTwiceChangesNothingAndUnregisteringRemovesOnlyQuoll) {
  st::writeValue(HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}", "", "Another class");
  const std::string once = readFile(st::rootFile(HKCR));
  au::registerServer(QUOLL_MODULE);
  EXPECT_EQ(readFile(st::rootFile(HKCR)), once);

  au::unregisterServer(QUOLL_MODULE);
  for (const std::string& key : std::vector<std::string>{
           "KestQuoll.KestQuoll.1", "KestQuoll.KestQuoll", "QuollLibCtl.KestQuoll", std::string("CLSID\\") + kClsid,
           std::string("TypeLib\\") + kLibId, std::string("Interface\\") + kIid})
    EXPECT_FALSE(st::keyExists(HKCR, key)) << key;
  EXPECT_TRUE(st::keyExists(HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}"));
  EXPECT_EQ(errorOf([&] { create(); }), au::errors::CannotCreateObject);
  au::unregisterServer(QUOLL_MODULE);  // again: nothing left to remove, still fine
}

TEST_F(QuollModule, RegistrationToolRegistersAndUnregisters) {
  const std::string tool = REGSVR_TOOL, module = QUOLL_MODULE;
  ASSERT_EQ(std::system((tool + " /s /u " + module).c_str()), 0);
  EXPECT_FALSE(st::keyExists(HKCR, "QuollLibCtl.KestQuoll"));
  ASSERT_EQ(std::system((tool + " /s " + module).c_str()), 0);
  EXPECT_EQ(value(std::string("CLSID\\") + kClsid + "\\InprocServer32"), modulePath());
  EXPECT_NE(std::system((tool + " /s " + (root() / "missing.so").string() + " 2>/dev/null").c_str()), 0);
}

TEST_F(QuollModule, CreatedByEveryNameWithItsDispatchSurface) {
  for (const char* name : {"QuollLibCtl.KestQuoll", "KestQuoll.KestQuoll", "kestquoll.kestquoll.1", kClsid}) {
    auto obj = au::createObject(name);
    ASSERT_TRUE(obj) << name;
    ASSERT_TRUE(obj->typeInfo());
    EXPECT_EQ(obj->typeInfo()->name, "IKestQuoll");
    EXPECT_EQ(obj->typeInfo()->iid, kIid);
  }
  auto obj = create();
  const std::pair<const char*, int> members[] = {
      {"open", 1}, {"CLOSE", 2}, {"MarkAsDeleted", 3}, {"addentrytimed", 4}, {"AddEntryUntimed", 5}};
  for (const auto& [name, id] : members) EXPECT_EQ(obj->idOfName(name), id) << name;
  EXPECT_EQ(obj->typeInfo()->find(4)->params.size(), 11u);
  EXPECT_EQ(obj->typeInfo()->find(5)->params.size(), 7u);
}

// The Series 3 writer's sequence: Open by reference, untimed adds with all
// seven arguments by reference, deletes with the title by value, Close.
TEST_F(QuollModule, WriterSequenceGivesTheExactFile) {
  writeFile(agenda_, fileHeader());
  auto obj = create();
  Variant path = writerPath();
  obj->call(1, {ByRef(path)});

  // The writer hands over "é" as the character whose Windows-1252 byte is
  // code page 850's é (130); "Ö" stays as it is.
  Variant day = int32_t(19), month = int32_t(5), year = int32_t(1997);
  Variant text = std::string("Caf\u201A \u00D6"), memo = std::string("Line\r\nTwo");
  Variant hasRepeat = int32_t(1), days = int32_t(2);
  obj->call(5, {ByRef(day), ByRef(month), ByRef(year), ByRef(text), ByRef(memo), ByRef(hasRepeat), ByRef(days)});
  Variant noMemo = std::string(), none = int32_t(-1), zero = int32_t(0), title = std::string("Gig");
  obj->call(5, {ByRef(day), ByRef(month), ByRef(year), ByRef(title), ByRef(noMemo), ByRef(none), ByRef(zero)});
  obj->call(3, {ByRef(day), ByRef(month), ByRef(year), std::string("Caf\u201A \u00D6")});
  obj->call("Close");

  const std::string first = hex("2D 00  10 27  FF FF  0A 20  00 06") + "Caf\x82 \xD6" +
                            hex("19 00  13 40  06 00  00 00  19 22 00 00 08 00 00 00") + std::string("Line\0\nTwo", 9) +
                            hex("0A 00  42 54  4E 4E");
  const std::string repeat = hex("09 00  00 00  12 27  02  14 00 00 00");
  const std::string second = untimed(10000, "Gig");
  EXPECT_EQ(readFile(agenda_), fileHeader() + first + repeat + second);
}

TEST_F(QuollModule, FailuresThatWouldLoseDatesAreReported) {
  auto obj = create();
  EXPECT_EQ(errorOf([&] { obj->call("Close"); }), 0) << "Close before Open does nothing";
  EXPECT_EQ(errorOf([&] { obj->call("Open", {writerPath()}); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { obj->call("AddEntryUntimed", {2, 1, 1970, "x", "", -1, 0}); }), errors::NotOpen);
  EXPECT_EQ(errorOf([&] { obj->call("AddEntryTimed", {2, 1, 1970, 9, 0, 10, 0, "x", "", -1, 0}); }), errors::NotOpen);
  EXPECT_EQ(errorOf([&] { obj->call("MarkAsDeleted", {2, 1, 1970, "x"}); }), errors::NotOpen);
  EXPECT_FALSE(std::filesystem::exists(agenda_));
  EXPECT_EQ(errorOf([&] { obj->call("Close"); }), 0);
  EXPECT_EQ(errorOf([&] { obj->call("Open", {home().string()}); }), err::PathFileAccess);

  writeFile(agenda_, fileHeader() + untimed(1, "Kept"));
  obj->call("Open", {writerPath()});
  EXPECT_EQ(errorOf([&] { obj->call("MarkAsDeleted", {2, 1, 1970, "Not there"}); }), 0);
  EXPECT_EQ(errorOf([&] { obj->call("MarkAsDeleted", {2, 1, 1970, "kept"}); }), 0);
  EXPECT_EQ(errorOf([&] { obj->call("AddEntryUntimed", {30, 2, 1970, "x", "", -1, 0}); }), err::InvalidCall);
  obj->call("Close");
  EXPECT_EQ(readFile(agenda_), fileHeader() + untimed(1, "Kept"));
  EXPECT_EQ(errorOf([&] { obj->call("AddEntryUntimed", {2, 1, 1970, "x", "", -1, 0}); }), errors::NotOpen);
}

TEST_F(QuollModule, BadCallsRaiseErrorsNotCrashes) {
  writeFile(agenda_, fileHeader());
  auto obj = create();
  obj->call("Open", {writerPath()});
  EXPECT_EQ(errorOf([&] { obj->call(5, {2, 1, 1970, "x", ""}); }), au::errors::WrongArgumentCount);
  EXPECT_EQ(errorOf([&] { obj->call(2, {1}); }), au::errors::WrongArgumentCount);
  EXPECT_EQ(errorOf([&] { obj->call(3, {"two", 1, 1970, "x"}); }), err::TypeMismatch);
  EXPECT_EQ(errorOf([&] { obj->call(3, {2, 1, 1970, Variant::null()}); }), err::TypeMismatch);
  EXPECT_EQ(errorOf([&] { obj->call(3, {2, 1, 1970, Variant(obj)}); }), err::TypeMismatch);
  EXPECT_EQ(errorOf([&] { obj->call(9, {}); }), au::errors::NoSuchMember);
  EXPECT_EQ(errorOf([&] { obj->call("Save", {}); }), au::errors::NoSuchMember);
  // Numbers in text and Empty convert as the automation runtime converts them.
  obj->call("AddEntryUntimed", {"2", 1.0, int16_t(1970), "x", Variant(), -1, Variant()});
  obj->call("Close");
  EXPECT_EQ(readFile(agenda_), fileHeader() + untimed(1, "x"));
}

TEST_F(QuollModule, OpeningAnotherFileKeepsWhatWasWrittenToTheFirst) {
  const auto second = home() / "Other.agn";
  writeFile(agenda_, fileHeader());
  writeFile(second, fileHeader());
  {
    auto obj = create();
    obj->call("Open", {agenda_.string()});
    obj->call("AddEntryUntimed", {2, 1, 1970, "One", "", -1, 0});
    obj->call("Open", {second.string()});
    obj->call("AddEntryUntimed", {2, 1, 1970, "Two", "", -1, 0});
    // Released with the second still open: it is closed on release.
  }
  EXPECT_EQ(readFile(agenda_), fileHeader() + untimed(1, "One"));
  EXPECT_EQ(readFile(second), fileHeader() + untimed(1, "Two"));
}

TEST_F(QuollModule, TheModuleHandsOutOnlyItsOwnClass) {
  au::ClassRegistration other;
  other.clsid = "{0A0B0C0D-9999-2222-3333-444455556666}";
  other.progId = "Other.Thing.1";
  other.modulePath = modulePath();
  au::registerClass(other);
  EXPECT_EQ(errorOf([] { au::createObject("Other.Thing.1"); }), au::errors::CannotCreateObject);
}

TEST_F(QuollModule, UnloadsWhenNoObjectIsAliveAndLoadsAgain) {
  {
    auto held = create();
    au::freeUnusedLibraries();
    EXPECT_EQ(held->idOfName("Open"), 1);
  }
  au::freeUnusedLibraries();
  auto obj = create();
  EXPECT_EQ(obj->idOfName("Close"), 2);
}

}  // namespace
}  // namespace pellary::quoll
