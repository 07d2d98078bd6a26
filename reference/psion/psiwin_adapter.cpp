#include "reference/psion/psiwin_adapter.h"

#include "platform/automation/class_registry.h"
#include "platform/errors.h"

namespace pellary {

namespace psi = standins::psiwin;

namespace {
std::shared_ptr<psi::PsiWinEngine> makeEngine() {
  try {
    if (auto made =
            std::dynamic_pointer_cast<psi::PsiWinEngine>(platform::automation::createObject(psi::kEngineControlClass)))
      return made;
  } catch (const AppError&) {
    // Not registered in this process: the stand-in itself.
  }
  return std::make_shared<psi::PsiWinEngine>();
}
}  // namespace

PsiWinEngineAdapter::PsiWinEngineAdapter() : engine_(makeEngine()) {
  engine_->setTextEventSink(
      [](int16_t event, int32_t code, const std::string& text) { Bps5_EngineEvent(event, code, text); });
}

void PsiWinEngineAdapter::start() { engine_->call(psi::kStart); }
void PsiWinEngineAdapter::connect(int32_t timeout) { engine_->call(psi::kConnect, {timeout}); }
void PsiWinEngineAdapter::requestDriveList(int16_t side) { engine_->call(psi::kRequestDrives, {side}); }

PsionDriveDetails PsiWinEngineAdapter::driveDetails(int16_t side, const std::string& drive) {
  PsionDriveDetails d;
  const Variant info = engine_->call(psi::kGetDriveInfo, {side, drive});
  const auto details = info.isObject() ? info.toObject() : nullptr;
  if (!details) return d;
  d.name = details->call("GetName").toString();
  d.size = details->call("GetSize").toDouble();
  d.freeSpace = details->call("GetDevFreeSpace").toDouble();
  return d;
}

void PsiWinEngineAdapter::copyFile(int16_t fromSide, const std::string& from, int16_t toSide, const std::string& to,
                                   int32_t overwrite) {
  engine_->call(psi::kCopyFile, {fromSide, from, toSide, to, overwrite});
}

void PsiWinEngineAdapter::deleteFolder(int16_t side, const std::string& folder) {
  engine_->call(psi::kDeleteFolder, {side, folder});
}

void PsiWinEngineAdapter::createFolder(int16_t side, const std::string& folder) {
  engine_->call(psi::kCreateFolder, {side, folder});
}

void PsiWinEngineAdapter::stopProgram(int16_t side, const std::string& path) {
  engine_->call(psi::kStopProgram, {side, path});
}

void PsiWinEngineAdapter::pump() {
  // Handlers start further operations whose answers come in the next round.
  for (int rounds = 0; rounds < 1000; ++rounds)
    if (engine_->pumpEvents() == 0) return;
}

}  // namespace pellary
