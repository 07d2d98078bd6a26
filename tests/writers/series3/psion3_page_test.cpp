#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "brindle_driver.h"
#include "core/products.h"
#include "platform/msgbox.h"
#include "standins/psiwin/psiwin_engine.h"
#include "standins/tessel/connect_engine.h"
#include "support/fixtures.h"
#include "writers/pages/frmPsion3Agenda.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace psi = standins::psiwin;
using testing::listHas;
using testing::whenModal;

class Psion3PageTest : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    psi::registerPsiWinClasses();
    psi::installPsiWin(true);
    fs::create_directories(psi::deviceFolder() / "C");
    resetBps3();
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r);
      return mb::OK;
    });
    Bset().Bset_NoProfileCats = true;
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBps3();
    IsolatedEnvTest::TearDown();
  }
  // A Tessel device with C:\Documents holding a Series 3 agenda and a letter.
  void tesselDevice() {
    const fs::path c = standins::tessel::addDrive('C', "Internal");
    testing::writeFile(c / "Documents" / "Psi3.agn", "agenda");
    testing::writeFile(c / "Documents" / "Letter.wrd", "letter");
  }
  std::vector<MessageRequest> messages_;
  MessagePresenter old_;
};

TEST_F(Psion3PageTest, SelectRunsTheFileControlAndShowsTheChosenPath) {
  if (!testing::registerBrindle()) GTEST_SKIP() << "libbrindle.so is not built";
  tesselDevice();
  frmPsion3Agenda page;
  QString title, types;
  whenModal([](QDialog* d) { return listHas(d, "Documents"); },
            [&](QDialog* d) {
              title = d->windowTitle();
              types = d->findChild<QComboBox*>("cboFileType")->itemText(0);
              d->findChild<QLineEdit*>("txtFileName")->setText("Documents\\Psi3.agn");
              d->findChild<QPushButton*>("cmdOK")->click();
            });
  page.cmdSelectAgnFile->click();
  EXPECT_EQ(title, "Choose an Agenda file");
  EXPECT_EQ(types, "Psion Agenda file (*.agn)");
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Documents\\Psi3.agn");
  EXPECT_TRUE(messages_.empty());

  // A cancel leaves the path as it was; the same control serves again.
  auto acted = whenModal([](QDialog* d) { return listHas(d, "Documents"); }, [](QDialog* d) { d->reject(); });
  page.cmdSelectAgnFile->click();
  EXPECT_TRUE(*acted);
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Documents\\Psi3.agn");
}

TEST_F(Psion3PageTest, WithoutTheFileControlTheUserIsToldAndMayTypeThePath) {
  frmPsion3Agenda page;
  page.txtAgendaName->setText("C:\\Typed.agn");
  page.cmdSelectAgnFile->click();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].style, mb::Exclamation);
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Typed.agn");
  // A test's chooser still takes the control's place.
  page.setFileChooser([] { return std::optional<std::string>("C:\\Docs\\A.agn"); });
  page.cmdSelectAgnFile->click();
  EXPECT_EQ(page.txtAgendaName->text(), "C:\\Docs\\A.agn");
}

}  // namespace
}  // namespace pellary
