#include "writers/pages/psion_agenda_page.h"

#include <QApplication>
#include <QGroupBox>

#include "core/app.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

namespace pellary {

namespace {
constexpr const char* kInfoNew =
    "Your selection of dates and events will be written into an Agenda file on your Tessel device. Please select "
    "an existing Agenda file by clicking the 'Select' button";
constexpr const char* kInfoStored =
    "Your selected Agenda file will be updated with your selection of dates and events. Press 'Next' to begin "
    "updating. If you wish you may change your selected Agenda file by pressing 'Change...'";
}  // namespace

PsionAgendaPage::PsionAgendaPage(const QString& formName, const QString& copyLabel, QWidget* parent) : QWidget(parent) {
  setObjectName(formName);
  addSidePicture(*this, 1);
  addPageTitle(*this, "Updating Agenda");
  lblFormInfo = new QLabel(kInfoNew, this);
  lblFormInfo->setObjectName("lblFormInfo");
  lblFormInfo->setWordWrap(true);
  lblFormInfo->setGeometry(170, 50, 440, 90);
  auto* frame = new QGroupBox("Agenda file", this);
  frame->setObjectName("fraAgendaFileName");
  frame->setGeometry(170, 150, 440, 70);
  txtAgendaName = new QLineEdit(frame);
  txtAgendaName->setObjectName("txtAgendaName");
  txtAgendaName->setGeometry(10, 28, 320, 26);
  cmdSelectAgnFile = new QPushButton("Select...", frame);
  cmdSelectAgnFile->setObjectName("cmdSelectAgnFile");
  cmdSelectAgnFile->setGeometry(340, 26, 90, 28);
  auto* copy = new QLabel(copyLabel, this);
  copy->setObjectName(formName == "frmPsion5" ? "lblPsion5Copy" : "lblPsion3Copy");
  copy->setGeometry(170, 230, 440, 40);
  copy->setWordWrap(true);
  prgProgress = addPageProgress(*this, "prgProgress", QRect(170, 280, 440, 22));
  const PageFooter footer = addPageFooter(*this, QPoint(420, 340));
  cmdBack = footer.back;
  cmdNext = footer.next;
  Status = new QStatusBar(this);
  Status->setObjectName("Status");
  Status->setSizeGripEnabled(false);
  Status->setGeometry(0, 385, 620, 24);
  connect(cmdSelectAgnFile, &QPushButton::clicked, this, [this] { selectFile(); });
  chooser_ = [this]() -> std::optional<std::string> {
    auto control = brindle();
    if (!control) return std::nullopt;
    return chooseAgendaFile(*control, [this](platform::Dispatch& c) { addAgendaFilter(c); });
  };
  events_.setInterval(50);
}

void PsionAgendaPage::showStoredFile(const std::string& stored) {
  if (!stored.empty()) {
    cmdSelectAgnFile->setText("Change...");
    lblFormInfo->setText(kInfoStored);
    txtAgendaName->setText(QString::fromStdString(stored));
  }
  cmdSelectAgnFile->setEnabled(Bset().Bset_NoProfileCats);
}

bool PsionAgendaPage::beginNext() {
  if (txtAgendaName->text().isEmpty()) {
    MsgBox("Please select an Agenda file.", mb::Exclamation, appTitle());
    return false;
  }
  cmdBack->setEnabled(false);
  cmdNext->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  return true;
}

void PsionAgendaPage::endNext() {
  cmdNext->setEnabled(true);
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void PsionAgendaPage::selectFile() {
  if (!chooser_) return;
  if (auto chosen = chooser_()) txtAgendaName->setText(QString::fromStdString(*chosen));
}

std::shared_ptr<platform::Dispatch> PsionAgendaPage::brindle() {
  if (!Brindle) {
    try {
      Brindle = platform::automation::createObject("BrindleLib.Brindle");
    } catch (const AppError&) {
      MsgBox(
          "The handheld file browser is not installed. Please type the path of the Agenda file on your "
          "Tessel device.",
          mb::Exclamation, appTitle());
    }
  }
  return Brindle;
}

std::optional<std::string> chooseAgendaFile(platform::Dispatch& control,
                                            const std::function<void(platform::Dispatch&)>& addFilter) {
  control.call("Init", {true, "Choose an Agenda file", "Select", "C:\\*.*", int32_t(1)});
  if (addFilter) addFilter(control);
  if (!control.call("DoModal").toBool()) return std::nullopt;
  std::string chosen = control.call("GetFileName").toString();
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

}  // namespace pellary
