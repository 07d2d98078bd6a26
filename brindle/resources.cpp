#include "brindle/resources.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyle>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <map>

#include "platform/paths.h"
#include "platform/settings/settings_tree.h"

namespace pellary::brindle {

namespace st = platform::settings;
constexpr st::Root HKCR = st::Root::ClassesRoot;

std::string moduleString(int id) {
  static const std::map<int, std::string> strings = {
      {1, "Brindle Control"},
      {2, "Brindle Property Page"},
      {11, "Gantry Control"},
      {12, "Gantry Property Page"},
      {100, "General"},
      {101, "All Files"},
      {102, "Not connected"},
      {103, "%1 already exists.\nDo you want to replace it?"},
      {104, "%1\nFile not found.\nPlease verify the correct file name was given."},
      {105, "Save As"},
      {300, "General"},
      {500, "Open"},
      {501, "&Tessel"},
      {502, "&Open"},
      {503, "&Save"},
      {504, "Select a Tessel file to open..."},
      {505, "Select a Tessel file to save to..."},
      {506, "Word Files"},
      {507, "Sheet Files"},
  };
  auto it = strings.find(id);
  return it == strings.end() ? std::string() : it->second;
}

std::string formatString(int id, const std::string& arg) {
  std::string s = moduleString(id);
  if (auto at = s.find("%1"); at != std::string::npos) s.replace(at, 2, arg);
  return s;
}

namespace {

std::string cut260(std::string s) {
  if (s.size() > 259) s.resize(259);
  return s;
}

std::optional<std::string> readDefault(const std::string& key, std::string_view name = st::kDefaultValue) {
  try {
    if (auto v = st::readValue(HKCR, key, name)) return cut260(*v);
  } catch (...) {
  }
  return std::nullopt;
}

bool keyOpens(const std::string& key) {
  try {
    return st::keyExists(HKCR, key);
  } catch (...) {
    return false;
  }
}

// "file,index": the icon file; the index picks nothing in an icon file of ours.
QIcon iconFromValue(const std::optional<std::string>& value) {
  if (!value) return {};
  std::string file = *value;
  if (auto comma = file.rfind(','); comma != std::string::npos) file.resize(comma);
  while (!file.empty() && file.back() == ' ') file.pop_back();
  if (file.empty()) return {};
  const auto path = paths::resolve(file);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  QIcon icon(QString::fromStdString(path.string()));
  return icon.isNull() ? QIcon() : icon;
}

QIcon standard(QStyle::StandardPixmap which) {
  return QApplication::style() ? QApplication::style()->standardIcon(which) : QIcon();
}

Asker& asker() {
  static Asker a;
  return a;
}

}  // namespace

std::string deviceDisplayName() {
  if (auto v = readDefault(kDeviceClassKey); v && !v->empty()) return *v;
  // Without the suite's entry the device still heads the lists.
  return "Tessel";
}

IconTable buildIconTable() {
  IconTable t;
  auto add = [&](std::string key, QIcon icon) {
    t.keys.push_back(std::move(key));
    t.icons.push_back(std::move(icon));
  };
  const auto fixed = [&](const char* key, const std::string& regKey, std::string_view value,
                         QStyle::StandardPixmap fallback) {
    QIcon icon = keyOpens(regKey) ? iconFromValue(readDefault(regKey, value)) : QIcon();
    add(key, icon.isNull() ? standard(fallback) : icon);
  };
  fixed("Psion", std::string(kDeviceClassKey) + "\\DefaultIcon", st::kDefaultValue, QStyle::SP_ComputerIcon);
  fixed("Drive", "Tessel\\Drive\\DefaultIcon", st::kDefaultValue, QStyle::SP_DriveHDIcon);
  fixed("DirClosed", "Tessel\\Directory\\DefaultIcon", st::kDefaultValue, QStyle::SP_DirClosedIcon);
  fixed("DirOpen", "Tessel\\Directory\\DefaultIcon", "open", QStyle::SP_DirOpenIcon);
  fixed("Unknown", "Tessel\\Unknown\\DefaultIcon", st::kDefaultValue, QStyle::SP_FileIcon);
  std::vector<std::string> subkeys;
  try {
    subkeys = st::listSubkeys(HKCR, "Tessel");
  } catch (...) {
  }
  for (const auto& sub : subkeys) {
    if (sub.empty() || (sub[0] != '.' && sub[0] != '{')) continue;
    auto cls = readDefault("Tessel\\" + sub);
    QIcon icon = cls && !cls->empty() ? iconFromValue(readDefault(*cls + "\\DefaultIcon")) : QIcon();
    add(sub, icon.isNull() ? standard(QStyle::SP_FileIcon) : icon);
  }
  return t;
}

namespace {
std::atomic<bool> gDialogsMade{false};
}  // namespace

bool dialogsMade() { return gDialogsMade.load(); }
void noteDialogMade() { gDialogsMade = true; }

bool widgetsAvailable() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

Asker setAsker(Asker a) {
  Asker old = std::move(asker());
  asker() = std::move(a);
  return old;
}

int ask(const std::string& text, int style, const std::string& title) {
  if (asker()) return asker()({text, style, title});
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text));
  if ((style & mb::ButtonsMask) == mb::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? mb::Yes : mb::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return mb::OK;
}

}  // namespace pellary::brindle
