#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "core/registry.h"
#include "platform/msgbox.h"
#include "platform/standins/psiwin/psiwin_engine.h"
#include "platform/standins/tessel/connect_engine.h"
#include "reference/pages/frmPsionRef.h"
#include "reference/psion/psion_section.h"
#include "reference/psion/psion_transfer.h"
#include "reference_fixture.h"
#include "../writers/series3/brindle_driver.h"

namespace pellary::testing {
namespace {

namespace psi = platform::psiwin;

class PsionPage : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    resetPsion5Ref();
    resetPsionTransfer();
    fs::create_directories(psi::deviceFolder() / "C");
    fs::create_directories(psi::deviceFolder() / "D");
    for (long t : {1, 3}) choose(101, t);
    Bset().Bset_InstalledProductCount = 1;
    Bset().Bset_RefPlat2 = 16;
    Bset().Bset_NoProfileRefs = true;
    fs::create_directories(home() / "Reference" / "Psion5");
    writeFile(home() / "Reference" / "Psion5" / "101_3.txt", "phrases");
    Bhtm_LoadReferenceStructure();
    old = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r.text);
      return mb::OK;
    });
  }
  void TearDown() override {
    setMessagePresenter(old);
    resetPsionTransfer();
    resetPsion5Ref();
    ReferenceTest::TearDown();
  }
  MessagePresenter old;
  std::vector<std::string> messages;
};

TEST_F(PsionPage, DrivesArriveThenNextCopiesTheSectionThroughTheEngine) {
  Wizard().Bint_Ref2Pending = true;
  Wizard().Bmm_CurrentPage = page::PsionRef;
  frmPsionRef form;
  auto* next = form.findChild<QPushButton*>("cmdNext");
  auto* drives = form.findChild<QTreeWidget*>("lstDrives");
  EXPECT_FALSE(next->isEnabled());
  EXPECT_EQ(form.findChild<QLabel*>("lblRequiredSpace")->text(), "Space required : 0KB");
  form.pumpEngine();
  ASSERT_EQ(drives->topLevelItemCount(), 2);
  EXPECT_TRUE(next->isEnabled());
  EXPECT_TRUE(drives->isEnabled());

  next->click();  // no drive chosen yet
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Please select a drive");

  drives->setCurrentItem(drives->topLevelItem(1));
  form.lstDrives_ItemClick(drives->topLevelItem(1));
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "D:\\");
  next->click();
  EXPECT_EQ(reported, 0) << where;
  EXPECT_EQ(readFile(psi::devicePath("D:\\Pelmon\\gzr\\101_3.txt")), "phrases");
  EXPECT_EQ(readFile(psi::devicePath("C:\\system\\apps\\Mappa\\menu.txt")),
            "#begin\r\n1 Guide\r\n101_3.txt Phrases\r\n#end\r\n");
  EXPECT_FALSE(Bint_Ref2Pending());
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Size"), "8");
  EXPECT_FALSE(form.findChild<QPushButton*>("cmdBack")->isEnabled());
}

QTreeWidgetItem* itemAt(QTreeWidgetItem* item, const QString& path) {
  if (!item) return nullptr;
  if (item->data(0, Qt::UserRole).toString() == path) return item;
  for (int i = 0; i < item->childCount(); ++i)
    if (auto* found = itemAt(item->child(i), path)) return found;
  return nullptr;
}

TEST_F(PsionPage, BrowseRunsTheFolderControlFromTheShownFolder) {
  if (!registerBrindle()) GTEST_SKIP() << "libbrindle.so is not built";
  const fs::path c = platform::tessel::addDrive('C', "Internal");
  fs::create_directories(c / "Documents" / "Old");
  fs::create_directories(c / "System");
  frmPsionRef form;
  auto* folder = form.findChild<QLineEdit*>("txtFolder");
  auto* browse = form.findChild<QPushButton*>("cmdBrowse");
  ASSERT_TRUE(browse->isEnabled());
  folder->setText("C:\\Documents");
  QString title;
  whenModal(
      [](QDialog* d) {
        auto* tree = d->findChild<QTreeWidget*>("tvwFolders");
        return tree && tree->currentItem() && tree->currentItem()->data(0, Qt::UserRole).toString() == "C:\\Documents" &&
               itemAt(tree->topLevelItem(0), "C:\\Documents\\Old");
      },
      [&](QDialog* d) {
        title = d->windowTitle();
        auto* tree = d->findChild<QTreeWidget*>("tvwFolders");
        tree->setCurrentItem(itemAt(tree->topLevelItem(0), "C:\\Documents\\Old"));
        d->findChild<QPushButton*>("cmdOK")->click();
      });
  browse->click();
  EXPECT_EQ(title, "Choose a folder");
  EXPECT_EQ(folder->text(), "C:\\Documents\\Old");

  auto acted = whenModal([](QDialog*) { return true; }, [](QDialog* d) { d->reject(); });
  browse->click();
  EXPECT_TRUE(*acted);
  EXPECT_EQ(folder->text(), "C:\\Documents\\Old");
}

TEST_F(PsionPage, WithoutTheFolderControlBrowseTellsTheUserAndATestChooserServes) {
  frmPsionRef form;
  auto* folder = form.findChild<QLineEdit*>("txtFolder");
  form.cmdBrowse_Click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(folder->text(), "");
  form.setFolderChooser([] { return std::optional<std::string>("D:\\Pelmon"); });
  form.findChild<QPushButton*>("cmdBrowse")->click();
  EXPECT_EQ(folder->text(), "D:\\Pelmon");
}

TEST_F(PsionPage, FirstRunAlwaysInstallsTheViewer) {
  screenLink().firstRun = [] { return true; };
  Bset().Bset_NoProfileRefs = false;
  frmPsionRef form;
  auto* box = form.findChild<QCheckBox*>("chkInstallViewer");
  EXPECT_TRUE(box->isChecked());
  EXPECT_FALSE(box->isEnabled());
  EXPECT_FALSE(form.findChild<QTreeWidget*>("lstDrives")->isEnabled());
  EXPECT_EQ(form.findChild<QLabel*>("lblRequiredSpace")->text(), "Space required : 23KB");
}

}  // namespace
}  // namespace pellary::testing
