#include "core/update_run.h"

#include "core/app.h"
#include "core/error_log.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

namespace pellary {

bool& Bupd_UpdateRun() {
  static bool updateRun = false;
  return updateRun;
}

UpdateRunSurface& updateRunSurface() {
  static UpdateRunSurface surface;
  return surface;
}

void Bupd_FailedUpdate(const std::string& message) {
  // The log line goes first: a message no one answers must not lose it.
  appendErrorLog(errorLogLine(int32_t(err::UpdateCannotGoOn), "Bupd_FailedUpdate", message));
  MsgBox(message, mb::OKOnly | mb::Critical, appTitle());
  updateRunSurface().failedUpdate(message);
  endProgram(1);
}

void portalProgress(int16_t percent) { updateRunSurface().setProgress(percent); }

void portalStatus(const std::string& text) { updateRunSurface().setStatus(text); }

}  // namespace pellary
