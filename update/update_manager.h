// The client of the update protocol: enrolment, initialisation, the update
// call, the packet and its loads and the finish report. What an applied
// update sets going is the follow-on's (follow_on.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

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
CUEUpdateManager& Bupd();
void resetUpdateManager();

// The update server's address ("http://host[:port]"), setting UpdateServer
// of section Comms; the scripts are paths on it.
std::string updateServerAddress();
inline constexpr const char* kRegisterScript = "/update/register.pl";
inline constexpr const char* kInitialiseScript = "/update/update_init.pl";
inline constexpr const char* kBrowserFailed = "Unable to launch default web (*.htm, html) browser";

// Runs body; a failure is reported under location with the text
// Bupd().message holds for it (set just before the raise).
void trappedWithText(std::string_view location, const std::function<void()>& body);

// Runs a silent update run in the given run mode (0 timed, 2 on demand).
void Bupd_MainHandler(int16_t runMode);
int16_t Bupd_UpdateInitialise();
void Bupd_CallUpdate();
void Bupd_ProcessUpdate(int16_t decision);
void Bupd_OpenUpdatePacket();

// The profile part of the update call's body.
std::string Bcue_WriteProfileSettings();

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
