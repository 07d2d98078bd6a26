// The module's strings, window messages and shared helpers of both dialogs.
#pragma once

#include <QIcon>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/msgbox.h"

namespace pellary::brindle {

// The module string with that identifier; empty when there is none.
std::string moduleString(int id);

// Answers of the engine as they reach a dialog.
inline constexpr uint32_t kWmUser = 0x400;
inline constexpr uint32_t kMsgStarted = kWmUser + 1;
inline constexpr uint32_t kMsgLinkUp = kWmUser + 2;
inline constexpr uint32_t kMsgLinkDown = kWmUser + 3;
inline constexpr uint32_t kMsgEntry = kWmUser + 4;
inline constexpr uint32_t kMsgListing = kWmUser + 5;
inline constexpr uint32_t kMsgValue = kWmUser + 6;
inline constexpr uint32_t kMsgDrives = kWmUser + 7;
inline constexpr uint32_t kMsgDriveInfo = kWmUser + 8;
inline constexpr uint32_t kMsgTypedEntry = kWmUser + 9;

// The device's display name: HKEY_CLASSES_ROOT's entry of the suite's device class.
inline constexpr const char* kDeviceClassKey = "CLSID\\{3a9ae750-cf44-11cf-8835-0020afc04e78}";
std::string deviceDisplayName();

// Icon keys and small icons, in image-index order: 0 device, 1 drive, 2 closed
// folder, 3 open folder, 4 other files, 5 on file types.
struct IconTable {
  std::vector<std::string> keys;
  std::vector<QIcon> icons;
  QIcon icon(size_t index) const { return index < icons.size() ? icons[index] : QIcon(); }
};
// From the suite's HKEY_CLASSES_ROOT entries; the five fixed icons fall back to
// the style's standard icons when an entry or its icon file is missing.
IconTable buildIconTable();

// Questions and notices of the dialogs; tests install a recorder. Without one,
// a Qt message box is shown.
using Asker = std::function<int(const MessageRequest&)>;
Asker setAsker(Asker asker);
int ask(const std::string& text, int style, const std::string& title);

// A widget application runs in this process on this thread; without one no
// dialog object is made (a host without it gets FALSE from DoModal).
bool widgetsAvailable();

// Whether this module ever made a dialog: Qt may keep hold of what a widget
// class registered, so such a module is never unloaded.
bool dialogsMade();
void noteDialogMade();

// Replaces "%1" in a module string.
std::string formatString(int id, const std::string& arg);

}  // namespace pellary::brindle
