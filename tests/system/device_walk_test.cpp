// Every device page walked as a user walks it, from a fresh demo
// installation: with the keyboard alone (Tab, the arrows, typing, Return and
// Space) or with the mouse, through the page to the end of its run; then the
// handheld's folder and the profile are read back. What the user picks in a
// device dialog is the file or folder that is written.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <optional>

#include "reference/pages/frmPsionRef.h"
#include "reference/pages/frmWinCEReference.h"
#include "reference_modules.h"
#include "standins/handheld/handheld.h"
#include "standins/wince/cecomms.h"
#include "system_walk.h"
#include "tests/writers/series3/brindle_driver.h"
#include "writers/pages/frmPalmRef.h"
#include "writers/pages/frmPsion5.h"
#include "writers/series5/series5_writer.h"

namespace pellary {
namespace {

namespace psi = standins::psiwin;
namespace hh = standins::handheld;
using testing::whenModal;

// --- the keyboard ---------------------------------------------------------------

// Tabs from the focused widget until target has the focus; false when a whole
// round of the window's tab chain never reaches it.
bool tabTo(QWidget* target) {
  QWidget* window = target->window();
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window, 2000)) return false;
  for (int i = 0; i < 60; ++i) {
    QWidget* focus = QApplication::focusWidget();
    if (focus == target) {
      QApplication::processEvents();  // the user looks before the next key
      return true;
    }
    QTest::keyClick(focus ? focus : window, Qt::Key_Tab);
  }
  return QApplication::focusWidget() == target;
}

void key(Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); }

// A key or a click that opens a modal dialog arrives through the event queue,
// as the window system delivers it: the dialog's own loop then takes the keys
// and clicks of the walk the way it takes a user's, not nested inside the
// test's own key press. Returns once done holds.
template <class F>
bool keyThenWait(Qt::Key k, F done) {
  QWidget* w = QApplication::focusWidget();
  QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier, " "));
  QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyRelease, k, Qt::NoModifier, " "));
  return QTest::qWaitFor(done, 15000);
}
template <class F>
bool clickThenWait(QWidget* button, F done) {
  const QPointF at = QRectF(button->rect()).center();
  const QPointF global = button->mapToGlobal(at);
  QCoreApplication::postEvent(
      button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(
      button, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  return QTest::qWaitFor(done, 15000);
}

std::vector<std::string> listTexts(QDialog* d) {
  std::vector<std::string> out;
  auto* list = d->findChild<QListWidget*>("lstFiles");
  for (int i = 0; list && i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}
bool listShows(QDialog* d, const std::vector<std::string>& expected) { return listTexts(d) == expected; }

QRect itemRect(QListWidget* list, const char* text) {
  const auto found = list->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? QRect() : list->visualItemRect(found.front());
}

// --- the walk -------------------------------------------------------------------

class DeviceWalk : public SystemWalk {
 protected:
  void SetUp() override {
    SystemWalk::SetUp();
    resetReferenceModules();
  }
  void TearDown() override {
    resetReferenceModules();
    SystemWalk::TearDown();
  }

  // A fresh demo installation for a device reference target; the reference
  // goes to the device only.
  void installForReference(int refPlat2) {
    install::Options o;
    o.demo = true;
    o.refPlat2 = refPlat2;
    install::Result r = install::installProgramFolder(o);
    ASSERT_TRUE(r.demoLoaded) << ::testing::PrintToString(r.notes);
    Breg_WriteRegSettings("Settings", "Ref1", "off");
    Breg_WriteRegSettings("Settings", "Ref2", "on");
  }

  // A returning user's run that chooses one topic, up to the device page.
  void walkToReferencePage(int16_t devicePage) {
    start();
    toSelection();
    addTopic("Easter dates");
    expectNoMessages("selection");
    selectionScreen().cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
    current<frmManager2>().cmdNext_Click();
    expectNoMessages("summary Next");
    ASSERT_EQ(Bmm_CurrentPage(), devicePage);
  }

  // Lets the page's engine answer until cond holds.
  template <class F>
  static bool settle(F cond) {
    return QTest::qWaitFor(cond, 10000);
  }

  static std::vector<std::string> series5Titles(const std::string& devicePath) {
    std::vector<std::string> out;
    for (const auto& e : psi::readAgendaFile(psi::devicePath(devicePath)))
      out.push_back(e.text.substr(0, e.text.find("\r\n")));
    return out;
  }

  static bool holdsTitles(const std::vector<std::string>& written, int32_t catID) {
    const std::multiset<std::string> have(written.begin(), written.end());
    for (const std::string& t : titlesOfCategory(catID))
      if (have.count(t) != 1) return false;
    return true;
  }
};

// How a walk drives the agenda pages and their device dialog.
enum class Input { Keyboard, Mouse };
void PrintTo(Input i, std::ostream* os) { *os << (i == Input::Keyboard ? "Keyboard" : "Mouse"); }

class AgendaWalk : public DeviceWalk, public ::testing::WithParamInterface<Input> {
 protected:
  bool keyboard() const { return GetParam() == Input::Keyboard; }

  // Select... opens the device dialog on C:; Documents is entered (the
  // keyboard: Tab and Return, or type-ahead; the mouse: a double-click) and
  // the file chosen (the keyboard: its name typed; the mouse: a click and
  // Select). Returns what Documents listed.
  std::vector<std::string> chooseInDialog(PsionAgendaPage& page, const std::string& file,
                                          const std::vector<std::string>& documents) {
    std::vector<std::string> seen;
    const bool keys = keyboard();
    whenModal([](QDialog* d) { return listShows(d, {"Documents"}); },
              [&, keys](QDialog* d) {
                auto* list = d->findChild<QListWidget*>("lstFiles");
                if (keys) {
                  ASSERT_TRUE(tabTo(list));
                  key(Qt::Key_Return);
                } else {
                  const QPoint at = itemRect(list, "Documents").center();
                  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
                }
                whenModal([documents](QDialog* d2) { return listShows(d2, documents); },
                          [&, keys](QDialog* d2) {
                            seen = listTexts(d2);
                            auto* name = d2->findChild<QLineEdit*>("txtFileName");
                            if (keys) {
                              ASSERT_TRUE(tabTo(name));
                              QTest::keyClicks(name, QString::fromStdString(file));
                              key(Qt::Key_Return);
                            } else {
                              auto* l2 = d2->findChild<QListWidget*>("lstFiles");
                              QTest::mouseClick(l2->viewport(), Qt::LeftButton, {},
                                                itemRect(l2, file.c_str()).center());
                              EXPECT_EQ(name->text().toStdString(), file) << "a click names the file";
                              QTest::mouseClick(d2->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
                            }
                          });
              });
    auto chosen = [&] { return !page.txtAgendaName->text().isEmpty(); };
    if (keys) {
      EXPECT_TRUE(tabTo(page.cmdSelectAgnFile));
      EXPECT_TRUE(keyThenWait(Qt::Key_Space, chosen));
    } else {
      EXPECT_TRUE(clickThenWait(page.cmdSelectAgnFile, chosen));
    }
    return seen;
  }

  void next(PsionAgendaPage& page) {
    if (keyboard()) {
      ASSERT_TRUE(tabTo(page.cmdNext));
      key(Qt::Key_Space);
    } else {
      QTest::mouseClick(page.cmdNext, Qt::LeftButton);
    }
  }
};

// Series 5: the dialog lists the installation's agenda (its UIDs match the
// page's filter) beside a second one and no other file; the second one is
// chosen. That file is written, the installation's agenda is left alone, and
// the profile holds the entry IDs the agenda gave.
TEST_P(AgendaWalk, Series5AgendaChosenInTheDialogIsTheOneWritten) {
  installDemo(15);
  psi::createAgendaFile("C:\\Documents\\Work");
  testing::writeFile(psi::devicePath("C:\\Documents\\Notes.txt"), "not an agenda");
  start();
  walkToCalendarPage({"Germany"}, nullptr);
  frmPsion5& page = current<frmPsion5>();
  ASSERT_TRUE(settle([&] { return page.cmdNext->isEnabled(); })) << "the device connects";
  ASSERT_TRUE(page.cmdSelectAgnFile->isEnabled());
  const std::vector<std::string> listed = chooseInDialog(page, "Work", {"Agenda", "Work"});
  EXPECT_EQ(listed, (std::vector<std::string>{"Agenda", "Work"})) << "agendas by their UIDs, no other file";
  EXPECT_EQ(page.txtAgendaName->text().toStdString(), "C:\\Documents\\Work");
  expectNoMessages("dialog");

  next(page);
  expectNoMessages("Series 5 Next");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "PsionAgendaFile"), "C:\\Documents\\Work");
  const std::vector<std::string> written = series5Titles("C:\\Documents\\Work");
  EXPECT_EQ(long(written.size()), writtenEntries());
  EXPECT_TRUE(holdsTitles(written, 1103));
  EXPECT_TRUE(series5Titles(install::kSeries5DemoAgenda).empty()) << "the file not chosen stays as it was";
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE ProfileID = 1 AND PlatMisc <> ''"), long(written.size()));
}

// Series 3: the installation's agenda, chosen in the dialog, gets the entries
// on the device.
TEST_P(AgendaWalk, Series3AgendaChosenInTheDialogIsTheOneWritten) {
  installDemo(1);
  testing::writeFile(psi::devicePath("C:\\Documents\\Letter.wrd"), "not an agenda");
  start();
  walkToCalendarPage({"Germany"}, nullptr);
  frmPsion3Agenda& page = current<frmPsion3Agenda>();
  ASSERT_TRUE(settle([&] {
    Bps3().doEvents();
    return page.Status->currentMessage() == "Connected";
  }));
  EXPECT_EQ(chooseInDialog(page, "Agenda.agn", {"Agenda.agn"}), std::vector<std::string>{"Agenda.agn"});
  EXPECT_EQ(page.txtAgendaName->text().toStdString(), install::kSeries3DemoAgenda);
  next(page);
  expectNoMessages("Series 3 Next");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  quoll::AgendaFile file;
  ASSERT_EQ(file.OpenFile(psi::devicePath(install::kSeries3DemoAgenda)), 0);
  std::vector<std::string> written;
  while (file.ReadNextEntry() == 0)
    if (file.recordType() != quoll::AgendaFile::Deleted && file.entry().hasDate) written.push_back(file.entry().text);
  EXPECT_EQ(long(written.size()), writtenEntries());
  EXPECT_GT(written.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(KeyboardAndMouse, AgendaWalk, ::testing::Values(Input::Keyboard, Input::Mouse),
                         [](const ::testing::TestParamInfo<Input>& i) {
                           return std::string(i.param == Input::Keyboard ? "Keyboard" : "Mouse");
                         });

// The Palm page with the keyboard: Tab to the users, an arrow and Return
// choose, Space on Continue writes the Date Book.
TEST_F(DeviceWalk, PalmPageWithTheKeyboard) {
  installDemo(12);
  start();
  walkToCalendarPage({"Germany"}, nullptr);
  QWidget& page = *PageTable().loadedPage(Bmm_CurrentPage());
  auto* users = page.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_NE(users, nullptr);
  ASSERT_EQ(users->count(), 1);
  ASSERT_TRUE(tabTo(users));
  key(Qt::Key_Down);
  key(Qt::Key_Return);
  EXPECT_EQ(page.findChild<QLineEdit*>("txtPilotUser")->text(), "Demo User");
  ASSERT_TRUE(tabTo(page.findChild<QPushButton*>("cmdNext")));
  answer = mb::Cancel;  // a Date Book not found ends the write instead of asking again
  key(Qt::Key_Space);
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  for (const MessageRequest& m : messages) EXPECT_NE(m.style & 0x70, mb::Critical) << m.text;
  messages.clear();
  const auto user = standins::palm::users().at(0);
  EXPECT_EQ(Breg_GetRegSetting("User", "PalmUserID"), std::to_string(user.id));
  std::vector<std::string> written;
  for (const auto& e : standins::palm::readDatebook(standins::palm::datebookFile(user))) written.push_back(e.title);
  EXPECT_EQ(long(written.size()), writtenEntries());
  EXPECT_TRUE(holdsTitles(written, 1103));
}

// The Windows CE page with the keyboard: Space connects and offers the
// locations, an arrow picks the storage card, Space generates and copies.
TEST_F(DeviceWalk, WindowsCEPageWithTheKeyboard) {
  installForReference(4);
  standins::wince::setDeviceAttached(true);
  standins::wince::setStorageCards({"Storage Card"});
  walkToReferencePage(page::WinCERef);
  QWidget& page = *PageTable().loadedPage(page::WinCERef);
  auto* next = page.findChild<QPushButton*>("cmdNext");
  auto* where = page.findChild<QComboBox*>("cboWinCELocation");
  ASSERT_TRUE(tabTo(next));
  key(Qt::Key_Space);
  ASSERT_TRUE(where->isEnabled());
  ASSERT_GE(where->count(), 2);
  ASSERT_TRUE(tabTo(where));
  while (where->currentText() != "Storage Card" && where->currentIndex() + 1 < where->count()) key(Qt::Key_Down);
  ASSERT_EQ(where->currentText(), "Storage Card");
  ASSERT_TRUE(tabTo(next));
  key(Qt::Key_Space);
  expectNoMessages("Windows CE page");
  EXPECT_NE(Bmm_CurrentPage(), page::WinCERef);
  EXPECT_NE(Breg_GetRegSetting("Settings", "Ref2Loc").find("Storage Card"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(standins::wince::onDevice("\\Storage Card\\Reference\\")));
  EXPECT_TRUE(profileTopics().count(6)) << "Easter dates";
}

// The Psion reference page with the keyboard: Tab into the drive list makes
// its row the chosen drive, Space on Next copies the section there.
TEST_F(DeviceWalk, PsionReferencePageWithTheKeyboard) {
  installForReference(16);
  walkToReferencePage(page::PsionRef);
  frmPsionRef& page = current<frmPsionRef>();
  auto* drives = page.findChild<QTreeWidget*>("lstDrives");
  ASSERT_TRUE(settle([&] {
    page.pumpEngine();
    return drives->topLevelItemCount() == 1;
  })) << "the installation's handheld has drive C";
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "") << "no drive is chosen before the user chooses";
  ASSERT_TRUE(tabTo(drives));
  key(Qt::Key_Down);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "C:\\");
  ASSERT_TRUE(tabTo(page.findChild<QPushButton*>("cmdNext")));
  key(Qt::Key_Space);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Mappa program is closed"), std::string::npos) << messages[0].text;
  messages.clear();
  EXPECT_NE(Bmm_CurrentPage(), page::PsionRef);
  EXPECT_TRUE(fs::is_directory(hh::devicePath("C:\\Pelmon\\gzr")));
  EXPECT_NE(readFile(hh::devicePath("C:\\system\\apps\\Mappa\\menu.txt")).find("Easter dates"), std::string::npos);
  EXPECT_TRUE(profileTopics().count(6)) << "Easter dates";
}

// The Palm reference page with the keyboard.
TEST_F(DeviceWalk, PalmReferencePageWithTheKeyboard) {
  installForReference(2);
  walkToReferencePage(page::PalmRef);
  QWidget& page = *PageTable().loadedPage(page::PalmRef);
  auto* users = page.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_TRUE(tabTo(users));
  key(Qt::Key_Down);
  key(Qt::Key_Return);
  EXPECT_EQ(page.findChild<QLineEdit*>("txtPilotUser")->text(), "Demo User");
  EXPECT_EQ(Bmm_CurrentPage(), page::PalmRef) << "Return chooses, it does not move on";
  ASSERT_TRUE(tabTo(page.findChild<QPushButton*>("cmdNext")));
  key(Qt::Key_Space);
  EXPECT_NE(Bmm_CurrentPage(), page::PalmRef);
  for (const MessageRequest& m : messages) EXPECT_NE(m.style & 0x70, mb::Critical) << m.text;
  messages.clear();
  const auto user = standins::palm::users().at(0);
  const std::string table = readFile(standins::palm::userFolder(user) / "Brackwater" / "Mappa" / "KestOrry.cdi");
  EXPECT_NE(table.find("\"Easter dates\""), std::string::npos);
  EXPECT_TRUE(profileTopics().count(6)) << "Easter dates";
}

// The folder-browse dialog over the installation's handheld, keyboard only:
// the arrows open the drive and pick a folder, Return accepts; the folder
// named is one on the device.
TEST_F(DeviceWalk, FolderBrowseWithTheKeyboardNamesAFolderOnTheHandheld) {
  installDemo(15);
  fs::create_directories(hh::devicePath("C:\\Documents\\Letters"));
  auto gantry = platform::automation::createObject("BrindleLib.Gantry");
  gantry->call("Init", {"Choose a folder", "Choose", "Where the files go", ""});
  whenModal(
      [](QDialog* d) {
        auto* tree = d->findChild<QTreeWidget*>();
        return tree && tree->topLevelItemCount() == 1 && tree->topLevelItem(0)->childCount() == 1;
      },
      [&](QDialog* d) {
        auto* tree = d->findChild<QTreeWidget*>();
        ASSERT_TRUE(tabTo(tree));
        QTreeWidgetItem* device = tree->topLevelItem(0);
        key(Qt::Key_Home);   // the device
        key(Qt::Key_Right);  // opened: its drive is scanned one level ahead
        ASSERT_TRUE(QTest::qWaitFor([&] { return device->child(0)->childCount() > 0; }));
        key(Qt::Key_Down);  // the drive
        ASSERT_EQ(tree->currentItem(), device->child(0));
        key(Qt::Key_Right);
        ASSERT_TRUE(QTest::qWaitFor([&] { return device->child(0)->child(0)->childCount() > 0; }));
        key(Qt::Key_Down);  // Documents
        key(Qt::Key_Right);
        key(Qt::Key_Down);  // Letters
        ASSERT_EQ(tree->currentItem()->text(0), "Letters");
        key(Qt::Key_Return);
      });
  ASSERT_TRUE(gantry->call("DoModal").toBool());
  const std::string chosen = gantry->call("GetFolderName").toString();
  EXPECT_EQ(chosen, "C:\\Documents\\Letters");
  EXPECT_TRUE(fs::is_directory(hh::existingDevicePath(chosen)));
}

}  // namespace
}  // namespace pellary
