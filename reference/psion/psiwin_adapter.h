// The Psion page's engine control over the PsiWin engine, created by the
// control's class name (the stand-in's own engine when that name is unknown).
// Every answer arrives as an engine event, delivered by pump().
#pragma once

#include <memory>
#include <string>

#include "reference/psion/psion_transfer.h"
#include "standins/psiwin/psiwin_engine.h"

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
  std::shared_ptr<standins::psiwin::PsiWinEngine> engine_;
};

}  // namespace pellary
