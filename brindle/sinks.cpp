#include "brindle/sinks.h"

#include "platform/paths.h"

namespace pellary::brindle {

tessel::HResult EngineSink::QueryInterface(const char* iid, void** out) {
  if (!out) return tessel::kPointer;
  *out = nullptr;
  if (!iid || !(paths::equalsIgnoreCase(iid, tessel::kSinkIid) || paths::equalsIgnoreCase(iid, tessel::kUnknownIid)))
    return tessel::kNoInterface;
  AddRef();
  *out = static_cast<tessel::IConnectEngineSink*>(this);
  return tessel::kOk;
}

uint32_t EngineSink::Release() {
  const uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

void EngineSink::post(uint32_t msg, int32_t status, uint32_t wParam, uint32_t answer) {
  if (MessageTarget* owner = owner_.load()) owner->postMessage({msg, wParam, status, std::nullopt, answer});
}

tessel::HResult EngineSink::OnStarted(int32_t status) {
  if (awaited() == 0) post(kMsgStarted, status);
  return tessel::kOk;
}

tessel::HResult EngineSink::OnLinkUp(int32_t status) {
  if (awaited() == 1) post(kMsgLinkUp, status);
  return tessel::kOk;
}

tessel::HResult EngineSink::OnLinkDown(int32_t status) {
  post(kMsgLinkDown, status);
  return tessel::kOk;
}

tessel::HResult EngineSink::OnEntryReady(int32_t status) {
  const uint32_t answer = ++entryAnswers_;
  if (browse_) return tessel::kOk;
  if (awaited() == 2)
    post(kMsgEntry, status, 0, answer);
  else if (awaited() == 7)
    post(kMsgTypedEntry, status, 0, answer);
  return tessel::kOk;
}

tessel::HResult EngineSink::OnListingReady(int32_t status, int32_t) {
  const uint32_t answer = ++listingAnswers_;
  if (browse_ || awaited() == 3) post(kMsgListing, status, 0, answer);
  return tessel::kOk;
}

tessel::HResult EngineSink::OnDrivesReady(int32_t status, const tessel::DriveListRecord* drives) {
  if (!browse_ && awaited() != 5) return tessel::kOk;
  if (MessageTarget* owner = owner_.load()) {
    PostedMessage m{kMsgDrives, 0, status, tessel::DriveListRecord{}};
    if (drives) *m.drives = *drives;
    owner->postMessage(m);
  }
  return tessel::kOk;
}

tessel::HResult EngineSink::OnDriveInfoReady(int32_t status) {
  const uint32_t answer = ++driveAnswers_;
  if (browse_ || awaited() == 6) post(kMsgDriveInfo, status, 0, answer);
  return tessel::kOk;
}

tessel::HResult EngineSink::OnValueReady(int32_t status, int32_t, int32_t value) {
  if (awaited() == 4) post(kMsgValue, status, uint32_t(value) & 0xFFFFu);
  return tessel::kOk;
}

tessel::IConnectEngine* startEngine(EngineSink& sink, MessageTarget& owner) {
  tessel::IConnectEngine* engine = nullptr;
  if (tessel::createConnectEngine(tessel::kEngineClsid, tessel::kEngineIid, &engine) != tessel::kOk) return nullptr;
  void* itf = nullptr;
  if (sink.QueryInterface(tessel::kSinkIid, &itf) == tessel::kOk) sink.Release();
  sink.setOwner(&owner);
  sink.setAwaited(0);
  engine->Advise(static_cast<tessel::IConnectEngineSink*>(itf));
  return engine;
}

}  // namespace pellary::brindle
