#include "shell/small_pages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextEdit>

#include "core/app.h"
#include "core/gui/help_keys.h"
#include "core/gui/wizard/page_table.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/shellwrap.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "platform/errors.h"

namespace pellary {

namespace {

QString text(const char* s) { return QString::fromUtf8(s).replace("\r\n", "\n"); }

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  l->setGeometry(geometry);
  l->setWordWrap(true);
  return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setGeometry(geometry);
  return b;
}

QLabel* newSideImage(QWidget* parent, const QPixmap& pixmap) {
  auto* img = new QLabel(parent);
  img->setObjectName("imgPicture");
  img->setGeometry(0, 0, 150, 410);
  img->setPixmap(pixmap);
  return img;
}

QPixmap stepMarkPicture(int number) {
  QPixmap p(24, 24);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setBrush(QColor(30, 70, 140));
  g.setPen(Qt::NoPen);
  g.drawEllipse(1, 1, 22, 22);
  g.setPen(Qt::white);
  g.drawText(p.rect(), Qt::AlignCenter, QString::number(number));
  return p;
}

QPixmap warningIcon(QWidget* w) { return w->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32); }

}  // namespace

QPixmap makeLogo(const QString& caption, QColor colour) {
  QPixmap p(140, 48);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setBrush(colour);
  g.setPen(Qt::NoPen);
  g.drawRoundedRect(p.rect().adjusted(1, 1, -1, -1), 10, 10);
  g.setPen(Qt::white);
  QFont f = g.font();
  f.setBold(true);
  g.setFont(f);
  g.drawText(p.rect(), Qt::AlignCenter, caption);
  return p;
}

QPixmap summaryPicture() {
  QWidget* summary = PageTable().page(page::Summary);
  return summary ? pagePicture(*summary) : makeSidePicture(0);
}

// --- splash -----------------------------------------------------------------

frmSplash::frmSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("frmSplash");
  setWindowTitle(QString::fromStdString(appTitle()));
  setFixedSize(420, 260);
  auto* img = new QLabel(this);
  img->setObjectName("imgSplash");
  img->setGeometry(0, 0, 420, 200);
  QPixmap splash(420, 200);
  {
    QPainter g(&splash);
    QLinearGradient grad(0, 0, 420, 200);
    grad.setColorAt(0, QColor(30, 70, 140));
    grad.setColorAt(1, QColor(120, 170, 220));
    g.fillRect(splash.rect(), grad);
    g.setPen(Qt::white);
    QFont f = g.font();
    f.setPointSize(20);
    f.setBold(true);
    g.setFont(f);
    g.drawText(splash.rect(), Qt::AlignCenter, QString::fromStdString(appTitle()));
  }
  img->setPixmap(splash);
  auto* logo = new QLabel(this);
  logo->setObjectName("imgOrreryLogo");
  logo->setGeometry(270, 150, 140, 48);
  logo->setPixmap(makeLogo("Orrery", QColor(150, 40, 40)));
  logo->hide();
  label(this, "lblCopyright", QString(), QRect(10, 205, 400, 50));
}

// --- introduction -------------------------------------------------------------

frmIntro::frmIntro(QWidget* parent) : QWidget(parent) {
  setObjectName("frmIntro");
  pictures_[0] = newSideImage(this, makeSidePicture(0));
  pictures_[1] = newSideImage(this, makeSidePicture(1));
  pictures_[1]->setProperty("index", 1);
  auto* logo = new QLabel(this);
  logo->setObjectName("imgPellLogo");
  logo->setGeometry(5, 20, 140, 48);
  logo->setPixmap(makeLogo("Pellary", QColor(30, 70, 140)));
  auto* picture2 = new QLabel(this);
  picture2->setObjectName("Picture2");
  picture2->setGeometry(170, 10, 440, 40);
  picture2->setText(QString::fromStdString("Welcome to " + appTitle()));
  QFont f = picture2->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() + 4);
  picture2->setFont(f);
  for (int i = 0; i < 3; ++i) {
    marks_[i] = new QLabel(this);
    marks_[i]->setObjectName("imgStep");
    marks_[i]->setProperty("index", i);
    marks_[i]->setGeometry(170, 70 + 100 * i, 24, 24);
    marks_[i]->setPixmap(stepMarkPicture(i + 1));
  }
  label(this, "Label1", text(kIntroLabel1), QRect(205, 60, 400, 90));
  label(this, "Label2", text(kIntroLabel2), QRect(205, 160, 400, 90));
  label(this, "Label3", "Click Next to start making your selection.", QRect(205, 260, 400, 60));
  const PageFooter footer = addPageFooter(*this, QPoint(420, 360));
  connect(footer.next, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(footer.back, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  showStep();
}

void frmIntro::showStep() {
  pictures_[0]->setVisible(step_ == 0);
  pictures_[1]->setVisible(step_ == 1);
  for (int i = 0; i < 3; ++i) marks_[i]->setVisible(step_ == i);
  findChild<QLabel*>("Label2")->setVisible(step_ >= 1);
  findChild<QLabel*>("Label3")->setVisible(step_ >= 2);
  findChild<QLabel*>("imgPellLogo")->setVisible(step_ >= 2);
}

void frmIntro::cmdNext_Click() {
  if (step_ < 2) {
    ++step_;
    showStep();
    return;
  }
  Bmm_FormAdvance();
}

// --- banner ---------------------------------------------------------------------

namespace {
// The screen reader's view of a picture button.
class ClickImageAccessible : public QAccessibleWidget {
 public:
  explicit ClickImageAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Button) {
    addControllingSignal(QStringLiteral("clicked()"));
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& action) override {
    if (action == pressAction() && widget()->isEnabled()) emit static_cast<ClickImage*>(widget())->clicked();
  }
  QAccessible::State state() const override {
    QAccessible::State st = QAccessibleWidget::state();
    st.focusable = true;
    return st;
  }
};

QAccessibleInterface* clickImageFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("pellary::ClickImage") && object && object->isWidgetType())
    return new ClickImageAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

void installClickImageAccessible() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(clickImageFactory);
}
}  // namespace

ClickImage::ClickImage(QWidget* parent) : ClickImage(QString(), parent) {}

ClickImage::ClickImage(const QString& text, QWidget* parent) : QLabel(text, parent) {
  installClickImageAccessible();
  setFocusPolicy(Qt::StrongFocus);
}

void ClickImage::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!event->isAutoRepeat()) emit clicked();
      event->accept();
      return;
    default: QLabel::keyPressEvent(event);
  }
}

void ClickImage::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter p(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = rect().adjusted(1, 1, -1, -1);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
}

void ClickImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
  QLabel::mousePressEvent(event);
}

void ClickImage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit doubleClicked();
  QLabel::mouseDoubleClickEvent(event);
}

frmManagerTop::frmManagerTop(QWidget* parent) : QWidget(parent) {
  setObjectName("frmManagerTop");
  newSideImage(this, summaryPicture());
  change_ = new ClickImage(this);
  change_->setObjectName("imgChangeSelection");
  change_->setGeometry(190, 60, 140, 48);
  change_->setPixmap(makeLogo("Selection", QColor(20, 110, 90)));
  change_->setCursor(Qt::PointingHandCursor);
  change_->setAccessibleName("Change your selection");
  label(this, "lblChangeSelection", "Change your selection of dates, events and reference information",
        QRect(340, 60, 270, 48));
  auto* updates = new QLabel(this);
  updates->setObjectName("imgGetUpdates");
  updates->setGeometry(190, 160, 140, 48);
  updates->setPixmap(makeLogo("Updates", QColor(120, 120, 120)));
  label(this, "lblGetUpdate", "Get the latest updates over the Internet", QRect(340, 160, 270, 30));
  label(this, "lblComingInFeb", "Coming in February 2000", QRect(340, 190, 270, 20));
  connect(change_, &ClickImage::clicked, this, [this] { imgChangeSelection_Click(); });
  connect(change_, &ClickImage::doubleClicked, this, [this] { imgChangeSelection_DblClick(); });
}

void frmManagerTop::imgChangeSelection_Click() {
  // The hourglass says a move is already under way.
  if (change_->cursor().shape() == Qt::WaitCursor) return;
  Bmm_FormAdvance();
}

void frmManagerTop::imgChangeSelection_DblClick() { Bmm_FormAdvance(); }

// --- no changes -------------------------------------------------------------------

frmNoSelections::frmNoSelections(QWidget* parent) : QWidget(parent) {
  setObjectName("frmNoSelections");
  newSideImage(this, summaryPicture());
  auto* title = label(this, "lblFormTitle", "No changes", QRect(170, 10, 440, 28));
  QFont f = title->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() + 4);
  title->setFont(f);
  label(this, "lblFormInfo", text(kNoSelectionsInfo), QRect(210, 45, 400, 100));
  auto* warning = new QLabel(this);
  warning->setObjectName("imgWarning");
  warning->setGeometry(170, 50, 32, 32);
  warning->setPixmap(warningIcon(this));
  auto* revise = button(this, "cmdReviseSelection", "&Revise", QRect(190, 170, 110, 30));
  label(this, "lblReviseSelection", "Return to your selection", QRect(315, 170, 290, 30));
  auto* settings = button(this, "cmdUpdateSettings", "&Settings", QRect(190, 220, 110, 30));
  label(this, "lblUpdateSettings", "Configure your Internet update service", QRect(315, 220, 290, 30));
  auto* exitButton = button(this, "cmdExitProgram", "E&xit", QRect(190, 270, 110, 30));
  label(this, "lblExitProgram", "Exit the program", QRect(315, 270, 290, 30));
  connect(revise, &QPushButton::clicked, this, [this] { cmdReviseSelection_Click(); });
  connect(settings, &QPushButton::clicked, this, [this] { cmdUpdateSettings_Click(); });
  connect(exitButton, &QPushButton::clicked, this, [this] { cmdExitProgram_Click(); });
}

void frmNoSelections::cmdReviseSelection_Click() { Bmm_FormReverse(); }
void frmNoSelections::cmdUpdateSettings_Click() { Bmm_FormAdvance(); }
void frmNoSelections::cmdExitProgram_Click() { Bmm_EndProgram(); }

// --- About ----------------------------------------------------------------------

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("frmAbout");
  setWindowTitle(QString::fromStdString("About " + appTitle()));
  if (parent) setWindowIcon(parent->windowIcon());
  setFixedSize(420, 300);
  auto* img = new QLabel(this);
  img->setObjectName("imgAboutImage");
  img->setGeometry(10, 10, 140, 48);
  img->setPixmap(makeLogo("Pellary", QColor(30, 70, 140)));
  auto* components = new QTextEdit(this);
  components->setObjectName("txtInstalledComponents");
  components->setGeometry(10, 70, 400, 120);
  components->setReadOnly(true);
  const ProductSetup& s = Bset();
  QString list = QString::fromStdString(appTitle()) + " version " + kAppVersion + "\n";
  if (!s.Bset_DatesPlatShortName.empty())
    list += "Calendar: " + QString::fromStdString(s.Bset_DatesPlatShortName) + "\n";
  if (!s.Bset_RefPlat1ShortName.empty())
    list += "Reference: " + QString::fromStdString(s.Bset_RefPlat1ShortName) + "\n";
  if (!s.Bset_RefPlat2ShortName.empty())
    list += "Handheld reference: " + QString::fromStdString(s.Bset_RefPlat2ShortName) + "\n";
  components->setPlainText(list);
  label(this, "lblWebSiteAddress", "Visit us on the web:", QRect(10, 200, 150, 20));
  auto* link = new ClickImage(kMakerHome, this);
  link->setObjectName("lblWebLink");
  link->setGeometry(160, 200, 250, 20);
  link->setCursor(Qt::PointingHandCursor);
  auto* ok = button(this, "cmdOk", "OK", QRect(320, 260, 90, 28));
  ok->setDefault(true);
  components->setAccessibleName("Installed components");
  link->setAccessibleName("Our web site");
  setHelpTopic(*this, helptopic::About);
  connect(link, &ClickImage::clicked, this, [this] { lblWebLink_Click(); });
  connect(ok, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
}

void frmAbout::lblWebLink_Click() {
  // A failed browser start is not reported.
  setCursor(Qt::WaitCursor);
  Bshl_ShellExecute(0, kMakerHome, "open", "", 1);
  unsetCursor();
}

}  // namespace pellary
