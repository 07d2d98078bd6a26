#include "standins/tessel/connect_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "standins/psiwin/psiwin_engine.h"
#include "support/fixtures.h"

namespace pellary::standins::tessel {
namespace {

using pellary::testing::writeFile;

struct Call {
  Call(int position, int32_t status, int32_t value = 0) : position(position), status(status), value(value) {}
  int position;
  int32_t status;
  int32_t value = 0;
  std::string drives;  // the drive list's strings joined by ","
  std::thread::id thread;
};

// Records every callback with the thread it came on.
class RecordingSink final : public IConnectEngineSink {
 public:
  HResult QueryInterface(const char*, void**) override { return kNoInterface; }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  HResult OnStarted(int32_t s) override { return add({3, s}); }
  HResult OnLinkUp(int32_t s) override { return add({4, s}); }
  HResult OnLinkDown(int32_t s) override { return add({5, s}); }
  HResult OnEntryReady(int32_t s) override { return add({6, s}); }
  HResult OnListingReady(int32_t s, int32_t extra) override { return add({13, s, extra}); }
  HResult OnDrivesReady(int32_t s, const DriveListRecord* r) override {
    Call c{20, s};
    for (const char* p = r->bytes; *p; p += strlen(p) + 1) c.drives += std::string(c.drives.empty() ? "" : ",") + p;
    return add(c);
  }
  HResult OnDriveInfoReady(int32_t s) override { return add({21, s}); }
  HResult OnValueReady(int32_t s, int32_t, int32_t v) override { return add({23, s, v}); }
  HResult OnOther(int position, int32_t, int32_t) override { return add({position, 0}); }

  // Waits for the next callback.
  Call next() {
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return read < calls.size(); })) return Call{-1, 0};
    return calls[read++];
  }
  size_t pending() {
    std::lock_guard lock(mutex);
    return calls.size() - read;
  }

  std::atomic<uint32_t> refs{1};

 private:
  HResult add(Call c) {
    c.thread = std::this_thread::get_id();
    {
      std::lock_guard lock(mutex);
      calls.push_back(c);
    }
    changed.notify_all();
    return kOk;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Call> calls;
  size_t read = 0;
};

std::string le(uint32_t a, uint32_t b, uint32_t c) {
  std::string s;
  for (uint32_t v : {a, b, c})
    for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
  return s + "rest";
}

class TesselEngine : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    const auto c = addDrive('C', "Internal");
    addDrive('d', "Disk");
    addDrive('Z', "ROM");
    std::filesystem::create_directories(c / "Documents" / "Letters");
    writeFile(c / "Documents" / "Agenda", le(0x10000037, 0x1000006D, 0x10000084));
    writeFile(c / "Documents" / "notes.txt", "hi");
    writeFile(c / "readme.wrd", le(1, 2, 3));
    objectsBefore_ = liveEngineObjects();
    ASSERT_EQ(createConnectEngine(kEngineClsid, kEngineIid, &engine_), kOk);
    engine_->Advise(&sink_);
    ASSERT_EQ(sink_.next().position, 3);
  }
  void TearDown() override {
    holdAnswers(false);
    restoreLink();
    if (engine_) engine_->Release();
    EXPECT_EQ(sink_.refs.load(), 1u) << "the engine releases the sink it was given";
    EXPECT_EQ(liveEngineObjects(), objectsBefore_);
    IsolatedEnvTest::TearDown();
  }
  void connect() {
    engine_->Connect(0);
    ASSERT_EQ(sink_.next().position, 4);
  }
  template <class Obj, class Fn>
  Obj* ask(Fn request, int position, int32_t* status = nullptr) {
    Obj* obj = nullptr;
    request(&obj);
    Call c = sink_.next();
    EXPECT_EQ(c.position, position);
    if (status) *status = c.status;
    return obj;
  }
  std::vector<std::pair<std::string, bool>> walk(IConnectEntryList* list) {
    std::vector<std::pair<std::string, bool>> out;
    list->Reset();
    for (;;) {
      IConnectEntry* e = nullptr;
      uint32_t fetched = 0;
      list->Next(1, &e, &fetched);
      if (!fetched) break;
      char name[260];
      e->Name(name);
      AttributeRecord a;
      e->Attributes(&a);
      out.emplace_back(name, (a.bits & kAttrFolder) != 0);
      e->Release();
    }
    return out;
  }

  IConnectEngine* engine_ = nullptr;
  RecordingSink sink_;
  int objectsBefore_ = 0;
};

TEST_F(TesselEngine, AnswersArriveLaterFromAnotherThread) {
  engine_->Connect(0);
  const Call up = sink_.next();
  EXPECT_EQ(up.position, 4);
  EXPECT_EQ(up.status, 0);
  EXPECT_NE(up.thread, std::this_thread::get_id());

  // Held answers queue up and come in request order.
  holdAnswers(true);
  engine_->RequestValue(2);
  const auto rec = PathRecord::of("");
  engine_->RequestDrives(&rec);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(sink_.pending(), 0u);
  holdAnswers(false);
  const Call value = sink_.next();
  EXPECT_EQ(value.position, 23);
  EXPECT_EQ(value.value, 32);
  const Call drives = sink_.next();
  EXPECT_EQ(drives.position, 20);
  EXPECT_EQ(drives.drives, "C:,D:,Z:");
}

TEST_F(TesselEngine, DriveDetailsEntriesAndListings) {
  connect();
  int32_t status = 1;
  auto* drive = ask<IConnectDrive>(
      [&](IConnectDrive** d) {
        const auto r = PathRecord::of("c:\\whatever");
        engine_->RequestDriveInfo(&r, d);
      },
      21, &status);
  ASSERT_EQ(status, 0);
  const DriveRecord* dr = nullptr;
  drive->Record(&dr);
  EXPECT_EQ(dr->letter, 'C');
  EXPECT_STREQ(dr->volume, "Internal");
  drive->Release();
  EXPECT_EQ(ask<IConnectDrive>(
                [&](IConnectDrive** d) {
                  const auto r = PathRecord::of("Q");
                  engine_->RequestDriveInfo(&r, d);
                },
                21, &status),
            nullptr);
  EXPECT_NE(status, 0);

  auto* entry = ask<IConnectEntry>(
      [&](IConnectEntry** e) {
        const auto r = PathRecord::of("C:\\DOCUMENTS\\agenda");
        engine_->RequestEntry(&r, e);
      },
      6, &status);
  ASSERT_EQ(status, 0);
  const EntryRecord* er = nullptr;
  entry->Record(&er);
  EXPECT_EQ(er->uid(0), 0x10000037u);
  EXPECT_EQ(er->uid(1), 0x1000006Du);
  EXPECT_EQ(er->uid(2), 0x10000084u);
  char name[260];
  entry->Name(name);
  EXPECT_STREQ(name, "Agenda");
  entry->Release();
  for (const char* missing : {"C:\\Documents\\nothing", "C:\\*.*", "C:\\Documents\\..\\..\\..", "X:\\a"}) {
    EXPECT_EQ(ask<IConnectEntry>(
                  [&](IConnectEntry** e) {
                    const auto r = PathRecord::of(missing);
                    engine_->RequestEntry(&r, e);
                  },
                  6, &status),
              nullptr)
        << missing;
    EXPECT_NE(status, 0) << missing;
  }

  auto* list = ask<IConnectEntryList>(
      [&](IConnectEntryList** l) {
        const auto r = PathRecord::of("C:\\Documents\\*.*");
        engine_->RequestListing(&r, l);
      },
      13, &status);
  ASSERT_EQ(status, 0);
  const std::vector<std::pair<std::string, bool>> all = {{"Agenda", false}, {"Letters", true}, {"notes.txt", false}};
  EXPECT_EQ(walk(list), all);
  EXPECT_EQ(walk(list), all) << "a reset walks again";
  list->Release();
  list = ask<IConnectEntryList>(
      [&](IConnectEntryList** l) {
        const auto r = PathRecord::of("C:\\Documents\\*.TXT");
        engine_->RequestListing(&r, l);
      },
      13, &status);
  EXPECT_EQ(walk(list), (std::vector<std::pair<std::string, bool>>{{"notes.txt", false}}));
  list->Release();
  EXPECT_EQ(ask<IConnectEntryList>(
                [&](IConnectEntryList** l) {
                  const auto r = PathRecord::of("C:\\Nowhere\\*.*");
                  engine_->RequestListing(&r, l);
                },
                13, &status),
            nullptr);
  EXPECT_NE(status, 0);
}

TEST_F(TesselEngine, ParsePathAndWildcardsAnswerAtOnce) {
  struct Case {
    const char* in;
    const char* text;
    uint16_t drive, path;
  } cases[] = {
      {"C:\\Documents\\Agenda", "C:\\Documents\\Agenda", 2, 11},
      {"C:\\*.*", "C:\\*.*", 2, 1},
      {"D:", "D:", 2, 0},
      {"Agenda", "", 0, 0},
      {"sub\\Agenda", "", 0, 4},
      {"", "", 0, 0},
  };
  for (const auto& c : cases) {
    ParseResult r;
    engine_->ParsePath(c.in, 0, 0, &r);
    EXPECT_STREQ(r.text, c.text) << c.in;
    EXPECT_EQ(r.driveLength, c.drive) << c.in;
    EXPECT_EQ(r.pathLength, c.path) << c.in;
  }
  struct Match {
    const char* name;
    const char* pattern;
    int32_t fold, expected;
  } matches[] = {
      {"Agenda.AGN", "*.agn", 1, 1}, {"Agenda.AGN", "*.agn", 0, 0}, {"Agenda", "*.*", 1, 1}, {"abc", "a?c", 1, 1},
      {"abcd", "a?c", 1, 0},         {"x.wrd", "*wrd", 1, 1},       {"", "*", 1, 1},         {"ab", "*b*b", 1, 0}};
  for (const auto& m : matches) {
    int32_t result = -1;
    engine_->MatchWildcard(m.name, m.pattern, m.fold, &result);
    EXPECT_EQ(result, m.expected) << m.name << " " << m.pattern;
  }
  EXPECT_EQ(sink_.pending(), 0u);
}

TEST_F(TesselEngine, LinkDropsAndReturns) {
  connect();
  dropLink();
  EXPECT_EQ(sink_.next().position, 5);
  engine_->RequestValue(2);
  EXPECT_NE(sink_.next().status, 0) << "no answers from a device that is gone";
  restoreLink();
  EXPECT_EQ(sink_.next().position, 4);
}

TEST(TesselEngineCreation, OnlyByItsClassAndWhileTheSuiteIsThere) {
  IConnectEngine* e = nullptr;
  EXPECT_EQ(createConnectEngine("{00000000-0000-0000-0000-000000000001}", kEngineIid, &e), kClassNotRegistered);
  EXPECT_EQ(createConnectEngine(kEngineClsid, kSinkIid, &e), kNoInterface);
  EXPECT_EQ(e, nullptr);
  auto old = setEngineMaker({});
  EXPECT_EQ(createConnectEngine(kEngineClsid, kEngineIid, &e), kClassNotRegistered);
  setEngineMaker(old);
  const int live = liveEngines();
  ASSERT_EQ(createConnectEngine(kEngineClsid, kEngineIid, &e), kOk);
  EXPECT_EQ(liveEngines(), live + 1);
  e->Release();
  EXPECT_EQ(liveEngines(), live);
}

class TesselEngineDevice : public pellary::testing::IsolatedEnvTest {
 protected:
  void TearDown() override {
    if (engine) engine->Release();
    IsolatedEnvTest::TearDown();
  }
  // An engine told to connect: it answers OnLinkUp once the device is there.
  void connectEngine() {
    ASSERT_EQ(createConnectEngine(kEngineClsid, kEngineIid, &engine), kOk);
    engine->Advise(&sink);
    EXPECT_EQ(sink.next().position, 3);
    engine->Connect(0);
  }
  RecordingSink sink;
  IConnectEngine* engine = nullptr;
};

// The handheld is plugged in and pulled out by its folder appearing and
// going; the engine notices by itself, whenever it happens.
TEST_F(TesselEngineDevice, TheLinkFollowsTheDeviceFolder) {
  connectEngine();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(sink.pending(), 0u) << "without its folder the link does not come up";
  addDrive('C', "Internal");
  EXPECT_EQ(sink.next().position, 4);

  const std::filesystem::path away = deviceRoot().string() + ".away";
  std::filesystem::rename(deviceRoot(), away);
  EXPECT_EQ(sink.next().position, 5);
  std::filesystem::rename(away, deviceRoot());
  EXPECT_EQ(sink.next().position, 4);
  std::filesystem::remove_all(deviceRoot());
  EXPECT_EQ(sink.next().position, 5);
  // The stand-ins folder itself gone and made again: still noticed.
  std::filesystem::remove_all(deviceRoot().parent_path());
  std::filesystem::create_directories(deviceRoot());
  EXPECT_EQ(sink.next().position, 4);
  EXPECT_EQ(sink.pending(), 0u);
}

// The dialogs and PsiWin reach one handheld: the agenda PsiWin's agenda
// object makes is the file the engine lists, with a Series 5 agenda's UIDs.
TEST_F(TesselEngineDevice, ListsTheAgendaPsiWinMakesWithItsUids) {
  addDrive('C', "Internal");
  psiwin::createAgendaFile("C:\\Documents\\Agenda");
  connectEngine();
  EXPECT_EQ(sink.next().position, 4);
  IConnectEntry* entry = nullptr;
  const auto path = PathRecord::of("c:\\documents\\agenda");
  engine->RequestEntry(&path, &entry);
  ASSERT_EQ(sink.next().status, 0);
  ASSERT_NE(entry, nullptr);
  const EntryRecord* rec = nullptr;
  entry->Record(&rec);
  EXPECT_EQ(rec->uid(0), 0x10000050u);
  EXPECT_EQ(rec->uid(1), 0x1000006Du);
  EXPECT_EQ(rec->uid(2), 0x10000084u);
  entry->Release();
  EXPECT_TRUE(psiwin::readAgendaFile(psiwin::devicePath("C:\\Documents\\Agenda")).empty());
}

}  // namespace
}  // namespace pellary::standins::tessel
