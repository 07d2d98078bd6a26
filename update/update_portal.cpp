#include "update/update_portal.h"

#include <QCoreApplication>
#include <QUrl>
#include <stdexcept>

namespace pellary {

UpdatePortalHooks& updatePortalHooks() {
  static UpdatePortalHooks hooks;
  return hooks;
}

UpdatePortal& updatePortal() {
  if (!updatePortalHooks().open) throw std::logic_error("no update portal is connected");
  return updatePortalHooks().open();
}

UpdatePortal* existingUpdatePortal() { return updatePortalHooks().existing ? updatePortalHooks().existing() : nullptr; }

void Bcue_ShowUpdateCompleted() {
  UpdatePortal& portal = updatePortal();
  portal.setStatusText("Update process completed");
  portal.setProgressVisible(false);
  portal.setButtonVisible(PortalButton::Close, true);
}

std::string fileUrl(const std::string& path) {
  return QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString();
}

void yieldToMessageLoop() { QCoreApplication::processEvents(); }

}  // namespace pellary
