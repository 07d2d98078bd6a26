#include "brindle/file_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "device_fixture.h"

namespace pellary::brindle {
namespace {

using namespace testing;
using Texts = std::vector<std::string>;

const Texts kDriveLevel = {"Internal [C:]", "Card [D:]"};
const Texts kDocuments = {"Agenda", "Letters", "Old", "Psi3.agn"};

class FileDialog : public DeviceTest {
 protected:
  CFileDlg& open(int32_t openFlag, const std::string& fileName, int32_t flags = 0,
                 const std::function<void(CFileDlg&)>& filters = {}) {
    dlg_ = std::make_unique<CFileDlg>();
    dlg_->Init(openFlag, "Choose an Agenda file", "Select", fileName, flags);
    if (filters) filters(*dlg_);
    dlg_->initialise();
    dlg_->show();
    return *dlg_;
  }
  QListWidget* list() { return dlg_->findChild<QListWidget*>("lstFiles"); }
  QLineEdit* nameBox() { return dlg_->findChild<QLineEdit*>("txtFileName"); }
  QComboBox* lookIn() { return dlg_->findChild<QComboBox*>("cboLookIn"); }
  QComboBox* types() { return dlg_->findChild<QComboBox*>("cboFileType"); }
  Texts comboTexts(QComboBox* c) {
    Texts t;
    for (int i = 0; i < c->count(); ++i) t.push_back(c->itemText(i).toStdString());
    return t;
  }
  bool shows(const Texts& expected) {
    return waitFor([&] { return texts(list()) == expected; });
  }
  void select(const std::string& text) {
    const auto found = list()->findItems(QString::fromStdString(text), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text;
    list()->setCurrentItem(found.front());
    found.front()->setSelected(true);
  }
  void clickOk() { QTest::mouseClick(dlg_->findChild<QPushButton*>("cmdOK"), Qt::LeftButton); }
  void typeAndAccept(const std::string& text) {
    list()->clearSelection();
    nameBox()->setText(QString::fromStdString(text));
    clickOk();
  }
  bool ended() {
    return waitFor([&] { return !dlg_->isVisible(); });
  }

  std::unique_ptr<CFileDlg> dlg_;
};

TEST_F(FileDialog, BrowsesFromTheDrivesToAFileAndReturnsItsDevicePath) {
  auto& dlg = open(1, "");
  EXPECT_EQ(dlg.windowTitle(), "Choose an Agenda file");
  EXPECT_EQ(dlg.findChild<QPushButton*>("cmdOK")->text(), "Select");
  EXPECT_EQ(comboTexts(types()), Texts{"All Files (*.*)"});
  ASSERT_TRUE(shows(kDriveLevel)) << "drive Z is never shown";
  EXPECT_EQ(dlg.driveNames(), (Texts{"C:", "D:"}));
  EXPECT_EQ(comboTexts(lookIn()), (Texts{"Tessel", "Internal [C:]", "Card [D:]"}));

  select("Internal [C:]");
  clickOk();
  ASSERT_TRUE(shows({"Documents", "readme.txt", "System"}));
  EXPECT_EQ(dlg.currentPath(), "C:");
  EXPECT_EQ(dlg.depth(), 1);
  const QPoint at = list()->visualItemRect(list()->findItems("Documents", Qt::MatchExactly).front()).center();
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
  ASSERT_TRUE(shows(kDocuments));
  EXPECT_EQ(dlg.currentPath(), "C:\\Documents");

  select("Letters");
  clickOk();
  ASSERT_TRUE(shows({"Smith.wrd"}));
  EXPECT_EQ(comboTexts(lookIn()), (Texts{"Tessel", "Internal [C:]", "Documents", "Letters", "Card [D:]"}));
  EXPECT_EQ(lookIn()->currentIndex(), 3);
  EXPECT_EQ(static_cast<CLookInComboBox*>(lookIn())->rawText(2), "C:\\Documents");
  QTest::mouseClick(dlg.findChild<QPushButton*>("cmdUp"), Qt::LeftButton);
  ASSERT_TRUE(shows(kDocuments));

  select("Agenda");
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->currentItem()).center());
  EXPECT_EQ(nameBox()->text(), "Agenda") << "a click on a file puts its name in the name box";
  select("Agenda");
  clickOk();
  ASSERT_TRUE(ended());
  EXPECT_EQ(dlg.result(), 1);
  EXPECT_EQ(dlg.fileName(), "C:\\Documents\\Agenda");
  EXPECT_EQ(dlg.pathName(), "C:\\Documents");
  EXPECT_EQ(dlg.fileExt(), "");
  uint32_t u[3] = {};
  ASSERT_TRUE(dlg.fileType(u[0], u[1], u[2]));
  EXPECT_EQ(u[0], kAgendaUids[0]);
  EXPECT_EQ(u[2], kAgendaUids[2]);
}

TEST_F(FileDialog, AnInitialFileNameOpensItsFolder) {
  struct Case {
    const char* fileName;
    const char* path;
    const char* nameBox;
    Texts listed;
  } cases[] = {
      {"C:\\Documents\\Agenda", "C:\\Documents", "Agenda", kDocuments},
      {"c:\\documents\\Missing", "c:\\documents", "Missing", kDocuments},
      {"C:\\Documents\\Letters", "C:\\Documents\\Letters", "", {"Smith.wrd"}},
      {"C:\\*.*", "C:", "*.*", {"Documents", "readme.txt", "System"}},
  };
  for (const auto& c : cases) {
    auto& dlg = open(1, c.fileName);
    ASSERT_TRUE(shows(c.listed)) << c.fileName;
    EXPECT_EQ(dlg.currentPath(), c.path) << c.fileName;
    EXPECT_EQ(nameBox()->text().toStdString(), c.nameBox) << c.fileName;
    EXPECT_EQ(lookIn()->itemData(lookIn()->currentIndex(), Qt::UserRole).toString().toStdString(), c.path);
  }
}

TEST_F(FileDialog, FiltersByUidsFirstThenByWildcard) {
  open(1, "C:\\Documents", 0, [](CFileDlg& d) {
    d.AddFilterWildcard("Series 3 agenda", "*.AGN");
    d.AddFilterUID("Psion Agenda file", kAgendaUids[0], kAgendaUids[1], kAgendaUids[2]);
    d.AddFilterUID("Word", 1, 2, 3);
  });
  EXPECT_EQ(comboTexts(types()), (Texts{"Psion Agenda file", "Word", "Series 3 agenda (*.AGN)"}));
  ASSERT_TRUE(shows({"Agenda", "Letters", "Old"})) << "folders always show";
  types()->setCurrentIndex(2);
  emit types()->activated(2);
  ASSERT_TRUE(shows({"Letters", "Old", "Psi3.agn"}));
  types()->setCurrentIndex(1);
  emit types()->activated(1);
  ASSERT_TRUE(shows({"Letters", "Old"}));
}

TEST_F(FileDialog, ATypeChangeAtTheDriveLevelKeepsTheDrives) {
  open(1, "", 0, [](CFileDlg& d) {
    d.AddFilterWildcard("All", "*.*");
    d.AddFilterWildcard("Agendas", "*.agn");
  });
  ASSERT_TRUE(shows(kDriveLevel));
  types()->setCurrentIndex(1);
  emit types()->activated(1);
  QTest::qWait(20);
  EXPECT_EQ(texts(list()), kDriveLevel);
  select("Internal [C:]");
  clickOk();
  ASSERT_TRUE(shows({"Documents", "System"})) << "the chosen type filters the drive's files";
}

TEST_F(FileDialog, SaveDialogTakesANewNameAndAsksBeforeReplacing) {
  auto& dlg = open(0, "C:\\Documents", 1);
  ASSERT_TRUE(shows(kDocuments));
  typeAndAccept("New.agn");
  ASSERT_TRUE(ended());
  EXPECT_EQ(dlg.result(), 2);
  EXPECT_EQ(dlg.fileName(), "C:\\Documents\\New.agn");
  EXPECT_EQ(dlg.fileExt(), "agn");
  EXPECT_TRUE(asked.empty());

  auto& again = open(0, "C:\\Documents", 1);
  ASSERT_TRUE(shows(kDocuments));
  answer = mb::No;
  typeAndAccept("Agenda");
  ASSERT_TRUE(waitFor([&] { return asked.size() == 1; }));
  EXPECT_EQ(asked[0].text, "Agenda already exists.\nDo you want to replace it?");
  EXPECT_EQ(asked[0].title, "Save As");
  EXPECT_EQ(asked[0].style, mb::YesNo | mb::Exclamation);
  EXPECT_TRUE(again.isVisible());
  answer = mb::Yes;
  select("Psi3.agn");
  clickOk();
  ASSERT_TRUE(ended());
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(again.result(), 1);
  EXPECT_EQ(again.fileName(), "C:\\Documents\\Psi3.agn");
}

TEST_F(FileDialog, TheExtensionIsTheFileNamesOwn) {
  std::filesystem::create_directories(standins::tessel::deviceRoot() / "C" / "v1.2");
  struct Case {
    const char* typed;
    const char* ext;
  } cases[] = {{"notes", ""}, {"notes.txt", "txt"}, {"archive.tar.gz", "gz"}};
  for (const auto& c : cases) {
    auto& dlg = open(0, "C:\\v1.2");
    ASSERT_TRUE(waitFor([&] { return dlg.depth() == 2 && dlg.awaitedAnswer() == 3; }));
    typeAndAccept(c.typed);
    ASSERT_TRUE(ended()) << c.typed;
    EXPECT_EQ(dlg.fileName(), std::string("C:\\v1.2\\") + c.typed);
    EXPECT_EQ(dlg.fileExt(), c.ext) << c.typed;
  }
}

TEST_F(FileDialog, OpenDialogReportsAMissingTypedNameAndStaysInItsFolder) {
  auto& dlg = open(1, "C:\\Documents");
  ASSERT_TRUE(shows(kDocuments));
  typeAndAccept("Letters\\Nothing");
  ASSERT_TRUE(waitFor([&] { return asked.size() == 1; }));
  EXPECT_EQ(asked[0].text, "Letters\\Nothing\nFile not found.\nPlease verify the correct file name was given.");
  EXPECT_EQ(asked[0].title, "Open");
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(texts(list()), kDocuments);
  EXPECT_EQ(dlg.currentPath(), "C:\\Documents");

  typeAndAccept("Letters");  // a typed folder is entered
  ASSERT_TRUE(shows({"Smith.wrd"}));
  EXPECT_EQ(nameBox()->text(), "");
  typeAndAccept("\\Documents\\Agenda");  // from the drive's root
  ASSERT_TRUE(ended());
  EXPECT_EQ(dlg.result(), 1);
  EXPECT_EQ(dlg.fileName(), "C:\\Documents\\Agenda");
  EXPECT_EQ(dlg.pathName(), "C:\\Documents\\Agenda");
}

TEST_F(FileDialog, TypedPatternsAndDrivesBrowseInsteadOfEnding) {
  auto& dlg = open(1, "C:\\Documents");
  ASSERT_TRUE(shows(kDocuments));
  typeAndAccept("*.agn");
  ASSERT_TRUE(shows({"Psi3.agn"}));
  EXPECT_EQ(dlg.currentPath(), "C:\\Documents");
  typeAndAccept("D:");
  ASSERT_TRUE(shows({"Backup"}));
  EXPECT_EQ(dlg.currentPath(), "D:");
  EXPECT_EQ(nameBox()->text(), "");
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(dlg.isVisible());
}

TEST_F(FileDialog, UpAndLookInLeadBackToTheDrives) {
  auto& dlg = open(1, "C:\\Documents\\Letters");
  ASSERT_TRUE(shows({"Smith.wrd"}));
  lookIn()->setCurrentIndex(1);
  emit lookIn()->activated(1);
  ASSERT_TRUE(shows({"Documents", "readme.txt", "System"}));
  QTest::mouseClick(dlg.findChild<QPushButton*>("cmdUp"), Qt::LeftButton);
  ASSERT_TRUE(shows(kDriveLevel));
  EXPECT_EQ(dlg.depth(), 0);
  QTest::mouseClick(dlg.findChild<QPushButton*>("cmdUp"), Qt::LeftButton);  // nothing above the drives
  EXPECT_EQ(dlg.depth(), 0);
}

TEST_F(FileDialog, LinkDownShowsNotConnectedUntilTheLinkReturns) {
  auto& dlg = open(1, "C:\\Documents\\Agenda");
  ASSERT_TRUE(shows(kDocuments));
  standins::tessel::dropLink();
  ASSERT_TRUE(shows({"Not connected"}));
  EXPECT_EQ(lookIn()->count(), 0);
  EXPECT_EQ(nameBox()->text(), "");
  EXPECT_EQ(dlg.awaitedAnswer(), 1);
  standins::tessel::restoreLink();
  ASSERT_TRUE(shows(kDriveLevel)) << "the initial name was used up";
}

// Keyboard alone: Tab into the list marks a row, and Return acts on that
// row, as on the row a click marks.
TEST_F(FileDialog, TheRowTheKeyboardMarksIsTheRowReturnActsOn) {
  auto& dlg = open(1, "");
  ASSERT_TRUE(shows(kDriveLevel));
  dlg.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  list()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(list(), Qt::Key_Return);
  ASSERT_TRUE(shows({"Documents", "readme.txt", "System"})) << "into the first drive";
  nameBox()->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(list()->selectedItems().isEmpty()) << "the name box takes over";
  list()->setFocus(Qt::BacktabFocusReason);
  QApplication::processEvents();
  ASSERT_EQ(list()->selectedItems().size(), 1);
  QTest::keyClick(list(), Qt::Key_End);
  QTest::keyClick(list(), Qt::Key_Up);
  QTest::keyClick(list(), Qt::Key_Return);
  ASSERT_TRUE(ended());
  EXPECT_EQ(dlg.fileName(), "C:\\readme.txt");
}

// The handheld plugged in and pulled out is its folder appearing and going:
// the open dialog follows it with no help from the engine's test hooks.
TEST_F(FileDialog, TheDeviceFolderComingAndGoingIsNoticedWhileOpen) {
  const fs::path device = standins::tessel::deviceRoot();
  const fs::path away = device.string() + ".away";
  fs::rename(device, away);
  auto& dlg = open(1, "C:\\*.*");
  QTest::qWait(300);
  EXPECT_EQ(texts(list()), Texts{"Not connected"}) << "no device, no link";
  EXPECT_EQ(dlg.awaitedAnswer(), 1);

  fs::rename(away, device);
  ASSERT_TRUE(shows({"Documents", "readme.txt", "System"})) << "link-up runs the connect sequence";
  select("Documents");
  clickOk();
  ASSERT_TRUE(shows(kDocuments));

  fs::rename(device, away);
  ASSERT_TRUE(shows({"Not connected"})) << "link-down mid-browse";
  EXPECT_EQ(lookIn()->count(), 0) << "Look-in names no folder that is gone";
  EXPECT_EQ(dlg.awaitedAnswer(), 1);
  clickOk();
  EXPECT_TRUE(dlg.isVisible()) << "nothing to accept without the device";

  fs::rename(away, device);
  ASSERT_TRUE(shows(kDriveLevel));
  select("Internal [C:]");
  clickOk();
  ASSERT_TRUE(shows({"Documents", "readme.txt", "System"}));
}

TEST_F(FileDialog, NeverWaitsForTheDevice) {
  standins::tessel::holdAnswers(true);
  auto& dlg = open(1, "");
  QTest::qWait(20);  // the dialog's own loop keeps running without an answer
  EXPECT_EQ(texts(list()), Texts{"Not connected"});
  clickOk();  // no drives known: nothing happens
  EXPECT_TRUE(dlg.isVisible());
  standins::tessel::holdAnswers(false);
  ASSERT_TRUE(shows(kDriveLevel));
}

// Quick clicks put several requests in flight at once; each has its own
// slot for the engine's answer, so none of the objects the engine hands out
// is overwritten and lost, with the dialog open or after it has gone.
TEST_F(FileDialog, OverlappingRequestsLeaveNoEngineObjectBehind) {
  const int before = standins::tessel::liveEngineObjects();
  auto& dlg = open(1, "C:\\Documents\\Letters\\Smith.wrd");
  ASSERT_TRUE(shows({"Smith.wrd"}));
  auto* up = dlg.findChild<QPushButton*>("cmdUp");
  for (int round = 0; round < 5; ++round) {
    standins::tessel::holdAnswers(true);
    QTest::mouseClick(up, Qt::LeftButton);
    QTest::mouseClick(up, Qt::LeftButton);
    standins::tessel::holdAnswers(false);
    ASSERT_TRUE(waitFor([&] { return dlg.awaitedAnswer() == 3 && list()->count() > 0; })) << round;
    QTest::qWait(20);
    // Back down to where the round started.
    lookIn()->setCurrentIndex(lookIn()->count() - 1);
    dlg.findChild<QLineEdit*>("txtFileName")->clear();
    typeAndAccept("C:\\Documents\\Letters");
    ASSERT_TRUE(shows({"Smith.wrd"})) << round;
  }
  // The listing on show and at most one passed-over answer are held.
  EXPECT_LE(standins::tessel::liveEngineObjects() - before, 2);
  dlg_.reset();
  EXPECT_EQ(standins::tessel::liveEngineObjects(), before);
}

TEST_F(FileDialog, WithoutTheEngineOnlyNotConnectedShows) {
  auto old = standins::tessel::setEngineMaker({});
  auto& dlg = open(1, "C:\\Documents");
  standins::tessel::setEngineMaker(old);
  QTest::qWait(20);
  EXPECT_EQ(texts(list()), Texts{"Not connected"});
  EXPECT_FALSE(dlg.engineCreated());
  typeAndAccept("C:\\Documents\\Agenda");
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.fileName());
  EXPECT_FALSE(dlg.pathName());
  uint32_t u0 = 9, u1 = 9, u2 = 9;
  EXPECT_FALSE(dlg.fileType(u0, u1, u2));
  EXPECT_EQ(u0, 9u);
}

}  // namespace
}  // namespace pellary::brindle
