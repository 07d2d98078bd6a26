#include "core/gui/help_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include "core/gui/wizard/page_table.h"
#include "core/shellwrap.h"
#include "core/wizard/page_engine.h"

namespace pellary {

namespace {
constexpr const char* kHelpTopic = "helpTopic";

class HelpKey : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    showHelpForFocus();
    return true;
  }
};
}  // namespace

int32_t pageHelpTopic(int16_t slot) {
  switch (slot) {
    case page::Selection: return helptopic::Selection;
    case 11: return 69;  // the Day-Timer page opens its own topic by number
    default: break;
  }
  if (slot < 0 || slot >= kPageCount || pageFormName(slot).empty()) return 0;
  return 200 + slot;
}

void setHelpTopic(QWidget& window, int32_t topic) { window.setProperty(kHelpTopic, topic); }

int32_t helpTopicFor(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    QVariant t = w->property(kHelpTopic);
    if (t.isValid() && t.toInt() > 0) return t.toInt();
    if (w->isWindow()) break;
  }
  // The frame itself, its menus: the page on screen.
  if (QWidget* current = PageTable().loadedPage(Bmm_CurrentPage())) {
    QVariant t = current->property(kHelpTopic);
    if (t.isValid()) return t.toInt();
  }
  return pageHelpTopic(Bmm_CurrentPage());
}

void showHelpForFocus() {
  const QWidget* w = QApplication::activeModalWidget();
  if (!w) w = QApplication::focusWidget();
  if (!w) w = QApplication::activeWindow();
  const int32_t topic = helpTopicFor(w);
  if (topic > 0)
    Bhp_HelpME(topic);
  else
    Bhp_DisplayContents();
}

void installHelpKey() {
  static QPointer<HelpKey> filter;
  if (filter || !qApp) return;
  filter = new HelpKey(qApp);
  qApp->installEventFilter(filter);
}

}  // namespace pellary
