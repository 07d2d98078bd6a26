#include "core/gui/wizard/placeholder_page.h"

#include <QPushButton>

#include "core/products.h"
#include "core/wizard/page_engine.h"

namespace pellary {

PlaceholderPage::PlaceholderPage(const std::string& formName, PageOutput output, QWidget* parent)
    : QWidget(parent), output_(output) {
  setObjectName(QString::fromStdString(formName));
  addSidePicture(*this, 0);
  addPageTitle(*this, QString::fromStdString(formName));
  const PageFooter footer = addPageFooter(*this, QPoint(400, 360));
  connect(footer.back, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(footer.next, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
}

void PlaceholderPage::cmdNext_Click() {
  WizardState& w = Wizard();
  switch (output_) {
    case PageOutput::None: Bmm_FormAdvance(); return;
    case PageOutput::Dates: w.Bint_DatesPending = false; break;
    case PageOutput::DeviceRef: w.Bint_Ref2Pending = false; break;
    case PageOutput::PcRef:
      // Shown for the PC pages first, then again for a device code of 1.
      if (w.Bint_Ref1Pending && refPlat1Page(Bset().Bset_RefPlat1) == page::Reference)
        w.Bint_Ref1Pending = false;
      else
        w.Bint_Ref2Pending = false;
      break;
  }
  Bmm_GetNextForm();
}

void PlaceholderPage::cmdBack_Click() { Bmm_FormReverse(); }

}  // namespace pellary
