#include "brindle/drive_walk.h"

#include <cctype>
#include <cstring>

namespace pellary::brindle {

void DriveWalk::clear() {
  names_.clear();
  volumes_.clear();
}

void DriveWalk::ask(tessel::IConnectEngine& engine, EngineSink& sink) {
  sink.setAwaited(6);
  const auto r = tessel::PathRecord::of(std::string(1, letters_[cursor_]));
  engine.RequestDriveInfo(&r, slots_.next());
}

bool DriveWalk::start(tessel::IConnectEngine& engine, EngineSink& sink, const tessel::DriveListRecord& record) {
  letters_ = record.letters();
  cursor_ = 0;
  if (letters_.empty()) return false;
  ask(engine, sink);
  return true;
}

bool DriveWalk::step(tessel::IConnectEngine& engine, EngineSink& sink, int32_t status, uint32_t answer) {
  if (tessel::IConnectDrive* drive = slots_.take(answer)) {
    const tessel::DriveRecord* rec = nullptr;
    if (status == 0 && drive->Record(&rec) == tessel::kOk && rec && std::toupper((unsigned char)rec->letter) != 'Z') {
      names_.push_back(std::string(1, rec->letter) + ":");
      volumes_.push_back(std::string(rec->volume, strnlen(rec->volume, tessel::kTextBytes)));
    }
    drive->Release();
  }
  if (cursor_ + 1 >= letters_.size()) return false;
  ++cursor_;
  ask(engine, sink);
  return true;
}

}  // namespace pellary::brindle
