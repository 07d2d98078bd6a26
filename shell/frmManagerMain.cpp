#include "shell/frmManagerMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "core/app.h"
#include "core/database_access.h"
#include "core/gui/help_keys.h"
#include "core/gui/local_browser.h"
#include "core/gui/placement.h"
#include "core/gui/plain_text.h"
#include "core/gui/plain_tip.h"
#include "core/gui/qt_tree_view.h"
#include "core/gui/wizard/page_table.h"
#include "core/previews.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/selection.h"
#include "core/shellwrap.h"
#include "core/tree_keys.h"
#include "core/trees.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "shell/frmEventPreview.h"
#include "shell/frmMDIMain.h"
#include "shell/frmManager2.h"
#include "shell/selection_procedures.h"
#include "shell/small_pages.h"
#include "shell/start.h"

namespace pellary {

namespace {

QRect twips(int left, int top, int width, int height) { return twipsToPixels(left, top, width, height); }
QString q(const std::string& s) { return QString::fromStdString(s); }
// A caption with a doubled ampersand shows one on a label.
QString labelText(const std::string& s) { return q(s).replace("&&", "&"); }

constexpr const char* kTipTopic = "tipTopic";    // topic of a pointer action over the widget
constexpr const char* kTipUnless = "tipUnless";  // a topic the action leaves alone

QPixmap arrowPicture(int image) {
  QPixmap pm(55, 59);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  bool active = image == 1 || image == 3;
  bool add = image <= 2;
  p.setBrush(active ? QColor(30, 110, 40) : QColor(170, 170, 170));
  p.setPen(Qt::NoPen);
  QPolygon arrow;
  if (add)
    arrow << QPoint(8, 18) << QPoint(30, 18) << QPoint(30, 6) << QPoint(50, 29) << QPoint(30, 52) << QPoint(30, 40)
          << QPoint(8, 40);
  else
    arrow << QPoint(47, 18) << QPoint(25, 18) << QPoint(25, 6) << QPoint(5, 29) << QPoint(25, 52) << QPoint(25, 40)
          << QPoint(47, 40);
  p.drawPolygon(arrow);
  return pm;
}

QTreeWidget* newTree(QWidget* parent, const char* name, int index, QRect geometry) {
  auto* t = new QTreeWidget(parent);
  t->setObjectName(name);
  if (index >= 0) t->setProperty("index", index);
  t->setGeometry(geometry);
  t->setSelectionMode(QAbstractItemView::ExtendedSelection);
  t->setContextMenuPolicy(Qt::CustomContextMenu);
  t->setMouseTracking(true);
  return t;
}

QPointer<frmManagerMain>& screenSlot() {
  static QPointer<frmManagerMain> screen;
  return screen;
}

int hourglassDepth = 0;
void hourglass(bool on) {
  if (!qApp) return;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++hourglassDepth;
  } else if (hourglassDepth > 0) {
    QApplication::restoreOverrideCursor();
    --hourglassDepth;
  }
}
struct Hourglass {
  Hourglass() { hourglass(true); }
  ~Hourglass() { hourglass(false); }
};

}  // namespace

frmManagerMain& selectionScreen() {
  if (!screenSlot()) {
    auto* screen = new frmManagerMain();
    screenSlot() = screen;
    screen->attachToScreenLink();
  }
  return *screenSlot();
}
frmManagerMain* selectionScreenIfAny() { return screenSlot(); }

frmManagerMain::frmManagerMain(QWidget* parent) : QWidget(parent) {
  setObjectName("frmManagerMain");
  resize(twipsToPixelsX(9420), twipsToPixelsY(6105));
  setMouseTracking(true);
  setProperty(kTipTopic, 90);

  imgTabBackground_ = new QLabel(this);
  imgTabBackground_->setObjectName("imgTabBackground");
  imgTabBackground_->setGeometry(twips(0, 495, 5520, 5610));
  imgTabBackground_->setProperty(kTipTopic, 90);
  auto* yourSelection = new QFrame(this);
  yourSelection->setObjectName("fraYourSelection");
  yourSelection->setGeometry(twips(5440, 0, 3980, 6105));
  auto* yourSelBack = new QLabel(yourSelection);
  yourSelBack->setObjectName("imgYourSelBack");
  yourSelBack->setGeometry(0, 0, yourSelection->width(), yourSelection->height());
  yourSelBack->setProperty(kTipTopic, 90);

  auto* tabs = new QFrame(this);
  tabs->setObjectName("fraTabs");
  tabs->setGeometry(twips(0, 0, 5280, 495));
  tabs->setProperty(kTipTopic, 91);
  for (int i = 0; i < 4; ++i) {
    auto* img = new ClickImage(tabs);
    img->setObjectName("imgTabsBack");
    img->setProperty("index", i);
    img->setProperty(kTipTopic, 91);
    img->setGeometry(twips(i * 1200, 0, 1200, 495));
    img->setAlignment(Qt::AlignCenter);
    img->setFrameShape(QFrame::Panel);
    connect(img, &ClickImage::clicked, this, [this, i] { imgTabsBack_Click(i); });
    imgTabsBack_[size_t(i)] = img;
  }
  imgTabSelected_ = new QLabel(tabs);
  plainLabel(imgTabSelected_);  // a product name from the databank
  imgTabSelected_->setObjectName("imgTabSelected");
  imgTabSelected_->setAlignment(Qt::AlignCenter);
  imgTabSelected_->setWordWrap(true);
  imgTabSelected_->setProperty(kTipTopic, 91);
  fraCover_ = new QFrame(tabs);
  fraCover_->setObjectName("fraCover");
  fraCover_->setGeometry(twips(2400, 0, 2400, 495));
  fraCover_->setAutoFillBackground(true);
  fraCover_->hide();
  cmdLeft_ = new QPushButton("<", this);
  cmdLeft_->setObjectName("cmdLeft");
  cmdLeft_->setAccessibleName("Scroll the product tabs left");
  cmdLeft_->setGeometry(twips(4850, 100, 300, 300));
  cmdLeft_->setProperty(kTipTopic, 91);
  cmdRight_ = new QPushButton(">", this);
  cmdRight_->setObjectName("cmdRight");
  cmdRight_->setAccessibleName("Scroll the product tabs right");
  cmdRight_->setGeometry(twips(5160, 100, 300, 300));
  cmdRight_->setProperty(kTipTopic, 91);
  connect(cmdLeft_, &QPushButton::clicked, this, [this] { cmdLeft_Click(); });
  connect(cmdRight_, &QPushButton::clicked, this, [this] { cmdRight_Click(); });

  auto* events = new QLabel("Events", this);
  events->setObjectName("lblEvents");
  events->setGeometry(twips(5520, 700, 1200, 250));
  lblDatesPlatform_ = new QLabel(this);
  plainLabel(lblDatesPlatform_);
  lblDatesPlatform_->setObjectName("lblDatesPlatform");
  lblDatesPlatform_->setGeometry(twips(6720, 700, 2500, 250));
  auto* reference = new QLabel("Reference for:", this);
  reference->setObjectName("lblReference");
  reference->setGeometry(twips(5520, 3800, 1300, 250));
  lblRefPlatforms_ = new QLabel(this);
  plainLabel(lblRefPlatforms_);
  lblRefPlatforms_->setObjectName("lblRefPlatforms");
  lblRefPlatforms_->setGeometry(twips(6820, 3800, 2500, 250));

  for (int i = 0; i < kTreeTabs; ++i) {
    tvCategorySelector_[size_t(i)] = newTree(this, "tvCategorySelector", i, twips(80, 960, 4435, 2775));
    tvReferenceSelector_[size_t(i)] = newTree(this, "tvReferenceSelector", i, twips(80, 4080, 4435, 1455));
    tvCategorySelector_[size_t(i)]->viewport()->setProperty(kTipTopic, 92);
    tvCategorySelector_[size_t(i)]->viewport()->setProperty(kTipUnless, 93);
    tvReferenceSelector_[size_t(i)]->viewport()->setProperty(kTipTopic, 92);
    tvReferenceSelector_[size_t(i)]->viewport()->setProperty(kTipUnless, 96);
    catViews_[size_t(i)] = std::make_unique<QtTreeView>(tvCategorySelector_[size_t(i)]);
    refViews_[size_t(i)] = std::make_unique<QtTreeView>(tvReferenceSelector_[size_t(i)]);
    tvCategorySelector_[size_t(i)]->hide();
    tvReferenceSelector_[size_t(i)]->hide();
  }
  tvSelectedItems_ = newTree(this, "tvSelectedItems", -1, twips(5520, 960, 3735, 2775));
  tvReferenceSelected_ = newTree(this, "tvReferenceSelected", -1, twips(5520, 4080, 3735, 1455));
  tvSelectedItems_->setAccessibleName("Your selected events");
  tvReferenceSelected_->setAccessibleName("Your selected reference topics");
  for (QTreeWidget* t : {tvSelectedItems_, tvReferenceSelected_}) t->setHeaderHidden(true);
  tvSelectedItems_->viewport()->setProperty(kTipTopic, 94);
  tvReferenceSelected_->viewport()->setProperty(kTipTopic, 95);
  selectedView_ = std::make_unique<QtTreeView>(tvSelectedItems_);
  refSelectedView_ = std::make_unique<QtTreeView>(tvReferenceSelected_);

  QIcon file = style()->standardIcon(QStyle::SP_FileIcon);
  QIcon chosen = style()->standardIcon(QStyle::SP_DialogApplyButton);
  for (auto* v : {selectedView_.get(), refSelectedView_.get()}) v->setImageIcon(kChosenImage, chosen);
  for (int i = 0; i < kTreeTabs; ++i) {
    catViews_[size_t(i)]->setImageIcon(kFileIconImage, file);
    refViews_[size_t(i)]->setImageIcon(kFileIconImage, file);
  }

  auto arrow = [this](const char* name, int top) {
    auto* a = new ClickImage(this);
    a->setObjectName(name);
    a->setGeometry(twips(4600, top, 825, 885));
    return a;
  };
  imgEventAdd_ = arrow("imgEventAdd", 1320);
  imgEventRem_ = arrow("imgEventRem", 2520);
  imgRefAdd_ = arrow("imgRefAdd", 3960);
  imgRefRem_ = arrow("imgRefRem", 4920);
  imgEventAdd_->setAccessibleName("Add to my selection");
  imgEventRem_->setAccessibleName("Remove from my selection");
  imgRefAdd_->setAccessibleName("Add reference topic to my selection");
  imgRefRem_->setAccessibleName("Remove reference topic from my selection");
  connect(imgEventAdd_, &ClickImage::clicked, this, [this] { imgEventAdd_Click(); });
  connect(imgEventRem_, &ClickImage::clicked, this, [this] { imgEventRem_Click(); });
  connect(imgRefAdd_, &ClickImage::clicked, this, [this] { imgRefAdd_Click(); });
  connect(imgRefRem_, &ClickImage::clicked, this, [this] { imgRefRem_Click(); });

  chkRef1_ = new QCheckBox("on PC", this);
  chkRef1_->setObjectName("chkRef1");
  // One above the other left of Continue: a device's name ("on Palm-size PC")
  // has room there and never runs under the button.
  chkRef1_->setGeometry(twips(5520, 5560, 2200, 270));
  chkRef2_ = new QCheckBox(this);
  chkRef2_->setObjectName("chkRef2");
  chkRef2_->setGeometry(twips(5520, 5830, 2200, 270));
  cmdNext_ = new QPushButton("&Continue >", this);
  cmdNext_->setObjectName("cmdNext");
  cmdNext_->setGeometry(twips(7800, 5580, 1500, 420));
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });

  wbpOtherProducts_ = new LocalBrowser(this);
  wbpOtherProducts_->setObjectName("wbpOtherProducts");
  // The left column only: the chosen items and Continue stay in reach.
  wbpOtherProducts_->setGeometry(twips(80, 600, 4435, 4935));
  wbpOtherProducts_->setOpenLinks(false);
  wbpOtherProducts_->setAccessibleName("Other products");
  wbpOtherProducts_->viewport()->setProperty(kTipTopic, 101);
  wbpOtherProducts_->hide();
  connect(wbpOtherProducts_, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& url) { wbpOtherProducts_BeforeNavigate(url); });

  tmrToolTips_ = new QTimer(this);
  tmrToolTips_->setObjectName("tmrToolTips");
  tmrToolTips_->setInterval(750);
  connect(tmrToolTips_, &QTimer::timeout, this, [this] { tmrToolTips_Timer(); });
  for (const char* name : {"tmrLeft", "tmrRight"}) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(30);
  }

  // Menus: the page's own items, reached from the frame and the popups.
  auto action = [this](QMenu* menu, const char* name, const char* text, void (frmManagerMain::*handler)()) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  mnuFile_ = new QMenu("&File", this);
  mnuFile_->setObjectName("mnuFile");
  action(mnuFile_, "mnuFExit", "E&xit", &frmManagerMain::mnuFExit_Click);
  mnuHelp_ = new QMenu("&Help", this);
  mnuHelp_->setObjectName("mnuHelp");
  action(mnuHelp_, "mnuHThisPage", "Help on this &page\tF1", &frmManagerMain::mnuHThisPage_Click);
  action(mnuHelp_, "mnuHContents", "&Help Topics", &frmManagerMain::mnuHContents_Click);
  mnuHDontShowMeTips_ =
      action(mnuHelp_, "mnuHDontShowMeTips", "&Don't show me tips", &frmManagerMain::mnuHDontShowMeTips_Click);
  mnuHDontShowMeTips_->setCheckable(true);
  mnuHelp_->addSeparator();
  action(mnuHelp_, "mnuHTechnicalSupport", "&Technical support (website)", &frmManagerMain::mnuHTechnicalSupport_Click);
  mnuHelp_->addSeparator();
  action(mnuHelp_, "mnuHAbout", "&About", &frmManagerMain::mnuHAbout_Click);
  for (QMenu* m : {mnuFile_, mnuHelp_}) connect(m, &QMenu::aboutToShow, this, [this] { topic(0); });
  mnuPopUpMenu_ = new QMenu(this);
  mnuPopUpMenu_->setObjectName("mnuPopUpMenu");
  action(mnuPopUpMenu_, "mnuPPreview", "&Preview", &frmManagerMain::mnuPPreview_Click);
  action(mnuPopUpMenu_, "mnuPAddToSelection", "&Add to selection", &frmManagerMain::mnuPAddToSelection_Click);
  action(mnuPopUpMenu_, "mnuPHelp", "&Help", &frmManagerMain::mnuPHelp_Click);
  mnuRightPopUpMenu_ = new QMenu(this);
  mnuRightPopUpMenu_->setObjectName("mnuRightPopUpMenu");
  action(mnuRightPopUpMenu_, "mnuRPreview", "&Preview", &frmManagerMain::mnuRPreview_Click);
  action(mnuRightPopUpMenu_, "mnuRRemoveFromMySelection", "&Remove from my selection",
         &frmManagerMain::mnuRRemoveFromMySelection_Click);
  action(mnuRightPopUpMenu_, "mnuRHelp", "&Help", &frmManagerMain::mnuPHelp_Click);

  // The trees' clicks.
  for (int i = 0; i < kTreeTabs; ++i) {
    QTreeWidget* c = tvCategorySelector_[size_t(i)];
    QTreeWidget* r = tvReferenceSelector_[size_t(i)];
    connect(c, &QTreeWidget::itemSelectionChanged, this, [this, i] { tvCategorySelector_Click(i); });
    connect(r, &QTreeWidget::itemSelectionChanged, this, [this, i] { tvReferenceSelector_Click(i); });
    connect(c, &QTreeWidget::itemDoubleClicked, this, [this, i] { tvCategorySelector_DblClick(i); });
    connect(r, &QTreeWidget::itemDoubleClicked, this, [this, i] { tvReferenceSelector_DblClick(i); });
    connect(c, &QTreeWidget::customContextMenuRequested, this,
            [this, i](const QPoint& p) { tvCategorySelector_RightClick(i, p); });
    c->installEventFilter(this);
    r->installEventFilter(this);
    c->viewport()->installEventFilter(this);
    r->viewport()->installEventFilter(this);
  }
  connect(tvSelectedItems_, &QTreeWidget::itemSelectionChanged, this, [this] { tvSelectedItems_Click(); });
  connect(tvReferenceSelected_, &QTreeWidget::itemSelectionChanged, this, [this] { tvReferenceSelected_Click(); });
  connect(tvSelectedItems_, &QTreeWidget::itemDoubleClicked, this, [this] { tvSelectedItems_DblClick(); });
  connect(tvReferenceSelected_, &QTreeWidget::itemDoubleClicked, this, [this] { tvReferenceSelected_DblClick(); });
  connect(tvSelectedItems_, &QTreeWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { tvSelectedItems_RightClick(p); });
  for (QTreeWidget* t : {tvSelectedItems_, tvReferenceSelected_}) {
    t->installEventFilter(this);
    t->viewport()->installEventFilter(this);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{this, imgTabBackground_, yourSelBack, tabs, cmdLeft_, cmdRight_,
                                                    wbpOtherProducts_->viewport(), cmdNext_, imgEventAdd_, imgEventRem_,
                                                    imgRefAdd_, imgRefRem_})
    w->installEventFilter(this);
  for (ClickImage* img : imgTabsBack_) img->installEventFilter(this);

  setArrow(imgEventAdd_, false, 2);
  setArrow(imgRefAdd_, false, 2);
  setArrow(imgEventRem_, false, 4);
  setArrow(imgRefRem_, false, 4);
}

frmManagerMain::~frmManagerMain() {
  ScreenLink& link = screenLink();
  if (link.tvSelectedItems == selectedView_.get()) {
    link.tvCategorySelector.clear();
    link.tvReferenceSelector.clear();
    link.tvSelectedItems = nullptr;
    link.tvReferenceSelected = nullptr;
    link.managerMainInitialize = nullptr;
    link.hourglass = nullptr;
    selectionScreenHooks() = SelectionScreenHooks{};
    eventOptionsLink().make = nullptr;
  }
}

void frmManagerMain::attachToScreenLink() {
  ScreenLink& link = screenLink();
  link.tvCategorySelector.clear();
  link.tvReferenceSelector.clear();
  for (int i = 0; i < kTreeTabs; ++i) {
    link.tvCategorySelector.push_back(catViews_[size_t(i)].get());
    link.tvReferenceSelector.push_back(refViews_[size_t(i)].get());
  }
  link.tvSelectedItems = selectedView_.get();
  link.tvReferenceSelected = refSelectedView_.get();
  link.hourglass = hourglass;
  link.managerMainInitialize = [this] {
    ensureLoaded();
    Bint_ManagerMainInitialize();
  };
  selectionScreenHooks().layoutStrip = [this] { layoutStrip(); };
  selectionScreenHooks().redraw = [this] { redraw(); };
  eventOptionsLink().make = [this]() -> EventOptionsView* {
    return new frmEventPreview([this] { tvCategorySelector_DblClick(Bint_CurrentProductTab()); }, this);
  };
}

void frmManagerMain::showEvent(QShowEvent* event) {
  ensureLoaded();
  QWidget::showEvent(event);
  if (mainFrameExists() && window() == &mainFrame()) mainFrame().setPageMenus({mnuFile_, mnuHelp_});
}

void frmManagerMain::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (mainFrameExists() && window() == &mainFrame()) mainFrame().setPageMenus({});
}

void registerSelectionPages(WizardPages& table) {
  table.setSlot(page::Selection, [] { return static_cast<QWidget*>(&selectionScreen()); });
  table.setSlot(page::Summary, [] { return static_cast<QWidget*>(new frmManager2()); });
}

void frmManagerMain::ensureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  trapped("ManagerMain_frmLoad", [&] { formLoad(); });
}

void frmManagerMain::formLoad() {
  // 1. Tooltips.
  TipsOn = Bmm_ParseBoolean(Breg_GetRegSetting("User", "ShowTips"));
  mnuHDontShowMeTips_->setChecked(!TipsOn);
  if (!TipsOn) tmrToolTips_->stop();
  // 2.
  lblDatesPlatform_->setText(labelText("for " + Breg_GetRegSetting("Support", "DatesPlatShortName")));
  // 3. The headings of new items.
  for (QtTreeView* v : {selectedView_.get(), refSelectedView_.get()}) {
    v->add("", TreeRelation::Last, kNewItemsKey, "New items");
    v->setBold(kNewItemsKey, true);
  }
  // 4.
  setArrow(imgEventAdd_, imgEventAdd_->isEnabled(), 2);
  setArrow(imgRefAdd_, imgRefAdd_->isEnabled(), 2);
  setArrow(imgEventRem_, imgEventRem_->isEnabled(), 4);
  setArrow(imgRefRem_, imgRefRem_->isEnabled(), 4);
  // 5. A heading per product entry (the last, the other-products page, has none).
  const ProductSetup& p = Bset();
  if (p.Bset_ProductCount > 1) {
    for (int i = 0; i <= p.Bset_ProductCount - 2 && i < kMaxProducts; ++i) {
      int32_t prog = p.Bset_ProgProductID[size_t(i)];
      std::string name = p.Bset_ProductName[size_t(i)].toString();
      tabNames_[size_t(i)] = q(name);
      std::string heading = "Your existing " + name + " selection";
      if (p.Bset_Viewers[size_t(i)] != 2 && !selectedView_->exists(headingKey(prog))) {
        selectedView_->add("", TreeRelation::Last, headingKey(prog), heading);
        selectedView_->setBold(headingKey(prog), true);
      }
      if (p.Bset_Viewers[size_t(i)] != 1 && !refSelectedView_->exists(headingKey(prog))) {
        refSelectedView_->add("", TreeRelation::Last, headingKey(prog), heading);
        refSelectedView_->setBold(headingKey(prog), true);
      }
    }
  }
  // 6. The other-products page.
  wbpOtherProducts_->setSource(
      QUrl::fromLocalFile(q(paths::resolve(paths::appPath() + "\\Products\\index.htm").string())));
  // 7. Reference captions.
  std::string plat2 = Breg_GetRegSetting("Support", "RefPlat2ShortName");
  std::string text = "for " + Breg_GetRegSetting("Support", "RefPlat1ShortName");
  if (!plat2.empty()) text = " for PC && " + plat2;
  lblRefPlatforms_->setText(labelText(text));
  chkRef2_->setText(q("on " + plat2));
  chkRef2_->setVisible(!Breg_GetRegSetting("Support", "RefPlat2").empty());
  // 8.
  chkRef1_->setChecked(paths::equalsIgnoreCase(Breg_GetRegSetting("Settings", "Ref1"), "on"));
  chkRef2_->setChecked(paths::equalsIgnoreCase(Breg_GetRegSetting("Settings", "Ref2"), "on"));
}

void frmManagerMain::layoutStrip() {
  const ProductSetup& p = Bset();
  TabStripLayout l = tabStripLayout();
  cmdLeft_->setVisible(l.scrollButtons);
  cmdRight_->setVisible(l.scrollButtons);
  for (int k = 0; k < 4; ++k) imgTabsBack_[size_t(k)]->setProperty("inUse", k < l.places);
  fraCover_->setVisible(l.coverLeft >= 0);
  if (l.coverLeft >= 0) fraCover_->move(twipsToPixelsX(l.coverLeft), 0);
  for (int i = 0; i < p.Bset_ProductCount && i < kTreeTabs; ++i) {
    if (p.Bset_Viewers[size_t(i)] == 1) tvCategorySelector_[size_t(i)]->setGeometry(twips(80, 960, 4435, 4575));
    if (p.Bset_Viewers[size_t(i)] == 2) tvReferenceSelector_[size_t(i)]->setGeometry(twips(80, 960, 4435, 4575));
  }
}

// A tab's caption: the product's name; the combined entry and the
// other-products page have names of their own.
QString frmManagerMain::tabName(int entry) const {
  const ProductSetup& p = Bset();
  if (entry < 0 || entry >= kMaxProducts) return {};
  const int32_t prog = p.Bset_ProgProductID[size_t(entry)];
  if (prog == 1 && entry == p.Bset_ProductCount - 1) return "Other products";
  if (!tabNames_[size_t(entry)].isEmpty()) return tabNames_[size_t(entry)];
  if (entry == p.Bset_GenDatesEntry && prog == 2) return "All dates";
  return "Product " + QString::number(prog);
}

namespace {
// An inactive tab: the product's colour, its name in white.
QPixmap tabPicture(const QString& name, QColor colour, QSize size) {
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter g(&pm);
  g.setRenderHint(QPainter::Antialiasing);
  g.setBrush(colour);
  g.setPen(colour.darker(130));
  g.drawRoundedRect(QRectF(pm.rect()).adjusted(1, 3, -1, 6), 6, 6);
  g.setPen(Qt::white);
  // A long name gets a smaller letter rather than losing a line.
  const QRect area = pm.rect().adjusted(2, 2, -2, 0);
  QFont f = g.font();
  for (qreal size = f.pointSizeF(); size > 5; size -= 0.5) {
    f.setPointSizeF(size);
    if (QFontMetrics(f).boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, name).height() <= area.height()) break;
  }
  g.setFont(f);
  g.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, name);
  return pm;
}
}  // namespace

void frmManagerMain::redraw() {
  const ProductSetup& p = Bset();
  TabStripLayout l = tabStripLayout();
  auto colour = [](int32_t prog) { return QColor::fromHsv(int((prog * 47) % 360), 120, 170); };
  int current = Bint_CurrentProductTab();
  int32_t currentProg = current >= 0 && current < kMaxProducts ? p.Bset_ProgProductID[size_t(current)] : 0;
  imgTabBackground_->setProperty("picture", currentProg);
  // A plain tint of the product's colour: a picture behind the trees would
  // peek out between them.
  QPixmap background(imgTabBackground_->size());
  background.fill(colour(currentProg).lighter(190));
  imgTabBackground_->setPixmap(background);
  for (int k = 0; k < 4; ++k) {
    ClickImage* img = imgTabsBack_[size_t(k)];
    bool inUse = k < l.places;
    int entry = l.productAt[k];
    int32_t prog = entry >= 0 && entry < kMaxProducts ? p.Bset_ProgProductID[size_t(entry)] : 0;
    img->setProperty("product", entry);
    img->setProperty("picture", prog);
    img->setToolTip(plainTip(tabName(entry)));
    img->setAccessibleName(tabName(entry));
    img->setPixmap(tabPicture(tabName(entry), colour(prog).darker(115), img->size()));
    img->setVisible(inUse && (k == 3 || k != l.selectedPlace));
  }
  // The selected place shows the page's own tab, joined to the page, in its colour.
  ClickImage* place = imgTabsBack_[size_t(l.selectedPlace)];
  imgTabSelected_->setGeometry(place->geometry());
  imgTabSelected_->setText(tabName(current));
  imgTabSelected_->setProperty("product", current);
  imgTabSelected_->setStyleSheet(QString("QLabel { background: %1; color: white;"
                                         " border: 2px solid %2; border-bottom: none;"
                                         " border-top-left-radius: 6px; border-top-right-radius: 6px; }")
                                     .arg(colour(currentProg).name(), colour(currentProg).darker(150).name()));
  imgTabSelected_->setVisible(l.selectedPlace < l.places);
  imgTabSelected_->raise();
  for (int i = 0; i < kTreeTabs; ++i) {
    tvCategorySelector_[size_t(i)]->setVisible(l.categoryTreeShown(i));
    tvReferenceSelector_[size_t(i)]->setVisible(l.referenceTreeShown(i));
    tvCategorySelector_[size_t(i)]->setAccessibleName("Events of " + tabName(i) + " to choose from");
    tvReferenceSelector_[size_t(i)]->setAccessibleName("Reference topics of " + tabName(i) + " to choose from");
  }
  wbpOtherProducts_->setVisible(l.otherProductsShown());
  // Tab walks the screen as the eye does: each tree, then its arrow.
  if (current >= 0 && current < kTreeTabs) {
    QWidget* order[] = {tvCategorySelector_[size_t(current)],
                        imgEventAdd_,
                        tvSelectedItems_,
                        imgEventRem_,
                        tvReferenceSelector_[size_t(current)],
                        imgRefAdd_,
                        tvReferenceSelected_,
                        imgRefRem_,
                        chkRef1_,
                        chkRef2_,
                        cmdNext_};
    for (size_t k = 0; k + 1 < std::size(order); ++k) QWidget::setTabOrder(order[k], order[k + 1]);
  }
}

int frmManagerMain::arrowImage(const ClickImage* arrow) { return arrow->property("image").toInt(); }

void frmManagerMain::setArrow(ClickImage* arrow, bool enabled, int image) {
  arrow->setEnabled(enabled);
  arrow->setProperty("image", image);
  arrow->setPixmap(arrowPicture(image));
}

void frmManagerMain::topic(int32_t t) { ToolTipTopic = t; }
void frmManagerMain::stamp() { Bint_ToolTipStamp() = toolTipStampNow(); }

std::vector<std::string> frmManagerMain::selectedKeys(QTreeWidget* tree) const {
  std::vector<std::string> keys;
  for (QTreeWidgetItem* item : tree->selectedItems())
    keys.push_back(item->data(0, QtTreeView::kKeyRole).toString().toStdString());
  return keys;
}

std::string frmManagerMain::currentKey(QTreeWidget* tree) const {
  QTreeWidgetItem* item = tree->currentItem();
  return item ? item->data(0, QtTreeView::kKeyRole).toString().toStdString() : std::string();
}

// --- handlers -------------------------------------------------------------------

void frmManagerMain::cmdNext_Click() {
  tmrToolTips_->stop();
  selectionContinue(chkRef1_->isChecked(), chkRef2_->isChecked());
}

void frmManagerMain::cmdLeft_Click() {
  tabScrollLeft();
  topic(91);
}
void frmManagerMain::cmdRight_Click() {
  tabScrollRight();
  topic(91);
}
void frmManagerMain::imgTabsBack_Click(int index) {
  tabPlaceClicked(index);
  topic(91);
}

void frmManagerMain::imgEventAdd_Click() {
  Hourglass h;
  int tab = Bint_CurrentProductTab();
  if (tab >= 0 && tab < kTreeTabs) {
    QtTreeView& tree = *catViews_[size_t(tab)];
    for (const std::string& key : selectedKeys(tvCategorySelector_[size_t(tab)]))
      if (tree.exists(key) && tree.childCount(key) == 0 && tree.foreColor(key) != kColorGrayText)
        Bint_CategorySelector(tree, key);
  }
  setArrow(imgEventAdd_, false, 2);
}

void frmManagerMain::imgRefAdd_Click() {
  Hourglass h;
  int tab = Bint_CurrentProductTab();
  if (tab >= 0 && tab < kTreeTabs) {
    QtTreeView& tree = *refViews_[size_t(tab)];
    for (const std::string& key : selectedKeys(tvReferenceSelector_[size_t(tab)]))
      if (tree.exists(key) && tree.childCount(key) == 0 && tree.foreColor(key) != kColorGrayText)
        Bint_ReferenceSelector(tree, key);
  }
  setArrow(imgRefAdd_, false, 2);
}

void frmManagerMain::imgEventRem_Click() {
  Hourglass h;
  std::vector<std::string> keys = selectedKeys(tvSelectedItems_);
  if (!keys.empty()) Bint_CategoryRemover(keys);
  setArrow(imgEventRem_, false, 4);
}

void frmManagerMain::imgRefRem_Click() {
  Hourglass h;
  std::vector<std::string> keys = selectedKeys(tvReferenceSelected_);
  if (!keys.empty()) Bint_ReferenceRemover(keys);
  setArrow(imgRefRem_, false, 4);
}

void frmManagerMain::tvCategorySelector_Click(int index) {
  if (index < 0 || index >= kTreeTabs) return;
  QTreeWidget* tree = tvCategorySelector_[size_t(index)];
  std::string key = currentKey(tree);
  const QtTreeView& view = *catViews_[size_t(index)];
  bool addable = !tree->selectedItems().isEmpty() && view.exists(key) && view.childCount(key) == 0 &&
                 view.foreColor(key) != kColorGrayText;
  setArrow(imgEventAdd_, addable, addable ? 1 : 2);
  topic(addable ? 93 : 92);
  stamp();
}

void frmManagerMain::tvReferenceSelector_Click(int index) {
  if (index < 0 || index >= kTreeTabs) return;
  QTreeWidget* tree = tvReferenceSelector_[size_t(index)];
  std::string key = currentKey(tree);
  const QtTreeView& view = *refViews_[size_t(index)];
  bool addable = !tree->selectedItems().isEmpty() && view.exists(key) && view.childCount(key) == 0 &&
                 view.foreColor(key) != kColorGrayText;
  setArrow(imgRefAdd_, addable, addable ? 1 : 2);
  topic(addable ? 96 : 92);
  stamp();
}

void frmManagerMain::tvSelectedItems_Click() {
  std::string key = currentKey(tvSelectedItems_);
  bool removable = !tvSelectedItems_->selectedItems().isEmpty() && selectedView_->exists(key) &&
                   !selectedView_->bold(key);
  setArrow(imgEventRem_, removable, removable ? 3 : 4);
}

void frmManagerMain::tvReferenceSelected_Click() {
  std::string key = currentKey(tvReferenceSelected_);
  bool removable = !tvReferenceSelected_->selectedItems().isEmpty() && refSelectedView_->exists(key) &&
                   !refSelectedView_->bold(key);
  setArrow(imgRefRem_, removable, removable ? 3 : 4);
}

void frmManagerMain::tvCategorySelector_DblClick(int index) {
  if (index < 0 || index >= kTreeTabs) return;
  QTreeWidget* tree = tvCategorySelector_[size_t(index)];
  if (tree->selectedItems().isEmpty()) return;
  Hourglass h;
  std::string key = currentKey(tree);
  if (!key.empty()) Bint_CategorySelector(*catViews_[size_t(index)], key);
  setArrow(imgEventAdd_, false, 2);
}

void frmManagerMain::tvReferenceSelector_DblClick(int index) {
  if (index < 0 || index >= kTreeTabs) return;
  QTreeWidget* tree = tvReferenceSelector_[size_t(index)];
  if (tree->selectedItems().isEmpty()) return;
  Hourglass h;
  std::string key = currentKey(tree);
  if (!key.empty()) Bint_ReferenceSelector(*refViews_[size_t(index)], key);
  setArrow(imgRefAdd_, false, 2);
}

void frmManagerMain::tvSelectedItems_DblClick() {
  std::string key = currentKey(tvSelectedItems_);
  if (tvSelectedItems_->selectedItems().isEmpty() || !selectedView_->exists(key) || selectedView_->bold(key)) return;
  Hourglass h;
  Bint_CategoryRemover(selectedKeys(tvSelectedItems_));
  setArrow(imgEventRem_, false, 4);
}

void frmManagerMain::tvReferenceSelected_DblClick() {
  std::string key = currentKey(tvReferenceSelected_);
  if (tvReferenceSelected_->selectedItems().isEmpty() || !refSelectedView_->exists(key) || refSelectedView_->bold(key))
    return;
  Hourglass h;
  Bint_ReferenceRemover(selectedKeys(tvReferenceSelected_));
  setArrow(imgRefRem_, false, 4);
}

void frmManagerMain::tvCategorySelector_RightClick(int index, const QPoint& pos) {
  trapped("tvCategorySelector_MouseDown", [&] {
    if (index < 0 || index >= kTreeTabs) return;
    QTreeWidget* tree = tvCategorySelector_[size_t(index)];
    if (!tree->selectedItems().isEmpty()) {
      if (QTreeWidgetItem* item = tree->itemAt(pos)) {
        tree->clearSelection();
        tree->setCurrentItem(item);
        item->setSelected(true);
      }
      std::string key = currentKey(tree);
      const QtTreeView& view = *catViews_[size_t(index)];
      if (view.exists(key) && view.childCount(key) == 0 && view.foreColor(key) != kColorGrayText) {
        topic(0);
        mnuPopUpMenu_->popup(tree->viewport()->mapToGlobal(pos));
        QCoreApplication::processEvents();
      }
    }
    if (ToolTipTopic != 93) {
      topic(92);
      stamp();
    }
  });
}

void frmManagerMain::tvSelectedItems_RightClick(const QPoint& pos) {
  if (tvSelectedItems_->selectedItems().isEmpty()) return;
  std::string key = currentKey(tvSelectedItems_);
  if (!key.empty() && key[0] != 'X') {
    if (QTreeWidgetItem* item = tvSelectedItems_->itemAt(pos)) {
      tvSelectedItems_->clearSelection();
      tvSelectedItems_->setCurrentItem(item);
      item->setSelected(true);
    }
    topic(0);
    QCoreApplication::processEvents();
    mnuRightPopUpMenu_->popup(tvSelectedItems_->viewport()->mapToGlobal(pos));
  }
  topic(94);
  stamp();
}

bool frmManagerMain::wbpOtherProducts_BeforeNavigate(const QUrl& url) {
  std::string address = url.toString().toStdString();
  if (QString::fromStdString(address.substr(0, 4)).toUpper() == "HTTP") {
    Bshl_ShellExecute(0, address, "open", "", 1);
    return false;
  }
  wbpOtherProducts_->setSource(url);
  return true;
}

void frmManagerMain::mnuFExit_Click() { Bmm_CancelProgram(); }

void frmManagerMain::mnuHContents_Click() { Bhp_DisplayContents(); }
void frmManagerMain::mnuHThisPage_Click() { Bhp_HelpME(helptopic::Selection); }

// Modal over the frame, as the frame's own About.
void frmManagerMain::mnuHAbout_Click() {
  frmAbout about(window());
  about.exec();
}

void frmManagerMain::mnuHTechnicalSupport_Click() {
  Hourglass h;
  Bshl_ShellExecute(0, kTechnicalSupport, "open", "", 1);
}

void frmManagerMain::mnuHDontShowMeTips_Click() {
  // The action has toggled itself already: its state before the click decides.
  bool wasChecked = !mnuHDontShowMeTips_->isChecked();
  if (wasChecked) {
    mnuHDontShowMeTips_->setChecked(false);
    Breg_WriteRegSettings("User", "ShowTips", "True");
    TipsOn = true;
    tmrToolTips_->start();
  } else {
    mnuHDontShowMeTips_->setChecked(true);
    Breg_WriteRegSettings("User", "ShowTips", "False");
    TipsOn = false;
    tmrToolTips_->stop();
  }
}

void frmManagerMain::mnuPPreview_Click() {
  int tab = Bint_CurrentProductTab();
  if (tab < 0 || tab >= kTreeTabs) return;
  std::string key = currentKey(tvCategorySelector_[size_t(tab)]);
  if (key.empty()) return;
  Bsql().Bsql_PreviewNodeKey = key;
  Bsql_SetSingleNodePreview(key);
  int16_t chosen = 0;
  Bsql_SetupPreviewScreen(chosen);
}

void frmManagerMain::mnuRPreview_Click() {
  std::string key = currentKey(tvSelectedItems_);
  const std::string own = ownKeyOfChosen(key);
  if (own.empty() || isHeadingKey(key)) return;
  Bsql().Bsql_PreviewNodeKey = key;
  Bsql_SetSingleNodePreview(own);
  int16_t chosen = 1;
  Bsql_SetupPreviewScreen(chosen);
}

void frmManagerMain::mnuPAddToSelection_Click() { tvCategorySelector_DblClick(Bint_CurrentProductTab()); }
void frmManagerMain::mnuRRemoveFromMySelection_Click() { tvSelectedItems_DblClick(); }
void frmManagerMain::mnuPHelp_Click() { Bhp_HelpME(7); }

void frmManagerMain::tmrToolTips_Timer() {
  if (toolTipDue(platform::secondsSinceMidnight(), Bint_ToolTipStamp(), TipsOn, ToolTipTopic))
    Bint_ManMainToolTips(ToolTipTopic);
}

bool frmManagerMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // Names come from the databank: shown as plain text, never as markup.
    auto* help = static_cast<QHelpEvent*>(event);
    QString tip;
    if (auto* tree = qobject_cast<QTreeWidget*>(watched->parent()); tree && watched == tree->viewport()) {
      if (QTreeWidgetItem* item = tree->itemAt(help->pos())) tip = item->toolTip(0);
    } else if (auto* w = qobject_cast<QWidget*>(watched)) {
      tip = w->toolTip();
    }
    if (tip.isEmpty())
      hidePlainTip();
    else
      showPlainTip(help->globalPos(), tip);
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    // Enter on a tree does what a double click does.
    auto* key = static_cast<QKeyEvent*>(event);
    auto* tree = qobject_cast<QTreeWidget*>(watched);
    if (tree && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
      const int index = tree->property("index").isValid() ? tree->property("index").toInt() : -1;
      if (tree == tvSelectedItems_)
        tvSelectedItems_DblClick();
      else if (tree == tvReferenceSelected_)
        tvReferenceSelected_DblClick();
      else if (tree->objectName() == "tvCategorySelector")
        tvCategorySelector_DblClick(index);
      else if (tree->objectName() == "tvReferenceSelector")
        tvReferenceSelector_DblClick(index);
      return true;
    }
  }
  if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress) {
    QVariant t = watched->property(kTipTopic);
    auto* input = static_cast<QInputEvent*>(event);
    bool again = lastTipEvent_ == event && lastTipTime_ == input->timestamp();
    lastTipEvent_ = event;
    lastTipTime_ = input->timestamp();
    if (t.isValid() && !again) {
      QVariant unless = watched->property(kTipUnless);
      if (!unless.isValid() || ToolTipTopic != unless.toInt()) topic(t.toInt());
    }
    stamp();
  }
  if (event->type() == QEvent::FocusOut) {
    // A tree that loses the focus to anything but its arrow disables the arrow.
    auto* tree = qobject_cast<QTreeWidget*>(watched);
    if (tree) {
      ClickImage* arrow = nullptr;
      int image = 2;
      if (tree->objectName() == "tvCategorySelector") arrow = imgEventAdd_;
      if (tree->objectName() == "tvReferenceSelector") arrow = imgRefAdd_;
      if (tree->objectName() == "tvSelectedItems") arrow = imgEventRem_, image = 4;
      if (tree->objectName() == "tvReferenceSelected") arrow = imgRefRem_, image = 4;
      // The focus may go to the arrow by the pointer or by Tab.
      QWidget* under = QApplication::widgetAt(QCursor::pos());
      if (arrow && under != arrow && QApplication::focusWidget() != arrow) setArrow(arrow, false, image);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Bint_ManMainToolTips(int32_t& topic) {
  trapped("Bint_ManMainToolTips", [&] {
    if (!mainFrameExists() || QApplication::activeWindow() != &mainFrame()) return;
    Bhp_PopUpHelpME(0, topic == 0 ? 91 : topic);
  });
}

}  // namespace pellary
