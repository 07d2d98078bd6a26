// The wizard's page table: 24 slots, each creating its form on first use
// (the form's default instance) as a child of the frame's client area. The
// page engine drives it through PageHost.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

#include "core/wizard/page_engine.h"

class QComboBox;

namespace pellary {

class WizardPages : public PageHost {
 public:
  using Factory = std::function<QWidget*()>;

  // The widget the pages are children of; asked for when a page is created.
  void setClientArea(std::function<QWidget*()> provider) { clientArea_ = std::move(provider); }
  // Enables the frame's File menu.
  void setFileMenuHandler(std::function<void()> handler) { fileMenu_ = std::move(handler); }
  // Told of each page as it comes on screen (the frame fits its menus to it).
  void setPageShownHandler(std::function<void(QWidget*)> handler) { pageShown_ = std::move(handler); }

  // Puts a form into a slot; an earlier form of the slot is destroyed.
  void setSlot(int16_t slot, Factory factory);
  // The slot's page, created (not shown) when not loaded; null for an empty
  // or out-of-range slot.
  QWidget* page(int16_t slot);
  // The page when loaded, else null.
  QWidget* loadedPage(int16_t slot) const;
  bool isLoaded(int16_t slot) const { return loadedPage(slot) != nullptr; }
  // Destroys every page and empties every slot.
  void clear();

  bool hasForm(int16_t slot) const override;
  void alignPage(int16_t slot) override;
  void copyPicture(int16_t from, int16_t to) override;
  void showPage(int16_t slot) override;
  void hidePage(int16_t slot) override;
  void unloadPage(int16_t slot) override;
  void enableFileMenu() override;
  void enableToolTipTimer() override;

 private:
  struct Slot {
    Factory factory;
    QPointer<QWidget> form;
  };
  std::array<Slot, kPageCount> slots_;
  std::function<QWidget*()> clientArea_;
  std::function<void()> fileMenu_;
  std::function<void(QWidget*)> pageShown_;
};

// The one page table of the run; it is also the page engine's host.
WizardPages& PageTable();
// Destroys the pages, empties the slots and detaches the engine.
void resetPageTable();

// The picture of a page's side image "imgPicture" (null when it has none).
QPixmap pagePicture(QWidget& page);

// Selects the combo box item whose item data is the stored update code; when
// none matches, the box keeps its selection.
void Bint_GetUpdateSettings(QComboBox& cboUpdateTime);

}  // namespace pellary
