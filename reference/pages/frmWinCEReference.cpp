#include "reference/pages/frmWinCEReference.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
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
#include "reference/wince/wince_copier.h"

namespace pellary {

namespace {
QString shown(const std::string& text) { return QString::fromStdString(text).replace("\r\n", "\n"); }
}  // namespace

std::string winCEPageTitle(int16_t refPlat2) {
  return std::string(refPlat2 == 4 ? "Updating up your handheld PC" : "Updating up your palm sized PC") +
         "\r\nreference section";
}

std::string winCEPageInstructions(int16_t refPlat2) {
  const bool handheld = refPlat2 == 4;
  return std::string("Before proceeding with the installation please fo the following now\r\n\r\n") +
         (handheld ? "connect your handheld PC to your PC" : "connect your palm Sized PC to your PC") + "\r\n\r\n" +
         (handheld ? "Leave your hanheld PC switched on (external power supply recommended"
                   : "Leave your palm Sized PC switched on (external power supply recommended") +
         "\r\n\r\n" +
         (handheld
              ? "Windows CE Services 2.1 (or above) and Pocket Internet Explorer must already be installed on this PC"
              : "Windows CE Services 2.1 must already be installed on this PC");
}

class frmWinCEReference::View : public WinCEPageView {
 public:
  explicit View(frmWinCEReference& page) : p_(page) {}
  void setInfo(const std::string& t) override { p_.lblFormInfo_->setText(shown(t)); }
  void setNextEnabled(bool e) override { p_.cmdNext_->setEnabled(e); }
  void showLocationFrame() override { p_.fraWinCELocation_->setVisible(true); }
  void setLocationEnabled(bool e) override { p_.cboWinCELocation_->setEnabled(e); }
  void addLocation(const std::string& t) override { p_.cboWinCELocation_->addItem(QString::fromStdString(t)); }
  int locationCount() const override { return p_.cboWinCELocation_->count(); }
  void selectLocation(int i) override { p_.cboWinCELocation_->setCurrentIndex(i); }
  void setLocationText(const std::string& t) override {
    p_.cboWinCELocation_->setCurrentIndex(p_.cboWinCELocation_->findText(QString::fromStdString(t)));
  }
  std::string locationText() const override { return p_.cboWinCELocation_->currentText().toStdString(); }
  void yield() override { QApplication::processEvents(); }

 private:
  frmWinCEReference& p_;
};

frmWinCEReference::frmWinCEReference(QWidget* parent) : QWidget(parent) {
  setObjectName("frmWinCEReference");
  addSidePicture(*this, 2);
  lblFormTitle_ = addPageTitle(*this, {});
  lblFormTitle_->setGeometry(170, 10, 440, 56);
  lblFormInfo_ = new QLabel(this);
  lblFormInfo_->setObjectName("lblFormInfo");
  lblFormInfo_->setGeometry(170, 70, 440, 170);
  lblFormInfo_->setWordWrap(true);
  lblFormInfo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* user = new QWidget(this);
  user->setObjectName("fraUserInput");
  user->setGeometry(170, 245, 440, 60);
  fraWinCELocation_ = new QGroupBox("Copy the Reference section pages to:", user);
  fraWinCELocation_->setObjectName("fraWinCELocation");
  fraWinCELocation_->setGeometry(0, 0, 440, 58);
  fraWinCELocation_->setVisible(false);
  cboWinCELocation_ = new QComboBox(fraWinCELocation_);
  cboWinCELocation_->setObjectName("cboWinCELocation");
  cboWinCELocation_->setEditable(false);
  cboWinCELocation_->setGeometry(10, 22, 300, 26);
  lblStatusMessage_ = new QLabel(this);
  lblStatusMessage_->setObjectName("lblStatusMessage");
  lblStatusMessage_->setGeometry(170, 308, 440, 20);
  pbReference_ = addPageProgress(*this, "pbReference", QRect(170, 330, 420, 20));
  cmdNext_ = addNextButton(*this, QPoint(500, 360), "&Continue >");
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });

  progress_ = std::make_unique<QtProgressBar>(pbReference_);
  view_ = std::make_unique<View>(*this);
  Bhtm_Generator().winCEProgress = progress_.get();
  Bwce().page = view_.get();
  Bhtm_ConnectToPageEngine();
  Form_Load();
}

frmWinCEReference::~frmWinCEReference() {
  if (Bhtm_Generator().winCEProgress == progress_.get()) Bhtm_Generator().winCEProgress = nullptr;
  if (Bwce().page == view_.get()) Bwce().page = nullptr;
}

void frmWinCEReference::Form_Load() {
  cboWinCELocation_->setEnabled(false);
  const int16_t code = Bset().Bset_RefPlat2;
  lblFormTitle_->setText(shown(winCEPageTitle(code)));
  lblFormInfo_->setText(shown(winCEPageInstructions(code)));
}

void frmWinCEReference::cmdNext_Click() {
  // A press during a pass's yields would start a second pass inside the first.
  if (busy_) return;
  busy_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{busy_};
  if (!Bwce().Bwce_ConnectionMade) {
    Bwce_SetupWinCEScreen();
    return;
  }
  pbReference_->setVisible(true);
  HourglassCursor hourglass;
  lblStatusMessage_->setText("Generating reference section . . .");
  QApplication::processEvents();
  const int16_t code = Bset().Bset_RefPlat2;
  // This run's choices count when the PC pages did not apply them already.
  Bhtm_InitialiseHandler();
  Bhtm_StartHTMLReferenceWriter(code);
  Bint_Ref2Pending() = false;
  Bhtm_UnloadProfile();
  lblStatusMessage_->setText("Copying reference section to mobile device . . .");
  QApplication::processEvents();
  if (code == 4)
    Bwce_TransferHPCReference();
  else
    Bwce_TransferPPCReference();
  Bmm_GetNextForm();
}

}  // namespace pellary
