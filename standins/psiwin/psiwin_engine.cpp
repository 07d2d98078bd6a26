#include "standins/psiwin/psiwin_engine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unordered_map>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "platform/settings/settings_tree.h"
#include "platform/state_file.h"
#include "standins/handheld/handheld.h"

namespace pellary::platform::psiwin {

namespace au = automation;

namespace {

using standins::escape;
using standins::unescape;
std::vector<std::string> splitTabs(const std::string& line) { return standins::split(line); }
// Runtime error numbers of file access.
constexpr long kBadFileName = 52;
constexpr long kPermissionDenied = 70;
constexpr long kBadFileFormat = 321;
}  // namespace
using au::InvokeKind;
using au::ParamType;

fs::path deviceFolder() { return handheld::deviceFolder(); }

fs::path devicePath(std::string_view path) { return handheld::devicePath(path); }

bool deviceFileInUse(std::string_view path) {
  const fs::path file = devicePath(path);
  if (file.empty()) return false;
  std::error_code ec;
  return fs::exists(fs::path(file.string() + ".inuse"), ec);
}

// --- engine ----------------------------------------------------------------------

const au::InterfaceInfo& EngineInfo() {
  static const au::InterfaceInfo info = [] {
    au::InterfaceInfo i;
    i.name = "_DPsiWinEng";
    i.iid = "{6F2D3A11-5C2B-4E7A-9A61-2B0C1E7D4A01}";
    i.members = {
        {kStart, "Start", {}, ParamType::Void, InvokeKind::Method, ""},
        {kConnect, "Connect", {{"timeout", ParamType::Long}}, ParamType::Void, InvokeKind::Method, ""},
        {kDisconnect, "Disconnect", {}, ParamType::Void, InvokeKind::Method, ""},
        {kStop, "Stop", {}, ParamType::Void, InvokeKind::Method, ""},
        {kCopyFile,
         "CopyFile",
         {{"fromSide", ParamType::Integer},
          {"fromPath", ParamType::String},
          {"toSide", ParamType::Integer},
          {"toPath", ParamType::String},
          {"overwrite", ParamType::Long}},
         ParamType::Void,
         InvokeKind::Method,
         ""},
        {kGetDrives, "GetDrives", {}, ParamType::String, InvokeKind::Method, ""},
        {kGetFileInfo,
         "GetFileInfo",
         {{"side", ParamType::Integer}, {"path", ParamType::String}},
         ParamType::Double,
         InvokeKind::Method,
         ""},
        {kIsConnected, "IsConnected", {}, ParamType::Boolean, InvokeKind::PropertyGet, ""},
        {kDeleteFolder,
         "DeleteFolder",
         {{"side", ParamType::Integer}, {"folder", ParamType::String}},
         ParamType::Void,
         InvokeKind::Method,
         ""},
        {kRequestDrives, "RequestDrives", {{"side", ParamType::Integer}}, ParamType::Void, InvokeKind::Method, ""},
        {kGetDriveInfo,
         "GetDriveInfo",
         {{"side", ParamType::Integer}, {"drive", ParamType::String}},
         ParamType::Object,
         InvokeKind::Method,
         ""},
        {kCreateFolder,
         "CreateFolder",
         {{"side", ParamType::Integer}, {"folder", ParamType::String}},
         ParamType::Void,
         InvokeKind::Method,
         ""},
        {kStopProgram,
         "StopProgram",
         {{"side", ParamType::Integer}, {"path", ParamType::String}},
         ParamType::Void,
         InvokeKind::Method,
         ""},
    };
    return i;
  }();
  return info;
}

PsiWinEngine::PsiWinEngine() : TypedDispatch(EngineInfo()) {}

int PsiWinEngine::pumpEvents() {
  int n = 0;
  // A handler that reconnects after every event could go on for ever.
  while (!queue_.empty() && n < 1000) {
    const Event e = std::move(queue_.front());
    queue_.pop_front();
    ++n;
    if (textSink_)
      textSink_(e.event, e.result, e.text);
    else if (sink_)
      sink_(e.event, e.result);
  }
  return n;
}

void PsiWinEngine::start() {
  started_ = true;
  raiseEvent(OnInitDone, code::Ok);
}

void PsiWinEngine::connect(int32_t) {
  std::error_code ec;
  deviceNames_.clear();
  pcFolders_.clear();
  if (!fs::is_directory(deviceFolder(), ec)) {
    connected_ = false;
    raiseEvent(OnConnectDone, code::TimedOut);
    return;
  }
  raiseEvent(OnConnectDone, connected_ ? code::AlreadyConnected : code::Ok);
  connected_ = true;
}

void PsiWinEngine::disconnect() {
  connected_ = false;
  deviceNames_.clear();
  pcFolders_.clear();
}

void PsiWinEngine::stop() {
  connected_ = false;
  started_ = false;
  queue_.clear();
  deviceNames_.clear();
  pcFolders_.clear();
}

fs::path PsiWinEngine::sidePath(int16_t side, const std::string& path) {
  if (side == DeviceSide) return handheld::devicePath(path, deviceNames_);
  if (side == PcSide) return pcFolders_.resolve(path);
  return {};
}

void PsiWinEngine::copyFile(int16_t fromSide, const std::string& fromPath, int16_t toSide, const std::string& toPath,
                            int32_t overwrite) {
  std::error_code ec;
  if (!connected_ || !fs::is_directory(deviceFolder(), ec)) {
    // The link went: the copy never finishes, the engine says it lost the link.
    connected_ = false;
    raiseEvent(OnLinkLost, code::NotConnected);
    return;
  }
  if (holdCopies_) return;
  const fs::path from = sidePath(fromSide, fromPath);
  const fs::path to = sidePath(toSide, toPath);
  if (from.empty() || to.empty() || !fs::is_regular_file(from, ec)) {
    raiseEvent(OnCopyDone, code::FileNotFound);
    return;
  }
  // A device file is in use while its ".inuse" companion is there (deviceFileInUse).
  const auto inUse = [&](const fs::path& file) { return fs::exists(fs::path(file.string() + ".inuse"), ec); };
  if ((fromSide == DeviceSide && inUse(from)) || (toSide == DeviceSide && inUse(to))) {
    raiseEvent(OnCopyDone, code::FileInUse);
    return;
  }
  if (overwrite == 0 && fs::exists(to, ec)) {
    raiseEvent(OnCopyDone, code::AlreadyExists);
    return;
  }
  // Written beside the target and renamed, so a failed copy leaves the old file.
  standins::aboutToChange(to);
  const bool newFolder = !fs::is_directory(to.parent_path(), ec);
  if (newFolder) fs::create_directories(to.parent_path(), ec);
  const fs::path temp = to.string() + ".part";
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, to, ec);
  if (ec) {
    fs::remove(temp, ec);
    raiseEvent(OnCopyDone, 29);  // write fault
    return;
  }
  if (toSide == DeviceSide) {
    // Folders made on the way are read afresh; a file joins its folder's listing.
    if (newFolder)
      deviceNames_.clear();
    else
      deviceNames_.made(to);
  }
  raiseEvent(OnCopyDone, code::Ok);
}

std::string PsiWinEngine::drives() const {
  std::string letters;
  std::error_code ec;
  if (!connected_ || !fs::is_directory(deviceFolder(), ec)) return letters;
  for (char letter : handheld::driveLetters()) letters += letter;
  return letters;
}

double PsiWinEngine::fileInfo(int16_t side, const std::string& path) {
  std::error_code ec;
  const fs::path file = sidePath(side, path);
  if (side == DeviceSide && !connected_) {
    raiseEvent(OnFileInfo, code::NotConnected);
    return -1;
  }
  if (file.empty() || !fs::is_regular_file(file, ec)) {
    raiseEvent(OnFileInfo, code::FileNotFound);
    return -1;
  }
  raiseEvent(OnFileInfo, code::Ok);
  return double(fs::file_size(file, ec));
}

void PsiWinEngine::requestDriveList(int16_t side) {
  std::error_code ec;
  if (!fs::is_directory(deviceFolder(), ec)) connected_ = false;
  if (side != DeviceSide || !connected_) {
    raiseEvent(OnDriveList, code::NotConnected);
    return;
  }
  std::string list;
  for (char letter : drives()) list += (list.empty() ? "" : " ") + std::string(1, letter) + ":\\";
  raiseEvent(OnDriveList, code::Ok, list);
}

fs::path PsiWinEngine::deviceFolderFor(int16_t side, const std::string& path, int16_t event) {
  std::error_code ec;
  if (side != DeviceSide) {
    raiseEvent(event, code::AccessDenied);
    return {};
  }
  if (!connected_ || !fs::is_directory(deviceFolder(), ec)) {
    connected_ = false;
    raiseEvent(event, code::NotConnected);
    return {};
  }
  const fs::path p = handheld::devicePath(path, deviceNames_);
  if (p.empty()) raiseEvent(event, code::PathNotFound);
  return p;
}

std::shared_ptr<DriveInfo> PsiWinEngine::driveInfo(int16_t side, const std::string& drive) {
  const fs::path folder = deviceFolderFor(side, drive.substr(0, 2), OnDriveInfo);
  if (folder.empty()) return nullptr;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    raiseEvent(OnDriveInfo, code::FileNotFound);
    return nullptr;
  }
  const char letter = char(std::toupper(static_cast<unsigned char>(drive[0])));
  double size = 0, freeSpace = 0;
  const fs::space_info space = fs::space(folder, ec);
  if (!ec) {
    size = double(space.capacity);
    freeSpace = double(space.available);
  }
  raiseEvent(OnDriveInfo, code::Ok);
  return std::make_shared<DriveInfo>(handheld::volumeName(letter), size, freeSpace);
}

void PsiWinEngine::deleteFolder(int16_t side, const std::string& folder) {
  const fs::path p = deviceFolderFor(side, folder, OnFolderDeleted);
  if (p.empty()) return;
  std::error_code ec;
  const fs::path drive = devicePath(folder.substr(0, 2));
  if (!fs::exists(p, ec)) {
    raiseEvent(OnFolderDeleted, code::PathNotFound);
    return;
  }
  // A drive (or the device itself) is not a folder one may remove.
  if (!fs::is_directory(p, ec) || fs::equivalent(p, drive, ec) ||
      fs::weakly_canonical(p, ec).lexically_relative(fs::weakly_canonical(drive, ec)).string().starts_with("..")) {
    raiseEvent(OnFolderDeleted, code::AccessDenied);
    return;
  }
  // A file open on the device keeps its folder (nothing is removed).
  for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->path().extension() == ".inuse") {
      raiseEvent(OnFolderDeleted, code::FileInUse);
      return;
    }
  fs::remove_all(p, ec);
  deviceNames_.clear();
  raiseEvent(OnFolderDeleted, ec ? code::AccessDenied : code::Ok);
}

void PsiWinEngine::createFolder(int16_t side, const std::string& folder) {
  const fs::path p = deviceFolderFor(side, folder, OnFolderCreated);
  if (p.empty()) return;
  std::error_code ec;
  if (fs::exists(p, ec)) {
    raiseEvent(OnFolderCreated, fs::is_directory(p, ec) ? code::AlreadyExists : code::AccessDenied);
    return;
  }
  fs::create_directories(p, ec);
  deviceNames_.clear();
  raiseEvent(OnFolderCreated, ec ? code::AccessDenied : code::Ok);
}

void PsiWinEngine::stopProgram(int16_t side, const std::string&) {
  // No program of the stand-in's device runs; the answer says so.
  std::error_code ec;
  const bool linked = side == DeviceSide && connected_ && fs::is_directory(deviceFolder(), ec);
  raiseEvent(OnProgramStopped, linked ? code::Ok : code::NotConnected);
}

// --- drive details ---------------------------------------------------------------

const au::InterfaceInfo& DriveInfoInfo() {
  static const au::InterfaceInfo info{
      "_DPsiWinDriveInfo",
      "{6F2D3A12-5C2B-4E7A-9A61-2B0C1E7D4A01}",
      "",
      {{kGetName, "GetName", {}, ParamType::String, InvokeKind::Method, ""},
       {kGetSize, "GetSize", {}, ParamType::Double, InvokeKind::Method, ""},
       {kGetDevFreeSpace, "GetDevFreeSpace", {}, ParamType::Double, InvokeKind::Method, ""}}};
  return info;
}

DriveInfo::DriveInfo(std::string name, double size, double freeSpace)
    : TypedDispatch(DriveInfoInfo()), name_(std::move(name)), size_(size), free_(freeSpace) {}

Variant DriveInfo::invokeMember(const au::MemberInfo& member, au::CheckedArgs&) {
  switch (member.id) {
    case kGetName: return name_;
    case kGetSize: return size_;
    case kGetDevFreeSpace: return free_;
    default: raise(au::errors::NoSuchMember);
  }
}

Variant PsiWinEngine::invokeMember(const au::MemberInfo& member, au::CheckedArgs& a) {
  switch (member.id) {
    case kStart: start(); return {};
    case kConnect: connect(a.longValue(0)); return {};
    case kDisconnect: disconnect(); return {};
    case kStop: stop(); return {};
    case kCopyFile: copyFile(a.integer(0), a.string(1), a.integer(2), a.string(3), a.longValue(4)); return {};
    case kGetDrives: return drives();
    case kGetFileInfo: return fileInfo(a.integer(0), a.string(1));
    case kIsConnected: return connected_;
    case kDeleteFolder: deleteFolder(a.integer(0), a.string(1)); return {};
    case kRequestDrives: requestDriveList(a.integer(0)); return {};
    case kGetDriveInfo: {
      // Nothing (an empty object) for a drive the device lacks.
      std::shared_ptr<Dispatch> info = driveInfo(a.integer(0), a.string(1));
      return Variant(std::move(info));
    }
    case kCreateFolder: createFolder(a.integer(0), a.string(1)); return {};
    case kStopProgram: stopProgram(a.integer(0), a.string(1)); return {};
    default: raise(au::errors::NoSuchMember);
  }
}

// --- agenda file -------------------------------------------------------------------

namespace {

constexpr const char* kAgendaMagic = "PSIAGENDA5";

// The three UIDs a Series 5 agenda file begins with (little endian), which
// the device's file dialog matches to list it as an agenda.
std::string agendaUidBytes() {
  std::string out;
  for (uint32_t v : kAgendaUids)
    for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
  return out;
}

// Appends an entry's line to `out`.
void appendLine(std::string& out, const AgendaEntry& e) {
  char buf[96];
  char* p = std::to_chars(buf, buf + 16, e.id).ptr;
  *p++ = '\t';
  // The shortest texts that read back as the same dates.
  p = std::to_chars(p, p + 32, e.start).ptr;
  *p++ = '\t';
  p = std::to_chars(p, p + 32, e.end).ptr;
  for (bool flag : {e.crossedOut, e.hasAlarm, e.tentative}) {
    *p++ = '\t';
    *p++ = flag ? '1' : '0';
  }
  *p++ = '\t';
  out.append(buf, size_t(p - buf));
  out += escape(e.status);
  out += '\t';
  out += escape(e.text);
  out += '\n';
}

// The live entries; `deleted` counts the deleted entries the file still holds.
std::vector<AgendaEntry> readAgenda(const fs::path& file, int32_t& nextId, size_t& deleted) {
  std::ifstream in(file, std::ios::binary);
  if (!in) raise(err::FileNotFound, "Agenda file not found: " + file.string());
  std::string line;
  std::getline(in, line);
  // Files written before the UIDs led the header are read as well.
  if (line.starts_with(agendaUidBytes())) line.erase(0, agendaUidBytes().size());
  std::istringstream head(line);
  std::string magic;
  head >> magic >> nextId;
  if (magic != kAgendaMagic) raise(kBadFileFormat, "Not an agenda file: " + file.string());
  std::vector<AgendaEntry> entries;
  std::vector<int32_t> gone;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    auto p = splitTabs(line);
    if (p.size() == 2 && p[0] == "deleted") {
      const int32_t id = std::stoi(p[1]);
      if (id >= nextId) nextId = id + 1;
      gone.push_back(id);
      continue;
    }
    if (p.size() != 8) raise(kBadFileFormat, "Damaged agenda entry in " + file.string());
    AgendaEntry e;
    e.id = std::stoi(p[0]);
    e.start = std::stod(p[1]);
    e.end = std::stod(p[2]);
    e.crossedOut = p[3] == "1";
    e.hasAlarm = p[4] == "1";
    e.tentative = p[5] == "1";
    e.status = unescape(p[6]);
    e.text = unescape(p[7]);
    if (e.id >= nextId) nextId = e.id + 1;
    entries.push_back(std::move(e));
  }
  deleted = gone.size();
  if (!gone.empty()) {
    std::sort(gone.begin(), gone.end());
    std::erase_if(entries, [&](const AgendaEntry& e) { return std::binary_search(gone.begin(), gone.end(), e.id); });
  }
  return entries;
}

}  // namespace

std::vector<AgendaEntry> readAgendaFile(const fs::path& file) {
  int32_t next = 1;
  size_t deleted = 0;
  return readAgenda(file, next, deleted);
}

void writeAgendaFile(const fs::path& file, const std::vector<AgendaEntry>& entries, int32_t nextId) {
  std::string out = agendaUidBytes() + kAgendaMagic + ' ' + std::to_string(nextId) + '\n';
  for (const auto& e : entries) appendLine(out, e);
  standins::replaceFile(file, out, "agenda file");
}

void createAgendaFile(std::string_view devicePathText) {
  const fs::path file = devicePath(devicePathText);
  if (file.empty()) raise(kBadFileName, "Not a device path: " + std::string(devicePathText));
  writeAgendaFile(file, {}, 1);
}

// --- agenda objects ------------------------------------------------------------------

namespace {

enum AgendaIds : DispId {
  kOpen = 1,
  kSetupDateIterator = 2,
  kNewEvent = 3,
  kAddEntry = 4,
  kDeleteEntryOnId = 5,
  kCommit = 6,
  kClose = 7,
};
enum EventIds : DispId {
  kStartDate = 1,
  kEndDate = 2,
  kCrossedOut = 3,
  kHasAlarm = 4,
  kTentative = 5,
  kStatus = 6,
  kGetRichText = 7,
  kGetUniqueId = 8,
};
enum TextIds : DispId { kAddChars = 1, kText = 2 };

au::MemberInfo prop(DispId id, const char* name, ParamType type, InvokeKind kind) {
  if (kind == InvokeKind::PropertyPut) return {id, name, {{"value", type}}, ParamType::Void, kind, ""};
  return {id, name, {}, type, kind, ""};
}

const au::InterfaceInfo& textInfo() {
  static const au::InterfaceInfo info{
      "IRichText",
      "{6F2D3A11-5C2B-4E7A-9A61-2B0C1E7D4A04}",
      "",
      {{kAddChars, "AddChars", {{"text", ParamType::String}}, ParamType::Void, InvokeKind::Method, ""},
       prop(kText, "Text", ParamType::String, InvokeKind::PropertyGet)}};
  return info;
}

class RichText : public au::TypedDispatch {
 public:
  RichText() : TypedDispatch(textInfo()) {}
  std::string text;

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    if (m.id == kAddChars) {
      text += a.string(0);
      return {};
    }
    return text;
  }
};

const au::InterfaceInfo& eventInfo() {
  static const au::InterfaceInfo info = [] {
    au::InterfaceInfo i{"IAgnEvent", "{6F2D3A11-5C2B-4E7A-9A61-2B0C1E7D4A03}", "", {}};
    const std::pair<DispId, std::pair<const char*, ParamType>> props[] = {
        {kStartDate, {"StartDate", ParamType::Date}},      {kEndDate, {"EndDate", ParamType::Date}},
        {kCrossedOut, {"CrossedOut", ParamType::Boolean}}, {kHasAlarm, {"HasAlarm", ParamType::Boolean}},
        {kTentative, {"Tentative", ParamType::Boolean}},   {kStatus, {"Status", ParamType::String}},
    };
    for (const auto& [id, p] : props) {
      i.members.push_back(prop(id, p.first, p.second, InvokeKind::PropertyGet));
      i.members.push_back(prop(id, p.first, p.second, InvokeKind::PropertyPut));
    }
    i.members.push_back({kGetRichText, "GetRichText", {}, ParamType::Object, InvokeKind::Method, ""});
    i.members.push_back({kGetUniqueId, "GetUniqueId", {}, ParamType::Long, InvokeKind::Method, ""});
    return i;
  }();
  return info;
}

class AgnEvent : public au::TypedDispatch {
 public:
  AgnEvent() : TypedDispatch(eventInfo()), text_(std::make_shared<RichText>()) {}
  AgendaEntry entry;
  std::string text() const { return text_->text; }

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    const bool put = m.kind == InvokeKind::PropertyPut;
    switch (m.id) {
      case kStartDate: return put ? (entry.start = a.doubleValue(0), Variant()) : Variant::date(entry.start);
      case kEndDate: return put ? (entry.end = a.doubleValue(0), Variant()) : Variant::date(entry.end);
      case kCrossedOut: return put ? (entry.crossedOut = a.boolean(0), Variant()) : Variant(entry.crossedOut);
      case kHasAlarm: return put ? (entry.hasAlarm = a.boolean(0), Variant()) : Variant(entry.hasAlarm);
      case kTentative: return put ? (entry.tentative = a.boolean(0), Variant()) : Variant(entry.tentative);
      case kStatus: return put ? (entry.status = a.string(0), Variant()) : Variant(entry.status);
      case kGetRichText: return Variant(std::shared_ptr<Dispatch>(text_));
      case kGetUniqueId:
        // An event not yet added has no ID.
        if (entry.id == 0) raise(err::InvalidCall, "The event is not in the agenda");
        return entry.id;
      default: raise(au::errors::NoSuchMember);
    }
  }

 private:
  std::shared_ptr<RichText> text_;
};

const au::InterfaceInfo& agendaInfo() {
  static const au::InterfaceInfo info{
      "IObjAgenda",
      "{6F2D3A11-5C2B-4E7A-9A61-2B0C1E7D4A02}",
      "",
      {{kOpen, "Open", {{"path", ParamType::String}}, ParamType::Object, InvokeKind::Method, ""},
       {kSetupDateIterator,
        "SetupDateIterator",
        {{"a", ParamType::String},
         {"b", ParamType::String},
         {"c", ParamType::String},
         {"d", ParamType::String},
         {"e", ParamType::String}},
        ParamType::Void,
        InvokeKind::Method,
        ""},
       {kNewEvent, "NewEvent", {}, ParamType::Object, InvokeKind::Method, ""},
       {kAddEntry, "AddEntry", {{"entry", ParamType::Object}}, ParamType::Void, InvokeKind::Method, ""},
       {kDeleteEntryOnId, "DeleteEntryOnId", {{"id", ParamType::Long}}, ParamType::Void, InvokeKind::Method, ""},
       {kCommit, "Commit", {}, ParamType::Void, InvokeKind::Method, ""},
       {kClose, "Close", {}, ParamType::Void, InvokeKind::Method, ""}}};
  return info;
}

// The class object and an open agenda are the same class: Open on the class
// object gives a new object holding the file's entries.
class ObjAgenda : public au::TypedDispatch {
 public:
  ObjAgenda() : TypedDispatch(agendaInfo()) {}

 protected:
  Variant invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) override {
    switch (m.id) {
      case kOpen: {
        const std::string path = a.string(0);
        const fs::path file = devicePath(path);
        if (file.empty()) raise(kBadFileName, "Not a device path: " + path);
        if (deviceFileInUse(path)) raise(kPermissionDenied, "Agenda file is in use: " + path);
        auto agenda = std::make_shared<ObjAgenda>();
        size_t deleted = 0;
        agenda->entries_ = readAgenda(file, agenda->nextId_, deleted);
        // A file grown mostly of deletions is written anew once.
        if (deleted > agenda->entries_.size()) writeAgendaFile(file, agenda->entries_, agenda->nextId_);
        agenda->indexEntries();
        agenda->file_ = file;
        agenda->open_ = true;
        return Variant(std::shared_ptr<Dispatch>(agenda));
      }
      case kSetupDateIterator: requireOpen(); return {};
      case kNewEvent: requireOpen(); return Variant(std::shared_ptr<Dispatch>(std::make_shared<AgnEvent>()));
      case kAddEntry: {
        requireOpen();
        auto event = std::dynamic_pointer_cast<AgnEvent>(a[0].toObject());
        if (!event) raise(err::TypeMismatch, "Not an agenda event");
        if (event->entry.id != 0) raise(err::InvalidCall, "The event is already in the agenda");
        standins::takeEntry();
        event->entry.id = nextId_++;
        byId_.emplace(event->entry.id, entries_.size());
        entries_.push_back(event->entry);
        entries_.back().text = event->text();
        gone_.push_back(false);
        return {};
      }
      case kDeleteEntryOnId: {
        requireOpen();
        // An entry the user already removed on the device is no failure.
        // Marked here and left out at Commit, so a delete does not move the others.
        const int32_t id = a.longValue(0);
        auto [from, to] = byId_.equal_range(id);
        bool saved = false;
        for (auto it = from; it != to; ++it) {
          gone_[it->second] = true;
          saved = saved || it->second < saved_;
        }
        if (saved) deleted_.push_back(id);
        byId_.erase(from, to);
        return {};
      }
      case kCommit: {
        requireOpen();
        std::string out;
        // An entry added and deleted since the last Commit leaves its ID
        // behind, so that the ID is not given again.
        for (size_t i = saved_; i < entries_.size(); ++i)
          if (gone_[i])
            deleted_.push_back(entries_[i].id);
          else
            appendLine(out, entries_[i]);
        for (int32_t id : deleted_) out += "deleted\t" + std::to_string(id) + '\n';
        if (!out.empty()) standins::appendToFile(file_, out, "agenda file");
        saved_ = entries_.size();
        deleted_.clear();
        return {};
      }
      case kClose: open_ = false; return {};
      default: raise(au::errors::NoSuchMember);
    }
  }

 private:
  void requireOpen() const {
    if (!open_) raise(kBadFileName, "The agenda is not open");
  }
  void indexEntries() {
    byId_.clear();
    for (size_t i = 0; i < entries_.size(); ++i) byId_.emplace(entries_[i].id, i);
    gone_.assign(entries_.size(), false);
    saved_ = entries_.size();
    deleted_.clear();
  }
  fs::path file_;
  // The entries of the file and of this session with the deleted ones
  // marked; the first `saved_` are in the file, and `deleted_` holds the IDs
  // deleted from those that the file does not have yet.
  std::vector<AgendaEntry> entries_;
  std::vector<bool> gone_;
  size_t saved_ = 0;
  std::vector<int32_t> deleted_;
  std::unordered_multimap<int32_t, size_t> byId_;
  int32_t nextId_ = 1;
  bool open_ = false;
};

}  // namespace

void registerPsiWinClasses() {
  au::registerBuiltinClass(kEngineClass, [] { return std::make_shared<PsiWinEngine>(); });
  au::registerBuiltinClass(kEngineControlClass, [] { return std::make_shared<PsiWinEngine>(); });
  au::registerBuiltinClass(kAgendaClass, [] { return std::make_shared<ObjAgenda>(); });
}

void installPsiWin(bool version22) {
  namespace st = settings;
  st::writeValue(st::Root::LocalMachine, "Software\\Psion\\PsiWin32", "Installation Directory",
                 (paths::standinsFolder() / "psiwin").string());
  st::createKey(st::Root::ClassesRoot, kOldAgendaClass);
  if (version22) st::createKey(st::Root::ClassesRoot, kAgendaClass);
}

}  // namespace pellary::platform::psiwin
