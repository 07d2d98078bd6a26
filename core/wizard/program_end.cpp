#include "core/wizard/program_end.h"

#include "core/app.h"
#include "core/databank.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

#include <map>

namespace pellary {

namespace {
std::map<int, std::function<void()>>& endHooks() {
  static std::map<int, std::function<void()>> hooks;
  return hooks;
}
}  // namespace

int addProgramEndHook(std::function<void()> hook) {
  static int next = 0;
  endHooks()[++next] = std::move(hook);
  return next;
}

void removeProgramEndHook(int id) { endHooks().erase(id); }

std::function<void()>& programEndRelease() {
  static std::function<void()> release;
  return release;
}

void Bmm_EndProgram(int exitStatus) {
  // A copy: a hook may remove itself.
  for (const auto& [id, hook] : std::map(endHooks())) {
    try {
      hook();
    } catch (...) {
    }
  }
  try {
    Bsql_CloseDataBank();
  } catch (...) {
  }
  try {
    if (programEndRelease()) programEndRelease()();
  } catch (...) {
  }
  endProgram(exitStatus);
}

const char* exitQuestionText() { return Wizard().outputStored ? kExitQuestionAfterWriting : kExitQuestion; }

void Bmm_CancelProgram() {
  int answer = MsgBox(exitQuestionText(), mb::YesNo | mb::Exclamation | mb::DefaultButton2, appTitle());
  if (answer == mb::Yes) Bmm_EndProgram();
}

}  // namespace pellary
