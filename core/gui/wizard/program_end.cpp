#include "core/gui/wizard/program_end.h"

#include "core/app.h"
#include "core/databank.h"
#include "core/gui/placement.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

namespace pellary {

void Bmm_EndProgram(int exitStatus) {
  try {
    Bsql_CloseDataBank();
  } catch (...) {
  }
  try {
    Bpo_FreeMainFormWidth();
  } catch (...) {
  }
  endProgram(exitStatus);
}

void Bmm_CancelProgram() {
  int answer = MsgBox(kExitQuestion, mb::YesNo | mb::Exclamation | mb::DefaultButton2, appTitle());
  if (answer == mb::Yes) Bmm_EndProgram();
}

}  // namespace pellary
