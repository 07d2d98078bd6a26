// The update run's follow-on: once a packet's loads are in, the final
// selection and the preview of its changes, then the reference generator and
// the calendar writer those changes call for, and the time stamps of what the
// profile holds. The protocol client (update_manager.h) reaches the writers
// and the generator only through here.
#pragma once

#include <cstdint>

#include "platform/hook.h"

namespace pellary {

// Shows the update's change preview (previewTargets) and returns once the user
// answered; Cancel sets Bupd_UpdateCancelled. The preview window fills it
// (connectUpdatePreview); while it is empty the run goes on as after OK.
Hook<void()>& updatePreviewShow();

// The final selection and its preview; the preview window is shown when the
// update changes anything.
void Bupd_ShowUpdatePreview();
// The update call's RE_GENERATE, for the reference writer: a whole new
// section or a copy of the pages.
void passReGenerate(int16_t reGenerate);
void Bupd_QueueProcesses();
void Bupd_UpdateTimeStamps();

}  // namespace pellary
