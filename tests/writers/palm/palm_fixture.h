// A Palm Desktop with users under the test's stand-in folder, a program
// folder, recorded message boxes and reports, and fresh Palm module state.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/registry.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "standins/palm/palm_desktop.h"
#include "support/fixtures.h"
#include "writers/palm/palm_writer.h"

namespace pellary::testing {

class PalmTest : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    fs::create_directories(home());
    resetPalmModule();
    resetPalmWriter();
    resetWizardState();
    Bupd_UpdateRun() = false;
    standins::palm::installDesktop();
    standins::palm::registerPalmControls();
    ann = standins::palm::addUser("Ann");
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reports.push_back({number, std::string(location)});
    });
    oldPresenter = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r);
      if (answers.empty()) return mb::OK;
      int a = answers.front();
      answers.erase(answers.begin());
      return a;
    });
    BpmWriter().commitProfile = [this] { ++commits; };
  }
  void TearDown() override {
    setMessagePresenter(oldPresenter);
    setReportHandler({});
    Bupd_UpdateRun() = false;
    resetPalmWriter();
    resetPalmModule();
    resetWizardState();
    IsolatedEnvTest::TearDown();
  }

  struct Report {
    long number;
    std::string location;
  };
  standins::palm::PalmUser ann;
  std::vector<Report> reports;
  std::vector<MessageRequest> messages;
  std::vector<int> answers;
  int commits = 0;
  MessagePresenter oldPresenter;
};

}  // namespace pellary::testing
