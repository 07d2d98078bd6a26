#include <gtest/gtest.h>

#include <vector>

#include "core/registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/settings/settings_tree.h"
#include "standins/psiwin/psiwin_engine.h"
#include "support/fixtures.h"
#include "writers/series5/series5_writer.h"

namespace pellary {
namespace {

namespace psi = standins::psiwin;

constexpr const char* kAgenda = "C:\\Documents\\Agenda";

class Series5Test : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    psi::registerPsiWinClasses();
    psi::installPsiWin(true);
    psi::createAgendaFile(kAgenda);
    resetBpsi();
    Bpsi().commit = [this] { ++commits_; };
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r.text);
      return mb::OK;
    });
    Bpsi_SetAgendaFile(kAgenda);
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBpsi();
    IsolatedEnvTest::TearDown();
  }
  std::vector<psi::AgendaEntry> entries() { return psi::readAgendaFile(psi::devicePath(kAgenda)); }

  int commits_ = 0;
  std::vector<std::string> messages_;
  MessagePresenter old_;
};

RelayEventRecord event(const std::string& title, double start, double end) {
  RelayEventRecord r;
  r.Title = title;
  r.StartDate = start;
  r.EndDate = end;
  return r;
}

TEST_F(Series5Test, AddReturnsIdsAndDeleteRemovesByThem) {
  std::vector<std::string> ids;
  const double d1 = platform::oleFromCivil(2026, 6, 1), d3 = platform::oleFromCivil(2026, 6, 3);
  Bpsi().writePass = [&] {
    int16_t p = 10;
    auto a = event("Proms", d1, d3);
    a.Memo = "Hall";
    ids.push_back(Bpsi_AddEvent(a, p));
    auto b = event("Fair", d1, d1);
    ids.push_back(Bpsi_AddEvent(b, p));
  };
  ASSERT_TRUE(Bpsi_psion5Handler());
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(commits_, 1);
  EXPECT_FALSE(Bpsi().agenda);  // released at the end
  auto e = entries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].text, "Proms\r\nHall.");
  EXPECT_EQ(e[1].text, "Fair");  // no note, no trailing line break
  EXPECT_EQ(e[0].start, d1);
  EXPECT_EQ(e[0].end, d3);
  EXPECT_EQ(e[0].status, "OPEN");
  EXPECT_FALSE(e[0].crossedOut || e[0].hasAlarm || e[0].tentative);

  Bpsi().writePass = [&] {
    int16_t p = 100;
    RelayEventRecord r;
    r.EntryID = ids[0];
    Bpsi_DelEvent(r, p);
    RelayEventRecord none;  // empty ID: nothing deleted
    Bpsi_DelEvent(none, p);
  };
  ASSERT_TRUE(Bpsi_psion5Handler());
  e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].text, "Fair");
}

TEST_F(Series5Test, OldOrMissingPsiWinWritesNothing) {
  platform::settings::deleteKey(platform::settings::Root::ClassesRoot, psi::kAgendaClass);
  bool wrote = false;
  Bpsi().writePass = [&] { wrote = true; };
  EXPECT_FALSE(Bpsi_psion5Handler());
  EXPECT_EQ(Bpsi().version, "2.1");
  platform::settings::deleteKey(platform::settings::Root::ClassesRoot, psi::kOldAgendaClass);
  EXPECT_FALSE(Bpsi_psion5Handler());
  EXPECT_EQ(Bpsi().version, "");
  EXPECT_FALSE(wrote);
  EXPECT_EQ(messages_, (std::vector<std::string>(2, "This program requires PsiWin 2.2 or higher to be installed")));
  EXPECT_EQ(Bpsi().stateCode, 5);
}

TEST_F(Series5Test, AgendaThatDoesNotOpenIsTold) {
  Bpsi_SetAgendaFile("C:\\Documents\\Missing");
  EXPECT_FALSE(Bpsi_psion5Handler());
  EXPECT_EQ(messages_, (std::vector<std::string>{"Could not open Agenda. Please ensure it is closed and try again"}));
  EXPECT_EQ(commits_, 0);
}

TEST_F(Series5Test, ErrorInThePassEndsWithoutCommitting) {
  Bpsi().writePass = [] {
    int16_t p = 0;
    auto a = event("Kept out", 46000, 46000);
    Bpsi_AddEvent(a, p);
    RelayEventRecord bad;
    bad.EntryID = "x42";  // no number: a conversion error
    Bpsi_DelEvent(bad, p);
  };
  EXPECT_THROW(Bpsi_psion5Handler(), ProgramEnded);
  EXPECT_TRUE(entries().empty());
  EXPECT_EQ(commits_, 0);
}

TEST_F(Series5Test, EngineEventsEnableNextOrTell) {
  struct View : Psion5View {
    bool next = false;
    void setNextEnabled(bool e) override { next = e; }
    void setProgress(int16_t) override {}
    void setProgressVisible(bool) override {}
    void setDefaultPointer() override {}
  } view;
  Bpsi().view = &view;
  Bpsi_LoadControls();
  std::dynamic_pointer_cast<psi::PsiWinEngine>(Bpsi().engine)->pumpEvents();
  EXPECT_TRUE(view.next);
  EXPECT_TRUE(messages_.empty());
  Bpsi_EngineEvent(psi::OnConnectDone, 1121);
  Bpsi_EngineEvent(psi::OnFileInfo, 7);
  EXPECT_EQ(messages_, (std::vector<std::string>{"PsiWinEng OnConnect timed out - please check the connections",
                                                 "Error getting file information : error #7"}));
  EXPECT_THROW(Bpsi_EngineEvent(psi::OnInitDone, 3), ProgramEnded);
  Bpsi().view = nullptr;
}

}  // namespace
}  // namespace pellary
