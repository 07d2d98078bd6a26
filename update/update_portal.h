// What the update run and its transport need of the window they run in: the
// server's pages, the Yes / No / Close buttons, the status bars and the first
// HTTP control. The run knows only this; the portal window implements it and
// connects itself (connectUpdatePortal), so the run never includes its window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "update/http/http_controls.h"

namespace pellary {

enum class PortalButton { Yes, No, Close };

class UpdatePortal {
 public:
  virtual ~UpdatePortal() = default;

  // The first HTTP control, which the portal carries.
  virtual http::WinsockHttp& winsockControl() = 0;
  // The browser's page: a file URL or a web address.
  virtual void setPage(const std::string& url) = 0;
  virtual void showWindow() = 0;
  // The native handle that owns windows opened from the run.
  virtual intptr_t ownerHandle() const = 0;
  // Mouse pointer: 11 hourglass, 0 default.
  virtual void setMousePointer(int pointer) = 0;
  virtual void setButtonVisible(PortalButton button, bool visible) = 0;
  // The frame of the progress bar and status line, shown and enabled.
  virtual void showStatusBars() = 0;
  virtual void setStatusText(const std::string& text) = 0;
  // The progress bar's value, a percentage that may pass 100.
  virtual void setProgress(double percent) = 0;
  virtual void setProgressVisible(bool visible) = 0;
  virtual bool progressVisible() const = 0;
};

// The window's side: open creates the portal on first use, existing gives it
// only when it is already there (nullptr otherwise).
struct UpdatePortalHooks {
  std::function<UpdatePortal&()> open;
  std::function<UpdatePortal*()> existing;
};
UpdatePortalHooks& updatePortalHooks();

// The run's portal, created on first use; a run with no portal connected is a
// wiring fault and throws std::logic_error.
UpdatePortal& updatePortal();
UpdatePortal* existingUpdatePortal();

// On the portal: "Update process completed", the bar hidden, Close shown.
void Bcue_ShowUpdateCompleted();

// A file URL for a local path.
std::string fileUrl(const std::string& path);
// Runs the pending window events once.
void yieldToMessageLoop();

}  // namespace pellary
