// One slot per engine request for the object the engine hands back. The
// engine fills a slot on its worker thread when it answers, so two requests
// in flight never share one out-pointer, and an object is never overwritten
// and lost. Answers of one kind come in request order and carry their number
// (PostedMessage::answer): an answer takes its own slot's object, and the
// slots before it, whose answers were passed over, are released then.
#pragma once

#include <cstdint>
#include <deque>

namespace pellary::brindle {

template <class T>
class RequestSlots {
 public:
  RequestSlots() = default;
  RequestSlots(const RequestSlots&) = delete;
  RequestSlots& operator=(const RequestSlots&) = delete;
  // Slots still open are only released by releaseAll, once the engine is gone.
  ~RequestSlots() = default;

  // The out-pointer for the next request of this kind (stable until taken).
  T** next() {
    slots_.push_back(Slot{++requested_, nullptr});
    return &slots_.back().object;
  }

  // The object of answer number answer (the caller owns it; may be null),
  // releasing the objects of the answers before it.
  T* take(uint32_t answer) {
    T* taken = nullptr;
    while (!slots_.empty() && slots_.front().number <= answer) {
      if (slots_.front().number == answer)
        taken = slots_.front().object;
      else if (slots_.front().object)
        slots_.front().object->Release();
      slots_.pop_front();
    }
    return taken;
  }

  // Releases every slot's object; only when no engine can fill one any more.
  void releaseAll() {
    for (Slot& s : slots_)
      if (s.object) s.object->Release();
    slots_.clear();
  }

  size_t open() const { return slots_.size(); }

 private:
  struct Slot {
    uint32_t number;
    T* object;
  };
  std::deque<Slot> slots_;  // push_back and pop_front keep the others in place
  uint32_t requested_ = 0;
};

}  // namespace pellary::brindle
