#include "reference/pages/frmPsionRef.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "core/app.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "reference/html_generator.h"
#include "reference/pages/qt_progress.h"
#include "reference/psion/psion_section.h"
#include "reference/psion/psion_transfer.h"
#include "reference/psion/psiwin_adapter.h"
#include "reference/reference_journal.h"

namespace pellary {

namespace {
QString shown(const std::string& text) { return QString::fromStdString(text).replace("\r\n", "\n"); }
const QColor kGrey(127, 127, 127), kRed(255, 0, 0);
}  // namespace

class frmPsionRef::View : public PsionPageView {
 public:
  explicit View(frmPsionRef& page) : p_(page) {}
  void addDriveRow(const std::string& key, const std::string& text, const std::string& freeSpace,
                   const std::string& freeBytes, bool grey) override {
    auto* item = new QTreeWidgetItem(p_.lstDrives_);
    item->setData(0, Qt::UserRole, QString::fromStdString(key));
    item->setText(0, QString::fromStdString(text));
    item->setText(1, QString::fromStdString(freeSpace));
    item->setText(2, QString::fromStdString(freeBytes));
    item->setData(0, Qt::UserRole + 1, grey);
    if (grey) {
      for (int c = 0; c < 3; ++c) item->setForeground(c, kGrey);
      item->setForeground(1, kRed);
    }
  }
  bool selectDrive(const std::string& key) override {
    QTreeWidgetItem* item = find(key);
    if (!item) return false;
    p_.lstDrives_->setCurrentItem(item);
    return true;
  }
  void clearSelection() override {
    p_.lstDrives_->clearSelection();
    p_.lstDrives_->setCurrentItem(nullptr);
  }
  bool driveGrey(const std::string& key) const override {
    QTreeWidgetItem* item = find(key);
    return item && item->data(0, Qt::UserRole + 1).toBool();
  }
  void setInfo(const std::string& t) override { p_.lblFormInfo_->setText(shown(t)); }
  void setNextEnabled(bool e) override { p_.cmdNext_->setEnabled(e); }
  void normalPointer() override {}
  bool installViewer() const override { return p_.chkInstallViewer_->isChecked(); }
  void setProgressToMaximum() override { p_.progressBar_->setValue(p_.progressBar_->maximum()); }
  QTreeWidgetItem* find(const std::string& key) const {
    for (int i = 0; i < p_.lstDrives_->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = p_.lstDrives_->topLevelItem(i);
      if (item->data(0, Qt::UserRole).toString().toStdString() == key) return item;
    }
    return nullptr;
  }

 private:
  frmPsionRef& p_;
};

frmPsionRef::frmPsionRef(QWidget* parent) : QWidget(parent) {
  setObjectName("frmPsionRef");
  addSidePicture(*this, 1);
  addPageTitle(*this, "Setting up Reference Section");
  lblFormInfo_ = new QLabel(
      "Your selection of reference information will be updated on your Tessel device. Please select a drive where the "
      "information will be stored",
      this);
  lblFormInfo_->setObjectName("lblFormInfo");
  lblFormInfo_->setGeometry(170, 42, 440, 60);
  lblFormInfo_->setWordWrap(true);
  auto* frame = new QGroupBox("Reference information drive", this);
  frame->setObjectName("fraDrives");
  frame->setGeometry(170, 105, 440, 130);
  lstDrives_ = new QTreeWidget(frame);
  lstDrives_->setObjectName("lstDrives");
  lstDrives_->setAccessibleName("Drives of the device");
  lstDrives_->setGeometry(8, 20, 424, 102);
  lstDrives_->setRootIsDecorated(false);
  lstDrives_->setHeaderLabels({"Drive", "Free space", "Freespace"});
  lblRequiredSpace_ = new QLabel(this);
  lblRequiredSpace_->setObjectName("lblRequiredSpace");
  lblRequiredSpace_->setGeometry(170, 270, 440, 20);
  chkInstallViewer_ = new QCheckBox("Install Mappa viewer to handheld device", this);
  chkInstallViewer_->setObjectName("chkInstallViewer");
  chkInstallViewer_->setGeometry(170, 295, 440, 22);
  progressBar_ = addPageProgress(*this, "ProgressBar", QRect(170, 325, 420, 20));
  const PageFooter footer = addPageFooter(*this, QPoint(400, 360));
  cmdBack_ = footer.back;
  cmdNext_ = footer.next;
  cmdNext_->setEnabled(false);  // until the drive list has arrived
  connect(cmdBack_, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(lstDrives_, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item, int) { lstDrives_ItemClick(item); });
  // The row made current by any means (the arrows, Space, Tab into the list)
  // is the chosen drive, as a click makes it.
  connect(lstDrives_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
    if (!item || !lstDrives_->isEnabled()) return;
    if (!item->isSelected()) item->setSelected(true);
    lstDrives_ItemClick(item);
  });

  view_ = std::make_unique<View>(*this);
  progress_ = std::make_unique<QtProgressBar>(progressBar_);
  PsionTransferState& link = Bps5Link();
  if (!link.engine) {
    ownEngine_ = std::make_unique<PsiWinEngineAdapter>();
    link.engine = ownEngine_.get();
  }
  link.page = view_.get();
  link.yield = [this] {
    QApplication::processEvents();
    pumpEngine();
  };
  static PsionEngineDeviceOps deviceOps;
  Bps5().device = &deviceOps;
  Bps5().progress = progress_.get();
  Bps5().installViewer = [this] { return chkInstallViewer_->isChecked(); };
  pump_ = new QTimer(this);
  connect(pump_, &QTimer::timeout, this, [this] { pumpEngine(); });
  pump_->start(100);
  Form_Load();
}

frmPsionRef::~frmPsionRef() {
  PsionTransferState& link = Bps5Link();
  if (link.page == view_.get()) {
    link.page = nullptr;
    link.yield = nullptr;
  }
  if (ownEngine_ && link.engine == ownEngine_.get()) link.engine = nullptr;
  if (Bps5().progress == progress_.get()) Bps5().progress = nullptr;
  Bps5().installViewer = nullptr;
}

void frmPsionRef::pumpEngine() {
  if (ownEngine_) ownEngine_->pump();
}

void frmPsionRef::Form_Load() {
  // This run's choices count when the PC pages did not apply them already;
  // the space need below is measured from them.
  Bhtm_InitialiseHandler();
  Bps5_PsionSetup();
  Bps5Link().engine->start();
  if (screenLink().firstRun()) {
    chkInstallViewer_->setChecked(true);
    chkInstallViewer_->setEnabled(false);
  }
  lblRequiredSpace_->setText("Space required : " +
                             QString::fromStdString(Bps5_FormatFreeSpace(Bps5_FreeSpaceRequired())));
  // A returning profile keeps its stored drive; without one the user must
  // be able to choose, or Next could never go on.
  lstDrives_->setEnabled(Bset().Bset_NoProfileRefs || Bps5_GetRefLocation().empty());
}

void frmPsionRef::cmdBack_Click() { Bmm_FormReverse(); }

void frmPsionRef::lstDrives_ItemClick(QTreeWidgetItem* item) {
  if (item) Bps5_SelectDrive(item->data(0, Qt::UserRole).toString().toStdString());
}

void frmPsionRef::cmdNext_Click() {
  if (Breg_GetRegSetting("Settings", "Ref2Loc").empty()) {
    MsgBox("Please select a drive", mb::OKOnly | mb::Exclamation, appTitle());
    cmdNext_->setEnabled(true);
    return;
  }
  QTreeWidgetItem* row = lstDrives_->currentItem();
  const int64_t freeBytes = row ? row->text(2).toLongLong() : 0;
  if (freeBytes > Bps5_FreeSpaceRequired()) {
    cmdBack_->setEnabled(false);
    cmdNext_->setEnabled(false);
    progressBar_->setVisible(true);
    bool done;
    {
      HourglassCursor hourglass;
      done = Bset().Bset_RefPlat2 == 32 ? Bps5_Psion3Handler() : Bps5_Psion5Handler();
    }
    if (!done) MsgBox(kPsionNoChangeMessage, mb::OKOnly | mb::Exclamation, appTitle());
  } else {
    MsgBox("Not enough space on target drive", mb::OKOnly | mb::Exclamation, appTitle());
  }
  cmdNext_->setEnabled(true);
}

}  // namespace pellary
