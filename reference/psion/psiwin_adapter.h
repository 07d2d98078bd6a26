// The Psion page's engine control over the PsiWin stand-in. The stand-in
// answers start, connect and file copies itself; the drive list, the drive
// details, the folder operations and the stop of a device program are
// answered here from the stand-in's device folder.
#pragma once

#include <deque>
#include <string>
#include <tuple>

#include "platform/standins/psiwin/psiwin_engine.h"
#include "reference/psion/psion_transfer.h"

namespace pellary {

class PsiWinEngineAdapter : public PsionEngineControl {
 public:
  PsiWinEngineAdapter();
  void start() override;
  void connect(int32_t timeout) override;
  void requestDriveList(int16_t side) override;
  PsionDriveDetails driveDetails(int16_t side, const std::string& drive) override;
  void copyFile(int16_t fromSide, const std::string& from, int16_t toSide, const std::string& to,
                int32_t overwrite) override;
  void deleteFolder(int16_t side, const std::string& folder) override;
  void createFolder(int16_t side, const std::string& folder) override;
  void stopProgram(int16_t side, const std::string& path) override;
  // Delivers the waiting answers to Bps5_EngineEvent.
  void pump();

 private:
  void answer(int16_t event, int32_t code, std::string text = {}) { own_.emplace_back(event, code, std::move(text)); }
  platform::psiwin::PsiWinEngine engine_;
  std::deque<std::tuple<int16_t, int32_t, std::string>> own_;
};

}  // namespace pellary
