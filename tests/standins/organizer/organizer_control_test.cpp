#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "standins/organizer/organizer_control.h"
#include "support/fixtures.h"

namespace pellary::standins::organizer {
namespace {

constexpr const char* kFile = "C:\\Org\\Diary.or5";

class OrganizerControlTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    registerOrganizerClass();
    OrganizerFile f;
    f.password = "pw";
    f.sections = {{0, "C1", "Calendar"}, {1, "A1", "Birthdays"}};
    writeFile(filePath(kFile), f);
    ctl_ = automation::createObject(kControlClass);
  }
  void put(DispId id, Variant v) {
    DispatchArgs a{std::move(v)};
    ctl_->invoke(id, a, automation::InvokeKind::PropertyPut);
  }
  Variant get(DispId id) {
    DispatchArgs a;
    return ctl_->invoke(id, a, automation::InvokeKind::PropertyGet);
  }
  int32_t open(const std::string& password, int32_t type = 0) {
    put(4, type);
    put(8, int32_t(10));
    put(1, kFile);
    put(2, password);
    ctl_->call(9);
    return get(19).toLong();
  }
  void add(const std::string& text, int day) {
    Variant section = "C1", d = int32_t(day), m = int32_t(3), y = int32_t(2026);
    DispatchArgs a{text, ByRef(section), ByRef(d), ByRef(m), ByRef(y), ByRef(d), ByRef(m), ByRef(y)};
    ctl_->callRef(17, a);
  }
  std::shared_ptr<Dispatch> ctl_;
};

TEST_F(OrganizerControlTest, OpensOnlyWithThePassword) {
  EXPECT_NE(open("bad"), 0);
  EXPECT_EQ(open("pw"), 0);
  put(1, "C:\\Org\\None.or5");
  ctl_->call(9);
  EXPECT_NE(get(19).toLong(), 0);
}

TEST_F(OrganizerControlTest, SectionListPerEntryType) {
  ASSERT_EQ(open("pw", 1), 0);
  ctl_->call(12);
  EXPECT_EQ(get(13).toString(), "A1\u00FABirthdays\u00FB");
}

TEST_F(OrganizerControlTest, AddAndDeleteReachTheFileAtTheEnd) {
  ASSERT_EQ(open("pw"), 0);
  ctl_->call(14);
  add("Gig\r\nmemo", 5);
  add("Gig\r\nsecond", 5);
  EXPECT_TRUE(readFile(filePath(kFile)).entries.empty());  // not yet written
  ctl_->call(15);
  ctl_->call(10);
  ASSERT_EQ(readFile(filePath(kFile)).entries.size(), 2u);

  ASSERT_EQ(open("pw"), 0);
  ctl_->call(14);
  Variant title = "Gig", d = int32_t(5), m = int32_t(3), y = int32_t(2026);
  DispatchArgs del{ByRef(title), ByRef(d), ByRef(m), ByRef(y), int32_t(11)};  // another hour: no match
  ctl_->callRef(18, del);
  DispatchArgs del2{ByRef(title), ByRef(d), ByRef(m), ByRef(y), int32_t(10)};
  ctl_->callRef(18, del2);
  ctl_->call(10);
  auto entries = readFile(filePath(kFile)).entries;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, "Gig\r\nsecond");
}

TEST_F(OrganizerControlTest, DeletesFindEntriesAddedInTheSameRunInTheirOrder) {
  ASSERT_EQ(open("pw"), 0);
  ctl_->call(14);
  for (const char* text : {"Gig\r\none", "Other", "Gig\r\ntwo", "Gig\r\nthree"}) add(text, 5);
  add("Gig\r\nnext day", 6);
  Variant title = "Gig", d = int32_t(5), m = int32_t(3), y = int32_t(2026);
  for (int i = 0; i < 2; ++i) {
    DispatchArgs del{ByRef(title), ByRef(d), ByRef(m), ByRef(y), int32_t(10)};
    ctl_->callRef(18, del);
  }
  ctl_->call(15);
  ctl_->call(10);
  std::vector<std::string> left;
  for (const auto& e : readFile(filePath(kFile)).entries) left.push_back(e.text);
  EXPECT_EQ(left, (std::vector<std::string>{"Other", "Gig\r\nthree", "Gig\r\nnext day"}));
}

TEST_F(OrganizerControlTest, DeletionsOfEarlierRunsAndAFileOfMostlyDeletionsWrittenAnew) {
  auto texts = [] {
    std::vector<std::string> out;
    for (const auto& e : readFile(filePath(kFile)).entries) out.push_back(e.text);
    return out;
  };
  auto remove = [&](const char* title, int day) {
    Variant t = title, d = int32_t(day), m = int32_t(3), y = int32_t(2026);
    DispatchArgs del{ByRef(t), ByRef(d), ByRef(m), ByRef(y), int32_t(10)};
    ctl_->callRef(18, del);
  };
  auto run = [&](const std::function<void()>& body) {
    ASSERT_EQ(open("pw"), 0);
    ctl_->call(14);
    body();
    ctl_->call(15);
    ctl_->call(10);
  };
  run([&] {
    add("A", 5);
    add("B", 5);
    add("C", 6);
  });
  run([&] {
    remove("A", 5);
    add("D", 7);
    remove("D", 7);
  });
  EXPECT_EQ(texts(), (std::vector<std::string>{"B", "C"}));
  run([&] {
    remove("B", 5);
    remove("C", 6);
  });
  EXPECT_TRUE(texts().empty());
  // Four deleted entries and none live: the next open writes the file anew.
  run([&] { add("E", 8); });
  EXPECT_EQ(texts(), (std::vector<std::string>{"E"}));
  std::ifstream in(filePath(kFile), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("deleted"), std::string::npos);
  EXPECT_NE(text.find("section\t1\tA1\tBirthdays"), std::string::npos);
}

TEST_F(OrganizerControlTest, WritingNeedsTheOpenFile) {
  EXPECT_NE(pellary::testing::errorOf([&] { add("x", 1); }), 0);
}

}  // namespace
}  // namespace pellary::standins::organizer
