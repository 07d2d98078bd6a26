#include "reference/pages/frmReference.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/wizard/page_engine.h"
#include "reference/html_generator.h"
#include "reference/pages/qt_progress.h"
#include "reference/reference_journal.h"
#include "reference/reference_tree.h"

namespace pellary {

HourglassCursor::HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
HourglassCursor::~HourglassCursor() { QApplication::restoreOverrideCursor(); }

frmReference::frmReference(QWidget* parent) : QWidget(parent) {
  setObjectName("frmReference");
  addSidePicture(*this, 1);
  addPageTitle(*this, "Setting up your reference section");
  auto* info = new QLabel(QString::fromStdString(kReferencePageInfo).replace("\r\n", "\n"), this);
  info->setObjectName("lblFormInfo");
  info->setGeometry(170, 50, 440, 120);
  info->setWordWrap(true);
  pbReference_ = addPageProgress(*this, "pbReference", QRect(170, 300, 420, 22));
  const PageFooter footer = addPageFooter(*this, QPoint(400, 360), "&Continue >");
  connect(footer.back, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(footer.next, &QPushButton::clicked, this, [this] { cmdNext_Click(); });

  progress_ = std::make_unique<QtProgressBar>(pbReference_);
  Bhtm_Generator().pcProgress = progress_.get();
  Bhtm_ConnectToPageEngine();
}

frmReference::~frmReference() {
  if (Bhtm_Generator().pcProgress == progress_.get()) Bhtm_Generator().pcProgress = nullptr;
}

void frmReference::cmdBack_Click() { Bmm_FormReverse(); }

void frmReference::cmdNext_Click() {
  pbReference_->setVisible(true);
  HourglassCursor hourglass;
  Bhtm_InitialiseHandler();
  Bhtm_StartHTMLReferenceWriter(1);
  // With a device reference code of 1 the engine shows this page for the
  // device output too; that visit clears the device flag, or the page would
  // come back for ever.
  WizardState& w = Wizard();
  if (w.Bint_Ref1Pending && refPlat1Page(Bset().Bset_RefPlat1) == page::Reference)
    w.Bint_Ref1Pending = false;
  else
    w.Bint_Ref2Pending = false;
  Bhtm_UnloadProfile();
  Bmm_GetNextForm();
}

}  // namespace pellary
