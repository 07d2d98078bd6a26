#include "update/update_manager.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "core/databank.h"
#include "core/final_selection.h"
#include "core/idindex.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/profile_commit.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/shellwrap.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/files/whole_file.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "update/cue/cue_folder.h"
#include "update/cue/cue_loaders.h"
#include "update/cue/cue_split.h"
#include "update/follow_on.h"
#include "update/packet.h"
#include "update/replies.h"
#include "update/transport.h"
#include "update/update_portal.h"

namespace pellary {

namespace fs = std::filesystem;

CUEUpdateManager& Bupd() {
  static CUEUpdateManager state;
  return state;
}

void resetUpdateManager() { Bupd() = CUEUpdateManager{}; }

UpdateCaps& updateCaps() {
  static UpdateCaps caps;
  return caps;
}

bool isProtocolId(std::string_view id) {
  if (id.empty() || id.size() > 40) return false;
  for (char c : id)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-')) return false;
  return true;
}

std::string updateServerAddress() {
  std::string address = Breg_GetRegSetting("Comms", "UpdateServer");
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address;
}

namespace {

using replies::ReplyLines;

// A reply file, whole.
std::string readReplyBytes(const fs::path& path) {
  std::optional<std::string> bytes = platform::files::readWholeFile(path);
  if (!bytes) raise(err::FileNotFound);
  return std::move(*bytes);
}
ReplyLines readReply(const fs::path& path) { return ReplyLines(readReplyBytes(path)); }

std::string inProgram(std::string_view relative) { return paths::inProgramFolder(relative).string(); }

}  // namespace

void trappedWithText(std::string_view location, const std::function<void()>& body) {
  try {
    Bupd().message.clear();
    body();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    reportError(currentError().number, location, Bupd().message);
  }
}

namespace {

[[noreturn]] void fail(long number, const std::string& message) {
  Bupd().message = message;
  raise(number, message);
}

// Opens a page in the user's default web browser; true when it opened.
bool openInBrowser(const std::string& target) {
  UpdatePortal* portal = existingUpdatePortal();
  intptr_t owner = portal ? portal->ownerHandle() : 0;
  return Bshl_ShellExecute(owner, target, "open", "", 1) >= 33;
}

void showPortal() {
  UpdatePortal& portal = updatePortal();
  portal.setPage(fileUrl(inProgram("\\cueinit.htm")));
  portal.showWindow();
  portal.setMousePointer(11);
}

std::string signUpPage() {
  return updateServerAddress() + kRegisterScript + "?mode=CUE_client&Random_Id=" + Bupd().Bupd_RndGenerationID;
}

void enrol() {
  CUEUpdateManager& u = Bupd();
  std::string replyFile = inProgram("\\CUE\\MainHandler.htm");
  fs::create_directories(fs::path(replyFile).parent_path());
  u.Bupd_RndGenerationID = Breg_GetRegSetting("CUE", "RndGenerationID");
  std::string script = updateServerAddress() + kRegisterScript;

  if (u.Bupd_RndGenerationID.empty()) {
    Bift_DownloadHandler(replyFile, script, updatePortal(), "", "");
    ReplyLines reply = readReply(replyFile);
    std::string tag = reply.readLine();
    if (tag == "<RANDOM_ID>") {
      u.Bupd_RndGenerationID = reply.readLine();
      // It joins the sign-up address and every later customer check.
      if (!isProtocolId(u.Bupd_RndGenerationID))
        fail(20009, "The server sent a random ID this program cannot use: \"" + clipped(u.Bupd_RndGenerationID) + "\"");
      Breg_WriteRegSettings("CUE", "RndGenerationID", u.Bupd_RndGenerationID);
      if (openInBrowser(signUpPage())) Bmm_EndProgram();
      fail(20009, kBrowserFailed);
    }
    if (tag == "<ERROR>") {
      if (openInBrowser(replyFile)) Bmm_EndProgram();
      fail(20007, kBrowserFailed);
    }
    fail(20009, "Undefined error assigning CustomerID");
  }

  if (!isProtocolId(u.Bupd_RndGenerationID))
    fail(20009, "The stored random ID is not one this program can use: \"" + clipped(u.Bupd_RndGenerationID) + "\"");
  Bift_DownloadHandler(replyFile, script + "?mode=CUE_CheckCustomer_Id&Random_Id=" + u.Bupd_RndGenerationID,
                       updatePortal(), "", "");
  ReplyLines reply = readReply(replyFile);
  bool customerRead = false, sourceRead = false;
  std::string customerID, sourceID;
  std::string tag = reply.readLine();
  if (tag == "<CUSTOMER_ID>") {
    customerID = reply.readLine();
    customerRead = true;
  } else if (tag == "<ERROR_CODE>") {
    if (reply.readLine() == "1") {
      if (openInBrowser(signUpPage())) Bmm_EndProgram();
      fail(20009, kBrowserFailed);
    }
  }
  if (customerRead) {
    reply.readLine();
    if (reply.readLine() == "<SOURCE_ID>") {
      sourceID = reply.readLine();
      sourceRead = true;
    }
  }
  if (!(customerRead && sourceRead)) fail(20009, "Error converting to CustomerID");
  // The IDs name the packet's files and join every request.
  if (!isProtocolId(customerID) || !isProtocolId(sourceID))
    fail(20009, "The server sent a customer or source ID this program cannot use: \"" + clipped(customerID) + "\", \"" +
                    clipped(sourceID) + "\"");
  u.Bupd_CustomerID = customerID;
  u.Bupd_SourceID = sourceID;
  showPortal();
  Breg_WriteRegSettings("CUE", "CustomerID", u.Bupd_CustomerID);
  Breg_WriteRegSettings("CUE", "SourceID", u.Bupd_SourceID);
  if (Bupd_UpdateInitialise() == 1)
    Bupd_CallUpdate();
  else
    Bmm_EndProgram();
}

// Seconds from 1970-01-01 00:00 local time to now, as local clock time.
int64_t localSecondsSince1970() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return int64_t(now) + int64_t(local.tm_gmtoff);
}

template <class T>
void take(const std::optional<T>& value, T& into) {
  if (value) into = *value;
}

void storeSettings(const replies::InitialisationReply& r) {
  CUEUpdateManager& u = Bupd();
  take(r.cueVersion, u.Bupd_CUEVersion);
  take(r.almoVersion, u.Bupd_AlmoVersion);
  take(r.profileUploadLocation, u.Bupd_ProfileUploadLocation);
  take(r.scriptUserName, u.Bupd_ScriptUserName);
  take(r.scriptPassword, u.Bupd_ScriptPassword);
  take(r.profileDownloadLocation, u.Bupd_ProfileDownloadLocation);
  take(r.finishScriptLocation, u.Bupd_FinishScriptLocation);
  take(r.updateScriptLocation, u.Bupd_UpdateScriptLocation);
  take(r.uploadProfileSettings, u.Bupd_UploadProfileSettings);
}

void storeStatistics(const replies::UpdateCallReply& r) {
  CUEUpdateManager& u = Bupd();
  take(r.timeStamp, u.Bupd_TimeStamp);
  take(r.updateSize, u.Bupd_UpdateSize);
  take(r.deRecordCount, u.Bupd_DERecordCount);
  take(r.rePageCount, u.Bupd_REPageCount);
  take(r.reNewLinkCount, u.Bupd_RENewLinkCount);
  take(r.reNewPageCount, u.Bupd_RENewPageCount);
  take(r.deNewPCount, u.Bupd_DENewPCount);
  take(r.deNewSCount, u.Bupd_DENewSCount);
  take(r.deNewTCount, u.Bupd_DENewTCount);
  take(r.deNewEventCatCount, u.Bupd_DENewEventCatCount);
  if (r.reGenerate) {
    u.Bupd_ReGenerate = *r.reGenerate;
    passReGenerate(u.Bupd_ReGenerate);
  }
}

std::string profileNumber() { return std::to_string(Bset().Bset_ProfileID); }

std::string packetBaseName() {
  const CUEUpdateManager& u = Bupd();
  return u.Bupd_CustomerID + "_" + u.Bupd_SourceID + "_" + profileNumber();
}

// Runs the loads of an update in one transaction: a failure rolls them all
// back, removes the packet's files and is reported under the loader's name.
// Returns how many of the packet's files were there to load.
int loadUpdate() {
  dao::Database& db = Bsql_DataBank();
  struct Step {
    const char* location;
    std::function<bool()> run;
  };
  auto table = [&db](const cue::TableLayout& l) {
    return [&db, &l] { return cue::loadTableFile(db, l, cue::OnDuplicate::Overwrite).found; };
  };
  const Step steps[] = {
      {"Bcue_LoadNewPrimary", table(cue::primaryLayout())},
      {"Bcue_LoadNewSecondary", table(cue::secondaryLayout())},
      {"Bcue_LoadNewTertiary", table(cue::tertiaryLayout())},
      {"Bcue_LoadActiveEventIDs",
       [&db] {
         cue::loadActiveEventIDs(db);
         return false;
       }},
      {"Bcue_LoadNewLinkItems", table(cue::eventCatLayout())},
      {"Bcue_MergeInEvents", [&db] { return cue::mergeEventsFile(db, {}).found; }},
      {"Bcue_LoadNewRETemplate", table(cue::reTemplateLayout())},
      {"Bcue_LoadNewREStructure", table(cue::reStructureLayout())},
  };
  int found = 0;
  const char* location = "Bupd_ProcessUpdate";
  Bcue_Engine().deferDeletes = true;
  try {
    db.beginTrans();
    for (const Step& step : steps) {
      location = step.location;
      if (step.run()) ++found;
    }
    location = "Bupd_ProcessUpdate";
    db.commitTrans();
    if (found > 0) Bsql_RefreshPlannerStatistics();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    ErrorInfo error = describeCurrentException();
    try {
      db.rollback();
    } catch (...) {
    }
    Bcue_Engine().deferDeletes = false;
    cue::keepLoadedFiles();
    cue::discardPacketFiles();
    currentError() = error;
    reportError(error.number, location, {});
  }
  Bcue_Engine().deferDeletes = false;
  cue::deleteLoadedFiles();
  return found;
}

}  // namespace

void Bupd_MainHandler(int16_t runMode) {
  trappedWithText("Bupd_MainHandler", [&] {
    CUEUpdateManager& u = Bupd();
    u.Bupd_RunMode = runMode;
    Bupd_UpdateRun() = true;
    u.Bupd_CustomerID = Breg_GetRegSetting("CUE", "CustomerID");
    u.Bupd_SourceID = Breg_GetRegSetting("CUE", "SourceID");
    u.Bupd_LastUpdate = Breg_GetRegSetting("CUE", "LastUpdate");
    if (u.Bupd_CustomerID.empty()) {
      enrol();
      return;
    }
    if (!isProtocolId(u.Bupd_CustomerID) || !isProtocolId(u.Bupd_SourceID))
      fail(20009, "The stored customer or source ID is not one this program can use: \"" + clipped(u.Bupd_CustomerID) +
                      "\", \"" + clipped(u.Bupd_SourceID) + "\"");
    if (runMode != 0) showPortal();
    yieldToMessageLoop();
    if (Bupd_UpdateInitialise() == 1)
      Bupd_CallUpdate();
    else
      Bmm_EndProgram();
  });
}

namespace {
// A reply that is not the expected one ends the run: an error page the server
// wrote is shown in the browser, anything else is an undefined error.
[[noreturn]] void endOnUnexpectedReply(replies::Tag tag, const std::string& replyFile, const std::string& undefined) {
  if (tag == replies::Tag::Error) {
    if (openInBrowser(replyFile)) Bmm_EndProgram();
    fail(20009, kBrowserFailed);
  }
  fs::remove(replyFile);
  fail(20010, undefined);
}
}  // namespace

int16_t Bupd_UpdateInitialise() {
  int16_t result = 0;
  trappedWithText("Bupd_UpdateInitialise", [&] {
    CUEUpdateManager& u = Bupd();
    fs::path updates = paths::inProgramFolder("\\Updates\\");
    std::error_code ec;
    if (fs::is_directory(updates, ec))
      for (const auto& entry : fs::directory_iterator(updates))
        if (entry.is_regular_file() || entry.is_symlink()) fs::remove(entry.path());
    std::string replyFile = inProgram("\\CUE\\UpdateINI.htm");
    fs::create_directories(fs::path(replyFile).parent_path());
    u.Bupd_CUEVersion = Breg_GetRegSetting("CUE", "CUEVersion");
    u.Bupd_AlmoVersion = Breg_GetRegSetting("CUE", "AlmoVersion");
    std::string body = "CUE_VERSION=" + u.Bupd_CUEVersion + "&" + "ALMO_VERSION=" + u.Bupd_AlmoVersion + "&" +
                       "Customer_Id=" + u.Bupd_CustomerID + "&" + "Source_Id=" + u.Bupd_SourceID;
    Bift_PostHandler(body, updateServerAddress() + kInitialiseScript, replyFile, updatePortal(), "", "");
    replies::InitialisationReply reply = replies::parseInitialisationReply(readReplyBytes(replyFile));
    if (reply.tag == replies::Tag::Expected) {
      storeSettings(reply);
      fs::remove(replyFile);
      result = 1;
      return;
    }
    endOnUnexpectedReply(reply.tag, replyFile, "Undefined update initialisation error");
  });
  return result;
}

void Bupd_CallUpdate() {
  trappedWithText("Bupd_CallUpdate", [] {
    CUEUpdateManager& u = Bupd();
    std::string replyFile = inProgram("\\CUE\\CallUpdate.htm");
    fs::create_directories(fs::path(replyFile).parent_path());
    std::error_code ec;
    fs::remove(replyFile, ec);
    std::string profile = Bcue_WriteProfileSettings();
    std::string body = "TimeStamp=" + u.Bupd_LastUpdate + "&" + "Customer_Id=" + u.Bupd_CustomerID + "&" +
                       "Source_Id=" + u.Bupd_SourceID + "&" + "Customer_Profile_Id=" + profileNumber() + "&" +
                       "Profile_Change=" + (profile.empty() ? "0" : "1") + "&" + "make_portal=1" + profile;
    UpdatePortal& portal = updatePortal();
    Bift_PostHandler(body, u.Bupd_UpdateScriptLocation, replyFile, portal, u.Bupd_ScriptUserName,
                     u.Bupd_ScriptPassword);
    replies::UpdateCallReply reply = replies::parseUpdateCallReply(readReplyBytes(replyFile));
    if (reply.tag == replies::Tag::Expected) {
      Breg_WriteRegSettings("AutoCUE", "LocalLastUpdate", std::to_string(localSecondsSince1970()));
      if (reply.offered != 0) {
        portal.setButtonVisible(PortalButton::Yes, true);
        portal.setButtonVisible(PortalButton::No, true);
        storeStatistics(reply);
        // The portal would wait for ever for a Yes or No that no one can give.
        if (unattendedRun()) fail(err::NoOneToAnswer, "An update is offered, but this run has no one to accept it");
      } else if (u.Bupd_RunMode == 0) {
        Bmm_EndProgram();
      } else {
        portal.setButtonVisible(PortalButton::Close, true);
      }
      portal.setPage(fileUrl(replyFile));
      portal.setMousePointer(0);
      portal.showWindow();
      yieldToMessageLoop();
      return;
    }
    endOnUnexpectedReply(reply.tag, replyFile, "Undefined update process error");
  });
}

void Bupd_ProcessUpdate(int16_t decision) {
  trappedWithText("Bupd_ProcessUpdate", [&] {
    CUEUpdateManager& u = Bupd();
    UpdatePortal& portal = updatePortal();
    std::string finishFile = inProgram("\\Process.htm");
    portal.setButtonVisible(PortalButton::Yes, false);
    portal.setButtonVisible(PortalButton::No, false);
    if (decision != 1) {
      portal.setButtonVisible(PortalButton::Close, true);
    } else {
      portal.showStatusBars();
      yieldToMessageLoop();
      portal.setStatusText("Downloading updated files from the Internet");
      // One packet at a time: nothing of an earlier one meets this one, and
      // whatever ends this run on an error takes this one's files away.
      cue::discardPacketFiles();
      setFailureCleanup(cue::discardPacketFiles);
      fs::path updates = cue::updatesFolder();
      fs::create_directories(updates);
      std::string packetFile = (updates / "Packet.upd").string();
      // The address is joined with "/": a backslash would go out literally.
      std::string packetUrl = u.Bupd_ProfileDownloadLocation + "/" + packetBaseName() + ".upd";
      {
        // The size the server announced, else a fixed cap far above any real packet.
        int64_t cap = updateCaps().packetBytes;
        if (u.Bupd_UpdateSize > 0) cap = std::min<int64_t>(cap, u.Bupd_UpdateSize);
        DownloadCap capped(cap);
        Bift_DownloadHandler(packetFile, packetUrl, portal, u.Bupd_ScriptUserName, u.Bupd_ScriptPassword,
                             int64_t(std::max<int32_t>(0, u.Bupd_UpdateSize)));
      }
      Bupd_OpenUpdatePacket();
      Bcue_SplitNewFile(packetBaseName());
      int loaded = loadUpdate();
      if (!cue::findCueFile(std::string(cue::kPageListSection) + ".cue").empty()) ++loaded;
      // Nothing applied is nothing to acknowledge.
      if (loaded == 0) fail(20011, "The update packet held nothing to load");
      Bupd_ShowUpdatePreview();
      if (u.Bupd_UpdateCancelled) {
        cue::discardPacketFiles();
        setFailureCleanup(nullptr);
        Bcue_ShowUpdateCompleted();
        return;
      }
      Bupd_QueueProcesses();
      // A page list the follow-on work did not take goes with its packet.
      cue::discardPacketFiles();
      Bcue_ShowUpdateCompleted();
    }
    std::string body = "Customer_Id=" + u.Bupd_CustomerID + "&Source_Id=" + u.Bupd_SourceID +
                       "&Customer_Profile_Id=" + profileNumber() + "&TimeStamp=" + u.Bupd_TimeStamp +
                       "&User_Decision=" + (decision == 1 ? "1" : "0");
    Bift_PostHandler(body, u.Bupd_FinishScriptLocation, finishFile, portal, u.Bupd_ScriptUserName,
                     u.Bupd_ScriptPassword);
    std::string line = readReply(finishFile).readLine();
    fs::remove(finishFile);
    if (!paths::equalsIgnoreCase(line, "<OK>")) fail(20012, "");
    setFailureCleanup(nullptr);
  });
}

void Bupd_OpenUpdatePacket() {
  trappedWithText("Bupd_OpenUpdatePacket", [] {
    fs::path packet = cue::findUpdatesFile("Packet.upd");
    if (packet.empty()) fail(20011, "");
    extractPacket(packet, cue::updatesFolder(), packetBaseName());
    fs::remove(packet);
  });
}

std::string Bcue_WriteProfileSettings() {
  return trapped("Bcue_WriteProfileSettings", [] {
    dao::Database& db = Bsql_DataBank();
    const ProductSetup& s = Bset();
    std::string result = "&CAL_PLAT=" + std::to_string(s.Bset_DatesPlat);
    dao::Recordset rs = db.openRecordset(
        "SELECT Tertiary.CatID, TimeStamp FROM ProfileCatList, Tertiary WHERE "
        "ProfileCatList.CatID = Tertiary.CatID and ProfileCatList.ProfileID = " +
        std::to_string(s.Bset_ProfileID));
    if (rs.recordCount()) {
      result += "&DE=";
      bool first = true;
      for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        if (!first) result += ",";
        first = false;
        result += std::to_string(rs["CatID"].value().toLong()) + "~" + std::to_string(rs["TimeStamp"].value().toLong());
      }
    }
    rs.close();
    result += "&Products=";
    bool first = true;
    for (int i = 0; i < s.Bset_ProductCount && i < kMaxProducts; ++i) {
      if (s.Bset_ProgProductID[size_t(i)] == 1 || s.Bset_ProgProductID[size_t(i)] == 2) continue;
      if (!first) result += ",";
      first = false;
      result += std::to_string(s.Bset_ProductID[size_t(i)]);
    }
    rs = db.openRecordset(
        "SELECT RETemplate.Template_Id, RETemplate.TimeStamp, ProfileRefList.Product_ID "
        "FROM RETemplate, ProfileRefList where RETemplate.Template_Id = ProfileRefList.RefID "
        "AND RETemplate.Product_Id = ProfileRefList.Product_Id");
    if (rs.recordCount()) {
      result += "&RE=";
      first = true;
      for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        if (!first) result += ",";
        first = false;
        result += std::to_string(rs["Product_ID"].value().toInteger()) + "~" +
                  std::to_string(rs["Template_Id"].value().toLong()) + "~" +
                  std::to_string(rs["TimeStamp"].value().toLong());
      }
    }
    rs.close();
    std::string refPlat1 = Breg_GetRegSetting("Support", "RefPlat1");
    std::string refPlat2 = Breg_GetRegSetting("Support", "RefPlat2");
    if (!refPlat1.empty()) result += "&Machines=" + refPlat1;
    if (!refPlat2.empty()) result += "," + refPlat2;
    return result;
  });
}

}  // namespace pellary
