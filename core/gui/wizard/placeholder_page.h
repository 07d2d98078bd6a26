// A plain wizard page for a slot whose own page is not built yet: its form
// name, a side picture, Next and Back. Output pages clear their output's
// pending flag on Next and go on to the next due output, as the real pages will.
#pragma once

#include <QWidget>

#include <string>

#include "core/gui/wizard/page_parts.h"

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

}  // namespace pellary
