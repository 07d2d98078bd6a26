// An installed program folder with a databank, a local update server that
// speaks the protocol, and every outside effect recorded: messages, the
// default browser, the proxy question and the error reports.
#pragma once

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "core/final_selection.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/msgbox.h"
#include "platform/process/process.h"
#include "tests/update/cue/cue_fixture.h"
#include "update/follow_on.h"
#include "update/pages/frmManager2Update.h"
#include "update/pages/frmPortalPage.h"
#include "update/protocol/local_server.h"
#include "update/transport.h"
#include "update/update_manager.h"

namespace pellary::testing {

struct Report {
  long number;
  std::string location;
  std::string extra;
};

// Members of a zip the test builds: name and bytes, or a link.
struct ZipMember {
  std::string name;
  std::string bytes;
  bool link = false;
};
std::string buildZip(const fs::path& scratch, const std::vector<ZipMember>& members);

class UpdateRunTest : public CueTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The scripts of an enrolled installation: settings, an update call reply
  // (offered or not) and a finish reply.
  void serveScripts(bool offered, const std::string& timeStamp = "900");
  void servePacket(const std::string& sections, const std::string& events = {});
  void enrolled();
  std::string packetPath() const { return "/packets/C77_S5_1.upd"; }

  // Runs f; true when it ended the program.
  template <class F>
  bool endsProgram(F&& f) {
    try {
      f();
    } catch (const ProgramEnded&) {
      return true;
    }
    return false;
  }

  std::unique_ptr<LocalServer> server;
  std::vector<Report> reports;
  std::vector<MessageRequest> messages;
  std::vector<std::string> opened;  // what the default browser was asked to open
  int32_t browserResult = 42;
  std::vector<std::string> prompts;
  std::string proxyAnswer;

 private:
  MessagePresenter oldPresenter_;
  InputPresenter oldInput_;
};

}  // namespace pellary::testing
