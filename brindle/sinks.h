// The callback sinks: every answer of the engine becomes a message posted to
// the owning dialog, gated by the answer the dialog awaits. A sink may be
// called on any thread; it never touches a window.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "brindle/resources.h"
#include "standins/tessel/connect_engine.h"

namespace pellary::brindle {

namespace tessel = standins::tessel;

struct PostedMessage {
  uint32_t msg = 0;
  uint32_t wParam = 0;
  int32_t lParam = 0;
  // The drive list travels with its message, so the dialog reads it on its own
  // thread while the engine may already be answering again.
  std::optional<tessel::DriveListRecord> drives;
  // For an entry, listing or drive-details answer: its number among the
  // answers of its kind (1, 2, ...), whether posted or passed over, so the
  // dialog finds the request it answers (the engine answers in order).
  uint32_t answer = 0;
};

// A dialog's message queue (implementations post, they never handle at once).
class MessageTarget {
 public:
  virtual void postMessage(PostedMessage message) = 0;

 protected:
  ~MessageTarget() = default;
};

class EngineSink : public tessel::IConnectEngineSink {
 public:
  // Starts with one reference.
  explicit EngineSink(bool browse) : browse_(browse) {}
  virtual ~EngineSink() = default;

  void setOwner(MessageTarget* owner) { owner_.store(owner); }
  void setAwaited(uint16_t state) { awaited_.store(state); }
  uint16_t awaited() const { return awaited_.load(); }

  tessel::HResult QueryInterface(const char* iid, void** out) override;
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override;

  tessel::HResult OnStarted(int32_t status) override;
  tessel::HResult OnLinkUp(int32_t status) override;
  tessel::HResult OnLinkDown(int32_t status) override;
  tessel::HResult OnEntryReady(int32_t status) override;
  tessel::HResult OnListingReady(int32_t status, int32_t extra) override;
  tessel::HResult OnDrivesReady(int32_t status, const tessel::DriveListRecord* drives) override;
  tessel::HResult OnDriveInfoReady(int32_t status) override;
  tessel::HResult OnValueReady(int32_t status, int32_t extra, int32_t value) override;
  tessel::HResult OnOther(int, int32_t, int32_t) override { return tessel::kOk; }

 private:
  void post(uint32_t msg, int32_t status, uint32_t wParam = 0, uint32_t answer = 0);

  const bool browse_;
  std::atomic<uint32_t> refs_{1};
  std::atomic<MessageTarget*> owner_{nullptr};
  std::atomic<uint16_t> awaited_{0};
  std::atomic<uint32_t> entryAnswers_{0}, listingAnswers_{0}, driveAnswers_{0};
};

// The file dialog's sink: passes only the awaited answer (and a link-down).
class CPWInfo final : public EngineSink {
 public:
  CPWInfo() : EngineSink(false) {}
};

// The browse dialog's sink: listings, drive lists and drive details pass in
// every state, since the dialog queues its own listing requests.
class CPWBInfo final : public EngineSink {
 public:
  CPWBInfo() : EngineSink(true) {}
};

// Creates the engine and advises sink to it, answers going to owner; null
// (the sink left unadvised) when the engine cannot be created.
tessel::IConnectEngine* startEngine(EngineSink& sink, MessageTarget& owner);

}  // namespace pellary::brindle
