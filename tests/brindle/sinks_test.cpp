#include "brindle/sinks.h"

#include <gtest/gtest.h>

#include <vector>

namespace pellary::brindle {
namespace {

class Recorder final : public MessageTarget {
 public:
  void postMessage(PostedMessage m) override { posted.push_back(m); }
  std::vector<PostedMessage> posted;
};

enum Callback { Started, LinkUp, LinkDown, Entry, Listing, Drives, DriveInfo, Value };

void fire(EngineSink& s, Callback c, int32_t status = 0) {
  tessel::DriveListRecord rec;
  rec.bytes[0] = 'C';
  switch (c) {
    case Started: s.OnStarted(status); break;
    case LinkUp: s.OnLinkUp(status); break;
    case LinkDown: s.OnLinkDown(status); break;
    case Entry: s.OnEntryReady(status); break;
    case Listing: s.OnListingReady(status, 7); break;
    case Drives: s.OnDrivesReady(status, &rec); break;
    case DriveInfo: s.OnDriveInfoReady(status); break;
    case Value: s.OnValueReady(status, 2, 0x12345); break;
  }
}

struct Gate {
  Callback callback;
  uint16_t state;
  uint32_t fileMsg;  // 0: nothing posted
  uint32_t browseMsg;
};

TEST(EngineSinks, PostOnlyTheAwaitedAnswer) {
  const Gate gates[] = {
      {Started, 0, kMsgStarted, kMsgStarted},
      {Started, 1, 0, 0},
      {LinkUp, 1, kMsgLinkUp, kMsgLinkUp},
      {LinkUp, 3, 0, 0},
      {LinkDown, 3, kMsgLinkDown, kMsgLinkDown},
      {LinkDown, 0, kMsgLinkDown, kMsgLinkDown},
      {Entry, 2, kMsgEntry, 0},
      {Entry, 7, kMsgTypedEntry, 0},
      {Entry, 3, 0, 0},
      {Listing, 3, kMsgListing, kMsgListing},
      {Listing, 2, 0, kMsgListing},
      {Drives, 5, kMsgDrives, kMsgDrives},
      {Drives, 3, 0, kMsgDrives},
      {DriveInfo, 6, kMsgDriveInfo, kMsgDriveInfo},
      {DriveInfo, 3, 0, kMsgDriveInfo},
      {Value, 4, kMsgValue, kMsgValue},
      {Value, 5, 0, 0},
  };
  for (const auto& g : gates) {
    for (bool browse : {false, true}) {
      Recorder r;
      EngineSink* sink = browse ? static_cast<EngineSink*>(new CPWBInfo) : new CPWInfo;
      sink->setOwner(&r);
      sink->setAwaited(g.state);
      fire(*sink, g.callback, 5);
      const uint32_t expected = browse ? g.browseMsg : g.fileMsg;
      if (expected == 0) {
        EXPECT_TRUE(r.posted.empty()) << g.callback << " in state " << g.state << (browse ? " browse" : " file");
      } else {
        ASSERT_EQ(r.posted.size(), 1u) << g.callback << " in state " << g.state << (browse ? " browse" : " file");
        EXPECT_EQ(r.posted[0].msg, expected);
        EXPECT_EQ(r.posted[0].lParam, 5) << "the status travels as lParam";
      }
      sink->Release();
    }
  }
}

TEST(EngineSinks, CarryTheValuesLowWordAndACopyOfTheDriveList) {
  Recorder r;
  auto* sink = new CPWInfo;
  sink->setOwner(&r);
  sink->setAwaited(4);
  fire(*sink, Value);
  ASSERT_EQ(r.posted.size(), 1u);
  EXPECT_EQ(r.posted[0].wParam, 0x2345u);
  sink->setAwaited(5);
  fire(*sink, Drives);
  ASSERT_EQ(r.posted.size(), 2u);
  ASSERT_TRUE(r.posted[1].drives);
  EXPECT_EQ(r.posted[1].drives->bytes[0], 'C');
  sink->setAwaited(3);
  fire(*sink, Listing);
  fire(*sink, Listing);
  EXPECT_EQ(r.posted.size(), 4u) << "two listing answers, two messages";

  void* itf = nullptr;
  EXPECT_EQ(sink->QueryInterface(tessel::kSinkIid, &itf), tessel::kOk);
  EXPECT_EQ(itf, static_cast<tessel::IConnectEngineSink*>(sink));
  EXPECT_EQ(sink->QueryInterface(tessel::kEngineIid, &itf), tessel::kNoInterface);
  EXPECT_EQ(sink->Release(), 1u);
  sink->setOwner(nullptr);
  fire(*sink, Listing);  // no owner: nothing to post to
  EXPECT_EQ(r.posted.size(), 4u);
  EXPECT_EQ(sink->Release(), 0u);
}

// Answers that return an object are numbered per kind, counting those the
// gate passes over, so the dialog can tell which request each one answers.
TEST(EngineSinks, NumberEachKindsAnswersIncludingThosePassedOver) {
  Recorder r;
  EngineSink* sink = new CPWInfo;
  sink->setOwner(&r);
  sink->setAwaited(2);
  fire(*sink, Entry);    // entry 1, posted
  fire(*sink, Listing);  // listing 1, passed over
  sink->setAwaited(3);
  fire(*sink, Entry);    // entry 2, passed over
  fire(*sink, Listing);  // listing 2, posted
  sink->setAwaited(2);
  fire(*sink, Entry);  // entry 3, posted
  sink->setAwaited(6);
  fire(*sink, DriveInfo);  // drive 1, posted
  ASSERT_EQ(r.posted.size(), 4u);
  const std::pair<uint32_t, uint32_t> expected[] = {
      {kMsgEntry, 1}, {kMsgListing, 2}, {kMsgEntry, 3}, {kMsgDriveInfo, 1}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.posted[i].msg, expected[i].first) << i;
    EXPECT_EQ(r.posted[i].answer, expected[i].second) << i;
  }
  sink->Release();
}

}  // namespace
}  // namespace pellary::brindle
