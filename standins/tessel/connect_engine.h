// The Tessel Connect engine: the connectivity suite's in-process object that
// keeps the link to a Tessel handheld and answers questions about its drives,
// folders and files. Nearly every question is answered later, through the
// callback interface the client registered with Advise, and possibly from
// another thread.
//
// Operations keep the positions they have in the engine's interface (noted per
// member); positions 0 to 2 are QueryInterface, AddRef and Release. Objects the
// engine hands out are reference counted: the receiver owns one reference.
//
// The stand-in's device is the handheld's one folder, deviceRoot(), which
// PsiWin copies to and from as well (standins/handheld): every
// one-letter subfolder is a drive, volume names come from its "volumes.txt",
// the value of RequestValue(2) from "value.txt" (32 when missing). A file's
// three UIDs are its first twelve bytes (little endian), 0 for shorter files.
// The device is linked while its folder exists: an engine watches the folder
// and answers OnLinkDown when it goes and OnLinkUp when it comes back (after
// Connect), whenever that happens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace pellary::standins::tessel {

using HResult = int32_t;

inline constexpr const char* kEngineClsid = "{3C476900-F450-11CF-885E-0020AFC04E78}";
inline constexpr const char* kEngineIid = "{3C476901-F450-11CF-885E-0020AFC04E78}";
inline constexpr const char* kSinkIid = "{3C476902-F450-11CF-885E-0020AFC04E78}";
inline constexpr const char* kUnknownIid = "{00000000-0000-0000-C000-000000000046}";

inline constexpr HResult kOk = 0;
inline constexpr HResult kNoInterface = int32_t(0x80004002);
inline constexpr HResult kPointer = int32_t(0x80004003);
inline constexpr HResult kClassNotRegistered = int32_t(0x80040154);

// Answer statuses of the device (0 is success).
inline constexpr int32_t kErrNotFound = -1;
inline constexpr int32_t kErrPathNotFound = -12;
inline constexpr int32_t kErrNotReady = -18;
inline constexpr int32_t kErrBadName = -28;
inline constexpr int32_t kErrDisconnected = -36;

inline constexpr size_t kTextBytes = 260;

struct PathRecord {
  uint16_t kind = 2;
  char text[kTextBytes] = {};

  // Copies the text, cut to 259 bytes.
  static PathRecord of(const std::string& path) {
    PathRecord r;
    std::strncpy(r.text, path.c_str(), kTextBytes - 1);
    return r;
  }
};
static_assert(offsetof(PathRecord, text) == 2);

struct ParseResult {
  char text[kTextBytes] = {};
  uint16_t driveLength = 0;  // the drive part ("C:"), 0 when none
  uint16_t pathLength = 0;   // the folder part after the drive, with its backslashes
  // Where the last name component begins in the parsed input.
  size_t nameOffset() const { return size_t(driveLength) + pathLength; }
};
static_assert(offsetof(ParseResult, driveLength) == 260 && offsetof(ParseResult, pathLength) == 262);

// NUL-terminated strings, ended by an empty one.
struct DriveListRecord {
  char bytes[kTextBytes] = {};
  // The first letter of each NUL-ended drive name, in order.
  std::string letters() const {
    std::string out;
    size_t at = 0;
    while (at < kTextBytes && bytes[at] != '\0') {
      out += bytes[at];
      while (at < kTextBytes && bytes[at] != '\0') ++at;
      ++at;
    }
    return out;
  }
};

struct DriveRecord {
  uint8_t reserved0[36] = {};
  char letter = 0;
  uint8_t reserved1[259] = {};
  char volume[kTextBytes] = {};
};
static_assert(offsetof(DriveRecord, letter) == 36 && offsetof(DriveRecord, volume) == 296);

struct EntryRecord {
  uint8_t bytes[30] = {};
  uint32_t uid(int i) const {
    uint32_t v;
    std::memcpy(&v, bytes + 18 + 4 * i, 4);
    return v;
  }
  void setUid(int i, uint32_t v) { std::memcpy(bytes + 18 + 4 * i, &v, 4); }
};

inline constexpr uint8_t kAttrFolder = 0x10;
struct AttributeRecord {
  uint8_t bits = 0;
  uint8_t reserved[15] = {};
};

class Unknown {
 public:
  virtual HResult QueryInterface(const char* iid, void** out) = 0;  // 0
  virtual uint32_t AddRef() = 0;                                    // 1
  virtual uint32_t Release() = 0;                                   // 2

 protected:
  ~Unknown() = default;
};

class IConnectEntry : public Unknown {
 public:
  virtual HResult Record(const EntryRecord** out) = 0;   // 3
  virtual HResult Name(char* buffer) = 0;                // 4, 260 bytes
  virtual HResult Attributes(AttributeRecord* out) = 0;  // 6

 protected:
  ~IConnectEntry() = default;
};

class IConnectEntryList : public Unknown {
 public:
  // Fetched 0 ends the walk.
  virtual HResult Next(uint32_t count, IConnectEntry** entry, uint32_t* fetched) = 0;  // 3
  virtual HResult Reset() = 0;                                                         // 5

 protected:
  ~IConnectEntryList() = default;
};

class IConnectDrive : public Unknown {
 public:
  virtual HResult Record(const DriveRecord** out) = 0;  // 3

 protected:
  ~IConnectDrive() = default;
};

// Positions 3 to 33; all return kOk.
class IConnectEngineSink : public Unknown {
 public:
  virtual HResult OnStarted(int32_t status) = 0;                                     // 3
  virtual HResult OnLinkUp(int32_t status) = 0;                                      // 4
  virtual HResult OnLinkDown(int32_t status) = 0;                                    // 5
  virtual HResult OnEntryReady(int32_t status) = 0;                                  // 6
  virtual HResult OnListingReady(int32_t status, int32_t extra) = 0;                 // 13
  virtual HResult OnDrivesReady(int32_t status, const DriveListRecord* drives) = 0;  // 20
  virtual HResult OnDriveInfoReady(int32_t status) = 0;                              // 21
  virtual HResult OnValueReady(int32_t status, int32_t extra, int32_t value) = 0;    // 23
  // Every other position; b is 0 except at positions 8, 27 and 29.
  virtual HResult OnOther(int position, int32_t a, int32_t b) = 0;

 protected:
  ~IConnectEngineSink() = default;
};

class IConnectEngine : public Unknown {
 public:
  virtual HResult Advise(IConnectEngineSink* sink) = 0;                                                         // 3
  virtual HResult Connect(int32_t reserved) = 0;                                                                // 6
  virtual HResult RequestDrives(const PathRecord* record) = 0;                                                  // 8
  virtual HResult RequestDriveInfo(const PathRecord* record, IConnectDrive** drive) = 0;                        // 9
  virtual HResult RequestEntry(const PathRecord* record, IConnectEntry** entry) = 0;                            // 12
  virtual HResult RequestListing(const PathRecord* record, IConnectEntryList** listing) = 0;                    // 18
  virtual HResult RequestValue(int32_t code) = 0;                                                               // 24
  virtual HResult ParsePath(const char* path, int32_t a, int32_t b, ParseResult* result) = 0;                   // 28
  virtual HResult MatchWildcard(const char* name, const char* pattern, int32_t foldCase, int32_t* result) = 0;  // 29

 protected:
  ~IConnectEngine() = default;
};

// Creates the engine in process by class and interface identifier; *engine
// holds one reference. kClassNotRegistered when the suite is not there.
HResult createConnectEngine(const char* clsid, const char* iid, IConnectEngine** engine);

// Replaces the engine maker (tests: an engine that cannot be created is an
// empty function); returns the one replaced. The stand-in is the default.
using EngineMaker = std::function<IConnectEngine*()>;
EngineMaker setEngineMaker(EngineMaker maker);
IConnectEngine* makeStandInEngine();

// ---- the stand-in's device ----

// The handheld's folder, <stand-in folder>/psion.
std::filesystem::path deviceRoot();
// Creates a drive folder and records its volume name.
std::filesystem::path addDrive(char letter, const std::string& volume);
void setDeviceValue(int32_t value);
// Ends the link of every engine of this process (each answers OnLinkDown), or
// brings it back (each engine that asked to connect answers OnLinkUp).
void dropLink();
void restoreLink();
// While held, no engine of this process answers; answers queue up in order.
void holdAnswers(bool held);
// Engines alive in this process (each has a worker thread).
int liveEngines();
// Engine objects (entries, listings, drives) alive.
int liveEngineObjects();

// Wildcard match of "*" and "?" as the device does it.
bool matchWildcard(std::string_view name, std::string_view pattern, bool foldCase);

}  // namespace pellary::standins::tessel
