// A plain wizard page for a slot whose own page is not built yet: its form
// name, a side picture, Next and Back. Output pages clear their output's
// pending flag on Next and go on to the next due output, as the real pages will.
#pragma once

#include <QLabel>

#include <QWidget>

#include <string>

namespace pellary {

enum class PageOutput {
  None,       // Next and Back go through the engine's own rules
  Dates,      // a calendar page
  DeviceRef,  // a handheld reference page
  PcRef,      // the PC reference page (it serves both reference codes 1)
};

class PlaceholderPage : public QWidget {
  Q_OBJECT
 public:
  PlaceholderPage(const std::string& formName, PageOutput output, QWidget* parent = nullptr);

  void cmdNext_Click();
  void cmdBack_Click();

 private:
  PageOutput output_;
};

// A generated side banner: a vertical gradient with a few bands, different
// per variant, sized for the page's left side.
QPixmap makeSidePicture(int variant);

// The parts every wizard page starts with: the side picture "imgPicture" and
// the bold title "lblFormTitle".
QLabel* addSidePicture(QWidget& page, int variant);
QLabel* addPageTitle(QWidget& page, const QString& text);

}  // namespace pellary
