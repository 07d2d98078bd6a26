// The Lotus Organizer writer and its page: every file operation goes through
// the Organizer control; entries carry no ID and a delete finds its entry by
// title, start date and hour.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"
#include "platform/hook.h"
#include "writers/event_record.h"

namespace pellary {

struct SectionArray {
  std::string sSectionInternalName;
  std::string sSectionUserName;
};

// What the write run needs of the page.
class OrgView {
 public:
  virtual ~OrgView() = default;
  virtual void setNavigationEnabled(bool enabled) = 0;  // Next and Back
  virtual void SaveDetails() = 0;
  // The first selected index of lstSections among 0 to 9, -1 when none.
  virtual int selectedSection() const = 0;
  virtual void setProgress(int16_t percent) = 0;  // pbRecords
  virtual void showProgress() = 0;
};

struct OrganizerState {
  std::array<std::string, 7> Borg_RecentFiles;
  std::array<SectionArray, 11> Borg_Sections;
  std::string Borg_ChosenSection;
  int16_t Borg_DispTime = 9;
  std::shared_ptr<platform::Dispatch> control;  // LotOrgCtl
  OrgView* view = nullptr;
  Hook<void()> writePass;
  Hook<void()> commit;
  // Page engine step after the run (Bmm_GetNextForm by default).
  Hook<void()> nextPage;
};

// The Organizer writer's state: the recent files, the sections of the chosen file, the Organizer control.
OrganizerState& Borg();
void resetBorg();
// The control, created when missing.
platform::Dispatch& Borg_Control();

void Borg_WriteToOrg(RelayEventRecord& record, int16_t& percent);
void Borg_DeleteFromOrg(RelayEventRecord& record, int16_t& percent);
int32_t Borg_Initialise_Control(int16_t versionCode, int16_t entryType, int16_t hour, const std::string& fileName,
                                const std::string& password);
std::string Borg_ReturnOrganizerVersion();
int16_t Borg_VersionCode(const std::string& version);
void Borg_PutFilesInArray();
void Borg_RunWrite();

// The text handed to the control for an add.
std::string Borg_EntryText(const RelayEventRecord& record);
// Fills Borg_Sections 0 to 9 from the control's section list string; returns
// the user names of the filled elements in index order.
std::vector<std::string> Borg_ParseSections(const std::string& list);
// A file name as the page lists it (long names shortened in the middle).
std::string Borg_DisplayFileName(const std::string& name);

}  // namespace pellary
