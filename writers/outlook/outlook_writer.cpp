#include "writers/outlook/outlook_writer.h"

#include "core/app.h"
#include "core/products.h"
#include "core/profile_commit.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

namespace au = platform::automation;
using platform::DispatchArgs;

OutlookState& Bout() {
  static OutlookState state;
  return state;
}

void resetOutlookState() { Bout() = OutlookState{}; }

namespace {

using Object = OutlookState::Object;

Object object(const Variant& v) { return v.isObject() ? v.toObject() : nullptr; }

Object need(const Object& o) {
  if (!o) raise(au::errors::ObjectNotSet, "Object variable or With block variable not set");
  return o;
}

Variant get(const Object& o, const char* name) { return need(o)->call(name); }

void put(const Object& o, const char* name, Variant value) { need(o)->put(name, std::move(value)); }

// VB's TypeName of an object variable.
std::string typeName(const Object& o) {
  if (!o) return "Nothing";
  const au::InterfaceInfo* info = o->typeInfo();
  return info ? info->name : "Object";
}

OutlookWindows* windows() { return Bupd_UpdateRun() ? nullptr : Bout().windows; }

void showProgress(int16_t percent) {
  if (Bupd_UpdateRun())
    portalProgress(percent);
  else if (OutlookWindows* w = Bout().windows)
    w->setProgress(percent);
  if (OutlookWindows* w = Bout().windows) w->processEvents();
}

}  // namespace

std::string outlookNoteText(const RelayEventRecord& r) { return desktopNoteText(r); }

std::string outlookDeleteFilter(const RelayEventRecord& r) {
  // A double quote inside the title is doubled, so that the condition still parses.
  std::string title;
  for (char c : r.Title) {
    title += c;
    if (c == '"') title += '"';
  }
  return "[Subject] = \"" + title + "\" and  [Start] = \"" + platform::shortDate(r.StartDate) + " 12:00 AM\"";
}

void Bout_InitialiseOutlook() {
  trapped("Bout_InitialiseOutlook", [] {
    OutlookState& o = Bout();
    std::string saved = Breg_GetRegSetting("Settings", "OutlookFolder");
    o.application = au::createObject("Outlook.Application");
    o.nameSpace = object(o.application->call("GetNamespace", {Variant("MAPI")}));
    if (!saved.empty() && !Bset().Bset_NoProfileCats) {
      try {
        o.targetFolder = object(need(o.nameSpace)->call("GetFolderFromID", {Variant(saved)}));
      } catch (const AppError&) {
        // The saved calendar is gone: an update run cannot ask for another.
        if (Bupd_UpdateRun()) Bupd_FailedUpdate(kOutlookLinkLost);
        throw;
      }
      if (!o.targetFolder && Bupd_UpdateRun()) Bupd_FailedUpdate(kOutlookLinkLost);
      if (OutlookWindows* w = windows()) w->showGuide(false);
      Bout_BeginWriting();
      return;
    }
    if (Bupd_UpdateRun()) Bupd_FailedUpdate(kOutlookLinkLost);
    o.defaultFolder = object(need(o.nameSpace)->call("GetDefaultFolder", {Variant(int32_t(9))}));
    o.explorer = object(o.application->call("ActiveExplorer"));
    if (typeName(o.explorer) == "Nothing") o.explorer = object(need(o.defaultFolder)->call("GetExplorer"));
    Bout_ShowFloatingForm();
  });
}

void Bout_ShowFloatingForm() {
  trapped("Bout_ShowFloatingForm", [] {
    if (OutlookWindows* w = windows()) {
      w->showGuide(true);
      w->setGuideText(kOutlookGuideText);
    }
    Bout_ShowOutlook();
  });
}

void Bout_ShowOutlook() {
  trapped("Bout_ShowOutlook", [] { need(Bout().explorer)->call("Display"); });
}

bool Bout_CheckOutlook() {
  return trapped("Bout_CheckOutlook", []() -> bool {
    OutlookState& o = Bout();
    // With Outlook's window closed there is no folder in view: the user is
    // asked again, as for a folder that is no calendar.
    Object active = object(need(o.application)->call("ActiveExplorer"));
    o.targetFolder = active ? object(get(active, "CurrentFolder")) : nullptr;
    if (o.targetFolder && get(o.targetFolder, "DefaultItemType").toLong() == 1) {
      std::string id = get(o.targetFolder, "EntryID").toString();
      if (!id.empty()) Breg_WriteRegSettings("Settings", "OutlookFolder", id);
      return true;
    }
    MsgBox(kOutlookNotCalendar, mb::Exclamation, appTitle());
    Bout_ShowOutlook();
    return false;
  });
}

void Bout_BeginWriting() {
  trapped("Bout_BeginWriting", [] {
    if (OutlookWindows* w = windows()) {
      w->showGuide(false);
      w->setGuideText(kOutlookWaitText);
      w->setButtonsEnabled(false);
      w->setProgress(0);
      w->processEvents();
      w->frameOutOfTheWay(true);
      w->processEvents();
    }
    if (Bupd_UpdateRun()) {
      portalStatus("Updating your Outlook calendar");
      portalProgress(0);
    }
    Bplp_CentralWriter(false);
    Bout_SelectionDone();
  });
}

void Bout_WriteToOutlook(RelayEventRecord& record, int16_t& percent) {
  trapped("Bout_WriteToOutlook", [&] {
    OutlookState& o = Bout();
    std::string body = outlookNoteText(record);
    record.EndDate = record.EndDate + 1;
    Object items = object(get(o.targetFolder, "Items"));
    o.item = object(need(items)->call("Add"));
    put(o.item, "Subject", record.Title);
    put(o.item, "Body", body);
    put(o.item, "Categories", kOutlookCategory);
    put(o.item, "AllDayEvent", true);
    put(o.item, "Start", Variant::date(record.StartDate));
    put(o.item, "End", Variant::date(record.EndDate));
    put(o.item, "ReminderSet", false);
    o.item->call("Save");
    showProgress(percent);
  });
}

void Bout_OutlookDeleter(RelayEventRecord& record, int16_t& percent) {
  trapped("Bout_OutlookDeleter", [&] {
    OutlookState& o = Bout();
    std::string filter = outlookDeleteFilter(record);
    Object items = object(get(o.targetFolder, "Items"));
    o.found = object(need(items)->call("Find", {Variant(filter)}));
    while (o.found) {
      if (typeName(o.found) == "AppointmentItem") o.found->call("Delete");
      o.found = object(items->call("FindNext"));
    }
    showProgress(percent);
  });
}

void Bout_SelectionDone() {
  trapped("Bout_SelectionDone", [] {
    OutlookWindows* w = windows();
    if (w) {
      w->hideGuide();
      // The page may be come back to from the last page: its buttons work again.
      w->setButtonsEnabled(true);
      w->processEvents();
    }
    Bsda_CommittChanges();
    Bint_DatesPending() = false;
    if (!Bupd_UpdateRun()) {
      Bmm_GetNextForm();
      if (w) w->frameOutOfTheWay(false);
    }
    if (w) w->processEvents();
  });
}

}  // namespace pellary
