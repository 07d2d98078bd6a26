#include "core/gui/wizard/page_table.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "core/gui/help_keys.h"
#include "core/gui/placement.h"
#include "core/gui/wizard/page_parts.h"
#include "core/wizard/update_interval.h"
#include "platform/errors.h"

namespace pellary {

namespace {
bool validSlot(int16_t slot) { return slot >= 0 && slot < kPageCount; }

// The second click of a double-click that moved the wizard on belongs to
// the page that was left: a page just shown ignores a press that comes
// within the double-click time of the release that showed it, and the
// release that ends that press.
class DoubleClickGuard : public QObject {
 public:
  using QObject::QObject;
  void pageShown(QWidget* page) {
    guarded_ = haveRelease_ ? page : nullptr;
    guardUntil_ = lastRelease_ + ulong(QApplication::doubleClickInterval());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseButtonRelease)
      return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    const ulong at = static_cast<QMouseEvent*>(event)->timestamp();
    const bool onGuarded = widget && guarded_ && (widget == guarded_ || guarded_->isAncestorOf(widget));
    if (type == QEvent::MouseButtonRelease) {
      if (swallowRelease_ && onGuarded) {
        swallowRelease_ = false;
        return true;
      }
      lastRelease_ = at;
      haveRelease_ = true;
      return false;
    }
    if (!onGuarded) return false;
    if (at > guardUntil_) {
      guarded_ = nullptr;
      return false;
    }
    swallowRelease_ = true;
    return true;
  }

 private:
  QPointer<QWidget> guarded_;
  ulong guardUntil_ = 0;
  ulong lastRelease_ = 0;
  bool haveRelease_ = false;
  bool swallowRelease_ = false;
};

DoubleClickGuard* doubleClickGuard() {
  static QPointer<DoubleClickGuard> guard;
  if (!guard && qApp) {
    guard = new DoubleClickGuard(qApp);
    qApp->installEventFilter(guard);
  }
  return guard;
}

// The focus starts on the page's default button, else on its first control.
void focusFirstControl(QWidget& form) {
  QPushButton* preferred = defaultButton(form);
  if (preferred && preferred->isVisibleTo(&form) && preferred->isEnabled()) {
    preferred->setFocus(Qt::OtherFocusReason);
    return;
  }
  int guard = 0;
  for (QWidget* w = form.nextInFocusChain(); w && w != &form && guard < 2000; w = w->nextInFocusChain(), ++guard) {
    if (!form.isAncestorOf(w) || !w->isVisibleTo(&form) || !w->isEnabled()) continue;
    if (!(w->focusPolicy() & Qt::TabFocus)) continue;
    w->setFocus(Qt::OtherFocusReason);
    return;
  }
}
}  // namespace

void WizardPages::setSlot(int16_t slot, Factory factory) {
  if (!validSlot(slot)) return;
  unloadPage(slot);
  slots_[size_t(slot)].factory = std::move(factory);
}

QWidget* WizardPages::page(int16_t slot) {
  if (!validSlot(slot)) return nullptr;
  Slot& s = slots_[size_t(slot)];
  if (s.form) return s.form;
  if (!s.factory) return nullptr;
  QWidget* form = s.factory();
  if (!form) return nullptr;
  if (clientArea_) {
    if (QWidget* client = clientArea_()) {
      form->setParent(client);
      form->resize(client->size());
    }
  }
  // A child made before its parent is shown would show with it.
  form->hide();
  if (!form->property("helpTopic").isValid()) setHelpTopic(*form, pageHelpTopic(slot));
  nameControlsFromLabels(*form);
  s.form = form;
  return form;
}

QWidget* WizardPages::loadedPage(int16_t slot) const {
  return validSlot(slot) ? slots_[size_t(slot)].form.data() : nullptr;
}

void WizardPages::clear() {
  for (Slot& s : slots_) {
    delete s.form.data();
    s.form = nullptr;
    s.factory = nullptr;
  }
}

bool WizardPages::hasForm(int16_t slot) const {
  return validSlot(slot) && (slots_[size_t(slot)].factory || slots_[size_t(slot)].form);
}

void WizardPages::alignPage(int16_t slot) {
  if (QWidget* form = page(slot)) Bpo_ChildULAlign(*form);
}

QPixmap pagePicture(QWidget& page) {
  auto* img = page.findChild<QLabel*>("imgPicture");
  return img ? img->pixmap() : QPixmap();
}

void WizardPages::copyPicture(int16_t from, int16_t to) {
  QWidget* source = loadedPage(from);
  QWidget* target = page(to);
  if (!source || !target) return;
  auto* img = target->findChild<QLabel*>("imgPicture");
  if (img) img->setPixmap(pagePicture(*source));
}

void WizardPages::showPage(int16_t slot) {
  if (QWidget* form = page(slot)) {
    form->show();
    form->raise();
    if (DoubleClickGuard* guard = doubleClickGuard()) guard->pageShown(form);
    focusFirstControl(*form);
    if (pageShown_) pageShown_(form);
  }
}

void WizardPages::hidePage(int16_t slot) {
  if (QWidget* form = loadedPage(slot)) form->hide();
}

void WizardPages::unloadPage(int16_t slot) {
  QWidget* form = loadedPage(slot);
  if (!form) return;
  slots_[size_t(slot)].form = nullptr;
  form->hide();
  // The page may be the one whose button asked for the switch.
  form->deleteLater();
}

void WizardPages::enableFileMenu() {
  if (fileMenu_) fileMenu_();
}

void WizardPages::enableToolTipTimer() {
  // Asked before the switch that first loads the screen: load it now.
  if (QWidget* selection = page(page::Selection))
    if (auto* timer = selection->findChild<QTimer*>("tmrToolTips")) timer->start();
}

WizardPages& PageTable() {
  static WizardPages table;
  return table;
}

void resetPageTable() {
  PageTable().clear();
  PageTable().setClientArea(nullptr);
  PageTable().setFileMenuHandler(nullptr);
  PageTable().setPageShownHandler(nullptr);
  if (Wizard().host == &PageTable()) Wizard().host = nullptr;
}

void Bint_GetUpdateSettings(QComboBox& cboUpdateTime) {
  trapped("Bint_GetUpdateSettings", [&] {
    std::optional<int32_t> code = Bint_StoredUpdateCode();
    if (!code) return;
    for (int i = 0; i < cboUpdateTime.count(); ++i) {
      if (cboUpdateTime.itemData(i).toInt() == *code) {
        cboUpdateTime.setCurrentIndex(i);
        return;
      }
    }
  });
}

}  // namespace pellary
