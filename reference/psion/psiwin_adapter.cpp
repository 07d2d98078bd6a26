#include "reference/psion/psiwin_adapter.h"

#include <filesystem>

namespace pellary {

namespace fs = std::filesystem;
namespace psi = platform::psiwin;

PsiWinEngineAdapter::PsiWinEngineAdapter() {
  engine_.setEventSink([](int16_t event, int32_t code) { Bps5_EngineEvent(event, code); });
}

void PsiWinEngineAdapter::start() { engine_.start(); }
void PsiWinEngineAdapter::connect(int32_t timeout) { engine_.connect(timeout); }

void PsiWinEngineAdapter::requestDriveList(int16_t) {
  std::string list;
  for (char letter : engine_.drives()) list += (list.empty() ? "" : " ") + std::string(1, letter) + ":\\";
  answer(26, 0, list);
}

PsionDriveDetails PsiWinEngineAdapter::driveDetails(int16_t, const std::string& drive) {
  PsionDriveDetails d;
  const fs::path folder = psi::devicePath(drive);
  std::error_code ec;
  if (folder.empty() || !engine_.connected() || !fs::is_directory(folder, ec)) {
    answer(17, 2);
    return d;
  }
  d.name = drive.substr(0, 1) == "C" ? "Internal" : "Disk " + drive.substr(0, 1);
  const fs::space_info space = fs::space(folder, ec);
  if (!ec) {
    d.size = double(space.capacity);
    d.freeSpace = double(space.available);
  }
  answer(17, 0);
  return d;
}

void PsiWinEngineAdapter::copyFile(int16_t fromSide, const std::string& from, int16_t toSide, const std::string& to,
                                   int32_t overwrite) {
  engine_.copyFile(fromSide, from, toSide, to, overwrite);
}

void PsiWinEngineAdapter::deleteFolder(int16_t, const std::string& folder) {
  const fs::path p = psi::devicePath(folder);
  std::error_code ec;
  // Never a whole drive.
  if (!engine_.connected() || p.empty() || fs::equivalent(p, psi::devicePath(folder.substr(0, 3)), ec)) {
    answer(19, 5);
    return;
  }
  if (!fs::exists(p, ec)) {
    answer(19, 3);
    return;
  }
  fs::remove_all(p, ec);
  answer(19, ec ? 5 : 0);
}

void PsiWinEngineAdapter::createFolder(int16_t, const std::string& folder) {
  const fs::path p = psi::devicePath(folder);
  std::error_code ec;
  if (!engine_.connected() || p.empty()) {
    answer(20, 5);
    return;
  }
  if (fs::is_directory(p, ec)) {
    answer(20, 183);
    return;
  }
  fs::create_directories(p, ec);
  answer(20, ec ? 5 : 0);
}

void PsiWinEngineAdapter::stopProgram(int16_t, const std::string&) { answer(37, 0); }

void PsiWinEngineAdapter::pump() {
  for (int rounds = 0; rounds < 1000; ++rounds) {
    int n = engine_.pumpEvents();
    while (!own_.empty()) {
      auto [event, code, text] = own_.front();
      own_.pop_front();
      Bps5_EngineEvent(event, code, text);
      ++n;
    }
    if (n == 0) return;
  }
}

}  // namespace pellary
