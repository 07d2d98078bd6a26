#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "core/registry.h"
#include "reference/pages/frmReference.h"
#include "reference/pages/frmWinCEReference.h"
#include "reference/reference_journal.h"
#include "reference/wince/wince_copier.h"
#include "reference_fixture.h"
#include "standins/wince/cecomms.h"

namespace pellary::testing {
namespace {

namespace ce = standins::wince;

class ReferencePages : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    resetWinCECopier();
    ce::resetConnection();
    for (long t : {1, 2, 4}) choose(101, t);
    Bhtm_LoadReferenceStructure();
  }
  void TearDown() override {
    resetWinCECopier();
    ce::resetConnection();
    ReferenceTest::TearDown();
  }
  template <class W>
  static W* child(QWidget& page, const char* name) {
    return page.findChild<W*>(name);
  }
};

TEST_F(ReferencePages, PcPageAppliesTheJournalGeneratesAndMovesOn) {
  Bset().Bset_RefPlat1 = 1;
  Wizard().Bint_Ref1Pending = true;
  Wizard().Bmm_CurrentPage = page::Reference;
  Bhtm_TrackProfileChanges(101, 22, true, "R00R001022");
  frmReference form;
  EXPECT_EQ(child<QLabel>(form, "lblFormTitle")->text(), "Setting up your reference section");
  EXPECT_EQ(child<QPushButton>(form, "cmdNext")->text(), "&Continue >");
  EXPECT_FALSE(child<QProgressBar>(form, "pbReference")->isVisibleTo(&form));
  child<QPushButton>(form, "cmdNext")->click();
  EXPECT_EQ(reported, 0) << where;
  EXPECT_TRUE(child<QProgressBar>(form, "pbReference")->isVisibleTo(&form));
  // The journal's topic is in the pages and in the profile.
  EXPECT_NE(readFile(home() / "PCMappa/101_1.htm").find("101_22.htm target=main"), std::string::npos);
  EXPECT_TRUE(profileRefs().count("101_22"));
  EXPECT_FALSE(Bint_Ref1Pending());
  EXPECT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  // Nothing more pending: the tree was emptied.
  EXPECT_EQ(Bhtm_LookupProductPosition(101), -1);
  EXPECT_EQ(child<QProgressBar>(form, "pbReference")->value(), 2);
}

TEST_F(ReferencePages, WinCEPageConnectsFirstThenGeneratesAndCopies) {
  struct Case {
    int16_t code;
    const char* title;
    const char* output;
  } cases[] = {{4, "Updating up your handheld PC\nreference section", "HPC"},
               {8, "Updating up your palm sized PC\nreference section", "PPC"}};
  for (const Case& c : cases) {
    resetWinCECopier();
    ce::setDeviceAttached(false);
    ce::setDeviceAttached(true);
    Bset().Bset_RefPlat2 = c.code;
    Wizard().Bint_Ref2Pending = true;
    Wizard().Bmm_CurrentPage = page::WinCERef;
    frmWinCEReference form;
    EXPECT_EQ(child<QLabel>(form, "lblFormTitle")->text(), c.title);
    auto* combo = child<QComboBox>(form, "cboWinCELocation");
    EXPECT_FALSE(combo->isEnabled());
    auto* next = child<QPushButton>(form, "cmdNext");
    next->click();
    EXPECT_TRUE(combo->isEnabled());
    EXPECT_EQ(combo->currentText(), "Internal Memory");
    EXPECT_TRUE(child<QGroupBox>(form, "fraWinCELocation")->isVisibleTo(&form));
    EXPECT_FALSE(fs::exists(home() / "Reference" / c.output / "Output" / "101_1.htm"));  // nothing generated yet
    EXPECT_TRUE(Bint_Ref2Pending());

    next->click();
    EXPECT_EQ(reported, 0) << where;
    EXPECT_TRUE(fs::exists(ce::onDevice("\\Program Files\\Reference\\101_2.htm")));
    EXPECT_FALSE(Bint_Ref2Pending());
    EXPECT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
    EXPECT_EQ(child<QLabel>(form, "lblStatusMessage")->text(), "Copying reference section to mobile device . . .");
    EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "Internal Memory");
    Bhtm_LoadReferenceStructure();
  }
}

}  // namespace
}  // namespace pellary::testing
