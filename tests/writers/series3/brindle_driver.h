// The handheld file-browser module of the build, registered for a test, and a
// way to act on its modal dialogs from inside their own event loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/automation/class_registry.h"

namespace pellary::testing {

// The module's path in the build; empty when it was not built.
inline std::filesystem::path brindleModule() {
  const char* bin = std::getenv("PELLARY_TEST_BIN");
  if (!bin || !*bin) return {};
  const std::filesystem::path module = std::filesystem::path(bin) / ".." / "lib" / "libbrindle.so";
  std::error_code ec;
  return std::filesystem::exists(module, ec) ? module : std::filesystem::path();
}

// Registers the module as the installation does; false when it is absent.
inline bool registerBrindle() {
  const std::filesystem::path module = brindleModule();
  if (module.empty()) return false;
  platform::automation::registerServer(module);
  return true;
}

// Acts on the modal dialog once it is ready; one that never gets ready is
// closed, so the test fails instead of hanging. Returns a flag that tells
// whether the action ran.
inline std::shared_ptr<bool> whenModal(const std::function<bool(QDialog*)>& ready,
                                       const std::function<void(QDialog*)>& act) {
  auto acted = std::make_shared<bool>(false);
  auto* timer = new QTimer;
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    const bool timedOut = clock->elapsed() > 10000;
    if (!timedOut && !ready(dialog)) return;
    timer->stop();
    timer->deleteLater();
    if (timedOut) {
      dialog->reject();
      return;
    }
    *acted = true;
    act(dialog);
  });
  timer->start(10);
  return acted;
}

inline bool listHas(QWidget* dialog, const char* text) {
  auto* list = dialog->findChild<QListWidget*>("lstFiles");
  return list && !list->findItems(text, Qt::MatchExactly).isEmpty();
}

}  // namespace pellary::testing
