// Stand-in for the PsiWin link to a Psion handheld: the engine control
// (connection, file copies between device and PC, drive and file queries) and
// the Series 5 agenda objects. The device is the handheld's one folder
// (standins/handheld), which the file and folder dialogs list too.
//
// The engine answers like the real control: a call starts the work, and its
// outcome arrives later as an event (number and result code) through the
// event sink, when the caller lets pending events run (pumpEvents).
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/paths.h"

namespace pellary::platform::psiwin {

namespace fs = std::filesystem;

// The class names the programs create the objects by. The reference page knows
// the engine control by its type library's name.
inline constexpr const char* kEngineClass = "PsiWinEng.PsiWinEngine";
inline constexpr const char* kEngineControlClass = "PSIWINENGLib.PsiWinEng";
inline constexpr const char* kAgendaClass = "AgnFastSync.ObjAgenda";
// The older agenda class of PsiWin 2.1 (registered only to say it is there).
inline constexpr const char* kOldAgendaClass = "AgnSync.ObjAgenda";

enum Side : int16_t { PcSide = 1, DeviceSide = 2 };

// Events of the engine control.
enum EngineEvent : int16_t {
  OnInitDone = 9,
  OnConnectDone = 10,
  OnCopyDone = 11,
  OnLinkLost = 12,
  OnDriveInfo = 17,
  OnFolderDeleted = 19,
  OnFolderCreated = 20,
  OnDriveList = 26,
  OnFileInfo = 27,
  OnNotice = 36,
  OnProgramStopped = 37,
};

// Result codes the events carry.
namespace code {
inline constexpr int32_t Ok = 0;
inline constexpr int32_t FileNotFound = 2;
inline constexpr int32_t PathNotFound = 3;
inline constexpr int32_t AccessDenied = 5;
inline constexpr int32_t FileInUse = 33;
inline constexpr int32_t AlreadyExists = 183;
inline constexpr int32_t TimedOut = 1121;
inline constexpr int32_t AlreadyConnected = 2402;
inline constexpr int32_t NotConnected = 2403;
}  // namespace code

enum EngineDispId : DispId {
  kStart = 1,           // ()                      -> event 9
  kConnect = 2,         // (timeout ms)            -> event 10
  kDisconnect = 3,      // ()
  kStop = 4,            // () ends the link, drops waiting events
  kCopyFile = 5,        // (fromSide, fromPath&, toSide, toPath&, overwrite) -> event 11
  kGetDrives = 6,       // () drive letters of the device, "CD"
  kGetFileInfo = 7,     // (side, path) size in bytes or -1  -> event 27
  kIsConnected = 8,     // () Boolean
  kDeleteFolder = 9,    // (side, folder)          -> event 19
  kRequestDrives = 10,  // (side)                  -> event 26 with the list "C:\ D:\"
  kGetDriveInfo = 11,   // (side, drive "C:\")     -> details object, event 17
  kCreateFolder = 13,   // (side, folder)          -> event 20
  kStopProgram = 30,    // (side, program path)    -> event 37
};

// The details of one drive: "GetName", "GetSize" and "GetDevFreeSpace" (bytes).
// A drive is called by the handheld's volume name.
enum DriveInfoDispId : DispId { kGetName = 1, kGetSize = 2, kGetDevFreeSpace = 3 };
const automation::InterfaceInfo& DriveInfoInfo();

class DriveInfo : public automation::TypedDispatch {
 public:
  DriveInfo(std::string name, double size, double freeSpace);
  const std::string& name() const { return name_; }
  double size() const { return size_; }
  double freeSpace() const { return free_; }

 protected:
  Variant invokeMember(const automation::MemberInfo& member, automation::CheckedArgs& args) override;

 private:
  std::string name_;
  double size_;
  double free_;
};

// The handheld's folder (handheld::deviceFolder).
fs::path deviceFolder();
// A device path ("C:\Documents\Agenda.agn") as a file of the device folder,
// found without regard to letter case; empty when it names no drive or would
// leave its drive (handheld::devicePath).
fs::path devicePath(std::string_view path);
// A file on the device is "in use" (open in an application there) while a
// file of the same name with ".inuse" added sits beside it.
bool deviceFileInUse(std::string_view path);

const automation::InterfaceInfo& EngineInfo();

class PsiWinEngine : public automation::TypedDispatch {
 public:
  using EventSink = std::function<void(int16_t event, int32_t code)>;
  // Also gets the text an event carries (the drive list of event 26).
  using TextEventSink = std::function<void(int16_t event, int32_t code, const std::string& text)>;

  PsiWinEngine();

  void setEventSink(EventSink sink) { sink_ = std::move(sink); }
  // Takes the place of the plain sink while set.
  void setTextEventSink(TextEventSink sink) { textSink_ = std::move(sink); }
  // Delivers waiting events in order, also those raised while handling them;
  // returns how many were delivered.
  int pumpEvents();
  // Copies stay unfinished (no event 11) while held: a link that stalls.
  void holdCopies(bool hold) { holdCopies_ = hold; }
  bool connected() const { return connected_; }

  // The typed operations behind the dispatch members.
  void start();
  void connect(int32_t timeoutMs);
  void disconnect();
  void stop();
  void copyFile(int16_t fromSide, const std::string& fromPath, int16_t toSide, const std::string& toPath,
                int32_t overwrite);
  std::string drives() const;
  double fileInfo(int16_t side, const std::string& path);
  // The device's drives as one text, "C:\ D:\" (each four characters apart).
  void requestDriveList(int16_t side);
  // Nothing (and event 17 with FileNotFound) for a drive the device lacks.
  std::shared_ptr<DriveInfo> driveInfo(int16_t side, const std::string& drive);
  // Removes a device folder with everything in it; never a whole drive.
  void deleteFolder(int16_t side, const std::string& folder);
  void createFolder(int16_t side, const std::string& folder);
  void stopProgram(int16_t side, const std::string& programPath);

 protected:
  Variant invokeMember(const automation::MemberInfo& member, automation::CheckedArgs& args) override;

 private:
  struct Event {
    int16_t event;
    int32_t result;
    std::string text;
  };
  void raiseEvent(int16_t event, int32_t result, std::string text = {}) {
    queue_.push_back({event, result, std::move(text)});
  }
  fs::path sidePath(int16_t side, const std::string& path);
  // The device folder of a side and path, or an answer of the event with the
  // failure code when the side is not the device, the link is down or the
  // path names no drive; empty then.
  fs::path deviceFolderFor(int16_t side, const std::string& path, int16_t event);

  EventSink sink_;
  TextEventSink textSink_;
  std::deque<Event> queue_;
  bool connected_ = false;
  bool started_ = false;
  bool holdCopies_ = false;
  // The device's folders as this connection read them, so that a run of
  // copies into one folder reads it once; a folder changed by others since
  // is read again.
  paths::FolderNames deviceNames_{true};
  // The PC folders this connection's paths resolved to, so that a run of
  // copies from one folder resolves it once.
  paths::ResolvedFolders pcFolders_;
};

// --- Series 5 agenda ---------------------------------------------------------
//
// The agenda file on the device begins with the three UIDs of a Series 5
// agenda (kAgendaUids, 32-bit little endian each, as every Series 5 file
// begins with its type), then keeps its entries as text lines:
//   "PSIAGENDA5 <next id>"
//   "<id>\t<start>\t<end>\t<crossed>\t<alarm>\t<tentative>\t<status>\t<text>"
//   "deleted\t<id>"
// dates as OLE day numbers, the text with "\", tab and line ends escaped; an
// ID is never given again, also when a later line than the first names it.
// Changes are appended to the file at Commit only; Close without Commit drops
// them. Opening a file that holds more deleted entries than live ones writes
// it anew without them.

inline constexpr uint32_t kAgendaUids[3] = {0x10000050, 0x1000006D, 0x10000084};

struct AgendaEntry {
  int32_t id = 0;
  double start = 0;
  double end = 0;
  bool crossedOut = false;
  bool hasAlarm = false;
  bool tentative = false;
  std::string status;
  std::string text;
};

// The live entries of an agenda file on the device (for checks and tools);
// raises 53 when the file is missing.
std::vector<AgendaEntry> readAgendaFile(const fs::path& file);
void writeAgendaFile(const fs::path& file, const std::vector<AgendaEntry>& entries, int32_t nextId);
// An empty agenda file at a device path, its folders created.
void createAgendaFile(std::string_view devicePathText);

// Registers the engine and the agenda class as built-in classes.
void registerPsiWinClasses();
// Writes what a PsiWin installation leaves in the settings: HKLM
// "Software\Psion\PsiWin32" "Installation Directory" and the class keys of the
// agenda classes ("AgnSync.ObjAgenda" always, "AgnFastSync.ObjAgenda" for 2.2).
void installPsiWin(bool version22);

}  // namespace pellary::platform::psiwin
