// A Tessel device in the stand-in folder, and helpers to wait for the
// dialogs' queued answers.
#pragma once

#include <QListWidget>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "brindle/resources.h"
#include "standins/tessel/connect_engine.h"
#include "support/fixtures.h"

namespace pellary::brindle::testing {

namespace fs = std::filesystem;

inline std::string uidBytes(uint32_t a, uint32_t b, uint32_t c) {
  std::string s;
  for (uint32_t v : {a, b, c})
    for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
  return s + "body";
}

inline constexpr uint32_t kAgendaUids[3] = {0x10000050, 0x1000006D, 0x10000084};

// C: Internal with Documents (Agenda, Letters\Smith.wrd, Old\), System\; D: Card
// with Backup\; Z: ROM.
class DeviceTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    const fs::path c = standins::tessel::addDrive('C', "Internal");
    const fs::path d = standins::tessel::addDrive('D', "Card");
    standins::tessel::addDrive('Z', "ROM");
    fs::create_directories(c / "Documents" / "Letters");
    fs::create_directories(c / "Documents" / "Old");
    fs::create_directories(c / "System");
    fs::create_directories(d / "Backup");
    pellary::testing::writeFile(c / "Documents" / "Agenda", uidBytes(kAgendaUids[0], kAgendaUids[1], kAgendaUids[2]));
    pellary::testing::writeFile(c / "Documents" / "Psi3.agn", "agenda of a Series 3");
    pellary::testing::writeFile(c / "Documents" / "Letters" / "Smith.wrd", uidBytes(1, 2, 3));
    pellary::testing::writeFile(c / "readme.txt", "hello");
    old_ = setAsker([this](const MessageRequest& r) {
      asked.push_back(r);
      return answer;
    });
  }
  void TearDown() override {
    standins::tessel::holdAnswers(false);
    standins::tessel::restoreLink();
    setAsker(old_);
    IsolatedEnvTest::TearDown();
  }

  std::vector<MessageRequest> asked;
  int answer = mb::Yes;

 private:
  Asker old_;
};

inline std::vector<std::string> texts(const QListWidget* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}

// Waits (running the event loop) until the condition holds.
template <class F>
bool waitFor(F condition) {
  return QTest::qWaitFor(condition, 10000);
}

}  // namespace pellary::brindle::testing
