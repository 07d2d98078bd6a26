#include <gtest/gtest.h>

#include "core/products.h"
#include "core/registry.h"
#include "core/scrambler.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "standins/notes/notes_control.h"
#include "support/fixtures.h"
#include "writers/notes/notes_writer.h"
#include "writers/pages/frmLotusSelect.h"

namespace pellary {
namespace {

namespace nt = standins::notes;
constexpr const char* kDb = "mail\\jsmith.nsf";

class NotesTest : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    nt::registerNotesClass();
    nt::writeDatabase(nt::databasePath("", kDb), {"pw", {}});
    resetBLot();
    BLot().commit = [this] { ++commits_; };
    BLot().nextPage = [this] { ++nextPages_; };
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r.text);
      return mb::OK;
    });
    Bset().Bset_NoProfileCats = true;
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBLot();
    Bset().Bset_NoProfileCats = true;
    IsolatedEnvTest::TearDown();
  }
  std::vector<nt::Entry> entries() { return nt::readDatabase(nt::databasePath("", kDb)).entries; }

  int commits_ = 0;
  int nextPages_ = 0;
  std::vector<std::string> messages_;
  MessagePresenter old_;
};

TEST_F(NotesTest, AddThenDeleteOnALocalDatabase) {
  frmLotusSelect page;
  EXPECT_EQ(page.txtServer->text(), "Local");
  page.txtServer->setText("LOCAL");
  page.txtUserFile->setText(kDb);
  page.txtPassword->setText("pw");
  page.chkKeepPassword->setChecked(true);
  BLot().writePass = [] {
    RelayEventRecord r;
    r.Title = "New Year";
    r.Memo = "Fireworks";
    r.StartDate = platform::oleFromCivil(2026, 12, 30);
    r.EndDate = platform::oleFromCivil(2027, 1, 2);
    int16_t p = 60;
    BLot_WriteToLotus(r, p);
  };
  page.cmdNext_Click();
  EXPECT_EQ(page.pbRecords->value(), 60);
  EXPECT_EQ(commits_, 1);
  EXPECT_EQ(nextPages_, 1);
  auto e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].title, "New Year");
  EXPECT_EQ(e[0].note, "Fireworks\r\n");
  EXPECT_EQ(std::make_tuple(e[0].startYear, e[0].startMonth, e[0].startDay), std::make_tuple(2026, 12, 30));
  EXPECT_EQ(std::make_tuple(e[0].endYear, e[0].endMonth, e[0].endDay), std::make_tuple(2027, 1, 2));
  // Stored after the run: the server empty, the password scrambled.
  EXPECT_EQ(Breg_GetRegSetting("Settings", "LotusServer"), "");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "LotusUserFile"), kDb);
  const std::string stored = Breg_GetRegSetting("Settings", "LotusPassword");
  EXPECT_NE(stored, "pw");
  EXPECT_EQ(Bse_LongCodeDown(stored), "pw");

  Bset().Bset_NoProfileCats = false;
  frmLotusSelect again;
  EXPECT_EQ(again.txtServer->text(), "Local");
  EXPECT_EQ(again.txtPassword->text(), "pw");
  EXPECT_FALSE(again.txtUserFile->isEnabled());
  BLot().writePass = [] {
    RelayEventRecord r;
    r.Title = "New Year";
    r.StartDate = platform::oleFromCivil(2026, 12, 30);
    int16_t p = 100;
    BLot_DeleteFromLotus(r, p);
  };
  again.cmdNext_Click();
  EXPECT_TRUE(entries().empty());
}

TEST_F(NotesTest, FailedLogonTellsAndStoresNothing) {
  struct Case {
    const char* server;
    const char* password;
    const char* message;
  };
  const Case cases[] = {
      {"Local", "bad", "Wrong Password. (Passwords are case sensitive - be sure to use correct upper and lower case.)"},
      {"Hub/Acme", "pw", "Server Hub/Acme is not responding"},
  };
  for (const auto& c : cases) {
    messages_.clear();
    frmLotusSelect page;
    page.txtServer->setText(c.server);
    page.txtUserFile->setText(kDb);
    page.txtPassword->setText(c.password);
    bool wrote = false;
    BLot().writePass = [&] { wrote = true; };
    page.cmdNext_Click();
    EXPECT_FALSE(wrote);
    EXPECT_EQ(messages_, (std::vector<std::string>{c.message})) << c.server;
    EXPECT_TRUE(page.cmdNext->isEnabled());
  }
  EXPECT_EQ(Breg_GetRegSetting("Settings", "LotusUserFile"), "");
}

// A control whose logon always answers with one status text.
class StatusControl : public platform::Dispatch {
 public:
  explicit StatusControl(std::string status) : status_(std::move(status)) {}
  Variant invoke(platform::DispId id, platform::DispatchArgs&, platform::automation::InvokeKind) override {
    return id == 5 ? Variant(status_) : Variant();
  }

 private:
  std::string status_;
};

TEST_F(NotesTest, StatusTextBecomesTheMessage) {
  const std::pair<const char*, const char*> cases[] = {{"12$Database is locked", "Database is locked"},
                                                       {"7$$", "Error opening the file specified"},
                                                       {"", "Error opening the file specified"}};
  for (auto [status, message] : cases) {
    messages_.clear();
    BLot().control = std::make_shared<StatusControl>(status);
    frmLotusSelect page;
    page.cmdNext_Click();
    EXPECT_EQ(messages_, (std::vector<std::string>{message})) << status;
  }
}

TEST_F(NotesTest, KeptBlankPasswordLeavesTheOldOne) {
  nt::writeDatabase(nt::databasePath("", kDb), {"", {}});
  Breg_WriteRegSettings("Settings", "LotusPassword", Bse_LongCodeUp("older"));
  frmLotusSelect page;
  page.txtUserFile->setText(kDb);
  page.chkKeepPassword->setChecked(true);
  BLot().writePass = [] {};
  page.cmdNext_Click();
  EXPECT_EQ(Breg_GetRegSetting("Settings", "LotusBlankPassword"), "TRUE");
  EXPECT_EQ(Bse_LongCodeDown(Breg_GetRegSetting("Settings", "LotusPassword")), "older");
}

TEST(NotesText, NoteParts) {
  RelayEventRecord r;
  r.Title = "Not in the note";
  r.TelCountry = "1";
  r.Tel = "555";
  r.MemoLong = "More";
  EXPECT_EQ(BLot_NoteText(r), "Tel: +1555\r\n\r\nMore");
}

TEST_F(NotesTest, WriterErrorsEndTheProgram) {
  // Not logged on: the control refuses, the add reports and ends.
  RelayEventRecord r;
  r.StartDate = r.EndDate = platform::oleFromCivil(2026, 1, 1);
  int16_t p = 0;
  EXPECT_THROW(BLot_WriteToLotus(r, p), ProgramEnded);
}

}  // namespace
}  // namespace pellary
