// A program folder installed from scratch, with message boxes recorded and the
// common error reporter in place, so a test sees what the user would see.
#pragma once

#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "support/fixtures.h"

namespace pellary::testing {

class ShellTest : public IsolatedEnvTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs a program folder with the given calendar code.
  void install(int datesPlat = 3);

  std::vector<MessageRequest> messages;
  int answer = mb::OK;  // what every message box answers

 private:
  MessagePresenter previous_;
};

}  // namespace pellary::testing
