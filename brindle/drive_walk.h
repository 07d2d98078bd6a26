// The walk through the device's drives that both dialogs make once the drive
// list has arrived: one drive-details request at a time, keeping the name
// ("C:") and volume of every drive but the ROM (Z:).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brindle/request_slots.h"
#include "brindle/sinks.h"

namespace pellary::brindle {

class DriveWalk {
 public:
  void clear();
  // Asks about the first drive of the list; false when the list is empty.
  bool start(tessel::IConnectEngine& engine, EngineSink& sink, const tessel::DriveListRecord& record);
  // Takes the answer about the current drive and asks about the next one;
  // false when the walk is over.
  bool step(tessel::IConnectEngine& engine, EngineSink& sink, int32_t status, uint32_t answer);
  // Only once the engine is gone: it may still fill an open request.
  void releaseAll() { slots_.releaseAll(); }

  const std::vector<std::string>& names() const { return names_; }
  const std::vector<std::string>& volumes() const { return volumes_; }

 private:
  void ask(tessel::IConnectEngine& engine, EngineSink& sink);

  std::string letters_;
  size_t cursor_ = 0;
  std::vector<std::string> names_, volumes_;
  RequestSlots<tessel::IConnectDrive> slots_;
};

}  // namespace pellary::brindle
