#include "update/protocol/update_fixture.h"

#include <sys/stat.h>
#include <zip.h>

#include "core/idindex.h"
#include "core/registry.h"

namespace pellary::testing {

std::string buildZip(const fs::path& scratch, const std::vector<ZipMember>& members) {
  fs::path file = scratch / "built.zip";
  fs::remove(file);
  int error = 0;
  zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) throw std::runtime_error("zip_open");
  for (const auto& m : members) {
    // libzip copies the bytes when the archive closes: keep them alive till then.
    zip_source_t* src = zip_source_buffer(zip, m.bytes.data(), m.bytes.size(), 0);
    zip_int64_t index = zip_file_add(zip, m.name.c_str(), src, ZIP_FL_ENC_RAW | ZIP_FL_OVERWRITE);
    if (index < 0) throw std::runtime_error("zip_file_add " + m.name);
    if (m.link)
      zip_file_set_external_attributes(zip, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, zip_uint32_t(S_IFLNK | 0777) << 16);
  }
  if (zip_close(zip) != 0) throw std::runtime_error("zip_close");
  return readFile(file);
}

void UpdateRunTest::SetUp() {
  CueTest::SetUp();
  server = std::make_unique<LocalServer>();
  resetUpdateManager();
  resetInternetFileTransfer();
  resetProductSetup();
  resetWizardState();
  resetDatabaseAccess();
  resetProfileLists();
  Bupd_UpdateRun() = false;
  Bset().Bset_ProfileID = 1;
  Breg_WriteRegSettings("Comms", "UpdateServer", server->address());
  Breg_WriteRegSettings("Comms", "CommTool", "1");
  writeFile(home() / "cueinit.htm", "<html><body>Starting</body></html>");
  setReportHandler([this](long number, std::string_view location, std::string_view extra) {
    reports.push_back({number, std::string(location), std::string(extra)});
    endProgram(1);
  });
  oldPresenter_ = setMessagePresenter([this](const MessageRequest& r) {
    messages.push_back(r);
    return mb::No;
  });
  oldInput_ = setInputPresenter([this](const std::string& prompt, const std::string&) {
    prompts.push_back(prompt);
    return proxyAnswer;
  });
  platform::process::setDesktopLauncher([this](const std::string& target, const std::string&) {
    opened.push_back(target);
    return browserResult;
  });
  frmManager2Update::modalHook() = [](frmManager2Update& w) { w.cmdBack_Click(); };
  connectUpdatePreview();
  connectUpdatePortal();
}

void UpdateRunTest::TearDown() {
  frmManager2Update::modalHook() = nullptr;
  updatePreviewShow() = nullptr;
  updatePortalHooks() = UpdatePortalHooks{};
  unloadUpdatePreviewWindow();
  unloadPortalPage();
  platform::process::setDesktopLauncher(nullptr);
  setInputPresenter(oldInput_);
  setMessagePresenter(oldPresenter_);
  Bupd_UpdateRun() = false;
  resetUpdateManager();
  resetInternetFileTransfer();
  server.reset();
  CueTest::TearDown();
}

void UpdateRunTest::enrolled() {
  Breg_WriteRegSettings("CUE", "CustomerID", "C77");
  Breg_WriteRegSettings("CUE", "SourceID", "S5");
  Breg_WriteRegSettings("CUE", "LastUpdate", "800");
  Breg_WriteRegSettings("CUE", "CUEVersion", "3");
  Breg_WriteRegSettings("CUE", "AlmoVersion", "2.1");
}

void UpdateRunTest::serveScripts(bool offered, const std::string& timeStamp) {
  const std::string a = server->address();
  server->reply("/update/update_init.pl",
                "<SETTINGS>\r\n"
                "CUE_VERSION=4\r\n"
                "UPDATE_SCRIPT_LOCATION=" +
                    a +
                    "/update/update.pl\r\n"
                    "PROFILE_DOWNLOAD_LOCATION=" +
                    a +
                    "/packets\r\n"
                    "FINISH_SCRIPT_LOCATION=" +
                    a +
                    "/update/finish.pl\r\n"
                    "SCRIPT_USERNAME=scriptuser\r\n"
                    "SCRIPT_PASSWORD=secret\r\n"
                    "UPLOAD_PROFILE_SETTINGS=1\r\n"
                    "</SETTINGS>\r\n");
  server->reply("/update/update.pl",
                "<UPDATE_STATISTICS>\r\n"
                "Statistics\r\n"
                "UPDATE=" +
                    std::string(offered ? "1" : "0") +
                    "\r\n"
                    "TIMESTAMP=" +
                    timeStamp +
                    "\r\n"
                    "RE_GENERATE=0\r\n"
                    "UPDATE_SIZE=1200\r\n"
                    "</UPDATE_STATISTICS>\r\n"
                    "<html><body>Your update</body></html>\r\n");
  server->reply("/update/finish.pl", "<ok>\r\n");
}

void UpdateRunTest::servePacket(const std::string& sections, const std::string& events) {
  std::vector<ZipMember> members{{"Updates/C77_S5_1.new", sections}};
  if (!events.empty()) members.push_back({"Updates/C77_S5_1.de", events});
  server->reply(packetPath(), buildZip(root(), members));
}

}  // namespace pellary::testing
