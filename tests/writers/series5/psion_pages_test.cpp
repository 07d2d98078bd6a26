#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "../series3/brindle_driver.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "platform/msgbox.h"
#include "standins/psiwin/psiwin_engine.h"
#include "standins/tessel/connect_engine.h"
#include "support/fixtures.h"
#include "writers/pages/frmPsion3Agenda.h"
#include "writers/pages/frmPsion5.h"

namespace pellary {
namespace {

namespace psi = standins::psiwin;

class PsionPagesTest : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    psi::registerPsiWinClasses();
    psi::installPsiWin(true);
    std::filesystem::create_directories(psi::deviceFolder() / "C");
    resetBps3();
    resetBpsi();
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r);
      return mb::OK;
    });
    Bset().Bset_NoProfileCats = true;
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBps3();
    resetBpsi();
    Bset().Bset_NoProfileCats = true;
    IsolatedEnvTest::TearDown();
  }
  std::vector<MessageRequest> messages_;
  MessagePresenter old_;
};

TEST_F(PsionPagesTest, Series5PageShowsTheStoredFileAndConnects) {
  Breg_WriteRegSettings("Settings", "PsionAgendaFile", "C:\\Agenda");
  Bset().Bset_NoProfileCats = false;
  frmPsion5 page;
  EXPECT_EQ(page.objectName(), "frmPsion5");
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Agenda");
  EXPECT_EQ(page.cmdSelectAgnFile->text(), "Change...");
  EXPECT_FALSE(page.cmdSelectAgnFile->isEnabled());  // a returning user keeps the file
  page.cmdNext->setEnabled(false);
  std::dynamic_pointer_cast<psi::PsiWinEngine>(Bpsi().engine)->pumpEvents();
  EXPECT_TRUE(page.cmdNext->isEnabled());
}

TEST_F(PsionPagesTest, NextWithoutAFileAsksForOne) {
  frmPsion3Agenda page;
  EXPECT_EQ(page.cmdSelectAgnFile->text(), "Select...");
  EXPECT_TRUE(page.cmdSelectAgnFile->isEnabled());
  page.cmdNext_Click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Please select an Agenda file.");
  EXPECT_EQ(messages_[0].style, mb::Exclamation);
  EXPECT_TRUE(page.cmdBack->isEnabled());
}

TEST_F(PsionPagesTest, SelectTakesTheChosenDeviceFile) {
  frmPsion5 page;
  page.setFileChooser([] { return std::optional<std::string>("C:\\Documents\\Agenda"); });
  page.cmdSelectAgnFile_Click();
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Documents\\Agenda");
  page.setFileChooser([] { return std::optional<std::string>(); });  // cancelled
  page.cmdSelectAgnFile_Click();
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Documents\\Agenda");
}

// The Series 5 page's file control offers only files of the agenda's UIDs.
TEST_F(PsionPagesTest, Series5SelectRunsTheFileControlWithTheAgendaType) {
  if (!testing::registerBrindle()) GTEST_SKIP() << "libbrindle.so is not built";
  const std::filesystem::path c = standins::tessel::addDrive('C', "Internal");
  std::string uids;
  for (uint32_t v : {0x10000050u, 0x1000006Du, 0x10000084u})
    for (int i = 0; i < 4; ++i) uids += char((v >> (8 * i)) & 0xFF);
  testing::writeFile(c / "Agenda", uids + "entries");
  testing::writeFile(c / "Psi3.agn", "a Series 3 agenda");
  frmPsion5 page;
  QString types;
  bool otherShown = true;
  testing::whenModal([](QDialog* d) { return testing::listHas(d, "Agenda"); },
                     [&](QDialog* d) {
                       types = d->findChild<QComboBox*>("cboFileType")->itemText(0);
                       otherShown = testing::listHas(d, "Psi3.agn");
                       auto* list = d->findChild<QListWidget*>("lstFiles");
                       list->setCurrentItem(list->findItems("Agenda", Qt::MatchExactly).front());
                       d->findChild<QPushButton*>("cmdOK")->click();
                     });
  page.cmdSelectAgnFile->click();
  EXPECT_EQ(types, "Psion Agenda file");
  EXPECT_FALSE(otherShown);
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Agenda");
}

TEST_F(PsionPagesTest, Series5PageWritesAndMovesOn) {
  psi::createAgendaFile("C:\\Agenda");
  frmPsion5 page;
  page.txtAgendaName->setText("C:\\Agenda");
  int passes = 0;
  Bpsi().writePass = [&] { ++passes; };
  Bpsi().commit = [] {};
  Bint_DatesPending() = true;
  page.cmdNext_Click();
  EXPECT_EQ(passes, 1);
  EXPECT_FALSE(Bint_DatesPending());
  EXPECT_EQ(Breg_GetRegSetting("Settings", "PsionAgendaFile"), "C:\\Agenda");
  EXPECT_TRUE(page.cmdNext->isEnabled());
  EXPECT_FALSE(page.cmdBack->isEnabled());
}

}  // namespace
}  // namespace pellary
