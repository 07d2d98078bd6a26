#include "platform/automation/class_registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "platform/automation/module_abi.h"
#include "platform/errors.h"
#include "platform/settings/settings_tree.h"
#include "support/fixtures.h"

namespace pellary::platform::automation {
namespace {

namespace st = settings;
constexpr st::Root HKCR = st::Root::ClassesRoot;

class Echo : public Dispatch {
 public:
  Variant invoke(DispId id, DispatchArgs& args, InvokeKind) override {
    if (id != 7) raise(errors::NoSuchMember);
    return args.empty() ? Variant() : args[0].value();
  }
};

using pellary::testing::errorOf;

class ClassRegistry : public pellary::testing::IsolatedEnvTest {
 protected:
  static ClassRegistration sample(std::string module = "/opt/none/libsample.so") {
    ClassRegistration r;
    r.clsid = "{0A0B0C0D-1111-2222-3333-444455556666}";
    r.description = "Sample Class";
    r.progId = "SampleLib.Sample.1";
    r.versionIndependentProgId = "SampleLib.Sample";
    r.aliasProgIds = {"SampleLibCtl.Sample"};
    r.modulePath = std::move(module);
    r.typeLib = "{0A0B0C0D-0000-0000-0000-000000000001}";
    r.version = "1.0";
    r.classSubkeys = {{"Programmable", std::nullopt}, {"MiscStatus\\1", std::string("131473")}};
    return r;
  }
  void TearDown() override {
    unregisterBuiltinClass("Stand.In");
    IsolatedEnvTest::TearDown();
  }
};

TEST_F(ClassRegistry, ProgIdsLeadToTheClassAndItsModule) {
  registerClass(sample());
  for (const char* name : {"SampleLib.Sample.1", "samplelib.sample", "SampleLibCtl.Sample"})
    EXPECT_EQ(clsidFromProgId(name), "{0A0B0C0D-1111-2222-3333-444455556666}") << name;
  EXPECT_EQ(st::readValue(HKCR, "SampleLib.Sample\\CurVer", ""), "SampleLib.Sample.1");
  EXPECT_EQ(inprocServerPath("{0a0b0c0d-1111-2222-3333-444455556666}"), "/opt/none/libsample.so");
  EXPECT_EQ(st::readValue(HKCR, "CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}\\InprocServer32", "ThreadingModel"),
            "Apartment");
  EXPECT_EQ(st::readValue(HKCR, "CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}\\MiscStatus\\1", ""), "131473");
  EXPECT_TRUE(st::keyExists(HKCR, "CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}\\Programmable"));
  EXPECT_EQ(clsidFromProgId("Nothing.Here"), std::nullopt);
  EXPECT_EQ(clsidFromProgId("CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}"), std::nullopt);
}

TEST_F(ClassRegistry, RegisteringAgainReplacesTheClassKeyWhole) {
  registerClass(sample());
  st::writeValue(HKCR, "CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}\\Stale", "", "x");
  const auto moved = sample("/new/place/libsample.so");
  registerClass(moved);
  EXPECT_FALSE(st::keyExists(HKCR, "CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}\\Stale"));
  EXPECT_EQ(inprocServerPath(moved.clsid), "/new/place/libsample.so");
}

TEST_F(ClassRegistry, UnregisteringLeavesOtherClassesAndTheClsidKey) {
  registerClass(sample());
  // Another class took over the version-independent name meanwhile.
  st::writeValue(HKCR, "SampleLib.Sample\\CurVer", "", "SampleLib.Sample.2");
  st::writeValue(HKCR, "CLSID\\{99999999-0000-0000-0000-000000000000}", "", "Other");
  unregisterClass(sample());
  EXPECT_FALSE(st::keyExists(HKCR, "SampleLib.Sample.1"));
  EXPECT_FALSE(st::keyExists(HKCR, "SampleLibCtl.Sample"));
  EXPECT_FALSE(st::keyExists(HKCR, "CLSID\\{0A0B0C0D-1111-2222-3333-444455556666}"));
  EXPECT_TRUE(st::keyExists(HKCR, "SampleLib.Sample"));
  EXPECT_TRUE(st::keyExists(HKCR, "CLSID\\{99999999-0000-0000-0000-000000000000}"));
  unregisterClass(sample());  // nothing left: no error
}

TEST_F(ClassRegistry, CurVerLoopsEndWithoutAClass) {
  st::writeValue(HKCR, "Loop.A\\CurVer", "", "Loop.B");
  st::writeValue(HKCR, "Loop.B\\CurVer", "", "Loop.A");
  EXPECT_EQ(clsidFromProgId("Loop.A"), std::nullopt);
  EXPECT_EQ(errorOf([] { createObject("Loop.A"); }), errors::CannotCreateObject);
}

TEST_F(ClassRegistry, TypeLibraryRoundTrip) {
  InterfaceInfo itf{"ISample", "{0A0B0C0D-0000-0000-0000-0000000000AA}", "", {}};
  TypeLibRegistration lib{
      "{0A0B0C0D-0000-0000-0000-000000000001}", "1.0", "Sample 1.0 Type Library", "/opt/none/libsample.so", {&itf}};
  registerTypeLib(lib);
  EXPECT_EQ(st::readValue(HKCR, "TypeLib\\{0A0B0C0D-0000-0000-0000-000000000001}\\1.0", ""), "Sample 1.0 Type Library");
  EXPECT_EQ(st::readValue(HKCR, "Interface\\{0A0B0C0D-0000-0000-0000-0000000000AA}\\TypeLib", "Version"), "1.0");
  unregisterTypeLib(lib);
  EXPECT_FALSE(st::keyExists(HKCR, "TypeLib\\{0A0B0C0D-0000-0000-0000-000000000001}"));
  EXPECT_FALSE(st::keyExists(HKCR, "Interface\\{0A0B0C0D-0000-0000-0000-0000000000AA}"));
  EXPECT_TRUE(st::keyExists(HKCR, "TypeLib"));
}

TEST_F(ClassRegistry, CreatesBuiltinClassesByName) {
  registerBuiltinClass("Stand.In", [] { return std::make_shared<Echo>(); });
  auto obj = createObject("STAND.IN");
  ASSERT_TRUE(obj);
  EXPECT_EQ(obj->call(7, {"ping"}), Variant("ping"));
  unregisterBuiltinClass("stand.in");
  EXPECT_EQ(errorOf([] { createObject("Stand.In"); }), errors::CannotCreateObject);
}

TEST_F(ClassRegistry, ClassesThatCannotBeMadeRaise429) {
  EXPECT_EQ(errorOf([] { createObject("Not.Registered"); }), errors::CannotCreateObject);
  registerClass(sample());  // its module does not exist
  EXPECT_EQ(errorOf([] { createObject("SampleLib.Sample"); }), errors::CannotCreateObject);
  pellary::testing::writeFile(root() / "libfake.so", "not a library");
  registerClass(sample((root() / "libfake.so").string()));
  EXPECT_EQ(errorOf([] { createObject("SampleLib.Sample"); }), errors::CannotCreateObject);
}

TEST_F(ClassRegistry, RegisteringSomethingThatIsNoModuleFails) {
  EXPECT_EQ(errorOf([&] { registerServer(root() / "missing.so"); }), errors::ModuleNotLoaded);
  pellary::testing::writeFile(root() / "libfake.so", "not a library");
  EXPECT_EQ(errorOf([&] { registerServer(root() / "libfake.so"); }), errors::ModuleNotLoaded);
  // A real shared library that is not one of our component modules.
  const std::string sqlite = modulePathOf(reinterpret_cast<const void*>(&sqlite3_libversion));
  ASSERT_FALSE(sqlite.empty());
  EXPECT_EQ(errorOf([&] { registerServer(sqlite); }), errors::ModuleNotLoaded);
}

}  // namespace
}  // namespace pellary::platform::automation
