#include "writers/organizer/organizer_writer.h"

#include <algorithm>

#include "core/app.h"
#include "core/profile_commit.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/settings/settings_tree.h"
#include "platform/text/codepages.h"
#include "platform/text/trim.h"
#include "standins/organizer/organizer_control.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

using platform::ByRef;
using platform::DispId;
using platform::DispatchArgs;
namespace au = platform::automation;

namespace {

OrganizerState freshState() {
  OrganizerState s;
  s.writePass = [] { Bplp_CentralWriter(false); };
  s.commit = Bsda_CommittChanges;
  s.nextPage = [] { Bmm_GetNextForm(); };
  return s;
}

void put(DispId id, Variant value) { Borg_Control().put(id, std::move(value)); }

Variant get(DispId id) {
  DispatchArgs args;
  return Borg_Control().invoke(id, args, au::InvokeKind::PropertyGet);
}

void progress(int16_t percent) {
  if (Bupd_UpdateRun())
    portalProgress(percent);
  else if (Borg().view)
    Borg().view->setProgress(percent);
}

}  // namespace

OrganizerState& Borg() {
  static OrganizerState state = freshState();
  return state;
}

void resetBorg() { Borg() = freshState(); }

platform::Dispatch& Borg_Control() {
  if (!Borg().control) Borg().control = au::createObject(standins::organizer::kControlClass);
  return *Borg().control;
}

std::string Borg_EntryText(const RelayEventRecord& r) { return r.Title + "\r\n" + desktopNoteText(r); }

void Borg_WriteToOrg(RelayEventRecord& record, int16_t& percent) {
  trapped("Borg_WriteToOrg", [&] {
    const auto s = platform::civilFromOle(record.StartDate);
    auto e = platform::civilFromOle(record.EndDate);
    if (Borg().Borg_ChosenSection == "Anniversary") e = s;
    Variant section = Borg().Borg_ChosenSection;
    Variant sd = int32_t(s.day), sm = int32_t(s.month), sy = int32_t(s.year);
    Variant ed = int32_t(e.day), em = int32_t(e.month), ey = int32_t(e.year);
    DispatchArgs args{
        Borg_EntryText(record), ByRef(section), ByRef(sd), ByRef(sm), ByRef(sy), ByRef(ed), ByRef(em), ByRef(ey)};
    Borg_Control().callRef(17, args);
    progress(percent);
  });
}

void Borg_DeleteFromOrg(RelayEventRecord& record, int16_t& percent) {
  trapped("Borg_DeleteFromOrg", [&] {
    const auto s = platform::civilFromOle(record.StartDate);
    Variant title = record.Title;
    Variant d = int32_t(s.day), m = int32_t(s.month), y = int32_t(s.year);
    DispatchArgs args{ByRef(title), ByRef(d), ByRef(m), ByRef(y), int32_t(Borg().Borg_DispTime)};
    Borg_Control().callRef(18, args);
    progress(percent);
  });
}

int32_t Borg_Initialise_Control(int16_t versionCode, int16_t entryType, int16_t hour, const std::string& fileName,
                                const std::string& password) {
  return trapped("Borg_Initialise_Control", [&] {
    put(11, int32_t(versionCode));
    put(4, int32_t(entryType));
    put(8, int32_t(hour));
    put(1, fileName);
    if (!password.empty()) put(2, password);
    Borg_Control().call(9);
    const int32_t result = get(19).toLong();
    if (result != 0 && !Bupd_UpdateRun()) {
      MsgBox(std::string("Pellary Almoner could not open your Organizer file.") + "\r\n\r\n" +
                 "Please make sure the Password you have entered is correct before trying again. " + "\r\n" +
                 "If the Organizer file you are writing to is open, please close it before trying again",
             mb::Exclamation, appTitle());
      put(1, "");
      put(2, "");
    }
    return result;
  });
}

std::string Borg_ReturnOrganizerVersion() {
  return trapped("Borg_ReturnOrganizerVersion", [&] {
    for (const char* v : {"99.1", "99.0", "98.0", "97.1", "97.0"})
      if (Breg_DoesKeyExist(HKEY_CURRENT_USER, std::string("Software\\Lotus\\Organizer\\") + v + "\\Settings"))
        return std::string(v);
    return std::string();
  });
}

int16_t Borg_VersionCode(const std::string& version) {
  static const char* const kVersions[] = {"97.0", "97.1", "98.0", "99.0", "99.1"};
  for (int16_t i = 0; i < 5; ++i)
    if (version == kVersions[i]) return i;
  return 0;
}

void Borg_PutFilesInArray() {
  trapped("Borg_PutFilesInArray", [&] {
    auto& files = Borg().Borg_RecentFiles;
    files.fill("");
    size_t count = 0;
    const std::string last = Breg_GetRegSetting("Settings", "OrgLastFile");
    if (!last.empty()) files[count++] = last;
    const std::string version = Borg_ReturnOrganizerVersion();
    const std::string key = "Software\\Lotus\\Organizer\\" + version + "\\Settings";
    namespace st = platform::settings;
    if (!st::keyExists(st::Root::CurrentUser, key)) return;
    // Names beyond the seventh are dropped: the list has seven places.
    for (int n = 1; count < files.size(); ++n) {
      auto value = st::readValue(st::Root::CurrentUser, key, "File" + std::to_string(n));
      if (!value) break;
      std::string name = *value;
      if (auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
      name = std::string(platform::text::trimSpaces(name));
      if (count == 0)
        files[count++] = name;
      else if (!paths::equalsIgnoreCase(name, last))
        files[count++] = name;
    }
  });
}

std::vector<std::string> Borg_ParseSections(const std::string& list) {
  namespace tx = platform::text;
  auto& sections = Borg().Borg_Sections;
  for (int i = 0; i < 10; ++i) sections[size_t(i)] = {};
  std::string text(tx::trimSpaces(list));
  size_t index = 0;
  std::string buffer;
  bool inUserName = false;
  size_t pos = 0;
  while (pos < text.size() && index < 10) {
    const size_t from = pos;
    const char32_t ch = tx::nextUtf8(text, pos);
    if (!inUserName && ch == 250) {
      sections[index].sSectionInternalName = buffer;
      buffer.clear();
      inUserName = true;
    } else if (inUserName && ch == 251) {
      sections[index].sSectionUserName = buffer;
      buffer.clear();
      inUserName = false;
      ++index;
    } else {
      buffer.append(text, from, pos - from);
    }
  }
  if (!buffer.empty() && index < 10) sections[index].sSectionUserName = buffer;
  std::vector<std::string> names;
  for (int i = 0; i < 10; ++i)
    if (!sections[size_t(i)].sSectionUserName.empty()) names.push_back(sections[size_t(i)].sSectionUserName);
  return names;
}

std::string Borg_DisplayFileName(const std::string& name) {
  namespace tx = platform::text;
  if (tx::utf8Length(name) <= 45) return name;
  // Character positions, so that a multi-byte name is cut between characters.
  std::vector<size_t> starts;
  for (size_t pos = 0; pos < name.size();) {
    starts.push_back(pos);
    tx::nextUtf8(name, pos);
  }
  const std::string head = name.substr(0, starts[3]);
  std::string tail = name.substr(starts[starts.size() - 39]);
  if (auto slash = tail.find('\\'); slash != std::string::npos) tail = tail.substr(slash);
  return head + "..." + tail;
}

void Borg_RunWrite() {
  auto& s = Borg();
  if (s.view) {
    s.view->setNavigationEnabled(false);
    s.view->SaveDetails();
    const int index = s.view->selectedSection();
    if (index >= 0 && index < 10) put(3, s.Borg_Sections[size_t(index)].sSectionInternalName);
    // The hour picked on the page, so that this run writes at the hour that
    // later runs delete with.
    const std::string hour = Breg_GetRegSetting("Settings", "OrgDispTime");
    if (!hour.empty() && hour != "0") {
      s.Borg_DispTime = Variant(hour).toInteger();
      put(8, int32_t(s.Borg_DispTime));
    }
    s.view->setProgress(0);
    s.view->showProgress();
  }
  s.Borg_ChosenSection = Breg_GetRegSetting("Settings", "OrgSection");
  Borg_Control().call(14);
  s.writePass();
  // A failed save of the Organizer file takes the error road like any other.
  trapped("Borg_RunWrite", [] {
    Bsda_TargetCommitNext();
    Borg_Control().call(15);
    Borg_Control().call(10);
  });
  s.commit();
  Bint_DatesPending() = false;
  s.nextPage();
}

}  // namespace pellary
