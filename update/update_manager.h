// The client of the update protocol: enrolment, initialisation, the update
// call, the packet and its loads, the follow-on work and the finish report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace pellary {

struct CUEUpdateManager {
  int16_t Bupd_RunMode = 0;
  std::string Bupd_CustomerID, Bupd_SourceID, Bupd_RndGenerationID, Bupd_LastUpdate;
  std::string Bupd_CUEVersion, Bupd_AlmoVersion;
  // From the initialisation's settings reply.
  std::string Bupd_UpdateScriptLocation, Bupd_ProfileDownloadLocation, Bupd_FinishScriptLocation;
  std::string Bupd_ScriptUserName, Bupd_ScriptPassword, Bupd_ProfileUploadLocation;
  int16_t Bupd_UploadProfileSettings = 0;
  // From the update call's statistics.
  std::string Bupd_TimeStamp;
  int16_t Bupd_ReGenerate = 0;
  int32_t Bupd_UpdateSize = 0;
  int16_t Bupd_DERecordCount = 0, Bupd_REPageCount = 0, Bupd_RENewLinkCount = 0, Bupd_RENewPageCount = 0;
  int16_t Bupd_DENewPCount = 0, Bupd_DENewSCount = 0, Bupd_DENewTCount = 0, Bupd_DENewEventCatCount = 0;
  // Set by the preview's Cancel; never reset in a run.
  bool Bupd_UpdateCancelled = false;
  // The text the next report carries (set just before a raise).
  std::string message;
};
// The update run's state: the customer's IDs, the server's script locations, the counts the run reports.
CUEUpdateManager& Bupd();
void resetUpdateManager();

// The update server's address ("http://host[:port]"), setting UpdateServer
// of section Comms; the scripts are paths on it.
std::string updateServerAddress();
inline constexpr const char* kRegisterScript = "/update/register.pl";
inline constexpr const char* kInitialiseScript = "/update/update_init.pl";
inline constexpr const char* kBrowserFailed = "Unable to launch default web (*.htm, html) browser";

// Shows the update's change preview (previewTargets) and returns once the user
// answered; Cancel sets Bupd_UpdateCancelled. The preview window fills it
// (connectUpdatePreview); while it is empty the run goes on as after OK.
std::function<void()>& updatePreviewShow();

int16_t Bupd_UpdateInitialise();
void Bupd_CallUpdate();
void Bupd_ProcessUpdate(int16_t decision);
void Bupd_OpenUpdatePacket();
void Bupd_QueueProcesses();
void Bupd_UpdateTimeStamps();

// The profile part of the update call's body.
std::string Bcue_WriteProfileSettings();

// Unpacks the packet's members into folder ("Updates"): the sections file
// (base name + ".new") and the events member (base name + ".de"), each named
// with or without a leading "Updates/" ("\" counts as "/", letter case
// aside). Every name is checked first: any other member (a path of its own,
// a link, a second copy) refuses the whole packet (75) before a byte is
// written, and a packet with neither member raises 20011. A member that
// cannot be read whole leaves nothing behind.
void extractPacket(const std::filesystem::path& zipFile, const std::filesystem::path& folder,
                   const std::string& baseName);

// The caps on what an update brings: the packet download (when the server's
// statistics give no UPDATE_SIZE) and each member unpacked from it.
struct UpdateCaps {
  int64_t packetBytes = int64_t(256) << 20;
  int64_t memberBytes = int64_t(1) << 30;
};
UpdateCaps& updateCaps();

// An ID the server hands out (customer, source): what the protocol uses,
// letters, digits and "-", 1 to 40 of them. Anything else never names a file
// or joins a request.
bool isProtocolId(std::string_view id);

}  // namespace pellary
