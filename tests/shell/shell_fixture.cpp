#include "shell/shell_fixture.h"

#include "core/databank.h"
#include "core/products.h"
#include "core/update_run.h"
#include "platform/errors.h"
#include "shell/frmMDIMain.h"
#include "shell/reporter.h"
#include "shell/start.h"
#include "tools/install.h"
#include "update/update_manager.h"

namespace pellary::testing {

void ShellTest::SetUp() {
  IsolatedEnvTest::SetUp();
  previous_ = setMessagePresenter([this](const MessageRequest& r) {
    messages.push_back(r);
    return answer;
  });
  installErrorReporter();
  resetShellState();
  resetProductSetup();
  Bupd_UpdateRun() = false;
}

void ShellTest::TearDown() {
  destroyMainFrame();
  resetShellState();
  Bsql_CloseDataBank();
  setReportHandler(nullptr);
  setMessagePresenter(previous_);
  IsolatedEnvTest::TearDown();
}

void ShellTest::install(int datesPlat) {
  install::Options o;
  o.datesPlat = datesPlat;
  install::installProgramFolder(o);
}

}  // namespace pellary::testing
