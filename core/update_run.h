// What every writer needs to know of an update run: whether one is under way,
// and the portal window's progress bar and status text, which stand in for the
// writer's own page then. The update service fills the hooks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/hook.h"

namespace pellary {

// True while a silent update run is in progress.
bool& Bupd_UpdateRun();

struct UpdateRunSurface {
  Hook<void(int16_t percent)> setProgress;   // frmPortalPage.pbPortalStatus
  Hook<void(const std::string&)> setStatus;  // frmPortalPage.lblCurrentStatus
  // Ends a failed run the window's way, after Bupd_FailedUpdate showed the message.
  Hook<void(const std::string&)> failedUpdate;
};
UpdateRunSurface& updateRunSurface();

// Shows the message as a critical message box and ends the program (exit
// status 1: the run could not go on).
[[noreturn]] void Bupd_FailedUpdate(const std::string& message);
// The portal's progress bar and status text; nothing when no portal exists.
void portalProgress(int16_t percent);
void portalStatus(const std::string& text);

}  // namespace pellary
